#include "RefreshFixture.h"
#include "RunTask.h"
#include "state/refresh/PriceRefresh.h"

#include <gtest/gtest.h>

using namespace qm;
using qm::test::HttpFixtureRequest;
using qm::test::HttpFixtureResponse;
using qm::test::RefreshFixture;
using qm::test::runTask;

TEST(PriceRefresh, PricesAndChartsReplaceOnlyWhatCameBack) {
    RefreshFixture env;
    env.state().setBtcPriceUSD(1);
    env.state().setSolPriceUSD(2);
    env.state().setChainPrices({{Chain::bitcoin, {1, 0}}, {Chain::solana, {2, 0}}});
    env.state().setChartCache(
        {{"polygon", {PricePoint{QUuid::createUuid(), Date{5}, 0.5}}}, {"bitcoin", {}}});
    QByteArray ticker = R"([{"symbol":"ETHUSDT","lastPrice":"3000.25","priceChangePercent":"1.5"},)"
                        R"({"symbol":"POLUSDT","lastPrice":"0.4","priceChangePercent":"-3"}])";
    env.web().setHandler([&](const HttpFixtureRequest& request) {
        if (request.target.contains("/ticker/24hr")) {
            return HttpFixtureResponse::json(ticker);
        }
        if (request.target.contains("POLUSDT")) {
            return HttpFixtureResponse::withStatus(500);
        }
        return HttpFixtureResponse::json(
            R"([[1714000000000,"1","1","1","5"],[1714014400000,"5","6","4","6"]])");
    });
    runTask(refreshPrices({&env.state(), {}}));

    // Only Ethereum and Polygon came back: the others keep their values, the map is replaced.
    EXPECT_EQ(env.state().ethPriceUSD(), 3000.25);
    EXPECT_EQ(env.state().btcPriceUSD(), 1);
    EXPECT_EQ(env.state().solPriceUSD(), 2);
    EXPECT_EQ(env.state().chainPrices(),
              (std::map<Chain, ChainPrice>{{Chain::ethereum, {3000.25, 1.5}},
                                           {Chain::polygon, {0.4, -3}}}));
    // The failed Polygon chart keeps its older points; the four others are replaced.
    const auto& charts = env.state().chartCache();
    ASSERT_EQ(charts.size(), 5u);
    ASSERT_EQ(charts.at("polygon").size(), 1u);
    EXPECT_EQ(charts.at("polygon")[0].price, 0.5);
    for (const char* chain : {"bitcoin", "ethereum", "arbitrum", "solana"}) {
        ASSERT_EQ(charts.at(chain).size(), 2u) << chain;
        EXPECT_EQ(charts.at(chain)[1].price, 6);
    }

    // An empty answer changes no price.
    ticker = "[]";
    runTask(refreshPrices({&env.state(), {}}));
    EXPECT_EQ(env.state().ethPriceUSD(), 3000.25);
    EXPECT_EQ(env.state().chainPrices().size(), 2u);

    // Locked before the job: nothing is asked. Locked while asking: the answers still land,
    // market data is not the wallet's.
    const auto asked = env.web().requests().size();
    env.state().setIsLocked(true);
    runTask(refreshPrices({&env.state(), {}}));
    EXPECT_EQ(env.web().requests().size(), asked);
    env.state().setIsLocked(false);
    ticker = R"([{"symbol":"BTCUSDT","lastPrice":"70000","priceChangePercent":"0"}])";
    env.web().setHandler([&](const HttpFixtureRequest& request) {
        env.state().setIsLocked(true);
        return HttpFixtureResponse::json(request.target.contains("/ticker/24hr")
                                             ? ticker
                                             : QByteArray(R"([[1714000000000,"1","1","1","9"]])"));
    });
    runTask(refreshPrices({&env.state(), {}}));
    EXPECT_EQ(env.state().btcPriceUSD(), 70000);
    EXPECT_EQ(env.state().chartCache().at("solana").at(0).price, 9);
}
