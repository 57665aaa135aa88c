// Prices and charts landing in the wallet, and a failed chart keeping its older points:
// PriceRefresh_tests.
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

QByteArray ticker(const char* symbol, const char* lastPrice, const char* change) {
    return QByteArray(R"({"symbol":")") + symbol + R"(","priceChangePercent":)" + change +
           R"(,"lastPrice":)" + lastPrice + R"(,"count":1234})";
}

struct Prices {
    HttpFixture server;
    CoinGeckoClient client{
        server.url("/api/v3").toString().toStdString(),
        qm::HttpTimeouts{std::chrono::milliseconds(300), std::chrono::seconds(5)}};
};

} // namespace

TEST(CoinGeckoClient, NumberTextsIgnoreTheUsersLocale) {
    // A comma-decimal locale (where installed) does not change the reading.
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    EXPECT_EQ(qm::priceFromText("67012.34000000"), 67012.34);
    EXPECT_EQ(qm::priceFromText("1e3"), 1000.0);
    for (const char* bad : {"", " 1.5", "1,5", "nan", "0x10"}) {
        EXPECT_FALSE(qm::priceFromText(bad)) << bad;
    }
    std::setlocale(LC_ALL, previous.c_str());
}

TEST(CoinGeckoClient, ReadsTickersAndCandlesSkippingUnreadableOnes) {
    Prices p;
    p.server.enqueue(HttpFixtureResponse::json(
        "[" + ticker("ETHUSDT", "3120.5", R"("2.5")") + "," + // a number, not text: no price
        ticker("ARBUSDT", R"("1.0x")", R"(" 2")") + "," +     // unreadable: no price
        ticker("POLUSDT", R"("0.5")", R"(" 2")") + "," +      // an unreadable change: 0
        ticker("BTCUSDT", R"("67012.34")", R"("-1.234")") + "," +
        ticker("BTCUSDT", R"("1.0")", R"("0")") + "]")); // only the first match counts
    const auto prices = runTask(p.client.fetchPrices());
    const QUrl sent(QString::fromLatin1(p.server.requests().at(0).target));
    EXPECT_EQ(sent.path(), "/api/v3/ticker/24hr");
    EXPECT_EQ(QUrlQuery(sent).queryItemValue("symbols", QUrl::FullyDecoded),
              R"(["BTCUSDT","ETHUSDT","ARBUSDT","POLUSDT","SOLUSDT"])");
    EXPECT_EQ(prices, (std::map<Chain, ChainPrice>{{Chain::bitcoin, {67012.34, -1.234}},
                                                   {Chain::polygon, {0.5, 0}}}));

    // Candles: [open time, open, high, low, close, ...]; a short, a numeric, a text-timed or a
    // comma-decimal one is skipped.
    p.server.enqueue(HttpFixtureResponse::json(R"([
        [1000,"41000.0","42500.0","40900.0","42000.50000000","12.5",1999,"5.0",10,"1","1","0"],
        [1714564800000,"1","2","0.5"], [1714579200000,"1","2","0.5",42000.5],
        ["1714593600000","1","2","0.5","1.5"], [1714608000000,"1","2","0.5","1,5"]])"));
    const auto points = runTask(p.client.fetchPriceHistory(Chain::arbitrum));
    EXPECT_EQ(QString::fromLatin1(p.server.requests().at(1).target),
              "/api/v3/klines?symbol=ARBUSDT&interval=4h&limit=42");
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0].date.unixTime(), 1.0); // one second after the epoch
    EXPECT_EQ(points[0].price, 42000.5);
}

TEST(CoinGeckoClient, EveryFailureGivesAnEmptyResult) {
    Prices p;
    HttpFixtureResponse dropped;
    dropped.behaviour = HttpFixtureResponse::Behaviour::close;
    // One element of the wrong kind spoils the whole answer.
    for (const auto& answer :
         {HttpFixtureResponse::json(R"({"code":-1003,"msg":"Too many requests"})", 429),
          HttpFixtureResponse::json("not json"), dropped,
          HttpFixtureResponse::json("[" + ticker("BTCUSDT", R"("1")", R"("1")") + ",[1]]"),
          HttpFixtureResponse::json(R"([[1000,"1","1","1","5"],{"a":1}])")}) {
        p.server.enqueue(answer);
        EXPECT_TRUE(runTask(p.client.fetchPrices()).empty());
        p.server.enqueue(answer);
        EXPECT_TRUE(runTask(p.client.fetchPriceHistory(Chain::solana)).empty());
    }
}
