#pragma once
// The wallet side of the WalletConnect sign protocol over one relay connection: pairings made
// from "wc:" URIs, the proposals and requests that dApps send, and the answers, settlements
// and deletions the wallet sends back, each sealed in an envelope and published on its topic.
// It knows nothing of signing: its owner decides what to answer.
//
// What arrives is read once: a proposal or request whose id was already seen on its topic (a
// relay may deliver a message again) is dropped, and an id is answered at most once. Sessions
// past their expiry are gone: dropped from the list, the file and the relay. A proposal that
// asks for chains, methods, events or namespaces the wallet does not offer is refused at once
// with the protocol's code; a proposal or request that arrives after the expiry its sender gave
// is answered with the expiry error. Nothing else that arrives is ever answered with an error:
// malformed input is dropped.
//
// Deleting the manager closes its relay connection. GUI thread only; the signals are emitted
// on a later turn of the event loop than the delivery that caused them.

#include "core/model/Chain.h"
#include "platform/async/OneShot.h"
#include "services/walletconnect/WCRecords.h"
#include "services/walletconnect/WCRelay.h"
#include "services/walletconnect/WCSessionMessages.h"
#include "services/walletconnect/WCSessionStore.h"

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <qcoro/qcorotask.h>
#include <set>
#include <string>
#include <vector>

namespace qm {

class WCSessionManager : public QObject {
    Q_OBJECT

public:
    struct Options {
        WCRelayEndpoint endpoint = WCRelayEndpoint::configured();
        WCRelay::Limits limits;
        std::filesystem::path sessionsFile = WCSessionStore::defaultFile();
        // The clock that expiries are read against; tests move it.
        std::function<WCDate()> now = wcNow;
        // The first wait before connect() tries again after a failed first connection;
        // doubled after each failure up to the relay's maxRetryDelay.
        std::chrono::milliseconds firstConnectRetry{2'000};
    };

    // Loads the stored sessions (expired ones are left out).
    explicit WCSessionManager(Options options, QObject* parent = nullptr);
    ~WCSessionManager() override;

    // Connects the relay and subscribes every unexpired session. Throws the relay's
    // connection failure; the manager then keeps trying in the background with growing
    // delays, and subscribes the sessions once connected. Returns at once when connected.
    QCoro::Task<void> connect();
    bool isConnected() const;

    // Keeps the pairing key and subscribes its topic (connecting first if need be). Throws
    // WCError::invalidURI for a key that is not 32 bytes, the relay's failures.
    QCoro::Task<void> pair(std::string topic, Bytes symmetricKey);

    // Settles a session for the proposal with `address` on each EVM chain of `chains`: a new
    // key pair, the session key agreed with the proposer's, the session topic subscribed, the
    // settlement published there, then the answer (a type 0 envelope under the pairing key) on
    // the pairing topic; then the session is stored. Throws WCError::invalidProposal (no such
    // proposal, a proposer key that is not 64 hex digits), WCError::noPairingKey,
    // WCError::notConnected, the relay's and the key agreement's failures. The proposal stays
    // pending until an approval succeeds, so a failed one can be tried again.
    QCoro::Task<void> approveSession(std::int64_t proposalId, std::vector<Chain> chains,
                                     std::string address);
    // Answers the proposal with `error` (type 0 under the pairing key) and forgets it; nothing
    // is sent when the proposal is unknown or its pairing key is gone. Throws the relay's
    // failures (the proposal is forgotten all the same).
    QCoro::Task<void> rejectSession(std::int64_t proposalId,
                                    WCProtocolError error = WCProtocolError::userRejected());

    // The result or the error answer to request `id` on the session `topic`. An id already
    // answered is not answered again (returns at once). Throws WCError::sessionNotFound (no
    // such session, or expired), WCError::notConnected, the relay's failures; the id then
    // counts as unanswered.
    QCoro::Task<void> respond(std::string topic, std::int64_t id, nlohmann::json result);
    QCoro::Task<void> respondError(std::string topic, std::int64_t id, WCProtocolError error);
    // Whether request `id` on `topic` has been answered.
    bool isAnswered(const std::string& topic, std::int64_t id) const;

    // Sends the session's deletion (its failure ignored), unsubscribes the topic and removes
    // the session, then emits sessionDeleted. Nothing for an unknown topic.
    QCoro::Task<void> disconnect(std::string topic);

    // A session ended by endAllSessions(), kept only until its dApp has been told.
    struct EndedSession {
        std::string topic;
        Bytes symmetricKey;
    };
    // Ends every session at once, for a wallet that goes: the sessions (expired ones too) and
    // their keys, the pairings and the proposals are forgotten, the sessions file is removed
    // with what an unreadable one left aside (its failure logged), and sessionDeleted is
    // emitted for each. Returns what sendDeletions() needs to tell the dApps.
    std::vector<EndedSession> endAllSessions();
    // Tells each dApp its session ended (wc_sessionDelete), connecting first if need be; waits
    // for the relay's acknowledgements at most `wait` in all, then returns. Never throws.
    QCoro::Task<void> sendDeletions(std::vector<EndedSession> ended,
                                    std::chrono::milliseconds wait);

    // The unexpired sessions by dApp name (Unicode scalar order after canonical composition;
    // stable for equal names).
    std::vector<WCSession> sortedSessions() const;
    // The proposal with this id while it waits for an answer.
    std::optional<WCSessionProposal> pendingProposal(std::int64_t id) const;

signals:
    void sessionProposal(const qm::WCSessionProposal& proposal);
    // A proposal refused without the user: it asks for what the wallet does not offer, or came
    // too late.
    void proposalRefused(const qm::WCSessionProposal& proposal, const qm::WCProtocolError& error);
    void sessionRequest(const qm::WCSessionRequest& request);
    // A session was removed: by the dApp, by disconnect(), or because it expired.
    void sessionDeleted(const std::string& topic);
    void connectionChanged(bool connected);

private:
    struct SeenIds {
        std::set<std::int64_t> ids;
        std::deque<std::int64_t> order;
        // False when `id` was already there.
        bool insert(std::int64_t id);
        bool contains(std::int64_t id) const { return ids.contains(id); }
        void erase(std::int64_t id);
    };

    QCoro::Task<void> tryConnect();
    void scheduleConnectRetry();
    QCoro::Task<void> subscribeSessions();
    QCoro::Task<void> subscribeSession(std::string topic);
    using MessageHandler = void (WCSessionManager::*)(const std::string& topic,
                                                      const std::string& message);
    // Calls `handle` on a later turn of the event loop, while this manager lives.
    WCRelay::Handler queuedHandler(MessageHandler handle);
    void handlePairingMessage(const std::string& topic, const std::string& message);
    void handleSessionMessage(const std::string& topic, const std::string& message);
    void handleProposal(const nlohmann::json& body, const std::string& pairingTopic);
    void handleRequest(const nlohmann::json& body, const std::string& topic);
    QCoro::Task<void> refuse(std::string topic, std::int64_t id, WCProtocolError error,
                             bool onPairing);
    QCoro::Task<void> answer(std::string topic, std::int64_t id, nlohmann::json body);
    QCoro::Task<void> publish(std::string topic, const nlohmann::json& body, ByteView key,
                              std::int64_t tag);
    QCoro::Task<void> forget(std::string topic);
    QCoro::Task<void> publishDeletions(std::vector<EndedSession> ended, OneShot<void> done);
    bool isExpired(const WCSession& session) const;
    void removeSession(const std::string& topic);
    void dropExpiredSessions();
    void scheduleExpiry();
    void saveSessions();

    Options m_options;
    WCSessionStore m_store;
    WCRelay* m_relay = nullptr; // child; made by the first connect()
    std::map<std::string, WCSession> m_sessions;
    std::map<std::string, Bytes> m_pairingKeys;
    std::map<std::int64_t, WCSessionProposal> m_pendingProposals;
    // Per topic: the ids of the proposals and requests read, and of the requests answered.
    std::map<std::string, SeenIds> m_seen;
    std::map<std::string, SeenIds> m_answered;
    std::set<std::pair<std::string, std::int64_t>> m_answering;
    QTimer m_expiryTimer;
    QTimer m_connectRetry;
    std::chrono::milliseconds m_connectDelay;
    // The waits of sendDeletions(), ended by the destructor at the latest.
    std::vector<OneShot<void>> m_deletionWaits;
    // The opening under way, which a second connect() awaits.
    std::optional<OneShot<void>> m_connectAttempt;
};

} // namespace qm
