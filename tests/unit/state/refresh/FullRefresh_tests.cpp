// One full refresh against every kind of server at once: the Electrum fixture, three anvil
// nodes (chain ids 1, 42161 and 137), the litesvm server, and the Blockscout and exchange
// fixtures.
#include "AnvilNode.h"
#include "LitesvmServer.h"
#include "RefreshFixture.h"
#include "RunTask.h"
#include "TestContracts.h"

#include <gtest/gtest.h>
#include <set>

using namespace qm;
using qm::test::AnvilNode;
using qm::test::HttpFixtureRequest;
using qm::test::HttpFixtureResponse;
using qm::test::LitesvmServer;
using qm::test::RefreshFixture;
using qm::test::runTask;
using json = nlohmann::json;

TEST(FullRefresh, EveryBalanceHistoryAndPriceLands) {
    const std::string solanaOwner = "4Nd1mBQtrMJVYVfKf2PJy9NZUZdTAsp7D4xWLs4gDB4T";
    const std::string usdc = "EPjFWdd5AufqSSqeM2qN1xzybapC8G4wEGGkZwyTDt1v";
    LitesvmServer solana(solanaOwner, 1'000'000'000,
                         {{usdc, "5ZiE3vAkrdXBgyFL7KqG3RoEGBws4CjRcXVbABDLZTgx", 1'250'000, 6},
                          {"Gh9ZwEmdLJ8DscKNTkTqPbNwLNNBjuSzaG9Vp2KGtKJr",
                           "7EYnhQoR9YM3N7UoaKRoA44Uy8JeaZV3qyouov87awMs", 0, 9}});
    if (!AnvilNode::isAvailable() || !solana.isRunning()) {
        GTEST_SKIP() << "anvil or the litesvm server is not available";
    }
    AnvilNode ethereum(1), arbitrum(42161), polygon(137);
    RefreshFixture::Setup setup;
    setup.ethereum = ethereum.url();
    setup.arbitrum = arbitrum.url();
    setup.polygon = polygon.url();
    setup.solana = solana.url();
    RefreshFixture env(setup);

    const std::string owner = "0x7e5f4552091a69125d5dfcb7b8c2659029395bdf";
    const std::string token = "0x00000000000000000000000000000000000c0de1";
    const std::string word = std::string(24, '0') + owner.substr(2);
    int chainNumber = 1;
    for (const auto& [chain, node] :
         std::vector<std::pair<Chain, AnvilNode*>>{{Chain::ethereum, &ethereum},
                                                   {Chain::arbitrum, &arbitrum},
                                                   {Chain::polygon, &polygon}}) {
        node->setBalance(owner, "0xde0b6b3a7640001"); // 1 coin and 1 wei
        node->setCode(token, test::TestContracts::shared().deployedBytecode("StandardToken"));
        // Minted 1 and 2 TST (6 decimals) on Ethereum and Arbitrum, none on Polygon.
        if (chain != Chain::polygon) {
            char amount[65];
            std::snprintf(amount, sizeof amount, "%064x", chainNumber++ * 1'000'000);
            node->send(AnvilNode::devAccount(0), token, "0x40c10f19" + word + amount);
        }
        env.setEVMAccount(chain, owner);
    }
    env.setBitcoinAddresses({0});
    env.setSolanaAccount(solanaOwner);
    env.electrum().answer("blockchain.headers.subscribe", {{"height", 100}, {"hex", "00"}});
    env.electrum().answer("blockchain.scripthash.get_balance",
                          {{"confirmed", 70'000}, {"unconfirmed", 0}});
    env.electrum().answer("blockchain.scripthash.get_history",
                          json::array({{{"tx_hash", std::string(64, 'a')}, {"height", 100}}}));
    env.electrum().answerError("blockchain.transaction.get", 2, "pruned");
    env.web().setHandler([&](const HttpFixtureRequest& request) {
        if (request.target.contains("/ticker/24hr")) {
            return HttpFixtureResponse::json(
                R"([{"symbol":"BTCUSDT","lastPrice":"60000","priceChangePercent":"1"},)"
                R"({"symbol":"SOLUSDT","lastPrice":"150","priceChangePercent":"2"}])");
        }
        if (request.target.contains("/klines")) {
            return HttpFixtureResponse::json(R"([[1714000000000,"1","1","1","5"]])");
        }
        if (request.target.contains("/token-transfers")) {
            return HttpFixtureResponse::json(R"({"items":[],"next_page_params":null})");
        }
        const json item = {{"hash", "0xfeed"},
                           {"from", {{"hash", owner}}},
                           {"to", {{"hash", token}}},
                           {"value", "0"},
                           {"timestamp", "2024-05-01T12:00:00.000000Z"},
                           {"block_number", 5},
                           {"status", "ok"},
                           {"confirmations", 3}};
        return HttpFixtureResponse::json(QByteArray::fromStdString(
            json{{"items", json::array({item})}, {"next_page_params", nullptr}}.dump()));
    });

    // Every write lands in its account in place: no list is replaced.
    AppState& state = env.state();
    int listWrites = 0;
    for (auto signal : {&AppState::bitcoinAccountsChanged, &AppState::solanaAccountsChanged}) {
        QObject::connect(&state, signal, [&] { ++listWrites; });
    }
    QObject::connect(&state, &AppState::evmAccountsChanged, [&] { ++listWrites; });
    std::set<Chain> changed;
    QObject::connect(&state, &AppState::accountChanged,
                     [&](Chain chain, int) { changed.insert(chain); });

    runTask(env.refresh().refreshAll({}));

    EXPECT_EQ(listWrites, 0);
    EXPECT_EQ(changed.size(), chainCount);
    EXPECT_EQ(state.bitcoinAccounts().at(0).balanceSats, 70'000u);
    ASSERT_EQ(state.bitcoinAccounts().at(0).transactions.size(), 1u);
    EXPECT_EQ(state.bitcoinAccounts().at(0).transactions[0].confirmations, 1);
    EXPECT_EQ(state.btcBlockHeight(), 100);
    double expectedTokens = 1;
    for (const Chain chain : {Chain::ethereum, Chain::arbitrum, Chain::polygon}) {
        const EVMAccountState& account = state.evmAccounts(chain).at(0);
        EXPECT_DOUBLE_EQ(account.balanceNative, 1.0) << rawValue(chain);
        // The wei the double cannot hold stays in the exact balance.
        EXPECT_EQ(account.balanceWei, UInt256(0, 0, 0, 1'000'000'000'000'000'001))
            << rawValue(chain);
        if (chain == Chain::polygon) {
            // Nothing sent to the owner: nothing discovered, the token list stays empty.
            EXPECT_TRUE(account.tokens.empty());
            EXPECT_TRUE(env.tokens().tokens(chain).empty());
        } else {
            ASSERT_EQ(account.tokens.size(), 1u) << rawValue(chain);
            EXPECT_EQ(account.tokens[0].balance, expectedTokens == 1 ? "0xf4240" : "0x1e8480");
            EXPECT_DOUBLE_EQ(account.tokens[0].balanceFormatted, expectedTokens++);
            ASSERT_EQ(env.tokens().tokens(chain).size(), 1u);
            EXPECT_EQ(env.tokens().tokens(chain)[0].symbol, "TST");
        }
        ASSERT_EQ(account.transactions.size(), 1u);
        EXPECT_EQ(account.transactions[0].amount, "0.0000 " + nativeSymbol(chain));
        EXPECT_EQ(account.transactions[0].direction, TransactionDirection::sent);
    }
    const SolanaAccountState& sol = state.solanaAccounts().at(0);
    EXPECT_EQ(sol.balanceLamports, 1'000'000'000u);
    ASSERT_EQ(sol.tokens.size(), 1u); // the empty holding is left out
    EXPECT_EQ(sol.tokens[0].mint, usdc);
    EXPECT_EQ(sol.tokens[0].symbol, "USDC");
    EXPECT_EQ(sol.tokens[0].amount, 1'250'000u);
    EXPECT_EQ(sol.tokens[0].decimals, 6);
    EXPECT_EQ(state.btcPriceUSD(), 60000);
    EXPECT_EQ(state.solPriceUSD(), 150);
    EXPECT_EQ(state.chartCache().size(), 5u);
    EXPECT_DOUBLE_EQ(state.totalUSD(Chain::bitcoin), 0.0007 * 60000);
}
