// Balance and holdings from the litesvm server land in a whole refresh (FullRefresh_tests);
// here the answers a node may give that it does not.
#include "RefreshFixture.h"
#include "RunTask.h"
#include "state/refresh/SolanaRefresh.h"

#include <gtest/gtest.h>

using namespace qm;
using qm::test::HttpFixtureRequest;
using qm::test::HttpFixtureResponse;
using qm::test::RefreshFixture;
using qm::test::runTask;
using json = nlohmann::json;

namespace {

const std::string owner = "9WzDXwBbmkg8ZTbNMqUxvQRAyrZzDsGYdLVL9zYtAWWM";
const std::string usdcMint = "EPjFWdd5AufqSSqeM2qN1xzybapC8G4wEGGkZwyTDt1v";
const std::string otherMint = "Gh9ZwEmdLJ8DscKNTkTqPbNwLNNBjuSzaG9Vp2KGtKJr";

json tokenAccount(const std::string& mint, const std::string& amount, int decimals) {
    return {{"pubkey", "AccountPubkey1111111111111111111111111111111"},
            {"account",
             {{"data",
               {{"parsed",
                 {{"info",
                   {{"mint", mint},
                    {"owner", owner},
                    {"tokenAmount",
                     {{"amount", amount}, {"decimals", decimals}, {"uiAmount", 1.0}}}}}}}}}}}};
}

HttpFixtureResponse result(const json& value) {
    return HttpFixtureResponse::json(
        QByteArray::fromStdString(json{{"jsonrpc", "2.0"}, {"id", 1}, {"result", value}}.dump()));
}

} // namespace

TEST(SolanaRefresh, BalanceTokensAndSignaturesLandInTheAccount) {
    RefreshFixture env;
    // No account: not even a connection attempt.
    runTask(refreshSolana({&env.state(), {}}));
    EXPECT_TRUE(env.rpc().requests().empty());

    env.setSolanaAccount(owner);
    bool historyFails = false;
    env.rpc().setHandler([&](const HttpFixtureRequest& request) {
        const json body = json::parse(request.body.toStdString());
        const std::string method = body["method"];
        if (method == "getLatestBlockhash") {
            return result({{"context", {{"slot", 1}}},
                           {"value",
                            {{"blockhash", "11111111111111111111111111111111"},
                             {"lastValidBlockHeight", 9}}}});
        }
        if (method == "getBalance") {
            EXPECT_EQ(body["params"], json::array({owner, {{"commitment", "confirmed"}}}));
            return result({{"context", {{"slot", 1}}}, {"value", 2'500'000'000u}});
        }
        if (method == "getTokenAccountsByOwner") {
            return result(
                {{"context", {{"slot", 1}}},
                 {"value",
                  json::array({tokenAccount(usdcMint, "1500000", 6),
                               tokenAccount(otherMint, "0", 9), tokenAccount(otherMint, "+42", 2),
                               tokenAccount(otherMint, "18446744073709551616", 0)})}});
        }
        if (historyFails) {
            return HttpFixtureResponse::withStatus(500);
        }
        return result(json::array(
            {{{"signature", "sig2"}, {"slot", 9}, {"blockTime", 1714566896}, {"err", nullptr}},
             {{"signature", "sig1"},
              {"slot", 5},
              {"blockTime", nullptr},
              {"err", {{"InstructionError", json::array({0, "Custom"})}}}}}));
    });
    runTask(refreshSolana({&env.state(), {}}));

    const SolanaAccountState& account = env.state().solanaAccounts().at(0);
    EXPECT_EQ(account.balanceLamports, 2'500'000'000u);
    ASSERT_EQ(account.tokens.size(), 2u); // the empty and the unreadable holdings are left out
    EXPECT_EQ(account.tokens[0].symbol, "USDC");
    EXPECT_EQ(account.tokens[0].amount, 1'500'000u);
    EXPECT_EQ(account.tokens[1].symbol, "?");
    EXPECT_EQ(account.tokens[1].name, otherMint.substr(0, 8) + "...");
    EXPECT_EQ(account.tokens[1].amount, 42u);
    EXPECT_EQ(account.tokens[1].decimals, 2);
    ASSERT_EQ(account.transactions.size(), 2u); // the node's order, not sorted
    EXPECT_EQ(account.transactions[0].id, "sig2");
    EXPECT_EQ(account.transactions[0].status, TransactionStatus::confirmed);
    EXPECT_EQ(account.transactions[0].direction, TransactionDirection::received);
    EXPECT_EQ(account.transactions[0].to, owner);
    EXPECT_EQ(account.transactions[0].amount, "");
    EXPECT_EQ(account.transactions[0].confirmations, 1);
    ASSERT_TRUE(account.transactions[0].timestamp);
    EXPECT_DOUBLE_EQ(account.transactions[0].timestamp->unixTime(), 1714566896);
    EXPECT_EQ(account.transactions[1].status, TransactionStatus::failed);
    EXPECT_FALSE(account.transactions[1].timestamp);

    // The history request fails: balance and tokens are updated, the older history stays.
    historyFails = true;
    runTask(refreshSolana({&env.state(), {}}));
    EXPECT_EQ(env.state().solanaAccounts().at(0).transactions.size(), 2u);
    EXPECT_EQ(env.state().solanaAccounts().at(0).tokens.size(), 2u);
}
