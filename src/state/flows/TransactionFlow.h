#pragma once
// One money-moving operation as the screens follow it: a send, a swap (with its approval), a
// sale's buy or sell, a WalletConnect transaction. The flow runs a body once at a time, shows
// its steps and a paced progress value, waits (bounded) for the chain's answer, and keeps the
// outcome after the sheet that started it has gone: flows belong to the FlowService, never to
// a sheet or to AppState.
//
//     TransactionFlow* flow = flows.flow("send:ethereum");
//     flow->start(TransactionFlow::Step::Signing,
//                 [send = std::move(prepared)](FlowRun run) { return runEVMSend(run, send); });
//
// The body (a plain function returning a coroutine: never a capturing coroutine lambda) moves
// the steps on, animates the progress, and reports what it observed:
//   - before anything was broadcast, a failure (an exception) ends the run at Failed with its
//     text: the screen goes back to its review and the user may try again;
//   - broadcasted(id) records that a transaction left; from then on no failure returns to the
//     review (a retry would pay twice): an exception ends the run at `submitted` with the id
//     and the failure as a note. Bodies send through broadcastSigned (SignedBroadcast.h),
//     which calls it once the server's answer or the chain says the transaction may have left;
//   - a transaction the server took (or the chain knows) counts as told only once the face
//     says it left: the step moves to WaitingConfirmation, Submitted or Confirmed (showsLeft),
//     or, for a flow whose caller tells the user itself (setToldByCaller), once the caller
//     has. A run cut short before (the program killed while the face still read
//     "Broadcasting") leaves it untold, so the next press asks the chain about it first;
//   - the body ends with confirmed(), reverted(text) or submitted() after the chain's answer
//     (awaitChain) or its absence. Confirmed is shown only when the chain said so.
// The transactions its runs send are kept in a ledger (the wallet's, which a body hands its run
// with FlowRun::useLedger; a flow given none keeps them in one of its own, in memory) for as
// long as a later signing from the same account must conflict with them (SignedBroadcast.h,
// "Earlier attempts").
// GUI thread only.

#include "platform/async/CancellationToken.h"
#include "state/flows/AttemptLedger.h"
#include "state/flows/SignedBroadcast.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <chrono>
#include <functional>
#include <optional>
#include <qcoro/qcorotask.h>
#include <string>
#include <utility>
#include <vector>

namespace qm {

class FlowRun;

// A flow's time limits; tests shorten them.
struct FlowLimits {
    FlowLimits() = default;
    // Between two asks for the chain's answer, and the longest wait for it.
    std::chrono::milliseconds pollInterval{std::chrono::seconds(2)};
    std::chrono::milliseconds confirmationTimeout{std::chrono::seconds(90)};
    // How many more times a refused transaction that the chain does not know is looked up, a
    // poll interval apart, before the refusal stands.
    int refusedLooks = 3;
    // Scales the progress animations' sleeps (0: no pauses).
    double pace = 1.0;
};

class TransactionFlow : public QObject {
    Q_OBJECT
    Q_PROPERTY(Step step READ step NOTIFY stepChanged)
    Q_PROPERTY(double progress READ progress NOTIFY progressChanged)
    // The transaction id (hash, signature) of the last broadcast; empty before one.
    Q_PROPERTY(QString txHash READ txHash NOTIFY txHashChanged)
    // The failure text of Failed and Reverted, or the note of a Submitted whose wait
    // for the chain failed; empty otherwise.
    Q_PROPERTY(QString errorMessage READ errorMessage NOTIFY errorMessageChanged)
    Q_PROPERTY(bool isRunning READ isRunning NOTIFY runningChanged)
    // What the run moves, as its screen shows it in the progress ("0.5 ETH"), and to whom or
    // what ("to 0x1234...abcd"): a screen opened again on a running flow shows these.
    Q_PROPERTY(QString summary READ summary NOTIFY summaryChanged)
    Q_PROPERTY(QString detail READ detail NOTIFY summaryChanged)
    // The run follows an earlier attempt the chain knows instead of signing anew: what it says
    // ("Your earlier send of … went through; nothing new was signed."); the summary and detail
    // are then that attempt's. Empty otherwise.
    Q_PROPERTY(QString earlierNote READ earlierNote NOTIFY summaryChanged)
    // The last run failed because an earlier attempt's nonce is used on the chain while no
    // server says by which transaction (EarlierAttemptError::mayHaveGoneThrough): its face
    // offers Send Anyway. Until the next start or reset, or the choice.
    Q_PROPERTY(bool offersSendAnyway READ offersSendAnyway NOTIFY sendAnywayChanged)

public:
    // Capitalised: QML reads them (TransactionFlow.Signing).
    enum class Step {
        Idle,
        CheckingAllowance,
        Approving,
        Signing,
        Broadcasting,
        WaitingConfirmation,
        Confirmed, // the chain said the transaction succeeded
        Submitted, // it left, and the chain has not answered (yet): its id and Done
        Reverted,  // the chain said it failed (an EVM receipt of status 0)
        Failed,    // it never left: back to the review
    };
    Q_ENUM(Step)

    using Limits = FlowLimits;

    // A coroutine run once per start; see the header comment.
    using Body = std::function<QCoro::Task<void>(FlowRun run)>;

    explicit TransactionFlow(Limits limits = {}, QObject* parent = nullptr);
    // Cancels a run still going (its waits end; its steps no longer show).
    ~TransactionFlow() override;

    // Starts `body` at step `first` with progress 0 and no error (the transaction id of an
    // earlier run stays until a new broadcast replaces it). False, and nothing started, while
    // a run is in progress: a second press never makes a second transaction.
    bool start(Step first, Body body);
    // Back to idle, progress 0, no id, error or summary: the sheet's Done. Nothing while
    // running.
    void reset();
    // The texts of the next (or current) run; kept until reset.
    void setSummary(QString summary, QString detail);
    // Where its runs keep what they send (none: a ledger of its own, in memory).
    AttemptLedger& ledger();
    // Send Anyway, the user's informed choice (offersSendAnyway): the earlier attempt the last
    // run failed on counts as told (sendAnyway, SignedBroadcast.h), so the sheet's next press
    // signs a new transaction beside it. Nothing without the offer. Starts nothing.
    Q_INVOKABLE void chooseSendAnyway();

    Step step() const { return m_step; }
    double progress() const { return m_progress; }
    QString txHash() const { return m_txHash; }
    QString errorMessage() const { return m_errorMessage; }
    bool isRunning() const { return m_running; }
    const QString& summary() const { return m_summary; }
    const QString& detail() const { return m_detail; }
    const QString& earlierNote() const { return m_earlierNote; }
    bool offersSendAnyway() const { return !m_undecided.empty(); }
    // The attempt the offer is about; empty without one.
    const std::string& undecidedAttempt() const { return m_undecided; }
    // Whether the current or last run broadcast a transaction.
    bool hasBroadcast() const { return m_broadcast; }
    const Limits& limits() const { return m_limits; }

    // The step after which `step` never moves again until the next start or reset.
    static bool isFinal(Step step);
    // Whether a face at `step` tells the user that the run's transaction left.
    static bool showsLeft(Step step);

    // The caller, not the steps, tells the user that a transaction left (a dApp's request: the
    // answer handed to the dApp): what the runs see leave stays untold, and takeLeftUntold
    // hands it to the caller, which marks it told once it has told.
    void setToldByCaller(bool byCaller) { m_toldByCaller = byCaller; }
    // The transactions the last run saw leave that nothing has shown as left yet; taken.
    std::vector<std::string> takeLeftUntold() { return std::exchange(m_leftUntold, {}); }

signals:
    void stepChanged();
    void progressChanged();
    void txHashChanged();
    void errorMessageChanged();
    void runningChanged();
    void summaryChanged();
    void sendAnywayChanged();
    // A run has ended, whichever way (its final step is set).
    void finished();

private:
    friend class FlowRun;

    QCoro::Task<void> run(Body body, CancellationToken token);
    void setStep(Step step);
    void setProgress(double progress);
    void setTxHash(QString hash);
    void setErrorMessage(QString message);
    void setRunning(bool running);
    void setUndecided(std::string id);
    // Ends the run at `step` with `message` (empty: none).
    void settle(Step step, QString message);
    // The face says they left: what the run saw leave is marked told (unless the caller tells).
    void tellLeft();
    // What the ledger keeps of `tx`, sent in this flow now.
    UnsettledAttempt attemptRecord(const SignedBroadcast& tx) const;
    // Where an attempt sent in `slot` says it was sent: the flow's key, "#" and the slot.
    std::string origin(const std::string& slot) const;

    Limits m_limits;
    Step m_step = Step::Idle;
    double m_progress = 0;
    QString m_txHash;
    QString m_errorMessage;
    bool m_running = false;
    QString m_summary;
    QString m_detail;
    QString m_earlierNote;
    // The attempt of a mayHaveGoneThrough failure that the face offers to send beside.
    std::string m_undecided;
    bool m_broadcast = false;
    bool m_settled = false;
    // What the run saw leave (the server took it, or the chain knows it) that no face has
    // shown as left yet: untold in the ledger until one does.
    std::vector<std::string> m_leftUntold;
    bool m_toldByCaller = false;
    // The token of the current run; cancelled by the destructor.
    std::optional<CancellationToken> m_token;
    QPointer<AttemptLedger> m_ledger;
    AttemptLedger m_ownLedger;
};

// What a body works with: its flow (gone when the flow is destroyed) and its run's token. Every
// call is safe after the flow has gone (it does nothing, or gives none).
class FlowRun {
public:
    FlowRun(QPointer<TransactionFlow> flow, CancellationToken token)
        : m_flow(std::move(flow)), m_token(std::move(token)) {}

    // The flow is there and the run not cancelled: check after every co_await.
    bool isActive() const { return m_flow && !m_token.isCancelled(); }
    const CancellationToken& token() const { return m_token; }
    const TransactionFlow::Limits* limits() const { return m_flow ? &m_flow->limits() : nullptr; }

    void setStep(TransactionFlow::Step step) const;
    // Animates the progress from its value now to `target` in 20 equal steps over `seconds`
    // (scaled by the limits' pace); returns when it has reached the target or the run ended.
    QCoro::Task<void> animateProgress(double target, double seconds) const;
    // A transaction left with this id: it shows as the flow's txHash, and no later failure
    // goes back to the review.
    void broadcasted(const std::string& id) const;

    // The chain's answer for the last broadcast: `probe` asks once and gives true (succeeded),
    // false (failed on chain) or none (not known yet); it is asked every poll interval until
    // the confirmation time-out. None when no answer came in time or the run was cancelled; a
    // failure of the probe is thrown.
    QCoro::Task<std::optional<bool>> awaitChain(
        std::function<QCoro::Task<std::optional<bool>>(CancellationToken attempt)> probe) const;

    // The run keeps what it sends in `ledger` (the wallet's), from now on.
    void useLedger(AttemptLedger& ledger) const;
    // Where the run keeps what it sends (SignedBroadcast.h, "Earlier attempts"); none once the
    // flow has gone.
    AttemptLedger* attemptLedger() const;
    // Writes `tx` into the ledger as sent from this flow's `tx.slot`, before it leaves: the task
    // ends once it is on disk, and throws (and it must not be sent) when the ledger cannot be
    // written.
    QCoro::Task<void> keepAttempt(const SignedBroadcast& tx) const;
    // The server took `id`, or the chain knows it: told once the face says it left
    // (TransactionFlow::showsLeft), at once when it already does.
    void left(const std::string& id) const;
    // The chain holds `id` in a block: settled, and with it every attempt it was made to
    // replace (an EVM nonce, a Bitcoin coin it spends, are its own now).
    void landed(const std::string& id) const;
    // Where an attempt sent in `slot` of this flow says it was sent.
    std::string origin(const std::string& slot) const;
    // The run follows `earlier` instead of signing: its texts are shown.
    void followsEarlier(const UnsettledAttempt& earlier) const;

    // The final steps. A submitted run may carry a note (why the chain's word is missing).
    void confirmed() const;
    void submitted(const QString& note = {}) const;
    void reverted(const QString& message) const;

private:
    QPointer<TransactionFlow> m_flow;
    CancellationToken m_token;
};

} // namespace qm
