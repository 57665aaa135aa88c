#include "ui/sale/NOVRSwapViewModel.h"

#include "core/model/Amount.h"
#include "services/connections/NetworkManager.h"
#include "services/sale/NOVRSaleContract.h"
#include "state/AppState.h"

#include <QPointer>
#include <exception>
#include <string>
#include <utility>

namespace qm {
namespace {

const QString missingFigure = QStringLiteral("\u2014");

QString usdcText(const UInt256& baseUnits) {
    return QString::fromStdString(amountNumberText(wholeUnits(baseUnits, usdcDecimals)));
}

} // namespace

NOVRSwapViewModel::NOVRSwapViewModel(QObject* parent) : StateBoundModel(parent) {
    m_quoteTimer.setSingleShot(true);
    m_quoteTimer.setInterval(std::chrono::milliseconds(500));
    connect(&m_quoteTimer, &QTimer::timeout, this, [this] { fetchQuote(); });
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
        const Amount amount = Amount::parse(m_amountString.toStdString(), novrDecimals);
        if (amount.value.isZero()) {
            return std::nullopt;
        }
        return amount.value;
    } catch (const AmountError&) {
        return std::nullopt;
    }
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

QString NOVRSwapViewModel::estimatedUSDCText() const {
    std::optional<UInt256> usdc;
    if (m_direction == Direction::Buy) {
        usdc = estimatedCostUSDC();
    } else if (const std::optional<UInt256> amount = usableAmount(); amount && m_floorPrice) {
        usdc = novrFloorProceeds(*amount, *m_floorPrice);
    }
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

QString NOVRSwapViewModel::slippageText() const {
    if (m_slippageBps % 100 == 0) {
        return QString::number(m_slippageBps / 100) + QLatin1Char('%');
    }
    return QString::number(m_slippageBps / 100.0, 'f', 1) + QLatin1Char('%');
}

bool NOVRSwapViewModel::canReview() const {
    if (!usableAmount() || m_isQuoting || m_quoteError) {
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
        setQuoteResult(false, std::nullopt);
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
            setQuoteResult(false, QString::fromUtf8(error.what()));
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
    setShowConfirmation(false);
}

} // namespace qm
