#include "HttpFixture.h"
#include "RunTask.h"
#include "services/evm/BlockExplorerClient.h"
#include "services/evm/InternetDateTime.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using qm::BlockExplorerClient;
using qm::Chain;
using qm::ExplorerTx;
using qm::test::HttpFixture;
using qm::test::HttpFixtureResponse;
using qm::test::runTask;
using json = nlohmann::json;

namespace {

const std::string owner = "0x9c1a5a6d8f04c2e2c3b4a0d1e2f3a4b5c6d7e8f9";

json transactionItem(int n, const std::string& status = "ok") {
    return {
        {"hash", "0xhash" + std::to_string(n)},
        {"from", {{"hash", owner}, {"is_contract", false}}},
        {"to", {{"hash", "0x00000000000000000000000000000000000000aa"}}},
        {"value", "1000000000000000000"},
        {"timestamp", "2024-05-01T12:34:56.789000Z"},
        {"block_number", 19780000 + n},
        {"status", status},
        {"gas_used", "21000"},
        {"gas_price", "7000000000"},
        {"confirmations", 120 + n},
        {"fee", {{"type", "actual"}, {"value", "147000000000000"}}},
    };
}

json tokenItem(int n) {
    return {
        {"transaction_hash", "0xtok" + std::to_string(n)},
        {"from", {{"hash", "0x00000000000000000000000000000000000000bb"}}},
        {"to", {{"hash", owner}}},
        {"token",
         {{"name", "USD Coin"},
          {"symbol", "USDC"},
          {"decimals", "6"},
          {"address_hash", "0xa0b86991c6218b36c1d19d4a2e9eb0ce3606eb48"}}},
        {"total", {{"value", "2500000"}, {"decimals", "6"}}},
        {"timestamp", "2024-05-01T14:34:56.789123+02:00"},
        {"block_number", 19780100 + n},
        {"log_index", n},
    };
}

QByteArray page(const json& items, const json& next) {
    return QByteArray::fromStdString(json{{"items", items}, {"next_page_params", next}}.dump());
}

BlockExplorerClient::BaseURLs fixtureURLs(const HttpFixture& server) {
    BlockExplorerClient::BaseURLs urls;
    const std::string base = server.url("/api/v2").toString().toStdString();
    urls[qm::chainIndex(Chain::ethereum)] = base;
    urls[qm::chainIndex(Chain::polygon)] = base;
    return urls;
}

struct Explorer {
    explicit Explorer(std::chrono::milliseconds timeout = std::chrono::seconds(15))
        : client(fixtureURLs(server), qm::HttpTimeouts{timeout, std::chrono::seconds(60)}) {}
    HttpFixture server;
    BlockExplorerClient client;
    QByteArray target(std::size_t i) const { return server.requests().at(i).target; }
};

} // namespace

TEST(InternetDateTime, ParsesOnlyTheStrictForm) {
    using qm::unixSecondsFromInternetDateTime;
    EXPECT_EQ(unixSecondsFromInternetDateTime("2024-05-01T12:34:56.789Z"), 1714566896);
    EXPECT_EQ(unixSecondsFromInternetDateTime("2024-05-01T12:34:56.789123Z"), 1714566896);
    EXPECT_EQ(unixSecondsFromInternetDateTime("2024-05-01T14:34:56.9+02:00"), 1714566896);
    EXPECT_EQ(unixSecondsFromInternetDateTime("2000-02-29T00:00:00.5Z"), 951782400);
    // Before 1970, truncation toward zero moves a fractional moment one second up.
    EXPECT_EQ(unixSecondsFromInternetDateTime("1969-12-31T23:59:59.5Z"), 0);
    EXPECT_EQ(unixSecondsFromInternetDateTime("1969-12-31T23:59:58.0Z"), -2);
    EXPECT_EQ(unixSecondsFromInternetDateTime("0001-01-01T00:00:00.1Z"), -62135596799);
    for (const char* bad : {"2024-05-01T12:34:56Z", "2024-05-01T12:34:56.789",
                            "2024-05-01T12:34:56.789+0200", "2023-02-29T12:34:56.789Z",
                            "2024-05-01T24:00:00.000Z", " 2024-05-01T12:34:56.789Z", ""}) {
        EXPECT_FALSE(unixSecondsFromInternetDateTime(bad)) << bad;
    }
}

TEST(BlockExplorerClient, PagesTransactionsAndMapsEveryField) {
    Explorer e;
    json first = json::array({transactionItem(1), transactionItem(2, "error")});
    first[1].erase("confirmations");
    first[1]["timestamp"] = "2024-05-01T12:34:56Z"; // no fraction: no time stamp
    e.server.enqueue(HttpFixtureResponse::json(
        page(first, {{"block_number", 123}, {"index", 4}, {"items_count", 50}, {"fee", "1"}})));
    e.server.enqueue(
        HttpFixtureResponse::json(page(json::array({transactionItem(3)}), json::object())));
    e.server.enqueue(HttpFixtureResponse::json(page(json::array({transactionItem(4)}), nullptr)));

    const auto txs = runTask(e.client.fetchTransactions(owner, Chain::ethereum, 5));
    ASSERT_EQ(txs.size(), 4u);
    ASSERT_EQ(e.server.requests().size(), 3u);
    EXPECT_EQ(e.target(0),
              "/api/v2/addresses/" + QByteArray::fromStdString(owner) + "/transactions");
    EXPECT_TRUE(e.target(1).endsWith("/transactions?index=4&block_number=123&items_count=50"));
    EXPECT_TRUE(e.target(2).endsWith("/transactions")); // {} carries no query
    EXPECT_EQ(e.server.requests()[0].method, "GET");

    const ExplorerTx expected{"0xhash1",
                              owner,
                              "0x00000000000000000000000000000000000000aa",
                              "1000000000000000000",
                              "1714566896",
                              "19780001",
                              "121",
                              "0",
                              "21000",
                              "7000000000",
                              std::nullopt,
                              std::nullopt,
                              std::nullopt,
                              std::nullopt};
    EXPECT_EQ(txs[0], expected);
    EXPECT_EQ(txs[1].isError, "1");
    EXPECT_EQ(txs[1].confirmations, "1");
    EXPECT_FALSE(txs[1].timeStamp);
    EXPECT_EQ(txs[3].hash, "0xhash4");
}

TEST(BlockExplorerClient, PagesTokenTransfersAndPrefersTheTotalsDecimals) {
    Explorer e;
    json second = tokenItem(2);
    second["total"].erase("decimals");
    second["token"]["decimals"] = "18";
    second["to"] = nullptr;
    e.server.enqueue(HttpFixtureResponse::json(page(
        json::array({tokenItem(1)}), {{"block_number", 123}, {"index", 4}, {"items_count", 50}})));
    e.server.enqueue(
        HttpFixtureResponse::json(page(json::array({second}), {{"block_number", 99}})));

    const auto txs = runTask(e.client.fetchTokenTransfers(owner, Chain::polygon, 2));
    ASSERT_EQ(e.server.requests().size(), 2u); // the page limit ends it despite more pages
    EXPECT_TRUE(e.target(0).endsWith("/token-transfers?type=ERC-20"));
    EXPECT_TRUE(e.target(1).endsWith("/token-transfers?type=ERC-20&index=4&block_number=123"));
    ASSERT_EQ(txs.size(), 2u);
    const ExplorerTx expected{"0xtok1",     "0x00000000000000000000000000000000000000bb",
                              owner,        "2500000",
                              "1714566896", "19780101",
                              "1",          "0",
                              std::nullopt, std::nullopt,
                              "USD Coin",   "USDC",
                              "6",          "0xa0b86991c6218b36c1d19d4a2e9eb0ce3606eb48"};
    EXPECT_EQ(txs[0], expected);
    EXPECT_EQ(txs[1].tokenDecimal, "18");
    EXPECT_FALSE(txs[1].to);
}

TEST(BlockExplorerClient, ChainsWithoutExplorerAndZeroPagesMakeNoRequest) {
    Explorer e;
    EXPECT_TRUE(runTask(e.client.fetchTokenTransfers(owner, Chain::solana, 5)).empty());
    EXPECT_TRUE(runTask(e.client.fetchTransactions(owner, Chain::ethereum, 0)).empty());
    EXPECT_TRUE(runTask(e.client.fetchTransactions("has space", Chain::ethereum, 3)).empty());
    EXPECT_TRUE(e.server.requests().empty());
}

TEST(BlockExplorerClient, HttpFailuresEndTheFetchQuietlyAfterTheFirstPage) {
    Explorer e;
    e.server.enqueue(HttpFixtureResponse::withStatus(404, R"({"message":"Not found"})"));
    testing::internal::CaptureStdout();
    EXPECT_TRUE(runTask(e.client.fetchTransactions(owner, Chain::ethereum, 3)).empty());
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[Explorer] ethereum normal tx HTTP 404 for 0x9c1a5a6d...\n");

    e.server.enqueue(
        HttpFixtureResponse::json(page(json::array({transactionItem(1)}), {{"index", 1}})));
    e.server.enqueue(HttpFixtureResponse::withStatus(404));
    testing::internal::CaptureStdout();
    const auto txs = runTask(e.client.fetchTransactions(owner, Chain::ethereum, 3));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    ASSERT_EQ(txs.size(), 1u);
    EXPECT_EQ(txs[0].hash, "0xhash1");
}

TEST(BlockExplorerClient, UndecodablePagesEndTheFetchWithALogLine) {
    Explorer e;
    const std::string malformed =
        "The data couldn\u2019t be read because it isn\u2019t in the correct format.";
    const std::string logLine = "[Explorer] polygon normal tx decode error: ";
    for (const auto& [body, reason] :
         {std::pair{QByteArray(R"({"next_page_params":null})"),
                    std::string("The data couldn\u2019t be read because it is missing.")},
          std::pair{page(json::array({{{"hash", 5}}}), nullptr), malformed}}) {
        e.server.enqueue(HttpFixtureResponse::json(body));
        testing::internal::CaptureStdout();
        EXPECT_TRUE(runTask(e.client.fetchTransactions(owner, Chain::polygon, 3)).empty());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), logLine + reason + "\n");
    }
    // A later page that does not decode keeps the pages before it.
    e.server.enqueue(HttpFixtureResponse::json(page(json::array({tokenItem(1)}), {{"index", 1}})));
    e.server.enqueue(HttpFixtureResponse::json(R"({"items":[{"token":[]}]})"));
    testing::internal::CaptureStdout();
    EXPECT_EQ(runTask(e.client.fetchTokenTransfers(owner, Chain::polygon, 3)).size(), 1u);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[Explorer] polygon token tx decode error: " + malformed + "\n");
    // Missing optional members and nulls are no values, not failures.
    e.server.enqueue(HttpFixtureResponse::json(
        page(json::array({json::object(), {{"hash", nullptr}}}), nullptr)));
    const auto sparse = runTask(e.client.fetchTransactions(owner, Chain::polygon, 3));
    ASSERT_EQ(sparse.size(), 2u);
    EXPECT_EQ(sparse[0],
              (ExplorerTx{std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                          std::nullopt, "1", "0", std::nullopt, std::nullopt, std::nullopt,
                          std::nullopt, std::nullopt, std::nullopt}));
}

TEST(BlockExplorerClient, TransportFailureThrowsAndDropsPagesRead) {
    Explorer e(std::chrono::milliseconds(300));
    e.server.enqueue(
        HttpFixtureResponse::json(page(json::array({transactionItem(1)}), {{"index", 1}})));
    e.server.enqueue(HttpFixtureResponse::stalling());
    try {
        runTask(e.client.fetchTransactions(owner, Chain::ethereum, 3));
        ADD_FAILURE() << "a stalled page did not throw";
    } catch (const qm::HttpTransportError& error) {
        EXPECT_EQ(error.kind(), qm::HttpTransportError::Kind::timedOut);
    }
}
