#pragma once
// A scripted HTTP/1.1 server on 127.0.0.1 (a free port) that records every request. Responses
// go in the order enqueued, then from the handler, else 404; each closes its connection, except
// stalling ones. It serves only while the test's event loop runs (for example inside runTask).
// A request is answered from a later turn of the event loop, never from inside its socket's
// signal: a handler may wait, and the client may drop the connection meanwhile.

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QUrl>
#include <functional>
#include <nlohmann/json.hpp>
#include <vector>

class QTcpSocket;

namespace qm::test {

struct HttpFixtureRequest {
    QByteArray method;
    QByteArray target; // path and query as sent, e.g. "/api/v2/x?page=1"
    QByteArray body;
};

struct HttpFixtureResponse {
    enum class Behaviour {
        respond,           // status line, headers, whole body, close
        stall,             // read the request, never answer
        stallAfterHeaders, // headers announcing the whole body, then half of it, then silence
        trickle,           // headers, then one body byte per trickleIntervalMs until done
        endless,           // headers without a length, then `body` again and again until the
                           // client closes
        close,             // close the connection without a word
        delay,             // respond as a whole after delayMs (a distant server)
    };

    int status = 200;
    QByteArray contentType; // none when empty
    QByteArray body;
    Behaviour behaviour = Behaviour::respond;
    int trickleIntervalMs = 50;
    int delayMs = 0;

    // `body` with "Content-Type: application/json".
    static HttpFixtureResponse json(QByteArray body, int status = 200);
    // {"jsonrpc":"2.0","id":1,"result":result}.
    static HttpFixtureResponse jsonRPCResult(const nlohmann::json& result);
    static HttpFixtureResponse withStatus(int status);
    static HttpFixtureResponse stalling();
};

class HttpFixture : public QObject {
    Q_OBJECT

public:
    using Handler = std::function<HttpFixtureResponse(const HttpFixtureRequest&)>;
    // Delivers the answer to one request, at most once, now or later; nothing happens when the
    // client or the fixture went away meanwhile.
    using Responder = std::function<void(HttpFixtureResponse)>;
    // A handler that answers when it can (a proxy waiting for its node) without blocking.
    using AsyncHandler = std::function<void(const HttpFixtureRequest&, Responder)>;

    HttpFixture();

    // "http://127.0.0.1:<port>" followed by `path`.
    QUrl url(const QString& path = "/") const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }
    void enqueue(HttpFixtureResponse response) { m_queue.push_back(std::move(response)); }
    void setHandler(Handler handler);
    void setAsyncHandler(AsyncHandler handler) { m_handler = std::move(handler); }

    const std::vector<HttpFixtureRequest>& requests() const { return m_requests; }
    // Body bytes an endless response has written so far.
    qint64 endlessBytes() const { return m_endlessBytes; }
    // Connections held by a stalling response that the client has not closed yet.
    int openStalls() const { return m_openStalls; }

private:
    void accept();
    void readFrom(QTcpSocket* socket);
    void answer(const QPointer<QTcpSocket>& socket, const HttpFixtureRequest& request);
    void respond(QTcpSocket* socket, const HttpFixtureResponse& response);

    QTcpServer m_server;
    std::vector<HttpFixtureResponse> m_queue;
    AsyncHandler m_handler;
    std::vector<HttpFixtureRequest> m_requests;
    int m_openStalls = 0;
    qint64 m_endlessBytes = 0;
};

} // namespace qm::test
