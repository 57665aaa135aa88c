// The account screen's model: header balances per chain, which parts each chain shows, the
// token list, the token screen's figures, and that a token screen never outlives a switch to
// an account of another chain.

#include "ExactBalances.h"
#include "LocaleScope.h"
#include "RefreshFixture.h"
#include "state/AppState.h"
#include "ui/portfolio/AccountDetailModel.h"
#include "ui/portfolio/TokenVariant.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace qm {
namespace {

using test::LocaleScope;
using test::setNativeBalance;
using test::setTokenBalance;

TokenBalance holding(std::string address, std::string symbol, const char* amount,
                     std::optional<double> price, Chain chain) {
    TokenBalance b;
    b.token = {std::move(address), symbol, symbol + " Token", 6, chain};
    setTokenBalance(b, amount);
    b.priceUSD = price;
    return b;
}

EVMAccountState evmAccount(Chain chain, int index, const char* coins,
                           std::vector<TokenBalance> tokens) {
    EVMAccountState s;
    s.account = {accountID(chain, index), chain, index, "0x" + std::string(40, 'a' + index), ""};
    setNativeBalance(s, coins);
    s.tokens = std::move(tokens);
    return s;
}

class AccountsFixture : public test::RefreshFixture {
public:
    void select(Chain chain, int index) {
        state().setSelectedChain(chain);
        state().setSelectedAccountIndex(index);
    }
};

TEST(AccountDetail, HeaderBalancePerChain) {
    AccountsFixture env;
    AppState& state = env.state();
    const Account btc{"btc-0", Chain::bitcoin, 0, "bc1q", ""};
    const Account arb{"arb-0", Chain::arbitrum, 0, "0xa", ""};
    const Account pol{"poly-0", Chain::polygon, 0, "0xa", ""};
    const Account eth{"eth-0", Chain::ethereum, 0, "0xa", ""};
    const Account sol{"sol-0", Chain::solana, 0, "So1", ""};
    // No state with the id yet: a balance not known, like that of a state no server has
    // answered for.
    const QString unknown = QStringLiteral("\u2014");
    for (const Account& account : {btc, eth, arb, pol, sol}) {
        EXPECT_EQ(accountBalanceText(state, account), unknown) << account.id;
    }

    env.setBitcoinAddresses({0});
    env.setSolanaAccount("So1");
    EXPECT_EQ(accountBalanceText(state, btc), unknown);
    EXPECT_EQ(accountBalanceText(state, sol), unknown);
    state.updateBitcoinAccount(0, "btc-0", [](BTCAccountState& a) {
        a.balanceSats = 123'456;
        a.balanceLoad.end(false);
    });
    state.setEVMAccounts(Chain::arbitrum, {evmAccount(Chain::arbitrum, 0, "1.5", {})});
    state.setEVMAccounts(Chain::polygon, {evmAccount(Chain::polygon, 0, "1234.5678901", {})});
    state.updateSolanaAccount(0, "sol-0", [](SolanaAccountState& a) {
        a.balanceLamports = 1;
        a.balanceLoad.end(false);
    });
    LocaleScope german("de_DE"); // number texts take no locale
    EXPECT_EQ(accountBalanceText(state, btc), "0.00123456 BTC");
    EXPECT_EQ(accountBalanceText(state, arb), "1.500000 ETH");
    EXPECT_EQ(accountBalanceText(state, pol), "1234.567890 POL");
    EXPECT_EQ(accountBalanceText(state, sol), "0.0000 SOL");
    EXPECT_EQ(accountBalanceText(state, eth), unknown);
    // The state is found by id, not by position or chain alone.
    const Account other{"arb-1", Chain::arbitrum, 1, "0xb", ""};
    EXPECT_EQ(accountBalanceText(state, other), unknown);
    EXPECT_EQ(evmAccountState(state, "arb-0"), &state.evmAccounts(Chain::arbitrum)[0]);
    EXPECT_EQ(evmAccountState(state, "arb-1"), nullptr);
    EXPECT_EQ(evmAccountState(state, "btc-0"), nullptr);
    EXPECT_EQ(evmAccountState(state, "sol-0"), nullptr);
}

TEST(AccountDetail, PartsPerChainAndTheTokenList) {
    LocaleScope english("en_US");
    AccountsFixture env;
    AppState& state = env.state();
    env.setBitcoinAddresses({0});
    env.setSolanaAccount("So1");
    state.setEVMAccounts(
        Chain::ethereum,
        {evmAccount(Chain::ethereum, 0, "2",
                    {holding("0x01", "USDC", "2.5", 1.0, Chain::ethereum),
                     holding("0x02", "DUST", "0.004", 1.0, Chain::ethereum),
                     holding("0x03", "NOPE", "3", std::nullopt, Chain::ethereum)})});
    state.setEVMAccounts(Chain::arbitrum, {evmAccount(Chain::arbitrum, 0, "1", {})});
    AccountDetailModel model(&state, nullptr);
    QAbstractItemModelTester tester(model.tokens(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    env.select(Chain::bitcoin, 0);
    EXPECT_TRUE(model.hasAccount());
    EXPECT_TRUE(model.isBitcoin());
    EXPECT_FALSE(model.isEVM());
    EXPECT_FALSE(model.isArbitrum());
    EXPECT_EQ(model.tokens()->count(), 0);

    env.select(Chain::ethereum, 0);
    EXPECT_EQ(model.accountId(), "eth-0");
    EXPECT_TRUE(model.isEVM());
    EXPECT_FALSE(model.isArbitrum());
    EXPECT_EQ(model.balanceText(), "2.000000 ETH");
    ASSERT_EQ(model.tokens()->count(), 3);
    const auto cell = [&](int row, AccountTokensModel::Role role) {
        return model.tokens()->data(model.tokens()->index(row), role);
    };
    EXPECT_EQ(cell(0, AccountTokensModel::TokenIdRole), "0x01");
    EXPECT_EQ(cell(0, AccountTokensModel::SymbolRole), "USDC");
    EXPECT_EQ(cell(0, AccountTokensModel::BalanceFormattedRole).toDouble(), 2.5);
    EXPECT_EQ(cell(0, AccountTokensModel::PriceUSDRole).toDouble(), 1.0);
    EXPECT_EQ(cell(1, AccountTokensModel::BalanceFormattedRole).toDouble(), 0.004);
    // The row's amount text comes from the exact balance, never from the double.
    EXPECT_EQ(cell(0, AccountTokensModel::BaseUnitsRole), "2500000");
    EXPECT_EQ(cell(0, AccountTokensModel::DecimalsRole), 6);
    // No price: null, which the row shows without a dollar figure.
    EXPECT_TRUE(cell(2, AccountTokensModel::PriceUSDRole).isNull());
    EXPECT_EQ(cell(2, AccountTokensModel::NameRole), "NOPE Token");

    // A refresh of the balance updates the header and the one token row.
    QSignalSpy balance(&model, &AccountDetailModel::balanceTextChanged);
    QSignalSpy rows(model.tokens(), &QAbstractItemModel::dataChanged);
    state.updateEVMAccount(Chain::ethereum, 0, "eth-0", [](EVMAccountState& a) {
        setNativeBalance(a, "3");
        setTokenBalance(a.tokens[1], "10");
    });
    EXPECT_EQ(balance.count(), 1);
    EXPECT_EQ(model.balanceText(), "3.000000 ETH");
    ASSERT_EQ(rows.count(), 1);
    EXPECT_EQ(rows[0][0].toModelIndex().row(), 1);
    EXPECT_EQ(cell(1, AccountTokensModel::BalanceFormattedRole).toDouble(), 10.0);

    env.select(Chain::arbitrum, 0);
    EXPECT_TRUE(model.isArbitrum());
    EXPECT_EQ(model.tokens()->count(), 0);
    env.select(Chain::solana, 0);
    EXPECT_FALSE(model.isEVM());
    EXPECT_EQ(model.balanceText(), QStringLiteral("\u2014")); // no server answered for it yet
    // An index past the list: no account.
    env.select(Chain::polygon, 0);
    EXPECT_FALSE(model.hasAccount());
    EXPECT_EQ(model.balanceText(), "");
}

TEST(AccountDetail, ATokenScreenClosesWhenTheAccountLeavesItsChain) {
    AccountsFixture env;
    AppState& state = env.state();
    const std::string usdc = "0xaf88d065e77c8CC2239327C5EDb3A432268e5831";
    state.setEVMAccounts(
        Chain::arbitrum,
        {evmAccount(Chain::arbitrum, 0, "1", {holding(usdc, "USDC", "5", 1, Chain::arbitrum)}),
         evmAccount(Chain::arbitrum, 1, "1", {holding(usdc, "USDC", "7", 1, Chain::arbitrum)})});
    state.setEVMAccounts(
        Chain::ethereum,
        {evmAccount(Chain::ethereum, 0, "1", {holding(usdc, "USDC", "9", 1, Chain::ethereum)})});
    env.setBitcoinAddresses({0});
    AccountDetailModel model(&state, nullptr);
    env.select(Chain::arbitrum, 0);
    model.selectToken(5); // past the end: nothing
    EXPECT_EQ(model.tokenDetail(), nullptr);
    model.selectToken(0);
    ASSERT_NE(model.tokenDetail(), nullptr);
    EXPECT_EQ(model.tokenDetail()->balanceText(), "5.0000 USDC");
    EXPECT_EQ(model.tokenDetail()->chainName(), "Arbitrum");

    // Another account of the same chain: the screen stays and shows that account's holding.
    env.select(Chain::arbitrum, 1);
    ASSERT_NE(model.tokenDetail(), nullptr);
    EXPECT_EQ(model.tokenDetail()->accountId(), "arb-1");
    EXPECT_EQ(model.tokenDetail()->balanceText(), "7.0000 USDC");

    // Ethereum holds a token at the same address: still not the Arbitrum token's screen.
    QSignalSpy closed(&model, &AccountDetailModel::tokenDetailChanged);
    env.select(Chain::ethereum, 0);
    EXPECT_EQ(model.tokenDetail(), nullptr);
    EXPECT_EQ(closed.count(), 1);
    env.select(Chain::arbitrum, 0);
    EXPECT_EQ(model.tokenDetail(), nullptr);
    model.selectToken(0);
    env.select(Chain::bitcoin, 0);
    EXPECT_EQ(model.tokenDetail(), nullptr);
    // The wallet locked (the lists emptied): no account, no token screen.
    env.select(Chain::arbitrum, 0);
    model.selectToken(0);
    state.setEVMAccounts(Chain::arbitrum, {});
    EXPECT_FALSE(model.hasAccount());
    EXPECT_EQ(model.tokenDetail(), nullptr);
}

TEST(AccountDetail, TokenScreenFigures) {
    LocaleScope english("en_US");
    AccountsFixture env;
    AppState& state = env.state();
    // The record's address differs from the token's in letter case only.
    Token token{"0xAF88d065e77c8cC2239327C5EDb3A432268e5831", "USDC", "USD Coin", 6,
                Chain::arbitrum};
    state.setEVMAccounts(Chain::arbitrum,
                         {evmAccount(Chain::arbitrum, 0, "1",
                                     {holding("0xaf88d065e77c8cc2239327c5edb3a432268e5831", "usdc",
                                              "0.005", std::nullopt, Chain::arbitrum)})});
    TokenDetailModel detail(&state, token, state.evmAccounts(Chain::arbitrum)[0].account);
    const auto set = [&](const char* amount, std::optional<double> price) {
        state.updateEVMAccount(Chain::arbitrum, 0, "arb-0", [&](EVMAccountState& a) {
            setTokenBalance(a.tokens[0], amount);
            a.tokens[0].priceUSD = price;
        });
    };
    // The symbol is always the token's own, not the record's. Held without a price: no figure.
    EXPECT_EQ(detail.balanceText(), "0.005000 USDC");
    EXPECT_EQ(detail.fiatText(), "\u2014");
    const struct {
        const char* amount;
        std::optional<double> price;
        const char* balance;
        const char* fiat;
    } table[] = {
        {"999.5", 1.0, "999.5000 USDC", "$999.50"},
        {"1000", 1.0, "1000.00 USDC", "$1,000.00"},
        {"0", 1.0, "0 USDC", "$0.00"},
        {"0.004", 1.0, "0.004000 USDC", "< $0.01"},
        {"0.01", 1.0, "0.0100 USDC", "$0.01"},
        {"2", std::nullopt, "2.0000 USDC", "\u2014"},
        {"0", std::nullopt, "0 USDC", "$0.00"},
        // Rounded from the exact balance: a half goes up, and to 1000 it is written as 1000.
        {"1000.005", std::nullopt, "1000.01 USDC", "\u2014"},
        {"999.99995", 1.0, "1000.00 USDC", "$1,000.00"},
    };
    for (const auto& row : table) {
        set(row.amount, row.price);
        EXPECT_EQ(detail.balanceText(), row.balance) << row.amount;
        EXPECT_EQ(detail.fiatText(), row.fiat) << row.amount;
    }
    // No record at all.
    state.updateEVMAccount(Chain::arbitrum, 0, "arb-0",
                           [](EVMAccountState& a) { a.tokens.clear(); });
    EXPECT_EQ(detail.balanceText(), "0 USDC");
    EXPECT_EQ(detail.fiatText(), "$0.00");
    EXPECT_EQ(tokenFromVariant(detail.tokenVariant()), token);
}

TEST(TokenVariant, RoundTripAndRefusals) {
    const Token token{"0xAbC", "USDC", "USD Coin", 6, Chain::polygon};
    const QVariantMap map = tokenToVariant(token);
    EXPECT_EQ(map.value("chain").toString(), "polygon");
    EXPECT_EQ(tokenFromVariant(map), token);
    EXPECT_EQ(tokenFromVariant(QVariant()), std::nullopt);
    EXPECT_EQ(tokenFromVariant(QVariant(QStringLiteral("USDC"))), std::nullopt);
    for (const char* key : {"contractAddress", "symbol", "name", "decimals", "chain"}) {
        QVariantMap missing = map;
        missing.remove(QString::fromLatin1(key));
        EXPECT_EQ(tokenFromVariant(missing), std::nullopt) << key;
    }
    QVariantMap wrong = map;
    wrong["chain"] = "Polygon";
    EXPECT_EQ(tokenFromVariant(wrong), std::nullopt);
    wrong = map;
    wrong["decimals"] = -1;
    EXPECT_EQ(tokenFromVariant(wrong), std::nullopt);
}

} // namespace
} // namespace qm
