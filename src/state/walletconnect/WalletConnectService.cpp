#include "state/walletconnect/WalletConnectService.h"

#include "core/storage/TokenStore.h"
#include "platform/async/TaskHandle.h"
#include "services/connections/NetworkManager.h"
#include "services/evm/EthereumAddress.h"
#include "services/evm/TokenDiscovery.h"
#include "services/walletconnect/WCError.h"
#include "services/walletconnect/WCPairingURI.h"
#include "state/AppState.h"
#include "state/flows/AttemptLedger.h"
#include "state/flows/EVMFeeBounds.h"

#include <algorithm>
#include <iostream>

namespace qm {

WalletConnectService::WalletConnectService(QObject* parent)
    : WalletConnectService(Options{}, parent) {}

WalletConnectService::WalletConnectService(Options options, QObject* parent)
    : QObject(parent), m_options(std::move(options)) {
    m_requestExpiry.setSingleShot(true);
    connect(&m_requestExpiry, &QTimer::timeout, this, [this] { dropExpiredRequests(); });
}

WalletConnectService::~WalletConnectService() = default;

void WalletConnectService::attach(AppState& state) {
    m_state = &state;
}

QCoro::Task<void> WalletConnectService::setup() {
    // The previous manager goes with its relay connection.
    delete std::exchange(m_manager, nullptr);
    m_proposals.clear();
    emit proposalsChanged();
    auto* manager = new WCSessionManager(m_options.manager, this);
    m_manager = manager;
    connect(manager, &WCSessionManager::sessionProposal, this,
            [this](const WCSessionProposal& proposal) { onProposal(proposal); });
    connect(manager, &WCSessionManager::sessionRequest, this,
            [this](const WCSessionRequest& request) { onRequest(request); });
    connect(manager, &WCSessionManager::sessionDeleted, this,
            [this](const std::string& topic) { onSessionDeleted(topic); });
    connect(manager, &WCSessionManager::connectionChanged, this,
            [this](bool connected) { setRelayConnected(connected); });
    refreshSessions();

    QPointer<WalletConnectService> self(this);
    const QPointer<WCSessionManager> current(manager);
    try {
        QCoro::Task<void> connecting = manager->connect();
        co_await std::move(connecting);
    } catch (const std::exception& error) {
        std::cout << "[WalletConnect] " << error.what() << std::endl;
    }
    if (!self || !current || m_manager != current) {
        co_return;
    }
    setRelayConnected(manager->isConnected());
    refreshSessions();
}

std::string WalletConnectService::dappName(const std::string& topic) const {
    const auto found = std::find_if(m_sessions.begin(), m_sessions.end(),
                                    [&](const WCSession& s) { return s.topic == topic; });
    return found == m_sessions.end() ? "Unknown dApp" : found->peerName;
}

QCoro::Task<void> WalletConnectService::pair(std::string uri) {
    if (m_pairing) {
        co_return;
    }
    const auto pairing = parsePairingURI(uri);
    if (!pairing) {
        throw WCError::invalidURI();
    }
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
        m_options.manager.now().time_since_epoch());
    if (pairing->expiryTimestamp && *pairing->expiryTimestamp < now.count()) {
        throw WCError::expiredURI();
    }
    if (!m_manager) {
        throw WCError::notConnected();
    }
    setBusy(m_pairing, true);
    QPointer<WalletConnectService> self(this);
    try {
        QCoro::Task<void> pairing2 = m_manager->pair(pairing->topic, pairing->symKey);
        co_await std::move(pairing2);
    } catch (...) {
        if (self) {
            setBusy(m_pairing, false);
        }
        throw;
    }
    if (self) {
        setBusy(m_pairing, false);
    }
}

void WalletConnectService::onProposal(const WCSessionProposal& proposal) {
    m_proposals.push_back(proposal);
    emit proposalsChanged();
}

QCoro::Task<void> WalletConnectService::approveProposal(std::int64_t id) {
    const auto waiting = std::find_if(m_proposals.begin(), m_proposals.end(),
                                      [id](const WCSessionProposal& p) { return p.id == id; });
    if (m_answeringProposal || waiting == m_proposals.end() || !m_manager || !m_state) {
        co_return;
    }
    const auto& accounts = m_state->evmAccounts(Chain::ethereum);
    if (accounts.empty()) {
        co_return;
    }
    const std::string address = accounts.front().account.address;
    setBusy(m_answeringProposal, true);
    QPointer<WalletConnectService> self(this);
    const QPointer<WCSessionManager> manager(m_manager);
    std::exception_ptr failure;
    try {
        QCoro::Task<void> approving = m_manager->approveSession(
            id, {Chain::ethereum, Chain::arbitrum, Chain::polygon}, address);
        co_await std::move(approving);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self) {
        co_return;
    }
    setBusy(m_answeringProposal, false);
    // Gone from the manager (answered, expired): out of the line too.
    if (!manager || !manager->pendingProposal(id)) {
        std::erase_if(m_proposals, [id](const WCSessionProposal& p) { return p.id == id; });
        emit proposalsChanged();
    }
    refreshSessions();
    if (failure) {
        std::rethrow_exception(failure);
    }
}

QCoro::Task<void> WalletConnectService::rejectProposal(std::int64_t id) {
    if (m_answeringProposal) {
        co_return;
    }
    const auto count =
        std::erase_if(m_proposals, [id](const WCSessionProposal& p) { return p.id == id; });
    if (count == 0) {
        co_return;
    }
    emit proposalsChanged();
    if (!m_manager) {
        co_return;
    }
    setBusy(m_answeringProposal, true);
    QPointer<WalletConnectService> self(this);
    try {
        QCoro::Task<void> rejecting = m_manager->rejectSession(id);
        co_await std::move(rejecting);
    } catch (const std::exception& error) {
        std::cout << "[WalletConnect] The rejection did not reach the dApp: " << error.what()
                  << std::endl;
    }
    if (self) {
        setBusy(m_answeringProposal, false);
    }
}

void WalletConnectService::onRequest(const WCSessionRequest& request) {
    constexpr std::size_t kReadRequestsKept = 4096;
    const RequestKey key(request.sessionTopic, request.id);
    if (!m_readRequests.insert(key).second) {
        return;
    }
    m_readOrder.push_back(key);
    if (m_readOrder.size() > kReadRequestsKept) {
        m_readRequests.erase(m_readOrder.front());
        m_readOrder.pop_front();
    }
    const auto session = std::find_if(m_sessions.begin(), m_sessions.end(), [&](const auto& s) {
        return s.topic == request.sessionTopic;
    });
    const auto chain = chainForCAIP2(request.chainId);
    const std::optional<std::string> account =
        session != m_sessions.end() && chain ? sessionAccount(*session, *chain) : std::nullopt;
    std::variant<WCPreparedRequest, WCProtocolError> prepared =
        account ? prepareRequest(request, *account)
                : std::variant<WCPreparedRequest, WCProtocolError>(
                      WCProtocolError::unsupportedChains());
    if (auto* refusal = std::get_if<WCProtocolError>(&prepared)) {
        std::cout << "[WalletConnect] Request refused: " << refusal->message << std::endl;
        TaskHandle::spawn(this, [this, topic = request.sessionTopic, id = request.id,
                                 error = *refusal](const CancellationToken&) {
            return refuseRequest(topic, id, error);
        });
        return;
    }
    const WCPreparedRequest& waiting =
        m_requests.emplace_back(std::get<WCPreparedRequest>(std::move(prepared)));
    if (waiting.kind == WCPreparedRequest::Kind::sendTransaction ||
        waiting.kind == WCPreparedRequest::Kind::signTransaction) {
        // Prepared while it waits: the sheet shows what will be signed.
        m_reviews[key].preparing = true;
        TaskHandle::spawn(this,
                          [this, request = waiting, from = *account](const CancellationToken&) {
                              return prepareReview(request, from);
                          });
    }
    scheduleRequestExpiry();
    emit requestsChanged();
}

const WCTransactionReview* WalletConnectService::transactionReview(const std::string& topic,
                                                                   std::int64_t id) const {
    const auto found = m_reviews.find(RequestKey(topic, id));
    return found == m_reviews.end() ? nullptr : &found->second;
}

std::optional<Token> WalletConnectService::knownToken(Chain chain, ByteView contract) const {
    const auto same = [&](const std::string& address) {
        const auto bytes = ethereumAddressBytes(address);
        return bytes && std::equal(bytes->begin(), bytes->end(), contract.begin(), contract.end());
    };
    if (m_state) {
        for (const Token& token : m_state->tokenStore().tokens(chain)) {
            if (same(token.contractAddress)) {
                return token;
            }
        }
    }
    const auto& builtIn = knownTokensByChain();
    if (const auto tokens = builtIn.find(chain); tokens != builtIn.end()) {
        for (const KnownToken& known : tokens->second) {
            if (same(known.contractAddress)) {
                return Token{known.contractAddress, known.symbol, known.name, known.decimals,
                             chain};
            }
        }
    }
    return std::nullopt;
}

QCoro::Task<void> WalletConnectService::prepareReview(WCPreparedRequest request, std::string from) {
    if (!m_state) {
        co_return;
    }
    const RequestKey key(request.request.sessionTopic, request.request.id);
    QPointer<WalletConnectService> self(this);
    WCTransactionReview review;
    try {
        QCoro::Task<WCPreparedTransaction> preparing = prepareWCTransaction(
            m_state->networkManager().evmClient(request.chain), request.transaction, request.chain,
            std::move(from), {}, replacementFloorOf(request));
        review.prepared = co_await std::move(preparing);
    } catch (const UnbelievableFees& error) {
        review.error = error.what(); // it says itself what cannot be right
    } catch (const std::exception& error) {
        review.error = std::string("The network fee could not be computed: ") + error.what();
    }
    if (!self) {
        co_return;
    }
    // Gone, or prepared meanwhile by a press of Sign: that one is shown.
    const auto found = m_reviews.find(key);
    if (found == m_reviews.end() || !found->second.preparing) {
        co_return;
    }
    found->second = std::move(review);
    emit reviewChanged();
}

QCoro::Task<void> WalletConnectService::refuseRequest(std::string topic, std::int64_t id,
                                                      WCProtocolError error) {
    if (!m_manager) {
        co_return;
    }
    try {
        QCoro::Task<void> refusing = m_manager->respondError(std::move(topic), id, error);
        co_await std::move(refusing);
    } catch (const std::exception& failure) {
        std::cout << "[WalletConnect] The refusal did not reach the dApp: " << failure.what()
                  << std::endl;
    }
}

QCoro::Task<bool> WalletConnectService::approveRequest(std::string topic, std::int64_t id,
                                                       SecureBytes password) {
    const RequestKey key(topic, id);
    const auto waiting = std::find_if(m_requests.begin(), m_requests.end(), [&](const auto& r) {
        return r.request.sessionTopic == topic && r.request.id == id;
    });
    if (m_signing || waiting == m_requests.end() || !m_manager) {
        co_return false;
    }
    const WCPreparedRequest request = *waiting;
    QPointer<WalletConnectService> self(this);
    m_signingKey = key;
    setBusy(m_signing, true);
    std::exception_ptr failure;
    try {
        if (request.request.expiry && *request.request.expiry < m_options.manager.now()) {
            removeRequest(key);
            TaskHandle::spawn(this, [this, topic, id](const CancellationToken&) {
                return refuseRequest(topic, id, WCProtocolError::expired());
            });
            throw WCError::signingFailed("The request has expired");
        }
        if (!m_results.contains(key)) {
            QCoro::Task<nlohmann::json> signing = sign(request, std::move(password));
            nlohmann::json result = co_await std::move(signing);
            if (!self) {
                co_return false;
            }
            m_results.insert_or_assign(key, std::move(result));
        }
        if (!m_manager) {
            throw WCError::notConnected();
        }
        QCoro::Task<void> answering = m_manager->respond(topic, id, m_results.at(key));
        co_await std::move(answering);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self) {
        co_return false;
    }
    m_signingKey.reset();
    setBusy(m_signing, false);
    if (failure) {
        std::rethrow_exception(failure);
    }
    m_results.erase(key);
    // The dApp has the hash: the transaction the user approved is heard of.
    if (const auto sent = m_untold.find(key); sent != m_untold.end()) {
        for (const std::string& id : sent->second) {
            if (m_state) {
                m_state->attemptLedger().markTold(id);
            }
        }
        m_untold.erase(sent);
    }
    removeRequest(key);
    if (m_state) {
        AppState* state = m_state;
        TaskHandle::spawn(state,
                          [state](CancellationToken token) { return state->refreshAll(token); });
    }
    co_return true;
}

QCoro::Task<void> WalletConnectService::rejectRequest(std::string topic, std::int64_t id) {
    if (m_signing) {
        co_return;
    }
    const RequestKey key(topic, id);
    const bool waiting = std::any_of(m_requests.begin(), m_requests.end(), [&](const auto& r) {
        return r.request.sessionTopic == topic && r.request.id == id;
    });
    if (!waiting) {
        co_return;
    }
    removeRequest(key);
    m_results.erase(key);
    m_untold.erase(key);
    QCoro::Task<void> refusing =
        refuseRequest(std::move(topic), id, WCProtocolError::userRejected());
    co_await std::move(refusing);
}

void WalletConnectService::removeRequest(const RequestKey& key) {
    const auto count = std::erase_if(m_requests, [&](const WCPreparedRequest& r) {
        return r.request.sessionTopic == key.first && r.request.id == key.second;
    });
    m_reviews.erase(key);
    if (count > 0) {
        scheduleRequestExpiry();
        emit requestsChanged();
    }
}

void WalletConnectService::dropExpiredRequests() {
    const WCDate now = m_options.manager.now();
    std::vector<RequestKey> expired;
    for (const WCPreparedRequest& request : m_requests) {
        // The one being signed finishes first: its answer decides.
        const RequestKey key(request.request.sessionTopic, request.request.id);
        if (request.request.expiry && *request.request.expiry < now && m_signingKey != key) {
            expired.emplace_back(request.request.sessionTopic, request.request.id);
        }
    }
    for (const RequestKey& key : expired) {
        removeRequest(key);
        m_results.erase(key);
        m_untold.erase(key);
        TaskHandle::spawn(this, [this, key](const CancellationToken&) {
            return refuseRequest(key.first, key.second, WCProtocolError::expired());
        });
    }
    scheduleRequestExpiry();
}

void WalletConnectService::scheduleRequestExpiry() {
    std::optional<WCDate> next;
    for (const WCPreparedRequest& request : m_requests) {
        if (request.request.expiry && (!next || *request.request.expiry < *next)) {
            next = request.request.expiry;
        }
    }
    if (!next) {
        m_requestExpiry.stop();
        return;
    }
    const auto wait = std::clamp<std::chrono::milliseconds::rep>(
        (*next - m_options.manager.now()).count() + 1, 0, 24 * 3600 * 1000);
    m_requestExpiry.start(std::chrono::milliseconds(wait));
}

QCoro::Task<void> WalletConnectService::disconnect(std::string topic) {
    std::erase_if(m_sessions, [&](const WCSession& s) { return s.topic == topic; });
    emit sessionsChanged();
    if (!m_manager) {
        co_return;
    }
    try {
        QCoro::Task<void> disconnecting = m_manager->disconnect(std::move(topic));
        co_await std::move(disconnecting);
    } catch (const std::exception& error) {
        std::cout << "[WalletConnect] " << error.what() << std::endl;
    }
}

void WalletConnectService::endAllSessions() {
    // The manager that ends them stays only to tell the dApps; nothing it does reaches the
    // lists of the wallet that comes.
    WCSessionManager* manager = std::exchange(m_manager, nullptr);
    const bool wasSetUp = manager != nullptr;
    if (!manager) {
        // Not set up since the start (a wallet deleted at the lock screen): the file names the
        // sessions and holds their keys.
        manager = new WCSessionManager(m_options.manager, this);
    }
    QObject::disconnect(manager, nullptr, this, nullptr);
    std::vector<WCSessionManager::EndedSession> ended = manager->endAllSessions();
    m_sessions.clear();
    m_proposals.clear();
    m_requests.clear();
    m_reviews.clear();
    m_results.clear();
    m_untold.clear();
    scheduleRequestExpiry();
    setRelayConnected(false);
    emit sessionsChanged();
    emit proposalsChanged();
    emit requestsChanged();
    if (wasSetUp) {
        // The relay stays at hand, as before, for the wallet that comes.
        TaskHandle::spawn(this, [this](const CancellationToken&) { return setup(); });
    }
    if (ended.empty()) {
        manager->deleteLater();
        return;
    }
    std::cout << "[WalletConnect] Ending " << ended.size() << " session(s)" << std::endl;
    TaskHandle::spawn(this, [this, manager = QPointer<WCSessionManager>(manager),
                             ended = std::move(ended)](const CancellationToken&) {
        return sendDeletions(manager, ended);
    });
}

QCoro::Task<void>
WalletConnectService::sendDeletions(QPointer<WCSessionManager> manager,
                                    std::vector<WCSessionManager::EndedSession> ended) {
    if (!manager) {
        co_return;
    }
    QCoro::Task<void> sending = manager->sendDeletions(std::move(ended), m_options.endingWait);
    co_await std::move(sending);
    if (manager) {
        manager->deleteLater();
    }
}

void WalletConnectService::onSessionDeleted(const std::string& topic) {
    std::erase_if(m_sessions, [&](const WCSession& s) { return s.topic == topic; });
    emit sessionsChanged();
    // What its dApp asked can no longer be answered.
    const auto count = std::erase_if(m_requests, [&](const WCPreparedRequest& r) {
        return r.request.sessionTopic == topic &&
               m_signingKey != RequestKey(r.request.sessionTopic, r.request.id);
    });
    std::erase_if(m_reviews, [&](const auto& entry) {
        return entry.first.first == topic && m_signingKey != entry.first;
    });
    if (count > 0) {
        scheduleRequestExpiry();
        emit requestsChanged();
    }
}

void WalletConnectService::setRelayConnected(bool connected) {
    if (m_relayConnected != connected) {
        m_relayConnected = connected;
        emit relayConnectedChanged();
    }
}

void WalletConnectService::refreshSessions() {
    m_sessions = m_manager ? m_manager->sortedSessions() : std::vector<WCSession>{};
    emit sessionsChanged();
}

void WalletConnectService::setBusy(bool& flag, bool value) {
    if (flag != value) {
        flag = value;
        emit busyChanged();
    }
}

} // namespace qm
