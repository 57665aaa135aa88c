#include "RefreshFixture.h"
#include "RunTask.h"
#include "state/refresh/ExplorerRefresh.h"

#include <gtest/gtest.h>

using namespace qm;
using qm::test::HttpFixtureRequest;
using qm::test::HttpFixtureResponse;
using qm::test::RefreshFixture;
using qm::test::runTask;
using json = nlohmann::json;

namespace {

const std::string owner = "0x9C1a5a6d8f04c2e2c3b4a0d1e2f3a4b5c6d7e8f9";
const std::string other = "0x00000000000000000000000000000000000000bb";

ExplorerTx record(const std::string& from, const std::string& value) {
    ExplorerTx tx;
    tx.hash = "0xh";
    tx.from = from;
    tx.to = other;
    tx.value = value;
    tx.confirmations = "3";
    return tx;
}

// Blockscout v2 items, as the public instances send them.
json transactionItem(const std::string& hash, const std::string& time, const std::string& from) {
    return {{"hash", hash},
            {"from", {{"hash", from}}},
            {"to", {{"hash", other}}},
            {"value", "1500000000000000000"},
            {"timestamp", time},
            {"block_number", 100},
            {"status", "ok"},
            {"gas_used", "21000"},
            {"gas_price", "1000000000"},
            {"confirmations", 12}};
}

json tokenItem(const std::string& hash, const std::string& time) {
    return {{"transaction_hash", hash},
            {"from", {{"hash", other}}},
            {"to", {{"hash", owner}}},
            {"token",
             {{"name", "USD Coin"},
              {"symbol", "USDC"},
              {"decimals", "6"},
              {"address_hash", "0xa0b86991c6218b36c1d19d4a2e9eb0ce3606eb48"}}},
            {"total", {{"value", "2500000"}, {"decimals", "6"}}},
            {"timestamp", time},
            {"block_number", 101}};
}

HttpFixtureResponse page(const json& items) {
    return HttpFixtureResponse::json(
        QByteArray::fromStdString(json{{"items", items}, {"next_page_params", nullptr}}.dump()));
}

} // namespace

TEST(ExplorerRefresh, RecordsMapToEntries) {
    // Amount texts: six digits below 0.0001, four otherwise; a zero-value call is 0.0000.
    EXPECT_EQ(
        transactionFromExplorer(record(owner, "50000000000000"), Chain::ethereum, owner, false)
            ->amount,
        "0.000050 ETH");
    EXPECT_EQ(
        transactionFromExplorer(record(owner, "12abc"), Chain::ethereum, owner, false)->amount,
        "0.0000 ETH");

    // Direction ignores letter case; a transfer to oneself is sent.
    ExplorerTx self = record(owner, "1");
    self.to = owner;
    EXPECT_EQ(transactionFromExplorer(self, Chain::ethereum,
                                      "0x9c1a5a6d8f04c2e2c3b4a0d1e2f3a4b5c6d7e8f9", false)
                  ->direction,
              TransactionDirection::sent);

    // Status: an error wins over confirmations; none or zero confirmations is pending.
    ExplorerTx failed = record(owner, "0");
    failed.isError = "1";
    EXPECT_EQ(transactionFromExplorer(failed, Chain::ethereum, owner, false)->status,
              TransactionStatus::failed);
    ExplorerTx pending = record(owner, "0");
    pending.confirmations.reset();
    EXPECT_EQ(transactionFromExplorer(pending, Chain::ethereum, owner, false)->status,
              TransactionStatus::pending);
    // Numbers past 64 bits are not read (and never wrapped): the defaults stand.
    ExplorerTx huge = record(owner, "0");
    huge.confirmations = "99999999999999999999999";
    huge.blockNumber = "18446744073709551617";
    huge.timeStamp = "1e300";
    const Transaction hugeEntry = *transactionFromExplorer(huge, Chain::ethereum, owner, false);
    EXPECT_EQ(hugeEntry.confirmations, 0);
    EXPECT_EQ(hugeEntry.status, TransactionStatus::pending);
    EXPECT_FALSE(hugeEntry.blockHeight);
    EXPECT_FALSE(hugeEntry.timestamp);

    // Block, time and confirmations.
    ExplorerTx full = record(owner, "0");
    full.blockNumber = "+77";
    full.timeStamp = "1714566896";
    const Transaction entry = *transactionFromExplorer(full, Chain::ethereum, owner, false);
    EXPECT_EQ(entry.blockHeight, 77);
    EXPECT_EQ(entry.confirmations, 3);
    ASSERT_TRUE(entry.timestamp);
    EXPECT_DOUBLE_EQ(entry.timestamp->unixTime(), 1714566896);

    // Tokens: without decimals 18, without symbol "?", the identifier names the contract.
    ExplorerTx token = record(other, "2500000");
    token.contractAddress = "0xc0";
    const Transaction noMeta = *transactionFromExplorer(token, Chain::ethereum, owner, true);
    EXPECT_EQ(noMeta.amount, "0.000000 ?"); // 2.5e-12 whole tokens
    EXPECT_EQ(noMeta.id, "0xh-0xc0");
    EXPECT_EQ(noMeta.contractAddress, "0xc0");

    // Without hash, sender or recipient: no entry.
    ExplorerTx broken = record(owner, "1");
    broken.to.reset();
    EXPECT_FALSE(transactionFromExplorer(broken, Chain::ethereum, owner, false));
}

TEST(ExplorerRefresh, HistoryFromBlockscoutNewestFirst) {
    RefreshFixture env;
    env.setEVMAccount(Chain::polygon, owner);
    bool tokensFail = false;
    env.web().setHandler([&](const HttpFixtureRequest& request) {
        if (request.target.contains("/token-transfers")) {
            if (tokensFail) {
                HttpFixtureResponse dropped;
                dropped.behaviour = HttpFixtureResponse::Behaviour::close;
                return dropped;
            }
            return page(json::array({tokenItem("0xa1", "2024-05-01T12:00:00.000000Z")}));
        }
        json missingHash = transactionItem("0xzz", "2024-05-02T00:00:00.000000Z", owner);
        missingHash.erase("hash");
        json noTime = transactionItem("0xa3", "", other);
        noTime.erase("timestamp");
        return page(json::array({transactionItem("0xa1", "2024-05-01T12:00:00.000000Z", owner),
                                 noTime, missingHash,
                                 transactionItem("0xa2", "2024-05-03T00:00:00.000000Z", other)}));
    });
    runTask(refreshExplorerHistory({&env.state(), {}}, Chain::polygon));

    const auto& history = env.state().polygonAccounts().at(0).transactions;
    std::vector<std::string> ids;
    for (const Transaction& t : history) {
        ids.push_back(t.id);
    }
    // Newest first; equal times keep normal before token; no time goes last.
    EXPECT_EQ(ids, (std::vector<std::string>{
                       "0xa2", "0xa1", "0xa1-0xa0b86991c6218b36c1d19d4a2e9eb0ce3606eb48", "0xa3"}));
    EXPECT_EQ(history[1].amount, "1.5000 POL");
    EXPECT_EQ(history[1].direction, TransactionDirection::sent);
    EXPECT_EQ(history[1].fee, "0.000021 POL");
    EXPECT_EQ(history[2].amount, "2.5000 USDC");
    EXPECT_EQ(history[2].tokenSymbol, "USDC");
    EXPECT_EQ(history[2].direction, TransactionDirection::received);

    // A failed token request: the normal entries are still written.
    tokensFail = true;
    runTask(refreshExplorerHistory({&env.state(), {}}, Chain::polygon));
    EXPECT_EQ(env.state().polygonAccounts().at(0).transactions.size(), 3u);

    // Locked between an account's two requests: nothing more is written.
    tokensFail = false;
    env.web().setHandler([&](const HttpFixtureRequest& request) {
        if (!request.target.contains("/token-transfers")) {
            env.state().setIsLocked(true);
        }
        return page(json::array({tokenItem("0xb1", "2024-05-01T12:00:00.000000Z")}));
    });
    const auto requests = env.web().requests().size();
    runTask(refreshExplorerHistory({&env.state(), {}}, Chain::polygon));
    EXPECT_EQ(env.web().requests().size(), requests + 1);
    EXPECT_EQ(env.state().polygonAccounts().at(0).transactions.size(), 3u);
}
