#pragma once
// A scripted Electrum server on 127.0.0.1 (a free port) for tests: newline-delimited
// JSON-RPC over TLS (a throwaway CA, see TestCertificates.h) or plain TCP, on the test's own
// event loop. Script an answer per method, hold answers and release them out of order and
// in one merged write, cut writes into small pieces, push notifications, stall, close
// abruptly, and count what the client sent.
//
//   ElectrumFixture server;                       // TLS; trustAuthority() already done
//   server.answer("blockchain.estimatefee", 0.00012);
//   ElectrumClient client(server.host(), server.port(), server.useTLS());
//   QCoro::waitFor(client.connect());
//   double fee = QCoro::waitFor(client.estimateFee(6));
//   EXPECT_EQ(server.requestCount("blockchain.estimatefee"), 1);
//
// A TLS connection reaches the fixture once its side of the handshake is done, a moment after
// the client's connect() returns: waitForConnections() before pushing to a fresh client.
// Unscripted methods are answered with error -32601 "unknown method". Everything is
// delivered to every connected client. Answers copy the request's "id" verbatim.

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace qm::test {

class ElectrumFixture : public QObject {
    Q_OBJECT

public:
    enum class Mode {
        tls,          // TLS with the test CA's server certificate
        untrustedTls, // TLS with a self-signed certificate no client trusts
        plain,        // plain TCP
        silent,       // accepts TCP connections and never sends a byte (a stalled handshake)
    };
    // A raw handler gets the parsed request and returns the exact bytes to send (no 0x0A is
    // added), or nothing to leave the request unanswered.
    using RawHandler = std::function<std::optional<std::string>(const nlohmann::json& request)>;

    explicit ElectrumFixture(Mode mode = Mode::tls, QObject* parent = nullptr);
    ~ElectrumFixture() override;

    std::string host() const { return "127.0.0.1"; }
    std::uint16_t port() const;
    bool useTLS() const { return mode_ != Mode::plain; }

    // Makes ElectrumClient trust the test CA (once per process; the constructor calls it).
    static void trustAuthority();

    // --- Scripted answers (per method; setting one replaces the earlier one) ---
    // {"jsonrpc":"2.0","id":<id>,"result":<result>}
    void answer(const std::string& method, nlohmann::json result);
    // {"jsonrpc":"2.0","id":<id>,"error":{"code":<code>,"message":<message>}}
    void answerError(const std::string& method, std::int64_t code, const std::string& message);
    void answerRaw(const std::string& method, RawHandler handler);
    // Requests of this method are counted but never answered.
    void stall(const std::string& method);
    // Abruptly closes the connection that sent a request of this method, without answering.
    void closeOn(const std::string& method);

    // --- Delivery ---
    // While held, answers are queued instead of written.
    void holdAnswers(bool hold);
    // Writes every held answer in one single write (merged), in reverse order when asked.
    void releaseHeld(bool reverse = false);
    std::size_t heldCount() const { return held_.size(); }
    // Cut every later write into pieces of this many bytes, each written on a later event-loop
    // turn (a few milliseconds apart); 0 writes whole.
    void setSplitWrites(std::size_t pieceBytes) { pieceBytes_ = pieceBytes; }

    // --- Pushing ---
    // {"jsonrpc":"2.0","method":<method>,"params":<params>} to every client.
    void notify(const std::string& method, nlohmann::json params);
    // Exact bytes to every client.
    void sendRaw(const std::string& bytes);
    // Closes every connection: abruptly (reset, nothing more is sent) or after flushing what
    // was written before.
    void closeAll(bool abrupt = true);

    // --- Observation ---
    int requestCount(const std::string& method = {}) const;
    // Parsed requests in arrival order, and the raw lines exactly as received (no 0x0A).
    const std::vector<nlohmann::json>& requests() const { return requests_; }
    const std::vector<std::string>& requestLines() const { return requestLines_; }
    int connectionCount() const { return connectionCount_; }
    // Spin the event loop until the counts are reached; false after `timeoutMs`.
    bool waitForRequests(int count, int timeoutMs = 10'000);
    bool waitForConnections(int count, int timeoutMs = 10'000);
    // Spin the event loop until every pending piece has been written.
    void flushWrites();

signals:
    void requestReceived(const QString& method);

private:
    struct Script {
        enum class Kind { result, error, raw, stall, close } kind = Kind::result;
        nlohmann::json result;
        std::int64_t code = 0;
        std::string message;
        RawHandler handler;
    };

    void onNewConnection();
    void onReadyRead(QTcpSocket* socket);
    void handleRequest(QTcpSocket* socket, const std::string& line);
    void deliver(QTcpSocket* socket, std::string bytes);
    void write(QTcpSocket* socket, std::string bytes);
    void writeNextPiece();

    Mode mode_;
    std::unique_ptr<QTcpServer> server_;
    QList<QPointer<QTcpSocket>> sockets_;
    std::map<QTcpSocket*, std::string> inbound_;
    std::map<std::string, Script> scripts_;
    bool hold_ = false;
    std::vector<std::pair<QPointer<QTcpSocket>, std::string>> held_;
    std::size_t pieceBytes_ = 0;
    std::vector<std::pair<QPointer<QTcpSocket>, std::string>> pieces_;
    bool pieceTimerRunning_ = false;
    std::vector<nlohmann::json> requests_;
    std::vector<std::string> requestLines_;
    int connectionCount_ = 0;
};

} // namespace qm::test
