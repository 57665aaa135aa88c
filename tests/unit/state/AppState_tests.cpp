// The observable model's writes: one change signal per EVM chain, and updates of one account
// in place that leave the lists alone.

#include "RefreshFixture.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace qm {
namespace {

using test::RefreshFixture;

EVMAccountState evmAccount(Chain chain) {
    EVMAccountState account;
    account.account = {accountID(chain, 0), chain, 0, "0x7e5f4552091a69125d5dfcb7b8c2659029395bdf",
                       "m/44'/60'/0'/0/0"};
    return account;
}

TEST(AppState, AnEVMListWriteSignalsItsOwnChainOnce) {
    RefreshFixture env;
    AppState& state = env.state();
    QSignalSpy written(&state, &AppState::evmAccountsChanged);
    for (const Chain chain : allChains()) {
        written.clear();
        state.setEVMAccounts(chain, {evmAccount(chain)});
        if (!isEVMChain(chain)) {
            EXPECT_EQ(written.count(), 0) << rawValue(chain);
            EXPECT_TRUE(state.evmAccounts(chain).empty()) << rawValue(chain);
            continue;
        }
        ASSERT_EQ(written.count(), 1) << rawValue(chain);
        EXPECT_EQ(written[0][0].value<Chain>(), chain);
        EXPECT_EQ(state.evmAccounts(chain).at(0).account.chain, chain);
    }
    EXPECT_EQ(state.evmAccounts(Chain::ethereum).size(), 1u); // the later writes left it alone
}

TEST(AppState, AnAccountChangesInPlaceOnlyWhileItIsStillThere) {
    RefreshFixture env;
    AppState& state = env.state();
    env.setBitcoinAddresses({0});
    env.setEVMAccount(Chain::polygon, "0x7e5f4552091a69125d5dfcb7b8c2659029395bdf");
    env.setSolanaAccount("11111111111111111111111111111111");
    int listWrites = 0;
    for (auto signal : {&AppState::bitcoinAccountsChanged, &AppState::solanaAccountsChanged}) {
        QObject::connect(&state, signal, [&] { ++listWrites; });
    }
    QObject::connect(&state, &AppState::evmAccountsChanged, [&] { ++listWrites; });
    QSignalSpy changed(&state, &AppState::accountChanged);
    const BTCAccountState* element = &state.bitcoinAccounts()[0];

    EXPECT_TRUE(
        state.updateBitcoinAccount(0, "btc-0", [](BTCAccountState& a) { a.balanceSats = 5; }));
    EXPECT_TRUE(state.updateEVMAccount(Chain::polygon, 0, "poly-0",
                                       [](EVMAccountState& a) { a.balanceNative = 2; }));
    EXPECT_TRUE(state.updateSolanaAccount(0, "sol-0",
                                          [](SolanaAccountState& a) { a.balanceLamports = 7; }));
    EXPECT_EQ(&state.bitcoinAccounts()[0], element); // written where it lives, not copied
    EXPECT_EQ(state.bitcoinAccounts()[0].balanceSats, 5u);
    EXPECT_EQ(state.evmAccounts(Chain::polygon)[0].balanceNative, 2);
    EXPECT_EQ(state.solanaAccounts()[0].balanceLamports, 7u);
    ASSERT_EQ(changed.count(), 3);
    const std::vector<std::pair<Chain, int>> expected{
        {Chain::bitcoin, 0}, {Chain::polygon, 0}, {Chain::solana, 0}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto at = static_cast<qsizetype>(i);
        EXPECT_EQ(changed[at][0].value<Chain>(), expected[i].first);
        EXPECT_EQ(changed[at][1].toInt(), expected[i].second);
    }

    // A list that became shorter, another account at the index, a chain without the list.
    const auto never = [](auto&) { ADD_FAILURE() << "changed a stale account"; };
    EXPECT_FALSE(state.updateBitcoinAccount(1, "btc-0", never));
    EXPECT_FALSE(state.updateBitcoinAccount(0, "btc-1", never));
    EXPECT_FALSE(state.updateEVMAccount(Chain::ethereum, 0, "poly-0", never));
    EXPECT_FALSE(state.updateEVMAccount(Chain::solana, 0, "sol-0", never));
    EXPECT_FALSE(state.updateSolanaAccount(0, "poly-0", never));
    EXPECT_EQ(changed.count(), 3);
    EXPECT_EQ(listWrites, 0);
}

} // namespace
} // namespace qm
