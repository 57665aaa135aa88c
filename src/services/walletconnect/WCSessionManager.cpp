#include "services/walletconnect/WCSessionManager.h"

#include "core/encoding/Hex.h"
#include "core/json/JSONReader.h"
#include "platform/Crypto.h"
#include "platform/async/TaskHandle.h"
#include "platform/async/WhenAll.h"
#include "services/walletconnect/WCEnvelope.h"
#include "services/walletconnect/WCError.h"

#include <QPointer>
#include <QString>
#include <algorithm>
#include <iostream>

namespace qm {
namespace {

using json = nlohmann::json;

// Ids remembered per topic: far more than a dApp keeps waiting at once.
constexpr std::size_t kSeenIdsPerTopic = 512;
// A session message is small; a transaction's data or typed data makes the largest.
constexpr JSONReader::Limits kMessageLimits{4u << 20, 128};

std::optional<json> openBody(const std::string& message, ByteView key, bool acceptType1) {
    const auto envelope = envelopeFromText(message);
    if (!envelope) {
        return std::nullopt;
    }
    try {
        Bytes plaintext;
        if ((*envelope)[0] == 0) {
            plaintext = openType0Envelope(*envelope, key);
        } else if ((*envelope)[0] == 1 && acceptType1) {
            plaintext = openType1Envelope(*envelope, key).plaintext;
        } else {
            return std::nullopt;
        }
        const std::string_view text(reinterpret_cast<const char*>(plaintext.data()),
                                    plaintext.size());
        auto body = JSONReader::tryRead(text, kMessageLimits);
        if (!body || !body->is_object()) {
            return std::nullopt;
        }
        return body;
    } catch (const Error&) {
        return std::nullopt; // an envelope that does not open under the key
    }
}

std::string methodOf(const json& body) {
    const auto method = body.find("method");
    return method != body.end() && method->is_string() ? method->get<std::string>() : "";
}

std::string composed(const std::string& text) {
    return QString::fromStdString(text).normalized(QString::NormalizationForm_C).toStdString();
}

std::int64_t secondsSince1970(WCDate date) {
    return std::chrono::duration_cast<std::chrono::seconds>(date.time_since_epoch()).count();
}

} // namespace

bool WCSessionManager::SeenIds::insert(std::int64_t id) {
    if (!ids.insert(id).second) {
        return false;
    }
    order.push_back(id);
    if (order.size() > kSeenIdsPerTopic) {
        ids.erase(order.front());
        order.pop_front();
    }
    return true;
}

void WCSessionManager::SeenIds::erase(std::int64_t id) {
    if (ids.erase(id) > 0) {
        order.erase(std::find(order.begin(), order.end(), id));
    }
}

WCSessionManager::WCSessionManager(Options options, QObject* parent)
    : QObject(parent), m_options(std::move(options)), m_store(m_options.sessionsFile),
      m_connectDelay(m_options.firstConnectRetry) {
    for (WCSession& session : m_store.load()) {
        if (!isExpired(session)) {
            std::string topic = session.topic;
            m_sessions.insert_or_assign(std::move(topic), std::move(session));
        }
    }
    m_expiryTimer.setSingleShot(true);
    QObject::connect(&m_expiryTimer, &QTimer::timeout, this, [this] { dropExpiredSessions(); });
    m_connectRetry.setSingleShot(true);
    QObject::connect(&m_connectRetry, &QTimer::timeout, this, [this] {
        TaskHandle::spawn(this, [this](const CancellationToken&) { return tryConnect(); });
    });
    scheduleExpiry();
}

WCSessionManager::~WCSessionManager() {
    // The relay (a child) closes its connection and fails what still waits on it.
    delete m_relay;
    m_relay = nullptr;
    for (const OneShot<void>& wait : m_deletionWaits) {
        wait.succeed();
    }
}

bool WCSessionManager::isConnected() const {
    return m_relay && m_relay->isConnected();
}

QCoro::Task<void> WCSessionManager::connect() {
    if (!m_relay) {
        m_relay = new WCRelay(m_options.endpoint, m_options.limits, this);
        QObject::connect(m_relay, &WCRelay::connectionChanged, this,
                         [this](bool connected) { emit connectionChanged(connected); });
    }
    if (m_relay->isConnected()) {
        co_return;
    }
    if (m_connectAttempt) {
        // One opening at a time: a second would cancel the first.
        const OneShot<void> running = *m_connectAttempt;
        co_await running.wait();
        co_return;
    }
    const OneShot<void> attempt;
    m_connectAttempt = attempt;
    m_connectRetry.stop();
    QPointer<WCSessionManager> self(this);
    try {
        QCoro::Task<void> connecting = m_relay->connect();
        co_await std::move(connecting);
    } catch (...) {
        attempt.fail(std::current_exception());
        if (self) {
            m_connectAttempt.reset();
            scheduleConnectRetry();
        }
        throw;
    }
    attempt.succeed();
    if (!self) {
        co_return;
    }
    m_connectAttempt.reset();
    m_connectDelay = m_options.firstConnectRetry;
    QCoro::Task<void> subscribing = subscribeSessions();
    co_await std::move(subscribing);
}

QCoro::Task<void> WCSessionManager::tryConnect() {
    if (m_connectAttempt || isConnected()) {
        co_return;
    }
    try {
        QCoro::Task<void> connecting = connect();
        co_await std::move(connecting);
    } catch (const std::exception& error) {
        std::cout << "[WalletConnect] " << error.what() << std::endl;
    }
}

void WCSessionManager::scheduleConnectRetry() {
    m_connectRetry.start(m_connectDelay);
    m_connectDelay = std::min(m_connectDelay * 2, m_options.limits.maxRetryDelay);
}

QCoro::Task<void> WCSessionManager::subscribeSessions() {
    std::vector<std::string> topics;
    for (const auto& [topic, session] : m_sessions) {
        if (!isExpired(session)) {
            topics.push_back(topic);
        }
    }
    QPointer<WCSessionManager> self(this);
    for (std::string& topic : topics) {
        QCoro::Task<void> subscribing = subscribeSession(std::move(topic));
        co_await std::move(subscribing);
        if (!self) {
            co_return;
        }
    }
}

QCoro::Task<void> WCSessionManager::subscribeSession(std::string topic) {
    if (!m_relay || m_relay->subscriptionId(topic)) {
        co_return;
    }
    try {
        QCoro::Task<std::string> subscribing =
            m_relay->subscribe(topic, queuedHandler(&WCSessionManager::handleSessionMessage));
        co_await std::move(subscribing);
    } catch (const std::exception& error) {
        // The session stays; the next set-up tries again.
        std::cout << "[WalletConnect] A session could not be subscribed: " << error.what()
                  << std::endl;
    }
}

WCRelay::Handler WCSessionManager::queuedHandler(MessageHandler handle) {
    QPointer<WCSessionManager> self(this);
    return [self, handle](const std::string& topic, const std::string& message) {
        // Handled on a later turn, in arrival order: never inside the relay's read path.
        QMetaObject::invokeMethod(
            self.data(),
            [self, handle, topic, message] {
                if (self) {
                    (self.data()->*handle)(topic, message);
                }
            },
            Qt::QueuedConnection);
    };
}

QCoro::Task<void> WCSessionManager::pair(std::string topic, Bytes symmetricKey) {
    if (symmetricKey.size() != 32) {
        throw WCError::invalidURI();
    }
    QPointer<WCSessionManager> self(this);
    if (!isConnected()) {
        QCoro::Task<void> connecting = connect();
        co_await std::move(connecting);
        if (!self) {
            co_return;
        }
    }
    m_pairingKeys.insert_or_assign(topic, std::move(symmetricKey));
    QCoro::Task<std::string> subscribing =
        m_relay->subscribe(topic, queuedHandler(&WCSessionManager::handlePairingMessage));
    co_await std::move(subscribing);
}

void WCSessionManager::handlePairingMessage(const std::string& topic, const std::string& message) {
    const auto key = m_pairingKeys.find(topic);
    if (key == m_pairingKeys.end()) {
        return;
    }
    const auto body = openBody(message, key->second, true);
    if (!body || methodOf(*body) != "wc_sessionPropose") {
        return;
    }
    handleProposal(*body, topic);
}

void WCSessionManager::handleProposal(const json& body, const std::string& pairingTopic) {
    auto proposal = readProposal(body, pairingTopic);
    if (!proposal || !m_seen[pairingTopic].insert(proposal->id)) {
        return;
    }
    std::optional<WCProtocolError> refusal;
    if (proposal->expiry && *proposal->expiry < m_options.now()) {
        refusal = WCProtocolError::expired();
    } else {
        refusal = requiredNamespacesRefusal(proposal->requiredNamespaces);
    }
    if (refusal) {
        std::cout << "[WalletConnect] Proposal refused: " << refusal->message << std::endl;
        TaskHandle::spawn(this,
                          [this, topic = pairingTopic, id = proposal->id, error = *refusal](
                              const CancellationToken&) { return refuse(topic, id, error, true); });
        emit proposalRefused(*proposal, *refusal);
        return;
    }
    m_pendingProposals.insert_or_assign(proposal->id, *proposal);
    emit sessionProposal(*proposal);
}

void WCSessionManager::handleSessionMessage(const std::string& topic, const std::string& message) {
    const auto found = m_sessions.find(topic);
    if (found == m_sessions.end()) {
        return;
    }
    if (isExpired(found->second)) {
        dropExpiredSessions();
        return;
    }
    const auto body = openBody(message, found->second.symmetricKey, false);
    if (!body) {
        return;
    }
    const std::string method = methodOf(*body);
    if (method == "wc_sessionRequest") {
        handleRequest(*body, topic);
    } else if (method == "wc_sessionDelete") {
        removeSession(topic);
        TaskHandle::spawn(this, [this, topic](const CancellationToken&) { return forget(topic); });
        emit sessionDeleted(topic);
    } else if (method == "wc_sessionPing") {
        if (const auto id = messageId(*body)) {
            TaskHandle::spawn(this, [this, topic, id = *id](const CancellationToken&) {
                return respond(topic, id, true);
            });
        }
    }
}

void WCSessionManager::handleRequest(const json& body, const std::string& topic) {
    const auto request = readRequest(body, topic);
    if (!request || !m_seen[topic].insert(request->id)) {
        return;
    }
    if (request->expiry && *request->expiry < m_options.now()) {
        TaskHandle::spawn(this, [this, topic, id = request->id](const CancellationToken&) {
            return refuse(topic, id, WCProtocolError::expired(), false);
        });
        return;
    }
    emit sessionRequest(*request);
}

QCoro::Task<void> WCSessionManager::refuse(std::string topic, std::int64_t id,
                                           WCProtocolError error, bool onPairing) {
    if (!onPairing) {
        QCoro::Task<void> answering = respondError(std::move(topic), id, std::move(error));
        co_await std::move(answering);
        co_return;
    }
    const auto key = m_pairingKeys.find(topic);
    if (key == m_pairingKeys.end()) {
        co_return;
    }
    const Bytes pairingKey = key->second;
    QCoro::Task<void> publishing =
        publish(std::move(topic), errorMessage(id, error), pairingKey, kWCTagProposalAnswer);
    co_await std::move(publishing);
}

QCoro::Task<void> WCSessionManager::approveSession(std::int64_t proposalId,
                                                   std::vector<Chain> chains, std::string address) {
    const auto found = m_pendingProposals.find(proposalId);
    if (found == m_pendingProposals.end()) {
        throw WCError::invalidProposal();
    }
    const WCSessionProposal proposal = found->second;
    if (proposal.expiry && *proposal.expiry < m_options.now()) {
        m_pendingProposals.erase(proposalId);
        throw WCError::invalidProposal();
    }
    if (!m_relay) {
        throw WCError::notConnected();
    }
    const auto pairingKey = m_pairingKeys.find(proposal.pairingTopic);
    if (pairingKey == m_pairingKeys.end()) {
        throw WCError::noPairingKey();
    }
    const Bytes pairing = pairingKey->second;
    const auto proposerKey = hexToBytes("0x" + proposal.proposerPublicKey);
    if (!proposerKey || proposerKey->size() != 32) {
        throw WCError::invalidProposal();
    }
    SecureBytes privateKey(32);
    crypto::randomFill(privateKey.data(), privateKey.size());
    const std::string publicKey = bytesToPlainHex(crypto::x25519PublicKey(privateKey.view()));
    const SecureBytes sessionKey = deriveSymmetricKey(privateKey.view(), *proposerKey);
    const std::string topic = topicForKey(sessionKey.view());

    QPointer<WCSessionManager> self(this);
    QCoro::Task<std::string> subscribing =
        m_relay->subscribe(topic, queuedHandler(&WCSessionManager::handleSessionMessage));
    co_await std::move(subscribing);
    if (!self) {
        co_return;
    }
    const std::int64_t expiry = secondsSince1970(m_options.now()) + kWCSessionSeconds;
    const json namespaces = walletNamespaces(chains, address);
    try {
        QCoro::Task<void> settling =
            publish(topic, settlementMessage(generateMessageId(), namespaces, publicKey, expiry),
                    sessionKey.view(), kWCTagSettlement);
        co_await std::move(settling);
        if (!self) {
            co_return;
        }
        // Type 0 under the pairing key: the dApp client drops a type 1 answer here.
        QCoro::Task<void> answering =
            publish(proposal.pairingTopic, proposalAnswer(proposal.id, publicKey), pairing,
                    kWCTagProposalAnswer);
        co_await std::move(answering);
    } catch (...) {
        if (self) {
            // Nothing waits on this topic: a new approval makes a new one.
            TaskHandle::spawn(this,
                              [this, topic](const CancellationToken&) { return forget(topic); });
        }
        throw;
    }
    if (!self) {
        co_return;
    }
    WCSession session;
    session.topic = topic;
    session.symmetricKey = Bytes(sessionKey.begin(), sessionKey.end());
    session.peerName = proposal.metadata.name;
    session.peerURL = proposal.metadata.url;
    if (!proposal.metadata.icons.empty()) {
        session.peerIcon = proposal.metadata.icons.front();
    }
    session.approvedChains = walletChainIds(chains);
    session.approvedAccounts = walletAccounts(chains, address);
    session.expiryDate = WCDate(std::chrono::seconds(expiry));
    m_sessions.insert_or_assign(topic, std::move(session));
    m_pendingProposals.erase(proposalId);
    saveSessions();
    scheduleExpiry();
}

QCoro::Task<void> WCSessionManager::rejectSession(std::int64_t proposalId, WCProtocolError error) {
    const auto found = m_pendingProposals.find(proposalId);
    if (found == m_pendingProposals.end()) {
        co_return;
    }
    const std::string pairingTopic = found->second.pairingTopic;
    m_pendingProposals.erase(found);
    if (!m_relay) {
        co_return;
    }
    QCoro::Task<void> refusing = refuse(pairingTopic, proposalId, std::move(error), true);
    co_await std::move(refusing);
}

QCoro::Task<void> WCSessionManager::respond(std::string topic, std::int64_t id, json result) {
    QCoro::Task<void> answering = answer(std::move(topic), id, resultMessage(id, result));
    co_await std::move(answering);
}

QCoro::Task<void> WCSessionManager::respondError(std::string topic, std::int64_t id,
                                                 WCProtocolError error) {
    QCoro::Task<void> answering = answer(std::move(topic), id, errorMessage(id, error));
    co_await std::move(answering);
}

bool WCSessionManager::isAnswered(const std::string& topic, std::int64_t id) const {
    const auto found = m_answered.find(topic);
    return found != m_answered.end() && found->second.contains(id);
}

QCoro::Task<void> WCSessionManager::answer(std::string topic, std::int64_t id, json body) {
    const auto found = m_sessions.find(topic);
    if (found == m_sessions.end() || isExpired(found->second)) {
        throw WCError::sessionNotFound();
    }
    if (!m_relay) {
        throw WCError::notConnected();
    }
    const auto key = std::make_pair(topic, id);
    if (isAnswered(topic, id) || m_answering.contains(key)) {
        co_return;
    }
    const Bytes sessionKey = found->second.symmetricKey;
    m_answering.insert(key);
    QPointer<WCSessionManager> self(this);
    try {
        QCoro::Task<void> publishing = publish(topic, body, sessionKey, kWCTagRequestAnswer);
        co_await std::move(publishing);
    } catch (...) {
        if (self) {
            m_answering.erase(key);
        }
        throw;
    }
    if (self) {
        m_answering.erase(key);
        m_answered[topic].insert(id);
    }
}

QCoro::Task<void> WCSessionManager::publish(std::string topic, const json& body, ByteView key,
                                            std::int64_t tag) {
    if (!m_relay) {
        throw WCError::notConnected();
    }
    const std::string message = envelopeText(sealType0Envelope(utf8View(body.dump()), key));
    QCoro::Task<void> publishing =
        m_relay->publish(std::move(topic), message, kWCMessageTTLSeconds, tag);
    co_await std::move(publishing);
}

QCoro::Task<void> WCSessionManager::disconnect(std::string topic) {
    const auto found = m_sessions.find(topic);
    if (found == m_sessions.end()) {
        co_return;
    }
    const Bytes key = found->second.symmetricKey;
    QPointer<WCSessionManager> self(this);
    try {
        QCoro::Task<void> deleting =
            publish(topic, deletionMessage(generateMessageId()), key, kWCTagDeletion);
        co_await std::move(deleting);
    } catch (const std::exception& error) {
        std::cout << "[WalletConnect] The dApp could not be told of the disconnection: "
                  << error.what() << std::endl;
    }
    if (!self) {
        co_return;
    }
    const bool wasThere = m_sessions.contains(topic);
    removeSession(topic);
    if (wasThere) {
        emit sessionDeleted(topic);
    }
    QCoro::Task<void> forgetting = forget(topic);
    co_await std::move(forgetting);
}

QCoro::Task<void> WCSessionManager::forget(std::string topic) {
    if (!m_relay) {
        co_return;
    }
    try {
        QCoro::Task<void> unsubscribing = m_relay->unsubscribe(std::move(topic));
        co_await std::move(unsubscribing);
    } catch (const std::exception&) {
        // The relay drops the subscription with the connection; nothing arrives for a
        // session that is gone.
    }
}

std::vector<WCSessionManager::EndedSession> WCSessionManager::endAllSessions() {
    std::vector<EndedSession> ended;
    ended.reserve(m_sessions.size());
    for (const auto& [topic, session] : m_sessions) {
        ended.push_back({topic, session.symmetricKey});
    }
    m_sessions.clear();
    m_pairingKeys.clear();
    m_pendingProposals.clear();
    m_expiryTimer.stop();
    try {
        m_store.remove();
    } catch (const std::exception& error) {
        std::cout << "[WalletConnect] Cannot remove the sessions: " << error.what() << std::endl;
    }
    for (const EndedSession& session : ended) {
        emit sessionDeleted(session.topic);
    }
    return ended;
}

QCoro::Task<void> WCSessionManager::sendDeletions(std::vector<EndedSession> ended,
                                                  std::chrono::milliseconds wait) {
    if (ended.empty()) {
        co_return;
    }
    // An unreachable relay costs the wallet's deletion no more than `wait`.
    const OneShot<void> done;
    m_deletionWaits.push_back(done);
    QTimer::singleShot(wait, this, [done] { done.succeed(); });
    TaskHandle::spawn(this, [this, ended = std::move(ended), done](const CancellationToken&) {
        return publishDeletions(ended, done);
    });
    QPointer<WCSessionManager> self(this);
    co_await done.wait();
    if (self) {
        std::erase_if(m_deletionWaits, [](const OneShot<void>& w) { return w.isDone(); });
    }
}

QCoro::Task<void> WCSessionManager::publishDeletions(std::vector<EndedSession> ended,
                                                     OneShot<void> done) {
    QPointer<WCSessionManager> self(this);
    try {
        if (!isConnected()) {
            QCoro::Task<void> connecting = connect();
            co_await std::move(connecting);
            if (!self) {
                co_return;
            }
        }
        std::vector<QCoro::Task<void>> deletions;
        for (const EndedSession& session : ended) {
            deletions.push_back(publish(session.topic, deletionMessage(generateMessageId()),
                                        session.symmetricKey, kWCTagDeletion));
        }
        QCoro::Task<void> deleting = whenAll(std::move(deletions));
        co_await std::move(deleting);
    } catch (const std::exception& error) {
        std::cout << "[WalletConnect] The dApps could not be told that their sessions ended: "
                  << error.what() << std::endl;
    }
    done.succeed();
}

std::vector<WCSession> WCSessionManager::sortedSessions() const {
    std::vector<std::pair<std::string, const WCSession*>> keyed;
    for (const auto& [topic, session] : m_sessions) {
        if (!isExpired(session)) {
            keyed.emplace_back(composed(session.peerName), &session);
        }
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<WCSession> out;
    out.reserve(keyed.size());
    for (const auto& entry : keyed) {
        out.push_back(*entry.second);
    }
    return out;
}

std::optional<WCSessionProposal> WCSessionManager::pendingProposal(std::int64_t id) const {
    const auto found = m_pendingProposals.find(id);
    if (found == m_pendingProposals.end()) {
        return std::nullopt;
    }
    return found->second;
}

bool WCSessionManager::isExpired(const WCSession& session) const {
    return m_options.now() > session.expiryDate;
}

void WCSessionManager::removeSession(const std::string& topic) {
    if (m_sessions.erase(topic) > 0) {
        saveSessions();
        scheduleExpiry();
    }
}

void WCSessionManager::dropExpiredSessions() {
    std::vector<std::string> expired;
    for (const auto& [topic, session] : m_sessions) {
        if (isExpired(session)) {
            expired.push_back(topic);
        }
    }
    for (const std::string& topic : expired) {
        removeSession(topic);
        TaskHandle::spawn(this, [this, topic](const CancellationToken&) { return forget(topic); });
        emit sessionDeleted(topic);
    }
    scheduleExpiry();
}

void WCSessionManager::scheduleExpiry() {
    std::optional<WCDate> next;
    for (const auto& [topic, session] : m_sessions) {
        if (!next || session.expiryDate < *next) {
            next = session.expiryDate;
        }
    }
    if (!next) {
        m_expiryTimer.stop();
        return;
    }
    // A day at most per wait (the timer counts in int milliseconds); it re-checks then.
    const auto wait = std::clamp<std::chrono::milliseconds::rep>(
        (*next - m_options.now()).count() + 1, 0, 24 * 3600 * 1000);
    m_expiryTimer.start(std::chrono::milliseconds(wait));
}

void WCSessionManager::saveSessions() {
    std::vector<WCSession> sessions;
    sessions.reserve(m_sessions.size());
    for (const auto& [topic, session] : m_sessions) {
        sessions.push_back(session);
    }
    try {
        m_store.save(sessions);
    } catch (const std::exception& error) {
        std::cout << "[WalletConnect] Cannot save the sessions: " << error.what() << std::endl;
    }
}

} // namespace qm
