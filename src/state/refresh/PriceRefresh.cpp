#include "state/refresh/PriceRefresh.h"

#include "platform/async/WhenAll.h"
#include "services/prices/CoinGeckoClient.h"

namespace qm {
namespace {

// One chain's chart, stored as soon as it arrives; an empty answer (the client's only word for
// a failure) keeps the older points and marks the chart as not loaded, so the card stops
// waiting for it.
QCoro::Task<void> refreshChart(QPointer<AppState> state, Chain chain) {
    std::vector<PricePoint> points = co_await state->coinGecko().fetchPriceHistory(chain);
    if (!state) {
        co_return;
    }
    state->setChartLoadFailed(chain, points.empty());
    if (points.empty()) {
        co_return;
    }
    auto cache = state->chartCache();
    cache[rawValue(chain)] = std::move(points);
    state->setChartCache(std::move(cache));
}

} // namespace

QCoro::Task<void> refreshPrices(RefreshJob job) {
    if (job.shouldStop()) {
        co_return;
    }
    QPointer<AppState> state = job.state;
    std::map<Chain, ChainPrice> prices = co_await state->coinGecko().fetchPrices();
    if (!state) {
        co_return;
    }
    // A pair the answer left out is as unknown as one of no answer at all.
    for (const Chain chain : allChains()) {
        state->setPriceLoadFailed(chain, !prices.contains(chain));
    }
    if (!prices.empty()) {
        if (const auto it = prices.find(Chain::bitcoin); it != prices.end()) {
            state->setBtcPriceUSD(it->second.usd);
        }
        if (const auto it = prices.find(Chain::ethereum); it != prices.end()) {
            state->setEthPriceUSD(it->second.usd);
        }
        if (const auto it = prices.find(Chain::solana); it != prices.end()) {
            state->setSolPriceUSD(it->second.usd);
        }
        state->setChainPrices(std::move(prices));
    }
    std::vector<QCoro::Task<void>> charts;
    for (const Chain chain : allChains()) {
        charts.push_back(refreshChart(state, chain));
    }
    co_await whenAll(std::move(charts));
}

} // namespace qm
