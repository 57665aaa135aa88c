// The sale sheet's review and its confirmation: the buy or sale of the figures shown prepared
// in the state's sale layer, kept only while it answers them, and handed as prepared to the
// flow; one the flow prepared again comes back here.
#include "state/AppState.h"
#include "state/UserErrorText.h"
#include "state/sale/NOVRSaleFlow.h"
#include "ui/sale/NOVRSwapViewModel.h"

#include <exception>
#include <utility>

namespace qm {

using Step = TransactionFlow::Step;

std::optional<NOVRSaleOrder> NOVRSwapViewModel::currentOrder() const {
    const std::optional<UInt256> amount = usableAmount();
    if (!amount) {
        return std::nullopt;
    }
    NOVRSaleOrder order;
    order.amount = *amount;
    if (m_direction == Direction::Sell) {
        order.direction = NOVRSaleOrder::Direction::sell;
        return order;
    }
    order.direction = NOVRSaleOrder::Direction::buy;
    order.maxCost = maxCostUSDC();
    if (!order.maxCost) {
        return std::nullopt;
    }
    return order;
}

QString NOVRSwapViewModel::reviewMaxFee() const {
    return m_review ? QString::fromStdString(maxNetworkFeeText(m_review->call)) : QString();
}

bool NOVRSwapViewModel::reviewIncludesApproval() const {
    return m_review && m_review->call.approval.has_value();
}

void NOVRSwapViewModel::setPreparing(bool preparing, QString error) {
    if (preparing != m_isPreparing || error != m_prepareError) {
        m_isPreparing = preparing;
        m_prepareError = std::move(error);
        emit preparingChanged();
    }
}

void NOVRSwapViewModel::dropReview() {
    ++m_reviewRevision;
    if (m_prepareTask) {
        m_prepareTask->cancel();
        m_prepareTask.reset();
    }
    m_preparingOrder.reset();
    setPreparing(false, {});
    if (m_review) {
        m_review.reset();
        emit reviewChanged();
    }
}

void NOVRSwapViewModel::followFigures() {
    const std::optional<NOVRSaleOrder> order = currentOrder();
    const bool reviewStale = m_review && order != m_review->order;
    const bool preparationStale = m_isPreparing && order != m_preparingOrder;
    if (!reviewStale && !preparationStale) {
        return;
    }
    dropReview();
    if (m_showConfirmation && !isSending() && !showsProgress() && canReview()) {
        startPreparing();
    }
}

void NOVRSwapViewModel::review() {
    if (!canReview() || m_isPreparing) {
        return;
    }
    // A failure of an earlier attempt is not this review's.
    if (m_flow && (broadcastStep() == Step::Failed || broadcastStep() == Step::Reverted)) {
        m_flow->reset();
    }
    setErrorMessage(std::nullopt);
    dropReview();
    startPreparing();
}

void NOVRSwapViewModel::startPreparing() {
    const std::optional<NOVRSaleOrder> order = currentOrder();
    if (!order) {
        return;
    }
    m_preparingOrder = order;
    setPreparing(true, {});
    const std::uint64_t revision = m_reviewRevision;
    m_prepareTask = TaskHandle::spawn(this, [this, revision, order](CancellationToken token) {
        return prepareReview(revision, *order, std::move(token));
    });
}

QCoro::Task<void> NOVRSwapViewModel::prepareReview(std::uint64_t revision, NOVRSaleOrder order,
                                                   CancellationToken token) {
    const QPointer<NOVRSwapViewModel> self(this);
    std::optional<NOVRPreparedSale> prepared;
    QString failure;
    try {
        QCoro::Task<NOVRPreparedSale> preparing =
            prepareNOVRSale(appState(), std::move(order), token);
        prepared = co_await std::move(preparing);
    } catch (const std::exception& error) {
        failure = userErrorText(error);
    }
    // An answer for other figures, or for a sheet that has gone, is nobody's.
    if (!self || token.isCancelled() || revision != m_reviewRevision) {
        co_return;
    }
    m_prepareTask.reset();
    m_preparingOrder.reset();
    setPreparing(false, failure);
    if (prepared) {
        m_review = std::move(prepared);
        emit reviewChanged();
        setShowConfirmation(true);
    }
}

void NOVRSwapViewModel::executeSwap() {
    if (!m_flow || m_flow->isRunning() || !m_review || m_review->order != currentOrder()) {
        return;
    }
    NOVRSaleRequest request;
    request.state = appState();
    request.prepared = *m_review;
    request.password = SecureBytes::fromText(entry()->utf8());
    const QPointer<NOVRSwapViewModel> self(this);
    const std::uint64_t revision = m_reviewRevision;
    request.revised = [self, revision](const NOVRPreparedSale& again) {
        if (self && self->m_reviewRevision == revision) {
            self->m_review = again;
            emit self->reviewChanged();
        }
    };
    // The flow holds the password now (and wipes it when it ends): none is left in the field.
    wipePassword();
    setErrorMessage(std::nullopt);
    m_flow->setSummary(liveOrderLine(), QStringLiteral("on Arbitrum"));
    startNOVRSale(*m_flow, std::move(request));
}

void NOVRSwapViewModel::sendAnyway() {
    if (!m_flow || !m_flow->offersSendAnyway()) {
        return;
    }
    m_flow->chooseSendAnyway();
    executeSwap();
}

} // namespace qm
