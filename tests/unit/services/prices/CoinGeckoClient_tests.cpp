#include "HttpFixture.h"
#include "RunTask.h"
#include "services/prices/CoinGeckoClient.h"

#include <QUrlQuery>
#include <clocale>
#include <gtest/gtest.h>

using qm::Chain;
using qm::ChainPrice;
using qm::CoinGeckoClient;
using qm::test::HttpFixture;
using qm::test::HttpFixtureResponse;
using qm::test::runTask;

namespace {

// Binance v3 /ticker/24hr with "symbols": the full objects, in the exchange's own order.
QByteArray ticker(const char* symbol, const char* lastPrice, const char* change) {
    return QByteArray(R"({"symbol":")") + symbol +
           R"(","priceChange":"-1.00","priceChangePercent":)" + change +
           R"(,"weightedAvgPrice":"1.0","prevClosePrice":"1.0","lastPrice":)" + lastPrice +
           R"(,"lastQty":"0.1","bidPrice":"1.0","openTime":1714480000000,"closeTime":1714566400000,"count":1234})";
}

struct Prices {
    HttpFixture server;
    CoinGeckoClient client{
        server.url("/api/v3").toString().toStdString(),
        qm::HttpTimeouts{std::chrono::milliseconds(300), std::chrono::seconds(5)}};
};

} // namespace

TEST(CoinGeckoClient, NumberTexts) {
    // The user's locale (a comma-decimal one, where installed) does not change the reading.
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    EXPECT_EQ(qm::priceFromText("67012.34000000"), 67012.34);
    EXPECT_EQ(qm::priceFromText("-1.234"), -1.234);
    EXPECT_EQ(qm::priceFromText("1e3"), 1000.0);
    for (const char* bad : {"", " 1.5", "1,5", "nan", "0x10"}) {
        EXPECT_FALSE(qm::priceFromText(bad)) << bad;
    }
    std::setlocale(LC_ALL, previous.c_str());
}

TEST(CoinGeckoClient, FetchesSpotPricesOfEveryPairFound) {
    Prices p;
    p.server.enqueue(HttpFixtureResponse::json(
        "[" + ticker("SOLUSDT", R"("145.67000000")", R"("3.100")") + "," +
        ticker("BTCUSDT", R"("67012.34000000")", R"("-1.234")") + "," +
        ticker("ETHUSDT", "3120.5", R"("2.5")") + "," +   // a number, not text: 0
        ticker("ARBUSDT", R"("1.0x")", R"(" 2")") + "," + // unreadable texts: 0
        ticker("BTCUSDT", R"("1.0")", R"("0")") + "]"));  // only the first match counts
    const auto prices = runTask(p.client.fetchPrices());

    ASSERT_EQ(p.server.requests().size(), 1u);
    const QUrl sent(QString::fromLatin1(p.server.requests()[0].target));
    EXPECT_EQ(sent.path(), "/api/v3/ticker/24hr");
    EXPECT_EQ(QUrlQuery(sent).queryItemValue("symbols", QUrl::FullyDecoded),
              R"(["BTCUSDT","ETHUSDT","ARBUSDT","POLUSDT","SOLUSDT"])");

    ASSERT_EQ(prices.size(), 4u); // no POLUSDT object, no Polygon entry
    EXPECT_EQ(prices.at(Chain::bitcoin), (ChainPrice{67012.34, -1.234}));
    EXPECT_EQ(prices.at(Chain::ethereum), (ChainPrice{0, 2.5}));
    EXPECT_EQ(prices.at(Chain::arbitrum), (ChainPrice{0, 0}));
    EXPECT_EQ(prices.at(Chain::solana), (ChainPrice{145.67, 3.1}));
    EXPECT_EQ(prices.count(Chain::polygon), 0u);
}

TEST(CoinGeckoClient, EveryFailureGivesAnEmptyResult) {
    Prices p;
    p.server.enqueue(HttpFixtureResponse::json(R"({"code":-1003,"msg":"Too many requests"})", 429));
    EXPECT_TRUE(runTask(p.client.fetchPrices()).empty());
    p.server.enqueue(HttpFixtureResponse::json("not json"));
    EXPECT_TRUE(runTask(p.client.fetchPriceHistory(Chain::solana)).empty());
    // One element of the wrong kind spoils the whole answer.
    p.server.enqueue(
        HttpFixtureResponse::json("[" + ticker("BTCUSDT", R"("1")", R"("1")") + ",[1]]"));
    EXPECT_TRUE(runTask(p.client.fetchPrices()).empty());
    p.server.enqueue(HttpFixtureResponse::json(R"([[1000,"1","1","1","5"],{"a":1}])"));
    EXPECT_TRUE(runTask(p.client.fetchPriceHistory(Chain::solana)).empty());
    // A dropped connection or an unusable address: empty, never a throw.
    HttpFixtureResponse dropped;
    dropped.behaviour = HttpFixtureResponse::Behaviour::close;
    p.server.enqueue(dropped);
    EXPECT_TRUE(runTask(p.client.fetchPriceHistory(Chain::ethereum)).empty());
    CoinGeckoClient badBase("http://[::1", {});
    EXPECT_TRUE(runTask(badBase.fetchPriceHistory(Chain::bitcoin)).empty());
}

TEST(CoinGeckoClient, ReadsCandlesAndSkipsUnreadableOnes) {
    Prices p;
    // Binance klines: [open time, open, high, low, close, volume, close time, ...].
    p.server.enqueue(HttpFixtureResponse::json(R"([
        [1000,"41000.0","42500.0","40900.0","42000.50000000","12.5",1999,"5.0",10,"1","1","0"],
        [1714550400000,"1","2","0.5","1.5"],
        [1714564800000,"1","2","0.5"],
        [1714579200000,"1","2","0.5",42000.5],
        ["1714593600000","1","2","0.5","1.5"],
        [1714608000000,"1","2","0.5","1,5"]])"));
    const auto points = runTask(p.client.fetchPriceHistory(Chain::arbitrum));

    const QUrl sent(QString::fromLatin1(p.server.requests()[0].target));
    EXPECT_EQ(sent.path(), "/api/v3/klines");
    EXPECT_EQ(sent.query(), "symbol=ARBUSDT&interval=4h&limit=42");
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0].date.unixTime(), 1.0); // one second after the epoch
    EXPECT_EQ(points[0].price, 42000.5);
    EXPECT_EQ(points[1].date.unixTime(), 1714550400.0);
    EXPECT_EQ(points[1].price, 1.5);
    EXPECT_NE(points[0].id, points[1].id);
    EXPECT_FALSE(points[0].id.isNull());
}
