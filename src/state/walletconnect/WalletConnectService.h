#pragma once
// WalletConnect as the wallet runs it, for the life of the process: one session manager per
// unlock (a new one replaces and closes the old), the relay's state, the approved sessions, and
// the proposals and requests that wait for the user, oldest first. Requests are read exactly
// (WCRequestCheck) when they arrive: one the wallet would have to sign differently than asked
// is refused at once, the others wait in line; a transaction request's transaction is prepared
// then, for its review to show what will be signed. Signing goes through the signer (the
// password is wiped there, keys never leave it) and transactions through the flow base.
//
// One thing at a time: a second pairing, approval, rejection or signing while one runs does
// nothing, and a request being signed cannot be rejected meanwhile. A signed result is kept by
// its request until the dApp has it: a retry after a failed answer sends only the answer (a
// transaction is never sent twice). GUI thread only.

#include "core/model/Chain.h"
#include "core/model/Token.h"
#include "platform/SecureBytes.h"
#include "services/walletconnect/WCRecords.h"
#include "services/walletconnect/WCRequestCheck.h"
#include "services/walletconnect/WCSessionManager.h"
#include "state/walletconnect/WCTransactionPreparation.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <deque>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <qcoro/qcorotask.h>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace qm {

class AppState;
class FlowService;

class WalletConnectService : public QObject {
    Q_OBJECT

public:
    struct Options {
        WCSessionManager::Options manager;
        // The flows of "eth_sendTransaction" (the program's when none is given).
        FlowService* flows = nullptr;
        // How long the dApps' deletions may take when the wallet's sessions end.
        std::chrono::milliseconds endingWait{5'000};
    };

    // The program's: the configured relay, the sessions file in the wallet's data folder.
    explicit WalletConnectService(QObject* parent = nullptr);
    explicit WalletConnectService(Options options, QObject* parent = nullptr);
    ~WalletConnectService() override;

    // The state whose wallet signs; AppState's constructor calls it.
    void attach(AppState& state);

    // A new session manager in place of the previous one (whose relay connection closes),
    // connected, its sessions subscribed and listed. Never throws: a failed connection leaves
    // the relay shown as disconnected while the manager keeps trying.
    virtual QCoro::Task<void> setup();
    bool isRelayConnected() const { return m_relayConnected; }
    // Unexpired sessions by dApp name.
    const std::vector<WCSession>& sessions() const { return m_sessions; }
    // The name of the session's dApp; "Unknown dApp" without such a session.
    std::string dappName(const std::string& topic) const;

    // Pairs with a "wc:" URI (trimmed first). Throws WCError::invalidURI, WCError::expiredURI
    // for a URI whose expiry has passed, WCError::notConnected before any setup, the manager's
    // failures. Nothing while a pairing runs.
    QCoro::Task<void> pair(std::string uri);
    bool isPairing() const { return m_pairing; }

    const std::deque<WCSessionProposal>& proposals() const { return m_proposals; }
    // Approves proposal `id` for the wallet's Ethereum address on Ethereum, Arbitrum and
    // Polygon. Nothing without that address, for a proposal not waiting, or while an answer to
    // a proposal runs. Throws the manager's failures; a proposal the manager no longer holds
    // (expired) leaves the line.
    QCoro::Task<void> approveProposal(std::int64_t id);
    // Answers "User rejected" (its failure dropped) and lets the proposal go.
    QCoro::Task<void> rejectProposal(std::int64_t id);
    bool isAnsweringProposal() const { return m_answeringProposal; }

    const std::deque<WCPreparedRequest>& requests() const { return m_requests; }
    // The transaction a transaction request would sign, prepared when it arrived (reviewChanged
    // tells of its progress); none for other requests.
    const WCTransactionReview* transactionReview(const std::string& topic, std::int64_t id) const;
    // A known token of the chain at `contract` (the user's or a built-in one), to name the
    // amounts of a token call.
    std::optional<Token> knownToken(Chain chain, ByteView contract) const;
    // Signs request `id` of `topic` with the password (or takes its result kept from a failed
    // answer), answers the dApp, lets the request go and starts a refresh; true then. Throws
    // the signing failure (a wrong password ...), WCError::signingFailed for what the wallet
    // does not serve, the answer's failure; the request then stays. A transaction is signed
    // only as prepared: WCError::feeRevised, before the password is used, when it had to be
    // prepared anew (its review shows the new figures). False, and nothing done, while signing
    // or for a request not waiting.
    QCoro::Task<bool> approveRequest(std::string topic, std::int64_t id, SecureBytes password);
    // Answers "User rejected" (its failure dropped) and lets the request go; nothing while
    // the request is being signed.
    QCoro::Task<void> rejectRequest(std::string topic, std::int64_t id);
    bool isSigning() const { return m_signing; }
    // The last transaction request answered with an earlier attempt of the account that the
    // chain knew (nothing new signed): what its sheet says of it. Empty otherwise.
    const QString& followedNote() const { return m_followedNote; }
    // While an earlier transaction of the account that the user was told failed may still
    // land: what the review of request `id` of `topic` says ("This replaces your earlier …").
    QString replacementNote(const std::string& topic, std::int64_t id) const;

    // Deletes the session towards the dApp (its failure dropped) and lists it no longer.
    QCoro::Task<void> disconnect(std::string topic);

    // For a wallet deleted, restored or new: the sessions belong to the wallet that goes.
    // At once, every session is forgotten with its key (the sessions file removed), and the
    // proposals and requests waiting go unanswered; the manager goes with its relay
    // connection, and one without sessions is set up in its place (none when none was). Then,
    // in the background, each dApp is told its session ended (connecting to the relay first
    // when no manager was set up), for at most Options::endingWait.
    void endAllSessions();

    // The manager of the last setup; none before.
    WCSessionManager* manager() const { return m_manager; }

signals:
    void relayConnectedChanged();
    void sessionsChanged();
    void proposalsChanged();
    void requestsChanged();
    void reviewChanged();
    void busyChanged();

private:
    using RequestKey = std::pair<std::string, std::int64_t>;

    void onProposal(const WCSessionProposal& proposal);
    void onRequest(const WCSessionRequest& request);
    void onSessionDeleted(const std::string& topic);
    void setRelayConnected(bool connected);
    void refreshSessions();
    void setBusy(bool& flag, bool value);
    void removeRequest(const RequestKey& key);
    void dropExpiredRequests();
    void scheduleRequestExpiry();
    QCoro::Task<void> refuseRequest(std::string topic, std::int64_t id, WCProtocolError error);
    QCoro::Task<void> sendDeletions(QPointer<WCSessionManager> manager,
                                    std::vector<WCSessionManager::EndedSession> ended);
    // The result for the dApp: a signature, a signed transaction, a transaction hash.
    QCoro::Task<nlohmann::json> sign(WCPreparedRequest request, SecureBytes password);
    // The transaction to sign for `request`, as its review shows it; throws WCError::feeRevised
    // after preparing it anew.
    QCoro::Task<WCPreparedTransaction> reviewedTransaction(WCPreparedRequest request,
                                                           std::string from);
    QCoro::Task<void> prepareReview(WCPreparedRequest request, std::string from);
    // The review of request `key` shows `prepared` now, while the request waits.
    void showRevised(const RequestKey& key, WCPreparedTransaction prepared);
    // What a pool asks of the transaction `request` sends to replace the earlier attempt its
    // review names (none for a transaction the dApp sends itself: it signs beside none).
    std::optional<EVMFeeFloor> replacementFloorOf(const WCPreparedRequest& request) const;

    Options m_options;
    QPointer<AppState> m_state;
    WCSessionManager* m_manager = nullptr; // child
    bool m_relayConnected = false;
    std::vector<WCSession> m_sessions;
    std::deque<WCSessionProposal> m_proposals;
    std::deque<WCPreparedRequest> m_requests;
    std::map<RequestKey, WCTransactionReview> m_reviews;
    // Results signed (or sent) whose answer has not reached the dApp yet.
    std::map<RequestKey, nlohmann::json> m_results;
    // The transactions of such a result that the server took: told once the dApp has its
    // answer, never before (a program ended meanwhile leaves them for the next press to ask).
    std::map<RequestKey, std::vector<std::string>> m_untold;
    std::optional<RequestKey> m_signingKey;
    // The requests read, across managers: a new manager's relay client is delivered again what
    // the old one already took (and perhaps answered). Bounded, oldest forgotten first.
    std::set<RequestKey> m_readRequests;
    std::deque<RequestKey> m_readOrder;
    QTimer m_requestExpiry;
    bool m_pairing = false;
    bool m_answeringProposal = false;
    bool m_signing = false;
    QString m_followedNote;
};

} // namespace qm
