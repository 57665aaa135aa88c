#pragma once
// One connection to the WalletConnect relay and its JSON-RPC protocol ("irn"): subscribe and
// unsubscribe topics, send requests and await their answers, acknowledge the messages the relay
// delivers and hand each to its subscription's handler. Knows nothing of envelopes or sessions.
//
// Liveness: a ping goes out every pingInterval; one still unanswered when the next is due means
// the connection is dead (a half-open connection after a suspend sends no error). After the
// first successful connect(), a lost connection is re-opened with growing delays, each time
// with a fresh token, and every subscribed topic is subscribed again before the relay reports
// itself connected. Messages the relay delivers again after that (its mailbox keeps them for
// their time-to-live) reach the handlers only once.
//
// Every request fails after requestTimeout ("Relay connection failed: Request timed out"); its
// late answer is dropped. While the connection is down requests fail at once with
// notConnected. Lives on the GUI thread; handlers run there, synchronously, before the next
// frame is read.

#include "platform/async/PendingRequests.h"
#include "platform/async/TaskHandle.h"
#include "services/walletconnect/WCRelayEndpoint.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <qcoro/qcorotask.h>
#include <set>
#include <string>

class QWebSocket;

namespace qm {

class WCRelay : public QObject {
    Q_OBJECT

public:
    // Called with the delivery's topic and its message text (Base64 of an envelope).
    using Handler = std::function<void(const std::string& topic, const std::string& message)>;

    // Time limits; tests shorten them.
    struct Limits {
        // The websocket handshake, TLS included.
        std::chrono::milliseconds openTimeout{30'000};
        std::chrono::milliseconds requestTimeout{30'000};
        std::chrono::milliseconds pingInterval{30'000};
        // The first wait before re-opening a lost connection; doubled after each failed
        // attempt up to maxRetryDelay, back to the first after a success.
        std::chrono::milliseconds firstRetryDelay{1'000};
        std::chrono::milliseconds maxRetryDelay{60'000};
        // A larger frame from the relay ends the connection.
        std::uint64_t maxMessageBytes = 8u << 20;
    };

    // The configured endpoint (WCRelayEndpoint::configured) with `projectId` as its default.
    explicit WCRelay(std::string projectId, QObject* parent = nullptr);
    WCRelay(WCRelayEndpoint endpoint, Limits limits, QObject* parent = nullptr);
    ~WCRelay() override;

    const WCRelayEndpoint& endpoint() const { return endpoint_; }
    // True from a successful connect() until the connection is lost, and again once a
    // re-opened connection has its topics subscribed.
    bool isConnected() const { return connected_; }

    // Opens the connection with a new token and returns once the handshake is done. Throws
    // CryptoError when the token cannot be signed, RelayError::connectionFailed ("Invalid
    // URL", "Connection timed out", the platform's text). Returns at once when connected or
    // when an earlier connect() succeeded (the relay then re-opens by itself).
    QCoro::Task<void> connect();

    // Subscribes `topic`; returns the relay's subscription identifier. From the moment the
    // relay answers, every delivery on that subscription calls `handler`. Throws what
    // sendAndWait throws, invalidResponse when the answer is not a text.
    QCoro::Task<std::string> subscribe(std::string topic, Handler handler);
    // Ends the topic's subscription; nothing is sent for a topic never subscribed. A failure
    // is thrown and leaves the subscription in place.
    QCoro::Task<void> unsubscribe(std::string topic);

    // The identifier of the next request (1, 2, 3, ... across every request of this relay).
    std::int64_t takeRequestId() { return nextId_++; }
    // Sends `payload` (a request carrying "id" = `id`) and returns the "result" of the answer
    // with that id (true when it has none). Throws RelayError: notConnected, serverError (the
    // answer's "error"."message"), connectionFailed (the send failed, or no answer within
    // requestTimeout); nlohmann::json's error for a payload that cannot be serialised.
    QCoro::Task<nlohmann::json> sendAndWait(std::int64_t id, nlohmann::json payload);
    // "irn_publish" of {"topic", "message", "ttl", "tag"} under the next request id.
    QCoro::Task<void> publish(std::string topic, std::string message, std::int64_t ttlSeconds,
                              std::int64_t tag);

    // The topic's current subscription identifier, if it is subscribed.
    std::optional<std::string> subscriptionId(const std::string& topic) const;

signals:
    // Every change of isConnected(), the first connect() included.
    void connectionChanged(bool connected);

private:
    struct Subscribing {
        std::string topic;
        Handler handler;
    };

    QCoro::Task<void> openSocket();
    QCoro::Task<std::string> subscribeWith(std::string topic, Handler handler);
    QCoro::Task<void> reopen(CancellationToken token);
    void onSocketOpen(QWebSocket* socket);
    void onSocketEnded(QWebSocket* socket, const QString& reason);
    void failOpen(const std::exception_ptr& error);
    void onConnectionLost(const char* why);
    void onPingDue();
    void handleFrame(const QString& text);
    bool firstDelivery(const std::string& topic, const std::string& message);
    void install(const std::string& topic, const std::string& subscriptionId, Handler handler);
    void setConnected(bool connected);
    void dropSocket();

    WCRelayEndpoint endpoint_;
    Limits limits_;

    QPointer<QWebSocket> socket_;
    bool socketOpen_ = false;
    bool connected_ = false;
    // A connect() succeeded: from now on the relay re-opens a lost connection by itself.
    bool started_ = false;
    std::optional<OneShot<void>> openReply_;

    std::int64_t nextId_ = 1;
    PendingRequests<nlohmann::json> pending_;
    // Subscribe requests in flight: their handler is installed as the answer is read, before
    // any delivery behind it in the same read.
    std::map<std::int64_t, Subscribing> subscribing_;
    std::map<std::string, Handler> handlers_;               // by subscription id
    std::map<std::string, std::string> topicSubscriptions_; // topic -> subscription id

    QTimer pingTimer_;
    bool awaitingPong_ = false;
    QTimer retryTimer_;
    std::chrono::milliseconds retryDelay_;
    std::optional<TaskHandle> reopenTask_;

    // Digests of the deliveries already handed to a handler, oldest first (bounded).
    std::set<std::string> delivered_;
    std::deque<std::string> deliveredOrder_;
};

} // namespace qm
