#pragma once
// A scripted Electrum server on 127.0.0.1 (a free port): newline-delimited JSON-RPC over TLS
// (a throwaway CA that ElectrumClient is made to trust) or plain TCP, on the test's event loop.
// A TLS connection arrives a moment after the client's connect() returns: waitForConnections()
// before pushing to a fresh client. Unscripted methods get error -32601. Pushes go to every client.

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
        silent,       // accepts TCP connections and never sends a byte
    };
    // Gets the parsed request and returns the exact bytes to send, or nothing to stay silent.
    using RawHandler = std::function<std::optional<std::string>(const nlohmann::json& request)>;

    explicit ElectrumFixture(Mode mode = Mode::tls);
    ~ElectrumFixture() override;

    std::string host() const { return "127.0.0.1"; }
    std::uint16_t port() const { return server_->serverPort(); }
    bool useTLS() const { return mode_ != Mode::plain; }

    // Setting an answer for a method replaces the earlier one.
    void answer(const std::string& method, nlohmann::json result);
    void answerError(const std::string& method, std::int64_t code, const std::string& message);
    void answerRaw(const std::string& method, RawHandler handler);
    // Requests of this method are counted but never answered.
    void stall(const std::string& method);

    // While held, answers are queued; releaseHeld writes them in one write per client.
    void holdAnswers(bool hold) { hold_ = hold; }
    void releaseHeld(bool reverse = false);
    // Cut every later write into pieces of this many bytes, 5 ms apart (one write at a time).
    void setSplitWrites(std::size_t pieceBytes) { pieceBytes_ = pieceBytes; }

    // {"jsonrpc":"2.0","method":<method>,"params":<params>} to every client.
    void notify(const std::string& method, nlohmann::json params);
    void sendRaw(const std::string& bytes);
    // Closes every connection: abruptly, or after flushing what was written before.
    void closeAll(bool abrupt = true);
    // Stops listening: a client connecting from now on is refused, as by a server that is down.
    void stopListening() { server_->close(); }

    int requestCount(const std::string& method = {}) const;
    // The request lines exactly as received (no 0x0A).
    const std::vector<std::string>& requestLines() const { return requestLines_; }
    int connectionCount() const { return connectionCount_; }
    // Spin the event loop until the counts are reached; false after `timeoutMs`.
    bool waitForRequests(int count, int timeoutMs = 10'000);
    bool waitForConnections(int count, int timeoutMs = 10'000);

signals:
    void requestReceived(const QString& method);

private:
    struct Script {
        enum class Kind { result, error, raw, stall } kind = Kind::result;
        nlohmann::json result;
        RawHandler handler;
    };

    void onNewConnection();
    void onReadyRead(QTcpSocket* socket);
    void handleRequest(QTcpSocket* socket, const std::string& line);
    void write(QTcpSocket* socket, std::string bytes);

    Mode mode_;
    std::unique_ptr<QTcpServer> server_;
    QList<QPointer<QTcpSocket>> sockets_;
    std::map<QTcpSocket*, std::string> inbound_;
    std::map<std::string, Script> scripts_;
    bool hold_ = false;
    std::vector<std::pair<QPointer<QTcpSocket>, std::string>> held_;
    std::size_t pieceBytes_ = 0;
    std::vector<std::string> requestLines_;
    std::vector<std::string> methods_;
    int connectionCount_ = 0;
};

} // namespace qm::test
