#include "state/flows/TransactionFlow.h"

#include "core/model/Date.h"
#include "platform/async/CancellableSleep.h"
#include "platform/async/PollUntil.h"
#include "state/UserErrorText.h"

#include <algorithm>
#include <exception>
#include <iostream>
#include <utility>

namespace qm {

TransactionFlow::TransactionFlow(Limits limits, QObject* parent)
    : QObject(parent), m_limits(limits) {}

TransactionFlow::~TransactionFlow() {
    if (m_token) {
        m_token->cancel();
    }
}

bool TransactionFlow::isFinal(Step step) {
    return step == Step::Confirmed || step == Step::Submitted || step == Step::Reverted ||
           step == Step::Failed;
}

bool TransactionFlow::showsLeft(Step step) {
    return step == Step::WaitingConfirmation || step == Step::Submitted || step == Step::Confirmed;
}

bool TransactionFlow::start(Step first, Body body) {
    if (m_running) {
        return false;
    }
    m_broadcast = false;
    m_settled = false;
    // What an earlier run saw leave and never showed stays untold.
    m_leftUntold.clear();
    m_token = CancellationToken();
    setUndecided({});
    if (!m_earlierNote.isEmpty()) {
        m_earlierNote.clear();
        emit summaryChanged();
    }
    setRunning(true);
    setErrorMessage({});
    setProgress(0);
    setStep(first);
    // Runs on by itself; its frame frees itself when the body has ended.
    run(std::move(body), *m_token);
    return true;
}

void TransactionFlow::reset() {
    if (m_running) {
        return;
    }
    setUndecided({});
    setStep(Step::Idle);
    setProgress(0);
    setTxHash({});
    setErrorMessage({});
    setSummary({}, {});
}

void TransactionFlow::setSummary(QString summary, QString detail) {
    if (m_summary != summary || m_detail != detail || !m_earlierNote.isEmpty()) {
        m_summary = std::move(summary);
        m_detail = std::move(detail);
        m_earlierNote.clear();
        emit summaryChanged();
    }
}

AttemptLedger& TransactionFlow::ledger() {
    return m_ledger ? *m_ledger : m_ownLedger;
}

void TransactionFlow::chooseSendAnyway() {
    if (m_running || m_undecided.empty()) {
        return;
    }
    sendAnyway(ledger(), m_undecided);
    setUndecided({});
}

namespace {

// The word an attempt's texts name it by, from the flow's key ("send:ethereum") and slot.
std::string attemptKind(const std::string& key, const std::string& slot) {
    if (slot == approvalSlot) {
        return "approval";
    }
    const std::string area = key.substr(0, key.find(':'));
    if (area == "send" || area == "swap") {
        return area;
    }
    if (area == "sale") {
        return "order";
    }
    if (area == "walletconnect") {
        return "request";
    }
    return "transaction";
}

} // namespace

UnsettledAttempt TransactionFlow::attemptRecord(const SignedBroadcast& tx) const {
    UnsettledAttempt record = tx.record;
    record.id = tx.id;
    record.origin = origin(tx.slot);
    record.kind = attemptKind(objectName().toStdString(), tx.slot);
    record.summary = m_summary.toStdString();
    record.detail = m_detail.toStdString();
    record.createdAt = Date::now();
    record.told = false;
    return record;
}

QCoro::Task<void> TransactionFlow::run(Body body, CancellationToken token) {
    const QPointer<TransactionFlow> self(this);
    QString failure;
    std::string undecided;
    try {
        QCoro::Task<void> running = body(FlowRun(self, token));
        co_await std::move(running);
    } catch (const EarlierAttemptError& error) {
        failure = userErrorText(error);
        undecided = error.undecided();
    } catch (const std::exception& error) {
        failure = userErrorText(error);
    } catch (...) {
        failure = QStringLiteral("The operation failed.");
    }
    if (!self || token.isCancelled()) {
        co_return;
    }
    if (!m_settled) {
        if (m_broadcast) {
            // It left: what went wrong later is a note, never a way back to the review.
            settle(Step::Submitted, failure);
        } else {
            // Before the step shows, so the face reads the offer with its text.
            setUndecided(std::move(undecided));
            settle(Step::Failed,
                   failure.isEmpty() ? QStringLiteral("The operation did not finish.") : failure);
        }
    }
    if ((m_step == Step::Confirmed || m_step == Step::Reverted) && !m_txHash.isEmpty()) {
        // In a block (or, on Solana, proved expired): settled.
        FlowRun(self, token).landed(m_txHash.toStdString());
    }
    setRunning(false);
    emit finished();
}

void TransactionFlow::settle(Step step, QString message) {
    m_settled = true;
    setErrorMessage(std::move(message));
    setStep(step);
}

void TransactionFlow::setStep(Step step) {
    if (m_step != step) {
        m_step = step;
        emit stepChanged();
    }
    // Once the face shows it: a crash before leaves it untold, and the next press asks.
    if (showsLeft(m_step)) {
        tellLeft();
    }
}

void TransactionFlow::tellLeft() {
    if (m_toldByCaller) {
        return;
    }
    for (const std::string& id : std::exchange(m_leftUntold, {})) {
        ledger().markTold(id);
    }
}

void TransactionFlow::setProgress(double progress) {
    if (m_progress != progress) {
        m_progress = progress;
        emit progressChanged();
    }
}

void TransactionFlow::setTxHash(QString hash) {
    if (m_txHash != hash) {
        m_txHash = std::move(hash);
        emit txHashChanged();
    }
}

void TransactionFlow::setErrorMessage(QString message) {
    if (m_errorMessage != message) {
        m_errorMessage = std::move(message);
        emit errorMessageChanged();
    }
}

void TransactionFlow::setUndecided(std::string id) {
    if (m_undecided != id) {
        m_undecided = std::move(id);
        emit sendAnywayChanged();
    }
}

void TransactionFlow::setRunning(bool running) {
    if (m_running != running) {
        m_running = running;
        emit runningChanged();
    }
}

// --- FlowRun ----------------------------------------------------------------------------------

void FlowRun::setStep(TransactionFlow::Step step) const {
    if (isActive() && !m_flow->m_settled) {
        m_flow->setStep(step);
    }
}

QCoro::Task<void> FlowRun::animateProgress(double target, double seconds) const {
    if (!isActive()) {
        co_return;
    }
    constexpr int steps = 20;
    const double start = m_flow->progress();
    const auto pause = std::chrono::milliseconds(
        static_cast<std::int64_t>(seconds * 1000.0 * m_flow->limits().pace / steps));
    for (int i = 1; i <= steps; ++i) {
        // A cancelled sleep ends early; the steps still run (without their pauses).
        QCoro::Task<bool> sleeping = cancellableSleep(pause, m_token);
        co_await std::move(sleeping);
        if (!m_flow) {
            co_return;
        }
        m_flow->setProgress(i == steps ? target : start + (target - start) * i / steps);
    }
}

void FlowRun::broadcasted(const std::string& id) const {
    if (!m_flow) {
        return;
    }
    m_flow->m_broadcast = true;
    m_flow->setTxHash(QString::fromStdString(id));
}

QCoro::Task<std::optional<bool>> FlowRun::awaitChain(
    std::function<QCoro::Task<std::optional<bool>>(CancellationToken attempt)> probe) const {
    if (!isActive()) {
        co_return std::nullopt;
    }
    const PollLimits limits(m_flow->limits().pollInterval, m_flow->limits().confirmationTimeout);
    QCoro::Task<std::optional<bool>> waiting = pollUntil<bool>(std::move(probe), limits, m_token);
    co_return co_await std::move(waiting);
}

void FlowRun::useLedger(AttemptLedger& ledger) const {
    if (m_flow) {
        m_flow->m_ledger = &ledger;
    }
}

AttemptLedger* FlowRun::attemptLedger() const {
    return m_flow ? &m_flow->ledger() : nullptr;
}

namespace {

QCoro::Task<void> keptBeforeSending(QCoro::Task<void> keeping) {
    try {
        co_await std::move(keeping);
    } catch (const std::exception& error) {
        throw Error(std::string("Nothing was sent: the wallet could not record the transaction "
                                "first (") +
                    error.what() + ").");
    }
}

QCoro::Task<void> nothingToKeep() {
    co_return;
}

} // namespace

QCoro::Task<void> FlowRun::keepAttempt(const SignedBroadcast& tx) const {
    if (!isActive()) {
        return nothingToKeep();
    }
    return keptBeforeSending(m_flow->ledger().keep(m_flow->attemptRecord(tx)));
}

void FlowRun::left(const std::string& id) const {
    if (!m_flow) {
        return;
    }
    m_flow->m_leftUntold.push_back(id);
    if (TransactionFlow::showsLeft(m_flow->m_step)) {
        m_flow->tellLeft();
    }
}

void FlowRun::landed(const std::string& id) const {
    if (!m_flow) {
        return;
    }
    AttemptLedger& ledger = m_flow->ledger();
    const std::optional<UnsettledAttempt> ours = ledger.find(id);
    ledger.forget(id);
    if (!ours) {
        return;
    }
    for (const UnsettledAttempt& other : ledger.of(ours->chain, ours->account)) {
        if (shareConflict(other, *ours)) {
            ledger.forget(other.id);
        }
    }
}

std::string TransactionFlow::origin(const std::string& slot) const {
    const std::string key = objectName().toStdString();
    return slot.empty() ? key : key + "#" + slot;
}

std::string FlowRun::origin(const std::string& slot) const {
    return m_flow ? m_flow->origin(slot) : std::string();
}

void FlowRun::followsEarlier(const UnsettledAttempt& earlier) const {
    if (!isActive()) {
        return;
    }
    m_flow->m_summary = QString::fromStdString(earlier.summary);
    m_flow->m_detail = QString::fromStdString(earlier.detail);
    m_flow->m_earlierNote = followedNote(earlier);
    emit m_flow->summaryChanged();
}

void FlowRun::confirmed() const {
    if (isActive() && !m_flow->m_settled) {
        m_flow->setProgress(1.0);
        m_flow->settle(TransactionFlow::Step::Confirmed, {});
    }
}

void FlowRun::submitted(const QString& note) const {
    if (isActive() && !m_flow->m_settled) {
        m_flow->settle(TransactionFlow::Step::Submitted, note);
    }
}

void FlowRun::reverted(const QString& message) const {
    if (isActive() && !m_flow->m_settled) {
        m_flow->settle(TransactionFlow::Step::Reverted, message);
    }
}

} // namespace qm
