#pragma once
// One Electrum server over one TCP connection (TLS when asked): newline-delimited JSON-RPC 2.0
// requests matched to their callers by identifier, and notifications for subscribed script
// hashes and block headers. A client connects once; when its connection ends every waiting
// and every later request fails with notConnected, and its owner makes a new client.
//
// Lives on the GUI thread; requests are coroutines resumed from the receive path through
// the event loop.

#include "platform/async/OneShot.h"
#include "platform/async/PendingRequests.h"
#include "services/bitcoin/ElectrumError.h"
#include "services/bitcoin/ElectrumLineBuffer.h"
#include "services/bitcoin/ElectrumRPC.h"
#include "services/bitcoin/ElectrumResults.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <QSslSocket>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qm {

class ElectrumClient : public QObject {
    Q_OBJECT

public:
    using JSONValue = ElectrumJSONValue;
    using RPCRequest = ElectrumRPCRequest;
    using RPCResponse = ElectrumRPCResponse;

    // Time limits and the line limit; tests shorten them.
    struct Limits {
        // Covers TCP connect and the TLS handshake.
        std::chrono::milliseconds connectTimeout{15'000};
        // A request unanswered this long fails with timeout.
        std::chrono::milliseconds requestTimeout{30'000};
        // A line longer than this (no 0x0A within it) ends the connection.
        std::size_t maxLineBytes = ElectrumLineBuffer::kDefaultMaxLineBytes;
    };

    ElectrumClient(std::string host, std::uint16_t port, bool useTLS, Limits limits,
                   QObject* parent = nullptr);
    ElectrumClient(std::string host, std::uint16_t port, bool useTLS, QObject* parent = nullptr)
        : ElectrumClient(std::move(host), port, useTLS, Limits{}, parent) {}
    ~ElectrumClient() override;

    const std::string& host() const { return host_; }
    std::uint16_t port() const { return port_; }
    bool useTLS() const { return useTLS_; }
    bool isConnected() const { return connected_; }

    // Opens the connection; returns once it is ready (after the TLS handshake when useTLS).
    // Throws ElectrumError::connectionFailed; a failed attempt leaves no connection behind.
    QCoro::Task<void> connect();
    // Drops the connection and fails every waiting request with notConnected.
    void disconnect();

    // Sends one request; returns the raw "result" of its response (JSON null when absent).
    // Throws notConnected, serverError, timeout, connectionFailed (the write failed) or
    // invalidResponse (a line with this request's id that is not a valid response, or a line
    // that is no JSON object while it waits).
    QCoro::Task<nlohmann::json> call(std::string method, std::vector<JSONValue> params);

    QCoro::Task<ElectrumBalance> getBalance(std::string scriptHash);
    QCoro::Task<std::vector<ElectrumUTXO>> listUnspent(std::string scriptHash);
    QCoro::Task<std::vector<ElectrumTxRef>> getHistory(std::string scriptHash);
    // The server's answer: the transaction identifier it names (a result that is no text, as
    // its JSON text). Whether it is the transaction's own id is the caller's check.
    QCoro::Task<std::string> broadcast(std::string rawTransactionHex);
    // BTC per kilobyte as the server sends it (-1 when it has no estimate).
    QCoro::Task<double> estimateFee(std::int64_t blocks);
    // The script hash's status; absent for null or any non-string.
    QCoro::Task<std::optional<std::string>> subscribe(std::string scriptHash);
    QCoro::Task<ElectrumBlockHeader> subscribeHeaders();

    // Called synchronously while received lines are handled, before the next line.
    std::function<void(const std::string& scriptHash, const std::optional<std::string>& status)>
        onScriptHashNotification;
    std::function<void(const ElectrumBlockHeader& header)> onHeaderNotification;

    // Tests only: a certificate authority trusted by every client created afterwards, in
    // addition to the system's (the loopback fixture's throwaway CA).
    static void addTrustedCertificateAuthorityForTesting(const QSslCertificate& authority);

private:
    void failRequest(std::int64_t id, const ElectrumError& error);
    void failConnect(const ElectrumError& error);
    void onConnectionReady();
    void onReadyRead();
    void onStreamEnded();
    // Handles every complete line; false when the client went away or lost its connection
    // while doing so.
    bool processBuffer();
    void handleLine(const std::string& line);
    void handleNotification(const nlohmann::json& json);
    void dropSocket();

    std::string host_;
    std::uint16_t port_;
    bool useTLS_;
    Limits limits_;

    QPointer<QSslSocket> socket_;
    bool connected_ = false;
    std::optional<OneShot<void>> connectReply_;
    std::int64_t nextID_ = 0;
    PendingRequests<nlohmann::json> pendingRequests_;
    ElectrumLineBuffer receiveBuffer_;
    bool processing_ = false;
};

} // namespace qm
