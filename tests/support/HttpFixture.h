#pragma once
// A scripted HTTP/1.1 server on 127.0.0.1 for client tests: it answers what a real endpoint
// rarely or never does (odd status codes, broken bodies, stalls), and records every request.
//
//     qm::test::HttpFixture server;                        // listens on a free loopback port
//     server.enqueue(HttpFixtureResponse::json(R"({"jsonrpc":"2.0","id":1,"result":"0x1"})"));
//     JSONRPCClient client(server.url());
//     ... qm::test::runTask(client.call(...)) ...   // RunTask.h; QCoro::waitFor hangs on a throw
//     EXPECT_EQ(server.requests().at(0).body, ...);
//
// Responses are served in the order enqueued, one per request; when the queue is empty the
// handler answers (setHandler), and without one the request gets a 404. Each response closes
// its connection ("Connection: close"), except the stalling ones, which keep it open and silent
// until the fixture is destroyed. The fixture lives on the test's thread: it serves only while
// that thread's event loop runs (for example inside qm::test::runTask).

#include <QByteArray>
#include <QObject>
#include <QTcpServer>
#include <QUrl>
#include <functional>
#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

class QTcpSocket;

namespace qm::test {

struct HttpFixtureRequest {
    QByteArray method;
    QByteArray target; // path and query as sent, e.g. "/api/v2/x?page=1"
    std::vector<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;

    // The first header of that name (case-insensitive), or empty.
    QByteArray header(const QByteArray& name) const;
};

struct HttpFixtureResponse {
    enum class Behaviour {
        respond,           // status line, headers, whole body, close
        stall,             // read the request, never answer
        stallAfterHeaders, // headers announcing the whole body, then half of it, then silence
        trickle,           // headers, then one body byte per trickleInterval until done
        close,             // close the connection without a word
    };

    int status = 200;
    QByteArray reason; // empty: a standard reason phrase
    std::vector<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
    Behaviour behaviour = Behaviour::respond;
    int trickleIntervalMs = 50;

    // `body` with "Content-Type: application/json" and the given status.
    static HttpFixtureResponse json(QByteArray body, int status = 200);
    // A JSON-RPC 2.0 success reply, {"jsonrpc":"2.0","id":1,"result":result}, with status 200.
    static HttpFixtureResponse jsonRPCResult(const nlohmann::json& result);
    static HttpFixtureResponse withStatus(int status, QByteArray body = {});
    static HttpFixtureResponse stalling();
};

class HttpFixture : public QObject {
    Q_OBJECT

public:
    using Handler = std::function<HttpFixtureResponse(const HttpFixtureRequest&)>;

    HttpFixture();
    ~HttpFixture() override;

    quint16 port() const;
    // "http://127.0.0.1:<port>" followed by `path`.
    QUrl url(const QString& path = "/") const;

    void enqueue(HttpFixtureResponse response);
    void setHandler(Handler handler);

    const std::vector<HttpFixtureRequest>& requests() const { return m_requests; }
    // Connections held by a stalling response that the client has not closed yet.
    int openStalls() const { return m_openStalls; }

private:
    void accept();
    void readFrom(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const HttpFixtureRequest& request);

    QTcpServer m_server;
    std::vector<HttpFixtureResponse> m_queue;
    Handler m_handler;
    std::vector<HttpFixtureRequest> m_requests;
    int m_openStalls = 0;
};

} // namespace qm::test
