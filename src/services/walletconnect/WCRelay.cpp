#include "services/walletconnect/WCRelay.h"

#include "platform/Crypto.h"
#include "services/walletconnect/RelayAuthToken.h"
#include "services/walletconnect/RelayError.h"
#include "services/walletconnect/WCRelayMessage.h"

#include <QNetworkRequest>
#include <QWebSocket>
#include <algorithm>
#include <iostream>

namespace qm {
namespace {

using nlohmann::json;

// Enough to recognise every delivery of a relay mailbox's time-to-live.
constexpr std::size_t kRememberedDeliveries = 4096;

std::exception_ptr relayFailure(const RelayError& error) {
    return std::make_exception_ptr(error);
}

} // namespace

WCRelay::WCRelay(std::string projectId, QObject* parent)
    : WCRelay(WCRelayEndpoint::configured(std::move(projectId)), Limits{}, parent) {}

WCRelay::WCRelay(WCRelayEndpoint endpoint, Limits limits, QObject* parent)
    : QObject(parent), endpoint_(std::move(endpoint)), limits_(limits),
      pending_([] { return relayFailure(RelayError::connectionFailed("Request timed out")); }),
      retryDelay_(limits.firstRetryDelay) {
    pingTimer_.setInterval(limits_.pingInterval);
    QObject::connect(&pingTimer_, &QTimer::timeout, this, &WCRelay::onPingDue);
    retryTimer_.setSingleShot(true);
    QObject::connect(&retryTimer_, &QTimer::timeout, this, [this] {
        reopenTask_ =
            TaskHandle::spawn(this, [this](CancellationToken token) { return reopen(token); });
    });
}

WCRelay::~WCRelay() {
    if (auto reply = std::exchange(openReply_, std::nullopt)) {
        reply->fail(relayFailure(RelayError::connectionNotMade("Cancelled")));
    }
    dropSocket();
    pending_.failAll(relayFailure(RelayError::notConnected()));
}

QCoro::Task<void> WCRelay::connect() {
    if (connected_ || started_) {
        co_return;
    }
    QPointer<WCRelay> self(this);
    co_await openSocket();
    // The connection may have ended before this coroutine resumed.
    if (!self || !socketOpen_) {
        throw RelayError::connectionFailed("Connection closed");
    }
    started_ = true;
    std::cout << "[WalletConnect] Relay connected" << std::endl;
    setConnected(true);
}

QCoro::Task<void> WCRelay::openSocket() {
    // A new key pair and token for every attempt; nothing of them is kept.
    const RelayAuthToken auth = makeRelayAuthToken(endpoint_.audience());
    const std::optional<QUrl> url = endpoint_.connectionURL(auth.token);
    if (!url) {
        throw RelayError::connectionNotMade("Invalid URL");
    }
    if (auto earlier = std::exchange(openReply_, std::nullopt)) {
        earlier->fail(relayFailure(RelayError::connectionNotMade("Cancelled")));
    }
    dropSocket();

    auto* socket = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this);
    socket->setMaxAllowedIncomingMessageSize(limits_.maxMessageBytes);
    socket->setMaxAllowedIncomingFrameSize(limits_.maxMessageBytes);
    socket_ = socket;
    const OneShot<void> reply;
    openReply_ = reply;

    QObject::connect(socket, &QWebSocket::connected, this,
                     [this, socket] { onSocketOpen(socket); });
    QObject::connect(socket, &QWebSocket::disconnected, this, [this, socket] {
        const QString reason = socket->closeReason();
        onSocketEnded(socket, reason.isEmpty() ? QStringLiteral("Connection closed") : reason);
    });
    QObject::connect(socket, qOverload<QAbstractSocket::SocketError>(&QWebSocket::error), this,
                     [this, socket] { onSocketEnded(socket, socket->errorString()); });
    QObject::connect(socket, &QWebSocket::textMessageReceived, this,
                     [this, socket](const QString& text) {
                         if (socket == socket_ && socketOpen_) {
                             handleFrame(text);
                         }
                     });
    // Binary frames carry nothing of this protocol: they are not read.
    QObject::connect(socket, &QWebSocket::pong, this, [this, socket] {
        if (socket == socket_) {
            awaitingPong_ = false;
        }
    });
    // The websocket sets no limit of its own on the handshake.
    QTimer::singleShot(limits_.openTimeout, this, [this, reply] {
        if (openReply_ && *openReply_ == reply) {
            failOpen(relayFailure(RelayError::connectionFailed("Connection timed out")));
        }
    });

    socket->open(QNetworkRequest(*url));
    co_await reply.wait();
}

void WCRelay::onSocketOpen(QWebSocket* socket) {
    if (socket != socket_) {
        return;
    }
    socketOpen_ = true;
    awaitingPong_ = false;
    pingTimer_.start();
    if (auto reply = std::exchange(openReply_, std::nullopt)) {
        reply->succeed();
    }
}

void WCRelay::onSocketEnded(QWebSocket* socket, const QString& reason) {
    if (socket != socket_) {
        return;
    }
    if (openReply_) {
        failOpen(relayFailure(RelayError::connectionFailed(reason.toStdString())));
    } else if (socketOpen_) {
        onConnectionLost("the connection ended");
    }
}

void WCRelay::failOpen(const std::exception_ptr& error) {
    const auto reply = std::exchange(openReply_, std::nullopt);
    dropSocket();
    if (reply) {
        reply->fail(error);
    }
}

void WCRelay::onConnectionLost(const char* why) {
    dropSocket();
    pending_.failAll(relayFailure(RelayError::notConnected()));
    subscribing_.clear();
    if (started_) {
        std::cout << "[WalletConnect] Relay connection lost (" << why << "); reconnecting in "
                  << retryDelay_.count() << " ms" << std::endl;
        retryTimer_.start(retryDelay_);
    }
    // Last: a receiver may let go of this relay.
    setConnected(false);
}

QCoro::Task<void> WCRelay::reopen(CancellationToken token) {
    QPointer<WCRelay> self(this);
    try {
        co_await openSocket();
    } catch (const std::exception& error) {
        if (!self || token.isCancelled()) {
            co_return;
        }
        std::cout << "[WalletConnect] Relay reconnection failed: " << error.what() << std::endl;
        retryDelay_ = std::min(retryDelay_ * 2, limits_.maxRetryDelay);
        retryTimer_.start(retryDelay_);
        co_return;
    }
    if (!self || token.isCancelled() || !socketOpen_) {
        co_return; // lost again at once: that loss scheduled the next attempt
    }
    retryDelay_ = limits_.firstRetryDelay;

    // The relay forgets a connection's subscriptions with it.
    std::vector<std::string> topics;
    for (const auto& [topic, subscription] : topicSubscriptions_) {
        topics.push_back(topic);
    }
    for (std::string& topic : topics) {
        const auto current = topicSubscriptions_.find(topic);
        if (current == topicSubscriptions_.end()) {
            continue; // unsubscribed meanwhile
        }
        Handler handler = handlers_[current->second];
        try {
            co_await subscribeWith(std::move(topic), std::move(handler));
        } catch (const std::exception& error) {
            if (!self || !socketOpen_) {
                co_return;
            }
            std::cout << "[WalletConnect] A topic could not be subscribed again: " << error.what()
                      << std::endl;
        }
        if (!self || !socketOpen_) {
            co_return;
        }
    }
    std::cout << "[WalletConnect] Relay reconnected" << std::endl;
    setConnected(true);
}

void WCRelay::onPingDue() {
    if (!socketOpen_ || !socket_) {
        pingTimer_.stop();
        return;
    }
    if (awaitingPong_) {
        onConnectionLost("no answer to a ping");
        return;
    }
    awaitingPong_ = true;
    socket_->ping();
}

void WCRelay::setConnected(bool connected) {
    if (connected_ == connected) {
        return;
    }
    connected_ = connected;
    emit connectionChanged(connected);
}

void WCRelay::dropSocket() {
    socketOpen_ = false;
    awaitingPong_ = false;
    pingTimer_.stop();
    if (QWebSocket* socket = socket_) {
        socket_ = nullptr;
        QObject::disconnect(socket, nullptr, this, nullptr);
        socket->abort();
        // Deleted later: this may run inside one of the socket's own signals.
        socket->setParent(nullptr);
        socket->deleteLater();
    }
}

QCoro::Task<nlohmann::json> WCRelay::sendAndWait(std::int64_t id, nlohmann::json payload) {
    if (!socketOpen_ || !socket_) {
        throw RelayError::notConnected();
    }
    const QString text = QString::fromStdString(payload.dump());
    const OneShot<json> reply = pending_.add(id, limits_.requestTimeout);
    // The socket may end inside the send; its text is read from this pointer then.
    const QPointer<QWebSocket> socket = socket_;
    if (socket->sendTextMessage(text) != text.toUtf8().size()) {
        const std::string why =
            socket ? socket->errorString().toStdString() : std::string("Connection closed");
        pending_.fail(id, relayFailure(RelayError::connectionFailed(why)));
    }
    co_return co_await reply.take();
}

QCoro::Task<std::string> WCRelay::subscribe(std::string topic, Handler handler) {
    return subscribeWith(std::move(topic), std::move(handler));
}

QCoro::Task<std::string> WCRelay::subscribeWith(std::string topic, Handler handler) {
    QPointer<WCRelay> self(this);
    const std::int64_t id = takeRequestId();
    json params = {{"topic", topic}};
    json payload = relayRequest(id, "irn_subscribe", std::move(params));
    subscribing_[id] = Subscribing{std::move(topic), std::move(handler)};
    json result;
    try {
        result = co_await sendAndWait(id, std::move(payload));
    } catch (...) {
        if (self) {
            subscribing_.erase(id);
        }
        throw;
    }
    if (!self) {
        throw RelayError::notConnected();
    }
    if (!result.is_string()) {
        throw RelayError::invalidResponse();
    }
    co_return result.get<std::string>();
}

QCoro::Task<void> WCRelay::unsubscribe(std::string topic) {
    const auto found = topicSubscriptions_.find(topic);
    if (found == topicSubscriptions_.end()) {
        co_return;
    }
    QPointer<WCRelay> self(this);
    const std::string subscription = found->second;
    const std::int64_t id = takeRequestId();
    json params = {{"id", subscription}, {"topic", topic}};
    json payload = relayRequest(id, "irn_unsubscribe", std::move(params));
    co_await sendAndWait(id, std::move(payload));
    if (!self) {
        co_return;
    }
    handlers_.erase(subscription);
    if (const auto current = topicSubscriptions_.find(topic);
        current != topicSubscriptions_.end()) {
        handlers_.erase(current->second);
        topicSubscriptions_.erase(current);
    }
}

QCoro::Task<void> WCRelay::publish(std::string topic, std::string message, std::int64_t ttlSeconds,
                                   std::int64_t tag) {
    const std::int64_t id = takeRequestId();
    json params = {{"topic", std::move(topic)},
                   {"message", std::move(message)},
                   {"ttl", ttlSeconds},
                   {"tag", tag}};
    json payload = relayRequest(id, "irn_publish", std::move(params));
    co_await sendAndWait(id, std::move(payload));
}

std::optional<std::string> WCRelay::subscriptionId(const std::string& topic) const {
    const auto found = topicSubscriptions_.find(topic);
    if (found == topicSubscriptions_.end()) {
        return std::nullopt;
    }
    return found->second;
}

void WCRelay::install(const std::string& topic, const std::string& subscriptionId,
                      Handler handler) {
    if (const auto earlier = topicSubscriptions_.find(topic);
        earlier != topicSubscriptions_.end() && earlier->second != subscriptionId) {
        handlers_.erase(earlier->second);
    }
    handlers_[subscriptionId] = std::move(handler);
    topicSubscriptions_[topic] = subscriptionId;
}

bool WCRelay::firstDelivery(const std::string& topic, const std::string& message) {
    const std::string separator(1, '\0');
    const Bytes digest = crypto::sha256(utf8View(topic + separator + message));
    std::string key(digest.begin(), digest.end());
    if (delivered_.contains(key)) {
        return false;
    }
    if (deliveredOrder_.size() == kRememberedDeliveries) {
        delivered_.erase(deliveredOrder_.front());
        deliveredOrder_.pop_front();
    }
    delivered_.insert(key);
    deliveredOrder_.push_back(std::move(key));
    return true;
}

void WCRelay::handleFrame(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    RelayMessage message = parseRelayMessage(std::string_view(utf8.constData(), utf8.size()));

    if (auto* response = std::get_if<RelayResponse>(&message)) {
        if (!pending_.contains(response->id)) {
            return; // late, unknown, or already failed
        }
        const auto subscribing = subscribing_.find(response->id);
        if (response->errorMessage) {
            if (subscribing != subscribing_.end()) {
                subscribing_.erase(subscribing);
            }
            pending_.fail(response->id,
                          relayFailure(RelayError::serverError(*response->errorMessage)));
            return;
        }
        if (subscribing != subscribing_.end()) {
            if (response->result.is_string()) {
                install(subscribing->second.topic, response->result.get<std::string>(),
                        std::move(subscribing->second.handler));
            }
            subscribing_.erase(subscribing);
        }
        pending_.succeed(response->id, std::move(response->result));
        return;
    }

    auto* delivery = std::get_if<RelayDelivery>(&message);
    if (delivery == nullptr) {
        return;
    }
    if (delivery->ackId && socket_) {
        // Nothing waits for it: the relay delivers again what it does not see acknowledged.
        socket_->sendTextMessage(QString::fromStdString(relayAcknowledgement(*delivery->ackId)));
    }
    const auto handler = handlers_.find(delivery->subscriptionId);
    if (handler == handlers_.end() || !firstDelivery(delivery->topic, delivery->message)) {
        return;
    }
    // A copy: the handler may unsubscribe, or let go of this relay.
    const Handler call = handler->second;
    call(delivery->topic, delivery->message);
}

} // namespace qm
