#include "ui/sale/NOVRSwapViewModel.h"

#include "core/model/Amount.h"
#include "services/connections/NetworkManager.h"
#include "services/sale/NOVRSaleContract.h"
#include "state/AppState.h"
#include "state/UserErrorText.h"
#include "state/flows/EarlierAttemptNote.h"
#include "state/flows/FlowService.h"
#include "ui/theme/TypedAmount.h"

#include <QPointer>
#include <algorithm>
#include <exception>
#include <string>
#include <utility>

namespace qm {
namespace {

const QString missingFigure = QStringLiteral("\u2014");

// USDC as the form shows it (the lists' rounding) and as the review does (every digit).
QString usdcText(const UInt256& baseUnits) {
    return QString::fromStdString(Amount{baseUnits, usdcDecimals}.listNumberText());
}

QString exactUSDC(const std::optional<UInt256>& baseUnits) {
    return baseUnits ? QString::fromStdString(Amount{*baseUnits, usdcDecimals}.exactText())
                     : missingFigure;
}

} // namespace

NOVRSwapViewModel::NOVRSwapViewModel(QObject* parent) : PasswordFormModel(parent) {
    m_quoteTimer.setSingleShot(true);
    m_quoteTimer.setInterval(std::chrono::milliseconds(500));
    connect(&m_quoteTimer, &QTimer::timeout, this, [this] { fetchQuote(); });
    connect(this, &NOVRSwapViewModel::quoteChanged, this, &NOVRSwapViewModel::orderLineChanged);
    connect(this, &NOVRSwapViewModel::quoteChanged, this, &NOVRSwapViewModel::followFigures);
    for (const auto signal : {&NOVRSwapViewModel::reviewChanged, &NOVRSwapViewModel::flowChanged}) {
        connect(this, signal, this, &NOVRSwapViewModel::replacementNoteChanged);
    }
    connect(this, &StateBoundModel::attemptsChanged, this,
            &NOVRSwapViewModel::replacementNoteChanged);
    if (FlowService* service = FlowService::installed()) {
        setFlow(service->flow(QStringLiteral("sale:arbitrum")));
    }
}

NOVRSwapViewModel::~NOVRSwapViewModel() {
    m_quoteToken.cancel();
}

void NOVRSwapViewModel::setDirection(Direction direction) {
    if (m_direction == direction) {
        return;
    }
    m_direction = direction;
    emit directionChanged();
    emit quoteChanged();
    quoteInputsChanged();
}

void NOVRSwapViewModel::setAmountString(const QString& text) {
    if (m_amountString == text) {
        return;
    }
    m_amountString = text;
    emit amountStringChanged();
    emit quoteChanged();
    quoteInputsChanged();
}

void NOVRSwapViewModel::setSlippageBps(int basisPoints) {
    if (basisPoints < 0 || basisPoints > 10'000 ||
        m_slippageBps == static_cast<unsigned>(basisPoints)) {
        return;
    }
    m_slippageBps = static_cast<unsigned>(basisPoints);
    emit slippageBpsChanged();
    emit quoteChanged();
    quoteInputsChanged();
}

void NOVRSwapViewModel::setShowConfirmation(bool show) {
    if (m_showConfirmation == show) {
        return;
    }
    m_showConfirmation = show;
    emit showConfirmationChanged();
}

std::optional<UInt256> NOVRSwapViewModel::usableAmount() const {
    try {
        const Amount amount = parseTypedAmount(m_amountString, novrDecimals);
        if (amount.value.isZero()) {
            return std::nullopt;
        }
        return amount.value;
    } catch (const AmountError&) {
        return std::nullopt;
    }
}

std::optional<QString> NOVRSwapViewModel::amountError() const {
    try {
        parseTypedAmount(m_amountString, novrDecimals);
    } catch (const AmountError& error) {
        // An empty field, or text that is no number at all, needs no words.
        if (error.kind() != AmountError::Kind::empty &&
            error.kind() != AmountError::Kind::notANumber) {
            return QString::fromUtf8(error.what());
        }
    }
    return std::nullopt;
}

std::optional<UInt256> NOVRSwapViewModel::estimatedCostUSDC() const {
    const std::optional<UInt256> amount = usableAmount();
    if (!m_estimate || !amount || m_estimate->amount != *amount) {
        return std::nullopt;
    }
    return m_estimate->cost;
}

std::optional<UInt256> NOVRSwapViewModel::maxCostUSDC() const {
    const std::optional<UInt256> cost = estimatedCostUSDC();
    if (!cost) {
        return std::nullopt;
    }
    return novrMaxCost(*cost, m_slippageBps);
}

std::optional<UInt256> NOVRSwapViewModel::estimatedUSDC() const {
    if (m_direction == Direction::Buy) {
        return estimatedCostUSDC();
    }
    if (const std::optional<UInt256> amount = usableAmount(); amount && m_floorPrice) {
        return novrFloorProceeds(*amount, *m_floorPrice);
    }
    return std::nullopt;
}

QString NOVRSwapViewModel::estimatedUSDCText() const {
    const std::optional<UInt256> usdc = estimatedUSDC();
    return usdc ? usdcText(*usdc) : missingFigure;
}

QString NOVRSwapViewModel::maxCostText() const {
    if (m_direction != Direction::Buy) {
        return missingFigure;
    }
    const std::optional<UInt256> maxCost = maxCostUSDC();
    return maxCost ? usdcText(*maxCost) : missingFigure;
}

QString NOVRSwapViewModel::floorPriceText() const {
    return m_floorPrice ? usdcText(*m_floorPrice) + QStringLiteral(" USDC") : missingFigure;
}

QString NOVRSwapViewModel::exactAmountText() const {
    const std::optional<UInt256> amount = usableAmount();
    return amount ? QString::fromStdString(Amount{*amount, novrDecimals}.exactText())
                  : m_amountString;
}

QVariantList NOVRSwapViewModel::reviewRows() const {
    const auto row = [](const QString& label, const QString& value) {
        return QVariant(QVariantList{label, value});
    };
    const QString usdc = QStringLiteral(" USDC");
    const QString floor = m_floorPrice ? exactUSDC(m_floorPrice) + usdc : missingFigure;
    QVariantList rows{row(QStringLiteral("Amount"), exactAmountText() + QStringLiteral(" NOVR"))};
    if (m_direction == Direction::Buy) {
        rows.append(row(QStringLiteral("Estimated cost"), exactUSDC(estimatedUSDC()) + usdc));
        rows.append(row(QStringLiteral("Max cost"), exactUSDC(maxCostUSDC()) + usdc));
        rows.append(row(QStringLiteral("Slippage"), slippageText()));
    } else {
        rows.append(row(QStringLiteral("You receive"), exactUSDC(estimatedUSDC()) + usdc));
        rows.append(row(QStringLiteral("Price"), QStringLiteral("Floor (guaranteed)")));
    }
    rows.append(row(QStringLiteral("Floor price"), floor));
    return rows;
}

QString NOVRSwapViewModel::contractAddress() const {
    return QString::fromUtf8(novrSaleContractAddress.data(),
                             static_cast<qsizetype>(novrSaleContractAddress.size()));
}

QString NOVRSwapViewModel::slippageText() const {
    if (m_slippageBps % 100 == 0) {
        return QString::number(m_slippageBps / 100) + QLatin1Char('%');
    }
    return QString::number(m_slippageBps / 100.0, 'f', 1) + QLatin1Char('%');
}

bool NOVRSwapViewModel::canReview() const {
    if (!usableAmount() || m_isQuoting || m_quoteError || isSending()) {
        return false;
    }
    if (m_direction == Direction::Buy) {
        return maxCostUSDC().has_value();
    }
    return m_floorPrice.has_value();
}

void NOVRSwapViewModel::toggleDirection() {
    setDirection(m_direction == Direction::Buy ? Direction::Sell : Direction::Buy);
    m_estimate.reset();
    m_quoteError.reset();
    emit quoteChanged();
}

void NOVRSwapViewModel::scheduleQuote() {
    m_quoteTimer.start();
}

void NOVRSwapViewModel::quoteInputsChanged() {
    supersedeQuote();
    m_quoteTimer.start();
}

void NOVRSwapViewModel::supersedeQuote() {
    ++m_quoteGeneration;
    m_quoteToken.cancel();
    m_quoteToken = CancellationToken();
    if (m_isQuoting) {
        m_isQuoting = false;
        emit quoteChanged();
    }
}

void NOVRSwapViewModel::setQuoteResult(bool quoting, std::optional<QString> error) {
    m_isQuoting = quoting;
    m_quoteError = std::move(error);
    emit quoteChanged();
}

QCoro::Task<void> NOVRSwapViewModel::fetchQuote() {
    m_quoteTimer.stop();
    supersedeQuote();
    const std::optional<UInt256> amount = usableAmount();
    AppState* state = appState();
    if (!amount || !state) {
        m_estimate.reset();
        m_floorPrice.reset();
        // Text that names what is wrong with it (a comma, too many decimals) says so.
        setQuoteResult(false, amountError());
        co_return;
    }
    const std::uint64_t generation = m_quoteGeneration;
    const CancellationToken token = m_quoteToken;
    const QPointer<NOVRSwapViewModel> self(this);
    const auto superseded = [&] { return !self || generation != m_quoteGeneration; };
    setQuoteResult(true, std::nullopt);
    const std::shared_ptr<JSONRPCClient> client =
        state->networkManager().evmClient(Chain::arbitrum);
    try {
        QCoro::Task<UInt256> readingFloor = fetchFloorPrice(client, token);
        const UInt256 floor = co_await std::move(readingFloor);
        if (superseded()) {
            co_return;
        }
        m_floorPrice = floor;
        // The direction as it is now: a switch to selling needs no cost estimate.
        if (m_direction == Direction::Sell) {
            setQuoteResult(false, std::nullopt);
            co_return;
        }
        QCoro::Task<UInt256> estimating = estimateBuyCost(*amount, client, token);
        const UInt256 cost = co_await std::move(estimating);
        if (superseded()) {
            co_return;
        }
        m_estimate = BuyEstimate{*amount, cost};
        setQuoteResult(false, std::nullopt);
    } catch (const std::exception& error) {
        if (!superseded()) {
            setQuoteResult(false, userErrorText(error));
        }
    }
}

void NOVRSwapViewModel::reset() {
    supersedeQuote();
    m_quoteTimer.stop();
    if (!m_amountString.isEmpty()) {
        m_amountString.clear();
        emit amountStringChanged();
    }
    m_estimate.reset();
    m_floorPrice.reset();
    setQuoteResult(false, std::nullopt);
    wipePassword();
    setErrorMessage(std::nullopt);
    if (m_flow) {
        m_flow->reset();
    }
    setShowConfirmation(false);
    dropReview();
}

void NOVRSwapViewModel::setFlow(TransactionFlow* flow) {
    if (m_flow == flow) {
        return;
    }
    if (m_flow) {
        m_flow->disconnect(this);
    }
    m_flow = flow;
    if (flow) {
        for (const auto signal :
             {&TransactionFlow::progressChanged, &TransactionFlow::txHashChanged,
              &TransactionFlow::runningChanged, &TransactionFlow::sendAnywayChanged}) {
            connect(flow, signal, this, &NOVRSwapViewModel::flowChanged);
        }
        connect(flow, &TransactionFlow::runningChanged, this, &NOVRSwapViewModel::quoteChanged);
        connect(flow, &TransactionFlow::stepChanged, this, &NOVRSwapViewModel::followFlowStep);
        // A run that ended Failed has left its attempt in the ledger by now.
        connect(flow, &TransactionFlow::stepChanged, this,
                &NOVRSwapViewModel::replacementNoteChanged);
        connect(flow, &TransactionFlow::summaryChanged, this, &NOVRSwapViewModel::orderLineChanged);
    }
    emit flowChanged();
    emit quoteChanged();
    // A sheet opened while a buy or sale runs, or on one that ended without its Done, shows it.
    if (flow && (flow->isRunning() || isFinished())) {
        setShowConfirmation(true);
    }
}

void NOVRSwapViewModel::followFlowStep() {
    using Step = TransactionFlow::Step;
    const Step step = broadcastStep();
    if (step == Step::Failed || step == Step::Reverted) {
        setErrorMessage(m_flow->errorMessage());
    }
    if (step == Step::Reverted) {
        supersedeQuote();
        m_quoteTimer.start();
    }
    emit flowChanged();
}

QString NOVRSwapViewModel::liveOrderLine() const {
    const QString arrow = QStringLiteral(" \u2192 ");
    const QString usdc = exactUSDC(estimatedUSDC()) + QStringLiteral(" USDC");
    const QString novr = exactAmountText() + QStringLiteral(" NOVR");
    return m_direction == Direction::Buy ? usdc + arrow + novr : novr + arrow + usdc;
}

QString NOVRSwapViewModel::replacementNote() const {
    const AppState* state = appState();
    if (!state || !m_flow || m_flow->offersSendAnyway() || !hasReview()) {
        return {};
    }
    return earlierAttemptReviewNote(*state, Chain::arbitrum, m_flow->objectName().toStdString(),
                                    liveOrderLine(), QStringLiteral("on Arbitrum"));
}

QString NOVRSwapViewModel::orderLine() const {
    if (m_flow && !m_flow->summary().isEmpty()) {
        return m_flow->summary();
    }
    return liveOrderLine();
}

bool NOVRSwapViewModel::showsProgress() const {
    using Step = TransactionFlow::Step;
    const Step step = broadcastStep();
    return step != Step::Idle && step != Step::Failed && step != Step::Reverted;
}

bool NOVRSwapViewModel::isFinished() const {
    const TransactionFlow::Step step = broadcastStep();
    return step == TransactionFlow::Step::Confirmed || step == TransactionFlow::Step::Submitted;
}

QString NOVRSwapViewModel::stepTitle() const {
    using Step = TransactionFlow::Step;
    switch (broadcastStep()) {
    case Step::CheckingAllowance:
        return QStringLiteral("Checking allowance...");
    case Step::Approving:
        return QStringLiteral("Approving token...");
    case Step::Signing:
        return QStringLiteral("Signing transaction...");
    case Step::Broadcasting:
        return QStringLiteral("Broadcasting to network...");
    case Step::WaitingConfirmation:
        return QStringLiteral("Waiting for confirmation...");
    case Step::Confirmed:
        return QStringLiteral("Swap complete!");
    case Step::Submitted:
        return QStringLiteral("Transaction submitted");
    case Step::Idle:
    case Step::Reverted:
    case Step::Failed:
        break;
    }
    return {};
}

namespace {

// How far a step has come: 0 checking or approving, 1 signing, 2 broadcasting, 3 waiting,
// 4 in a block. A submitted transaction waits for an answer that did not come.
int stepRank(TransactionFlow::Step step) {
    using Step = TransactionFlow::Step;
    switch (step) {
    case Step::Signing:
        return 1;
    case Step::Broadcasting:
        return 2;
    case Step::WaitingConfirmation:
    case Step::Submitted:
        return 3;
    case Step::Confirmed:
        return 4;
    default:
        return 0;
    }
}

} // namespace

QVariantList NOVRSwapViewModel::stages() const {
    const int rank = stepRank(broadcastStep());
    QVariantList states;
    for (int stage = 0; stage < 4; ++stage) {
        // Stage n is completed once the step has passed it; active while the step is at it
        // (the last stage is active from waiting on).
        const bool completed = rank > stage;
        const bool active = showsProgress() && (stage == 3 ? rank >= 3 : rank == stage);
        states.append(completed ? 2 : active ? 1 : 0);
    }
    return states;
}

QVariantList NOVRSwapViewModel::connectors() const {
    const int rank = stepRank(broadcastStep());
    QVariantList reached;
    for (int connector = 0; connector < 3; ++connector) {
        reached.append(rank > connector);
    }
    return reached;
}

} // namespace qm
