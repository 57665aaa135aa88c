#include "ui/portfolio/PriceChartModel.h"

#include "core/model/Amount.h"
#include "state/AppState.h"
#include "ui/portfolio/PriceChartMath.h"
#include "ui/shell/WalletShell.h"

#include <QTimeZone>
#include <algorithm>
#include <cmath>

namespace qm {
namespace {

const std::vector<PricePoint>& noPoints() {
    static const std::vector<PricePoint> none;
    return none;
}

// The pair of the card: the ARB market for arbitrum, the native coin's otherwise.
const char* pairSymbol(Chain chain) {
    switch (chain) {
    case Chain::bitcoin:
        return "BTC";
    case Chain::ethereum:
        return "ETH";
    case Chain::arbitrum:
        return "ARB";
    case Chain::polygon:
        return "POL";
    case Chain::solana:
        return "SOL";
    }
    return "";
}

} // namespace

PriceChartModel::PriceChartModel(QObject* parent)
    : PriceChartModel(WalletShell::installedState(), parent) {}

PriceChartModel::PriceChartModel(AppState* state, QObject* parent)
    : QObject(parent), m_state(state) {
    if (state) {
        connect(state, &AppState::chainPricesChanged, this, &PriceChartModel::pricesChanged);
        connect(state, &AppState::chartCacheChanged, this, &PriceChartModel::rebuildCurve);
        connect(state, &AppState::chartLoadFailedChanged, this,
                &PriceChartModel::loadFailedChanged);
    }
    rebuildCurve();
}

void PriceChartModel::setChain(int chain) {
    if (chain < 0 || chain >= static_cast<int>(chainCount) || chain == this->chain()) {
        return;
    }
    m_chain = allChains()[static_cast<std::size_t>(chain)];
    emit chainChanged();
    emit pricesChanged();
    emit loadFailedChanged();
    rebuildCurve();
}

void PriceChartModel::setPlotWidth(double width) {
    if (width != m_width) {
        m_width = width;
        emit plotChanged();
        rebuildCurve();
    }
}

void PriceChartModel::setPlotHeight(double height) {
    if (height != m_height) {
        m_height = height;
        emit plotChanged();
        rebuildCurve();
    }
}

QString PriceChartModel::pairLabel() const {
    return QString::fromLatin1(pairSymbol(m_chain)) + QStringLiteral(" / USD");
}

bool PriceChartModel::hasPrice() const {
    return m_state && m_state->chainPrices().contains(m_chain);
}

QString PriceChartModel::priceText() const {
    if (!hasPrice()) {
        return {};
    }
    return QLatin1Char('$') +
           QString::fromStdString(qm::priceText(m_state->chainPrices().at(m_chain).usd));
}

QString PriceChartModel::changeText() const {
    if (!hasPrice()) {
        return {};
    }
    const double change = m_state->chainPrices().at(m_chain).change24h;
    return QString::fromStdString(fixedPointText(std::abs(change), 2)) + QLatin1Char('%');
}

bool PriceChartModel::changeIsUp() const {
    return !hasPrice() || m_state->chainPrices().at(m_chain).change24h >= 0;
}

int PriceChartModel::pointCount() const {
    if (!m_state) {
        return 0;
    }
    const auto found = m_state->chartCache().find(rawValue(m_chain));
    return found == m_state->chartCache().end() ? 0 : static_cast<int>(found->second.size());
}

bool PriceChartModel::loadFailed() const {
    return m_state && m_state->chartLoadFailed(m_chain);
}

void PriceChartModel::rebuildCurve() {
    const std::vector<PricePoint>* points = &noPoints();
    if (m_state) {
        const auto found = m_state->chartCache().find(rawValue(m_chain));
        if (found != m_state->chartCache().end()) {
            points = &found->second;
        }
    }
    std::vector<double> prices;
    std::vector<DatedPrice> dated;
    for (const PricePoint& point : *points) {
        prices.push_back(point.price);
        dated.push_back({point.date, point.price});
    }
    const YDomain domain = yDomain(prices);
    const ChartCurve curve = chartCurve(dated, domain, m_width, m_height);
    m_linePath = qm::linePath(curve);
    m_areaPath = qm::areaPath(curve, m_height);

    m_yTicks.clear();
    const double range = domain.high - domain.low;
    for (const double tick : axisTicks(domain, 4)) {
        m_yTicks.append(
            QVariantMap{{QStringLiteral("y"), m_height * (domain.high - tick) / range},
                        {QStringLiteral("label"), QString::fromStdString(axisText(tick))}});
    }
    // The dates along the x axis, in the user's time zone, about one per 60 points of width.
    // None in the first 16 points, where half a label would stand outside the plot (the right
    // edge has the y labels' column beside it).
    m_xTicks.clear();
    if (dated.size() > 1 && m_width > 0) {
        const double first = dated.front().date.unixTime();
        const double span = dated.back().date.unixTime() - first;
        const int maxCount = std::clamp(static_cast<int>(m_width / 60), 2, 7);
        const double inset = span * 16 / m_width;
        for (const TimeTick& tick :
             timeTicks(first + inset, first + span, maxCount, QTimeZone::systemTimeZone())) {
            m_xTicks.append(
                QVariantMap{{QStringLiteral("x"), m_width * (tick.unixTime - first) / span},
                            {QStringLiteral("label"), tick.label}});
        }
    }
    emit pointsChanged();
}

} // namespace qm
