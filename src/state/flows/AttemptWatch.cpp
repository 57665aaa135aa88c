#include "state/flows/AttemptWatch.h"

#include "platform/async/CancellableSleep.h"
#include "services/connections/NetworkManager.h"
#include "state/AppState.h"
#include "state/flows/AttemptLedger.h"
#include "state/flows/EVMTransactionSteps.h"
#include "state/flows/SolanaSignatureWatch.h"
#include "state/send/BitcoinBroadcast.h"

#include <exception>
#include <vector>

namespace qm {
namespace {

QCoro::Task<bool> asks(const std::function<QCoro::Task<bool>(CancellationToken)>& question,
                       CancellationToken token) {
    if (!question) {
        co_return false;
    }
    try {
        QCoro::Task<bool> asking = question(std::move(token));
        co_return co_await std::move(asking);
    } catch (const std::exception&) {
        // It cannot say now: asked again later.
        co_return false;
    }
}

} // namespace

QCoro::Task<std::optional<SignedBroadcast>>
revivedAttempt(QPointer<AppState> state, UnsettledAttempt attempt, CancellationToken token) {
    if (!state) {
        co_return std::nullopt;
    }
    if (isEVMChain(attempt.chain)) {
        co_return evmAttempt(state->networkManager().evmClient(attempt.chain), explorerOf(state),
                             attempt);
    }
    if (attempt.chain == Chain::bitcoin) {
        co_return bitcoinAttempt(state, nullptr, attempt);
    }
    QCoro::Task<std::shared_ptr<SolanaRPCClient>> connecting =
        state->networkManager().connectedSolanaClient(std::move(token));
    const std::shared_ptr<SolanaRPCClient> client = co_await std::move(connecting);
    if (!client) {
        co_return std::nullopt;
    }
    co_return solanaAttempt(client, attempt);
}

AttemptWatch::AttemptWatch(AppState& state, AttemptLedger& ledger,
                           std::chrono::milliseconds interval)
    : QObject(&state), m_state(&state), m_ledger(&ledger), m_interval(interval) {
    connect(&ledger, &AttemptLedger::changed, this, &AttemptWatch::wake);
}

AttemptWatch::~AttemptWatch() {
    stop();
}

void AttemptWatch::start() {
    m_active = true;
    wake();
}

void AttemptWatch::stop() {
    m_active = false;
    if (m_task) {
        m_task->cancel();
        m_task.reset();
    }
}

void AttemptWatch::wake() {
    if (!m_active || !m_ledger || m_ledger->all().empty() || (m_task && !m_task->isFinished())) {
        return;
    }
    m_task = TaskHandle::spawn(this, [this](CancellationToken token) { return follow(token); });
}

QCoro::Task<void> AttemptWatch::follow(CancellationToken token) {
    const QPointer<AttemptWatch> self(this);
    // An interval first: a run that has just sent one follows it itself meanwhile.
    QCoro::Task<bool> pausing = cancellableSleep(m_interval, token);
    while (co_await std::move(pausing) && self && m_ledger && !m_ledger->all().empty()) {
        const std::vector<UnsettledAttempt> attempts = m_ledger->all();
        for (const UnsettledAttempt& attempt : attempts) {
            QCoro::Task<void> looking = look(attempt, token);
            co_await std::move(looking);
            if (!self || token.isCancelled()) {
                co_return;
            }
        }
        pausing = cancellableSleep(m_interval, token);
    }
}

QCoro::Task<void> AttemptWatch::look(UnsettledAttempt attempt, CancellationToken token) {
    const QPointer<AttemptWatch> self(this);
    QCoro::Task<std::optional<SignedBroadcast>> reviving = revivedAttempt(m_state, attempt, token);
    const std::optional<SignedBroadcast> tx = co_await std::move(reviving);
    if (!self || !tx || token.isCancelled()) {
        co_return;
    }
    QCoro::Task<bool> asking = asks(tx->landed ? tx->landed : tx->lookup, token);
    const bool landed = co_await std::move(asking);
    if (!self || token.isCancelled() || !m_ledger) {
        co_return;
    }
    if (landed) {
        // One the user was told failed (or never heard of) went through: kept, so that the
        // next press of its account says so instead of signing another payment beside it.
        const std::optional<UnsettledAttempt> now = m_ledger->find(attempt.id);
        if (now && now->told && !now->toldElsewhere) {
            m_ledger->forget(attempt.id);
        }
        co_return;
    }
    asking = asks(tx->lapsed, token);
    const bool lapsed = co_await std::move(asking);
    if (self && lapsed && m_ledger && !token.isCancelled()) {
        m_ledger->forget(attempt.id);
    }
}

} // namespace qm
