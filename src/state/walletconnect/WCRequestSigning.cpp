// What the wallet answers an approved request with: a personal_sign or typed-data signature, a
// signed transaction, or the hash of one it sent. A transaction is signed as its review showed
// it, after the node is asked again. Keys stay in the signer; the transaction of
// "eth_sendTransaction" goes through the flow base, so it runs to its end even if the sheet goes
// and is sent once.
#include "core/encoding/AsciiCase.h"
#include "core/encoding/Hex.h"
#include "platform/async/OneShot.h"
#include "services/connections/NetworkManager.h"
#include "services/evm/JSONRPCClient.h"
#include "services/walletconnect/WCError.h"
#include "state/AppState.h"
#include "state/flows/AttemptLedger.h"
#include "state/flows/EVMReplacementFee.h"
#include "state/flows/EVMTransactionSteps.h"
#include "state/flows/EarlierAttemptNote.h"
#include "state/flows/FlowService.h"
#include "state/signing/Signer.h"
#include "state/walletconnect/WalletConnectService.h"

#include <QPointer>
#include <algorithm>
#include <functional>

namespace qm {
namespace {

using json = nlohmann::json;
using Kind = WCPreparedRequest::Kind;

// The flow slot of a request: its earlier attempts are followed there, and only there.
std::string requestSlot(const std::string& topic, std::int64_t id) {
    return "walletconnect:" + topic + ":" + std::to_string(id);
}

std::string_view textOf(const SecureBytes& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// What a WalletConnect send needs while its flow runs; the password is wiped with it.
struct WalletConnectSend {
    QPointer<AppState> state;
    std::shared_ptr<JSONRPCClient> client;
    std::string walletID;
    SecureBytes password;
    // As prepared and reviewed.
    WCPreparedTransaction prepared;
    std::string from;
    Chain chain = Chain::ethereum;
    // The flow slot of the request: its earlier approvals' transactions are kept there.
    std::string slot;
    // Shows the request's review prepared again (nothing once the request has gone).
    std::function<void(WCPreparedTransaction)> revised;
    // The transaction's own hash, once it may have left (never the node's word for it).
    std::optional<std::string> hash;
    // The max fee of the review shown again, when the signing stopped for it.
    std::optional<std::string> revisedFee;
};

// The request's transaction signed as reviewed, with the nonce of an earlier approval's that may
// still land (unless the dApp fixed it). Nothing is signed when it would not pay what a pool asks
// to replace an earlier attempt at that nonce: the review shows it paying that.
QCoro::Task<SignedBroadcast> signWalletConnectSend(std::shared_ptr<WalletConnectSend> send,
                                                   EarlierAttempts earlier,
                                                   CancellationToken token) {
    if (!send->state) {
        throw WCError::signingFailed("No wallet");
    }
    ETHTransaction& transaction = send->prepared.transaction;
    if (!send->prepared.nonceFromDapp) {
        QCoro::Task<std::uint64_t> choosing =
            conflictingNonce(send->client, explorerOf(send->state), std::move(earlier),
                             transaction.nonce, std::move(token));
        transaction.nonce = co_await std::move(choosing);
    } else if (earlier.conflict && earlier.conflict->nonce != transaction.nonce) {
        // The dApp's own nonce would let both land.
        throw EarlierAttemptError("Your earlier " + attemptDescription(*earlier.conflict) +
                                  " may still go through, and this request fixes another "
                                  "nonce; nothing was signed.");
    }
    if (!send->state) {
        throw WCError::signingFailed("No wallet");
    }
    const std::vector<UnsettledAttempt> attempts =
        send->state->attemptLedger().of(send->chain, send->from);
    if (!paysReplacement(transaction, attempts)) {
        WCPreparedTransaction again = raisedToFloor(
            send->prepared, replacementFloor(attempts, transaction.nonce).value_or(EVMFeeFloor{}));
        send->revisedFee = exactCoinText(again.maxFee, send->chain);
        if (send->revised) {
            send->revised(std::move(again));
        }
        throw WCError::feeRevised(*send->revisedFee);
    }
    QCoro::Task<Bytes> signing = send->state->signer().signEVMTransaction(
        send->walletID, textOf(send->password), 0, transaction);
    Bytes signedTransaction = co_await std::move(signing);
    send->password = SecureBytes(0);
    // Reviewed without the latest block's number: the nonce's holder is searched for back from
    // the latest block.
    SignedBroadcast tx = evmBroadcast(send->client, explorerOf(send->state),
                                      EVMSigned{std::move(signedTransaction), send->from,
                                                transaction.nonce, std::nullopt, send->chain},
                                      send->slot);
    tx.record.counterparty = bytesToHex(transaction.to);
    co_return tx;
}

// The dApp sends what it is given, beside whatever the wallet sent: not while an earlier
// transaction of `from` that the user was told failed may still land. The chain is asked as a
// send asks it: one that can never land is forgotten; one it knows went through (said once,
// then it holds nothing back).
QCoro::Task<void> requireNoneMayLand(QPointer<AppState> state, Chain chain, std::string from) {
    const AttemptScope scope = evmAttemptScope(state->networkManager().evmClient(chain),
                                               explorerOf(state), chain, from, {});
    QCoro::Task<EarlierAttempts> asking =
        earlierAttemptsOf(&state->attemptLedger(), scope, CancellationToken());
    const EarlierAttempts earlier = co_await std::move(asking);
    if (earlier.conflict) {
        throw EarlierAttemptError("Your earlier " + attemptDescription(*earlier.conflict) +
                                  " may still go through, and a transaction signed for the "
                                  "dApp could land beside it; nothing was signed.");
    }
}

QCoro::Task<void> runWalletConnectSend(FlowRun run, std::shared_ptr<WalletConnectSend> send) {
    run.setStep(TransactionFlow::Step::Signing);
    if (!run.isActive() || !send->state) {
        co_return;
    }
    run.useLedger(send->state->attemptLedger());
    // An earlier approval of this request that the chain knows now is the one the dApp hears.
    QCoro::Task<std::optional<SignedBroadcast>> signing =
        earlierOrSigned(run,
                        evmAttemptScope(send->client, explorerOf(send->state), send->chain,
                                        send->from, {send->slot}),
                        [send, token = run.token()](EarlierAttempts earlier) {
                            return signWalletConnectSend(send, std::move(earlier), token);
                        });
    std::optional<SignedBroadcast> tx = co_await std::move(signing);
    if (!tx) {
        co_return;
    }
    run.setStep(TransactionFlow::Step::Broadcasting);
    const std::string hash = tx->id;
    QCoro::Task<bool> sending = broadcastSigned(run, std::move(*tx));
    co_await std::move(sending);
    // Past a refusal the bytes may have left: the dApp follows its transaction from the hash.
    send->hash = hash;
    run.submitted();
}

} // namespace

QString WalletConnectService::replacementNote(const std::string& topic, std::int64_t id) const {
    const auto request = std::find_if(m_requests.begin(), m_requests.end(), [&](const auto& r) {
        return r.request.sessionTopic == topic && r.request.id == id;
    });
    if (!m_state || request == m_requests.end() || request->kind != Kind::sendTransaction) {
        return {};
    }
    return earlierAttemptReviewNote(*m_state, request->chain,
                                    "walletconnect#" + requestSlot(topic, id),
                                    QString::fromStdString(requestSummary(*request)), {});
}

std::optional<EVMFeeFloor>
WalletConnectService::replacementFloorOf(const WCPreparedRequest& request) const {
    if (!m_state || request.kind != Kind::sendTransaction) {
        return std::nullopt;
    }
    return earlierAttemptFeeFloor(*m_state, request.chain);
}

void WalletConnectService::showRevised(const RequestKey& key, WCPreparedTransaction prepared) {
    if (std::none_of(m_requests.begin(), m_requests.end(), [&](const WCPreparedRequest& r) {
            return r.request.sessionTopic == key.first && r.request.id == key.second;
        })) {
        return;
    }
    WCTransactionReview review;
    review.prepared = std::move(prepared);
    m_reviews.insert_or_assign(key, std::move(review));
    emit reviewChanged();
}

QCoro::Task<WCPreparedTransaction>
WalletConnectService::reviewedTransaction(WCPreparedRequest request, std::string from) {
    const RequestKey key(request.request.sessionTopic, request.request.id);
    const auto found = m_reviews.find(key);
    const std::optional<WCPreparedTransaction> shown =
        found != m_reviews.end() ? found->second.prepared : std::nullopt;
    const std::shared_ptr<JSONRPCClient> client =
        m_state->networkManager().evmClient(request.chain);
    const std::optional<EVMFeeFloor> replacing = replacementFloorOf(request);
    QPointer<WalletConnectService> self(this);
    WCTransactionCheck check;
    if (shown) {
        QCoro::Task<WCTransactionCheck> checking = recheckWCTransaction(
            client, *shown, request.transaction, request.chain, from, {}, replacing);
        check = co_await std::move(checking);
    } else {
        // Never signed unseen: a preparation that failed or has not ended is made now and shown.
        QCoro::Task<WCPreparedTransaction> preparing =
            prepareWCTransaction(client, request.transaction, request.chain, from, {}, replacing);
        check.prepared = co_await std::move(preparing);
        check.revised = true;
    }
    if (!self) {
        throw WCError::signingFailed("No wallet");
    }
    if (check.revised) {
        const std::string maxFee = exactCoinText(check.prepared.maxFee, request.chain);
        showRevised(key, std::move(check.prepared));
        throw WCError::feeRevised(maxFee);
    }
    co_return std::move(check.prepared);
}

QCoro::Task<nlohmann::json> WalletConnectService::sign(WCPreparedRequest request,
                                                       SecureBytes password) {
    if (request.kind == Kind::unsupported) {
        throw WCError::signingFailed("Unsupported method: " + request.request.method);
    }
    if (!m_state || !m_state->wallet()) {
        throw WCError::signingFailed("No wallet");
    }
    // The key that signs must be the account the session was approved for.
    const auto session =
        std::find_if(m_sessions.begin(), m_sessions.end(),
                     [&](const WCSession& s) { return s.topic == request.request.sessionTopic; });
    const auto approved =
        session != m_sessions.end() ? sessionAccount(*session, request.chain) : std::nullopt;
    const auto& accounts = m_state->evmAccounts(request.chain);
    if (!approved || accounts.empty() ||
        !equalIgnoringASCIICase(accounts.front().account.address, *approved)) {
        throw WCError::signingFailed("The session's account is not this wallet's");
    }
    const std::string walletID = m_state->wallet()->id;
    const std::string from = accounts.front().account.address;
    Signer& signer = m_state->signer();
    switch (request.kind) {
    case Kind::personalSign: {
        QCoro::Task<Bytes> signing =
            signer.signPersonalMessage(walletID, textOf(password), 0, request.message);
        const Bytes signature = co_await std::move(signing);
        co_return bytesToHex(signature);
    }
    case Kind::typedData: {
        QCoro::Task<Bytes> signing =
            signer.signTypedData(walletID, textOf(password), 0, *request.typedData);
        const Bytes signature = co_await std::move(signing);
        co_return bytesToHex(signature);
    }
    case Kind::signTransaction: {
        QPointer<WalletConnectService> self(this);
        QCoro::Task<void> checking = requireNoneMayLand(m_state, request.chain, from);
        co_await std::move(checking);
        if (!self || !m_state) {
            throw WCError::signingFailed("No wallet");
        }
        QCoro::Task<WCPreparedTransaction> reviewing = reviewedTransaction(request, from);
        WCPreparedTransaction reviewed = co_await std::move(reviewing);
        if (!self || !m_state) {
            throw WCError::signingFailed("No wallet");
        }
        QCoro::Task<Bytes> signing = m_state->signer().signEVMTransaction(
            walletID, textOf(password), 0, std::move(reviewed.transaction));
        const Bytes signedTransaction = co_await std::move(signing);
        co_return bytesToHex(signedTransaction);
    }
    case Kind::sendTransaction:
        break;
    case Kind::unsupported:
        throw WCError::signingFailed("Unsupported method: " + request.request.method);
    }

    FlowService* flows = m_options.flows ? m_options.flows : FlowService::installed();
    if (!flows) {
        throw WCError::signingFailed("Transactions cannot be sent here");
    }
    QPointer<WalletConnectService> self(this);
    QCoro::Task<WCPreparedTransaction> reviewing = reviewedTransaction(request, from);
    WCPreparedTransaction reviewed = co_await std::move(reviewing);
    if (!self || !m_state) {
        throw WCError::signingFailed("No wallet");
    }
    TransactionFlow* flow = flows->flow(QStringLiteral("walletconnect"));
    m_followedNote.clear();
    auto send = std::make_shared<WalletConnectSend>();
    send->state = m_state;
    send->client = m_state->networkManager().evmClient(request.chain);
    send->walletID = walletID;
    send->password = std::move(password);
    send->prepared = std::move(reviewed);
    send->from = from;
    send->chain = request.chain;
    send->slot = requestSlot(request.request.sessionTopic, request.request.id);
    send->revised = [self, key = RequestKey(request.request.sessionTopic, request.request.id)](
                        WCPreparedTransaction again) {
        if (self) {
            self->showRevised(key, std::move(again));
        }
    };
    const OneShot<void> ended;
    const QMetaObject::Connection watching =
        QObject::connect(flow, &TransactionFlow::finished, flow, [ended] { ended.succeed(); });
    flow->setSummary(QString::fromStdString(requestSummary(request)), {});
    // Its steps show on no face: the user sees it left when the dApp has its answer.
    flow->setToldByCaller(true);
    const bool started = flow->start(TransactionFlow::Step::Signing, [send](FlowRun run) {
        return runWalletConnectSend(std::move(run), send);
    });
    if (!started) {
        QObject::disconnect(watching);
        throw WCError::signingFailed("A transaction is still being sent");
    }
    const QPointer<TransactionFlow> watched(flow);
    co_await ended.wait();
    if (watched) {
        QObject::disconnect(watching);
        if (self) {
            m_followedNote = watched->earlierNote();
            std::vector<std::string> sent = watched->takeLeftUntold();
            if (!sent.empty()) {
                m_untold[RequestKey(request.request.sessionTopic, request.request.id)] =
                    std::move(sent);
            }
        }
    }
    if (send->revisedFee) {
        throw WCError::feeRevised(*send->revisedFee);
    }
    if (!send->hash) {
        // The flow's failure as it shows it (a wrong password, the node's refusal; an earlier
        // transaction the sheet may offer to send beside).
        const std::string failure = watched && !watched->errorMessage().isEmpty()
                                        ? watched->errorMessage().toStdString()
                                        : std::string("The transaction was not sent");
        if (watched && watched->offersSendAnyway()) {
            throw EarlierAttemptError(failure, watched->undecidedAttempt());
        }
        throw Error(failure);
    }
    co_return *send->hash;
}

} // namespace qm
