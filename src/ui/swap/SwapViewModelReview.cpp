// The swap sheet's review and the EVM swap: the current quote's swap prepared in the state's
// swap layer, shown as prepared and handed as prepared to the flow; a swap the flow prepared
// again comes back here.
#include "core/model/Amount.h"
#include "state/AppState.h"
#include "state/UserErrorText.h"
#include "state/swap/EVMSwapExecution.h"
#include "ui/swap/SwapViewModel.h"

#include <exception>
#include <memory>
#include <utility>

namespace qm {

using Step = TransactionFlow::Step;

EVMSwapOrder SwapViewModel::currentOrder() const {
    EVMSwapOrder order;
    order.chain = m_chain;
    order.quote = m_currentQuote.value_or(SwapQuote{});
    const AppState* state = appState();
    if (state && isEVMChain(m_chain) && !state->evmAccounts(m_chain).empty()) {
        order.sender = state->evmAccounts(m_chain).front().account.address;
    }
    return order;
}

QString SwapViewModel::reviewMaxFee() const {
    return m_review ? QString::fromStdString(maxNetworkFeeText(m_review->call)) : QString();
}

bool SwapViewModel::reviewIncludesApproval() const {
    return m_review && m_review->call.approval.has_value();
}

void SwapViewModel::dropReview() {
    ++m_reviewRevision;
    if (m_prepareTask) {
        m_prepareTask->cancel();
        m_prepareTask.reset();
    }
    setPreparing(false, {});
    if (m_review) {
        m_review.reset();
        emit reviewChanged();
    }
}

void SwapViewModel::setPreparing(bool preparing, QString error) {
    if (preparing != m_isPreparing || error != m_prepareError) {
        m_isPreparing = preparing;
        m_prepareError = std::move(error);
        emit preparingChanged();
    }
}

void SwapViewModel::review() {
    if (!canSwap() || m_isPreparing) {
        return;
    }
    // A failure of an earlier attempt is not this review's.
    if (TransactionFlow* current = flow(); current && current->step() == Step::Failed) {
        current->reset();
    }
    if (m_chain == Chain::solana) {
        setShowConfirmation(true);
        return;
    }
    if (!isEVMChain(m_chain) || !m_currentQuote) {
        return;
    }
    dropReview();
    setPreparing(true, {});
    const std::uint64_t revision = m_reviewRevision;
    m_prepareTask =
        TaskHandle::spawn(this, [this, revision, order = currentOrder()](CancellationToken token) {
            return prepareReview(revision, order, std::move(token));
        });
}

QCoro::Task<void> SwapViewModel::prepareReview(std::uint64_t revision, EVMSwapOrder order,
                                               CancellationToken token) {
    const QPointer<SwapViewModel> self(this);
    std::optional<EVMPreparedSwap> prepared;
    QString failure;
    try {
        QCoro::Task<EVMPreparedSwap> preparing =
            prepareEVMSwap(appState(), std::move(order), token);
        prepared = co_await std::move(preparing);
    } catch (const std::exception& error) {
        failure = userErrorText(error);
    }
    // An answer for another quote, or for a sheet that has gone, is nobody's.
    if (!self || token.isCancelled() || revision != m_reviewRevision) {
        co_return;
    }
    m_prepareTask.reset();
    setPreparing(false, failure);
    if (prepared) {
        m_review = std::move(prepared);
        emit reviewChanged();
        setShowConfirmation(true);
    }
}

bool SwapViewModel::executeEVMSwap() {
    TransactionFlow* current = flow();
    AppState* state = appState();
    if (!current || !state || !isEVMChain(m_chain) || current->isRunning()) {
        return false;
    }
    if (!m_currentQuote ||
        inputs() != Inputs{m_chain, m_currentQuote->tokenIn, m_currentQuote->tokenOut,
                           m_currentQuote->amountIn, m_slippageBps}) {
        requestQuote();
        return false;
    }
    // Only the swap reviewed for this quote is signed.
    if (!m_review || m_review->order != currentOrder()) {
        return false;
    }
    EVMSwapRequest request;
    request.state = state;
    request.prepared = *m_review;
    std::string typed = passwordUtf8();
    request.password = std::make_shared<const SecureBytes>(SecureBytes::fromText(typed));
    wipe(typed);
    const QPointer<SwapViewModel> self(this);
    const std::uint64_t revision = m_reviewRevision;
    request.revised = [self, revision](const EVMPreparedSwap& again) {
        if (self && self->m_reviewRevision == revision) {
            self->m_review = again;
            emit self->reviewChanged();
        }
    };
    showSummary(*current, request.prepared.order.quote.tokenIn,
                request.prepared.order.quote.tokenOut);
    auto held = std::make_shared<EVMSwapRequest>(std::move(request));
    return current->start(Step::CheckingAllowance,
                          [held](FlowRun run) { return runEVMSwap(std::move(run), *held); });
}

bool SwapViewModel::sendAnyway() {
    TransactionFlow* current = flow();
    if (!current || !current->offersSendAnyway() || !isEVMChain(m_chain)) {
        return false;
    }
    current->chooseSendAnyway();
    return executeEVMSwap();
}

bool SwapViewModel::executeSwap() {
    if (isEVMChain(m_chain)) {
        return executeEVMSwap();
    }
    return m_chain == Chain::solana && executeSolanaSwap();
}

} // namespace qm
