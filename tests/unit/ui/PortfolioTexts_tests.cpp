// The portfolio's texts and chart numbers: tables under an English and a German locale; the
// asset rows keep the texts of what did not change.

#include "AnvilNode.h"
#include "AppStateFixture.h"
#include "ExactBalances.h"
#include "LocaleScope.h"
#include "PortfolioHoldings.h"
#include "RPCProxy.h"
#include "RefreshFixture.h"
#include "RunTask.h"
#include "TestContracts.h"
#include "core/encoding/AsciiCase.h"
#include "core/model/Amount.h"
#include "core/storage/TokenStore.h"
#include "state/refresh/EVMRefresh.h"
#include "state/refresh/PriceRefresh.h"
#include "ui/portfolio/AccountDetailModel.h"
#include "ui/portfolio/AmountTexts.h"
#include "ui/portfolio/FiatText.h"
#include "ui/portfolio/PortfolioModel.h"
#include "ui/portfolio/PortfolioRows.h"
#include "ui/portfolio/PriceChartMath.h"
#include "ui/portfolio/TokenDisc.h"
#include "ui/send/SendViewModel.h"
#include "ui/shell/SidebarItems.h"

#include <QSignalSpy>
#include <QStringList>
#include <QTimeZone>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace qm {
namespace {

using test::LocaleScope;

// The texts that take no locale come out the same under both.
void expectLocaleFreeTexts() {
    // Token amounts from their exact base units (here of a 6-decimal token). 999.99999 rounds
    // to 1000 and is written as 1000 is; a sign is no amount.
    const struct {
        const char* baseUnits;
        const char* text;
    } amounts[] = {
        {"0", "0 ETH"},
        {"5000", "0.005000 ETH"},
        {"10000", "0.0100 ETH"},
        {"12500000", "12.5000 ETH"},
        {"999999990", "1000.00 ETH"},
        {"1000000000", "1000.00 ETH"},
        {"1234500000", "1234.50 ETH"},
        {"1000005000", "1000.01 ETH"},
        {"-5000000", "0 ETH"},
        {"-0", "0 ETH"},
    };
    const AmountTexts texts;
    for (const auto& [baseUnits, text] : amounts) {
        EXPECT_EQ(texts.formatTokenAmount(baseUnits, 6, "ETH"), text) << baseUnits;
    }
    const struct {
        double value;
        const char* price;
        const char* axis;
    } chart[] = {
        {1234.567, "1,234.57", "1.2K"}, {1234567.891, "1,234,567.89", "1235K"},
        {999.999, "1000.00", "1000.0"}, {1000, "1,000.00", "1.0K"},
        {45000, "45,000.00", "45K"},    {2500, "2,500.00", "2.5K"},
        {150.26, "150.26", "150.3"},    {0.5, "0.5000", "0.500"},
        {0.1234, "0.1234", "0.123"},    {0.004, "0.004000", "0.004"},
    };
    for (const auto& [value, price, axis] : chart) {
        EXPECT_EQ(priceText(value), price) << value;
        EXPECT_EQ(axisText(value), axis) << value;
    }
    EXPECT_EQ(formatTokenUSD(0.004), "< $0.01");
}

TEST(PortfolioTexts, AmountsAndDollarsInEnglish) {
    LocaleScope locale("en_US");
    expectLocaleFreeTexts();
    const struct {
        double value;
        const char* usd;
        const char* tokenUSD;
    } dollars[] = {
        {0, "$0.00", "$0.00"},
        {0.004, "$0.00", "< $0.01"},
        {0.01, "$0.01", "$0.01"},
        {0.125, "$0.12", "$0.12"}, // half to even
        {0.375, "$0.38", "$0.38"},
        {1234.5, "$1,234.50", "$1,234.50"},
        {std::numeric_limits<double>::quiet_NaN(), "$0.00", "$0.00"},
        {std::numeric_limits<double>::infinity(), "$0.00", "$0.00"},
    };
    for (const auto& [value, usd, tokenUSD] : dollars) {
        EXPECT_EQ(formatUSD(value), usd) << value;
        EXPECT_EQ(formatTokenUSD(value), tokenUSD) << value;
    }
}

TEST(PortfolioTexts, DollarsFollowAGermanLocaleButPricesDoNot) {
    LocaleScope locale("de_DE");
    expectLocaleFreeTexts();
    EXPECT_EQ(formatUSD(1234.5), QStringLiteral("1.234,50\u00a0$"));
    EXPECT_EQ(formatUSD(0), QStringLiteral("0,00\u00a0$"));
    EXPECT_EQ(formatTokenUSD(0.004), "< $0.01");
}

// A locale that names no territory (the default of minimal systems) writes dollars as en_US.
TEST(PortfolioTexts, DollarsWithoutATerritoryReadAsInTheUnitedStates) {
    for (const char* name : {"C", "POSIX", "C.UTF-8"}) {
        LocaleScope locale(name);
        EXPECT_EQ(formatUSD(1234.5), "$1,234.50") << name;
        EXPECT_EQ(formatUSD(0), "$0.00") << name;
        EXPECT_EQ(formatTokenUSD(0.01), "$0.01") << name;
    }
}

TEST(PortfolioTexts, TokenDiscInitialsAndHue) {
    const struct {
        const char* symbol;
        const char* initials;
    } initials[] = {
        {"usdc", "US"},
        {"W", "W"},
        {"", ""},
        {"e\u0301th", "E\u0301T"},
        {"\U0001F600AB", "\U0001F600A"},
    };
    for (const auto& [symbol, expected] : initials) {
        EXPECT_EQ(tokenInitials(QString::fromUtf8(symbol)), QString::fromUtf8(expected)) << symbol;
    }
    EXPECT_EQ(hueIndex(0), 0);
    EXPECT_EQ(hueIndex(-361), 1);
    EXPECT_EQ(hueIndex(725), 5);
    // 2^63 mod 360 = 8: the most negative hash has a magnitude too.
    EXPECT_EQ(hueIndex(std::numeric_limits<std::int64_t>::min()), 8);
    EXPECT_EQ(symbolHash(QStringLiteral("USDC")), symbolHash(QStringLiteral("USDC")));
    EXPECT_NE(symbolHash(QStringLiteral("USDC")), symbolHash(QStringLiteral("USDT")));
}

// An Ethereum account holding `tokens` (6 decimals), priced at $2,000 per ether.
void holdTokens(AppState& state, std::vector<TokenBalance> tokens) {
    EVMAccountState eth;
    eth.account = {"eth-0", Chain::ethereum, 0, "0xabc", "m/44'/60'/0'/0/0"};
    eth.tokens = std::move(tokens);
    state.setEVMAccounts(Chain::ethereum, {eth});
    state.setEthPriceUSD(2000);
}

std::vector<TokenBalance> threeTokens() {
    return {test::evmToken("0x01", "USDC", "USD Coin", 2'500'000, 1.0),
            test::evmToken("0x02", "LINK", "Chainlink", 3'000'000, 7.0),
            test::evmToken("0x03", "DAI", "Dai", 4'000'000, std::nullopt)};
}

// The rows' token texts, in order.
std::vector<QString> tokenTexts(const std::vector<PortfolioRow>& rows) {
    std::vector<QString> texts;
    for (const PortfolioRow& row : rows) {
        if (row.kind == PortfolioRow::Kind::token) {
            texts.push_back(row.balance + " | " + row.fiat);
        }
    }
    return texts;
}

// A rebuild takes the texts of a token row whose token, amount and value are unchanged from
// the row before it (marked here to see which were kept), and formats every other one: a
// changed amount, decimals or symbol, a changed value, a row that moved.
TEST(PortfolioRows, KeepTheTextsOfWhatDidNotChange) {
    const LocaleScope locale("en_US");
    test::AppStateFixture env;
    AppState& state = env.state();
    holdTokens(state, threeTokens());
    std::vector<PortfolioRow> marked = portfolioRows(state);
    for (PortfolioRow& row : marked) {
        if (row.kind == PortfolioRow::Kind::token) {
            row.balance = "kept";
            row.fiat = "kept";
        }
    }
    EXPECT_EQ(tokenTexts(portfolioRows(state, marked)),
              (std::vector<QString>{"kept | kept", "kept | kept", "kept | kept"}));

    std::vector<TokenBalance> tokens = threeTokens();
    tokens[0] = test::evmToken("0x01", "USDC", "USD Coin", 2'600'000, 1.0); // amount and value
    tokens[1].priceUSD = 8.0;                                               // value only
    tokens[2].token.decimals = 5;                                           // decimals only
    holdTokens(state, tokens);
    EXPECT_EQ(tokenTexts(portfolioRows(state, marked)),
              (std::vector<QString>{"2.6000 USDC | $2.60", "kept | $24.00", "40.0000 DAI | kept"}));

    tokens = threeTokens();
    tokens[1].token.symbol = "LNK";
    holdTokens(state, tokens);
    EXPECT_EQ(tokenTexts(portfolioRows(state, marked)),
              (std::vector<QString>{"kept | kept", "3.0000 LNK | kept", "kept | kept"}));

    // A token added in front: every row after it sits elsewhere and is made anew.
    tokens = threeTokens();
    tokens.insert(tokens.begin(), test::evmToken("0x00", "UNI", "Uniswap", 1'000'000, 5.0));
    holdTokens(state, tokens);
    EXPECT_EQ(tokenTexts(portfolioRows(state, marked)),
              (std::vector<QString>{"1.0000 UNI | $5.00", "2.5000 USDC | $2.50",
                                    "3.0000 LINK | $21.00", "4.0000 DAI | \u2014"}));
}

// A refresh pass that changes one token's amount tells the view of that row's changed roles
// (and its chain's total), nothing of the other rows.
TEST(PortfolioRows, AChangedAmountSignalsItsRowAlone) {
    const LocaleScope locale("en_US");
    test::AppStateFixture env;
    AppState& state = env.state();
    holdTokens(state, threeTokens());
    PortfolioModel model(&state, nullptr);
    QSignalSpy changed(&model, &PortfolioModel::dataChanged);
    QSignalSpy reset(&model, &PortfolioModel::modelReset);
    state.updateEVMAccount(Chain::ethereum, 0, "eth-0", [](EVMAccountState&) {});
    EXPECT_EQ(changed.count(), 0);
    state.updateEVMAccount(Chain::ethereum, 0, "eth-0", [](EVMAccountState& account) {
        account.tokens[1] = test::evmToken("0x02", "LINK", "Chainlink", 3'500'000, 7.0);
    });
    EXPECT_EQ(reset.count(), 0);
    std::vector<std::pair<QString, QList<int>>> signalled;
    for (const QList<QVariant>& signal : changed) {
        const auto first = signal.at(0).value<QModelIndex>();
        EXPECT_EQ(first, signal.at(1).value<QModelIndex>());
        signalled.emplace_back(first.data(PortfolioModel::KeyRole).toString(),
                               signal.at(2).value<QList<int>>());
    }
    EXPECT_EQ(signalled,
              (std::vector<std::pair<QString, QList<int>>>{
                  {"ethereum", {PortfolioModel::FiatRole}},
                  {"eth-0/0x02", {PortfolioModel::BalanceRole, PortfolioModel::FiatRole}}}));
    EXPECT_EQ(model.data(model.index(3), PortfolioModel::BalanceRole).toString(), "3.5000 LINK");
}

// A balance no server has answered for is no zero: its portfolio row, its sidebar entry and its
// account's header show the unknown mark, and the total leaves it out and says so. A known
// zero reads as one; a balance without a price has no dollar figure; a later answer replaces a
// failure, and a failure after an answer keeps the figure and says so on the account's screen.
TEST(PortfolioRows, ABalanceNotAnsweredForIsUnknownNotZero) {
    const LocaleScope locale("en_US");
    test::RefreshFixture env;
    AppState& state = env.state();
    env.setBitcoinAddresses({0});
    env.setEVMAccount(Chain::polygon, "0x7e5f4552091a69125d5dfcb7b8c2659029395bdf");
    env.setSolanaAccount("So1");
    state.setBtcPriceUSD(50'000);
    state.setSolPriceUSD(100); // Polygon has no price
    PortfolioModel model(&state, nullptr);
    AccountDetailModel detail(&state, nullptr);
    const QString unknown = QStringLiteral("\u2014");
    // The row's balance and dollars, the sidebar's entry, and the header with its note, of the
    // first account of `chain`.
    const auto shown = [&](Chain chain) {
        const std::string key = accountID(chain, 0);
        QStringList texts;
        for (int row = 0; row < model.rowCount(); ++row) {
            const QModelIndex index = model.index(row);
            if (index.data(PortfolioModel::KeyRole).toString().toStdString() == key) {
                texts << index.data(PortfolioModel::BalanceRole).toString()
                      << index.data(PortfolioModel::FiatRole).toString();
            }
        }
        texts << sidebarItems(state, chain).at(0).balance;
        state.setSelectedChain(chain);
        state.setSelectedAccountIndex(0);
        texts << detail.balanceText() << detail.balanceNote();
        return texts;
    };
    const auto totals = [&model] { return QStringList{model.totalText(), model.totalNote()}; };
    // A load of the first account's balance of `chain` ends: with `coins` (in base units on
    // Bitcoin and Solana), or without an answer.
    const auto end = [&state](Chain chain, bool failed, std::uint64_t coins = 0) {
        const std::string id = accountID(chain, 0);
        if (chain == Chain::bitcoin) {
            state.updateBitcoinAccount(0, id, [&](BTCAccountState& account) {
                account.balanceSats = failed ? account.balanceSats : coins;
                account.balanceLoad.end(failed);
            });
        } else if (chain == Chain::solana) {
            state.updateSolanaAccount(0, id, [&](SolanaAccountState& account) {
                account.balanceLamports = failed ? account.balanceLamports : coins;
                account.balanceLoad.end(failed);
            });
        } else {
            state.updateEVMAccount(chain, 0, id, [&](EVMAccountState& account) {
                if (!failed) {
                    test::setNativeBalance(account, std::to_string(coins));
                }
                account.balanceLoad.end(failed);
            });
        }
    };

    for (const Chain chain : {Chain::bitcoin, Chain::polygon, Chain::solana}) {
        EXPECT_EQ(shown(chain), (QStringList{unknown, unknown, unknown, unknown, ""}));
    }
    EXPECT_EQ(totals(), (QStringList{unknown, "Some balances are still loading."}));

    // Bitcoin's server answers zero; Polygon's 10 coins, unpriced; Solana's fails.
    end(Chain::bitcoin, false, 0);
    end(Chain::polygon, false, 10);
    end(Chain::solana, true);
    EXPECT_EQ(shown(Chain::bitcoin),
              (QStringList{"0.00000000 BTC", "$0.00", "0.00000000 BTC", "0.00000000 BTC", ""}));
    EXPECT_EQ(shown(Chain::polygon),
              (QStringList{"10.000000 POL", unknown, "10.000000 POL", "10.000000 POL", ""}));
    EXPECT_EQ(shown(Chain::solana), (QStringList{unknown, unknown, unknown, unknown,
                                                 "Could not load the Solana balance."}));
    // A known zero values nothing held: no figure while the others are not known.
    EXPECT_EQ(totals(), (QStringList{unknown, "Some balances could not be loaded. Some prices are "
                                              "still loading."}));

    // A later answer replaces the failure, and the total counts it.
    end(Chain::solana, false, 2'000'000'000);
    EXPECT_EQ(shown(Chain::solana),
              (QStringList{"2.0000 SOL", "$200.00", "2.0000 SOL", "2.0000 SOL", ""}));
    EXPECT_EQ(totals(), (QStringList{"$200.00", "Some prices are still loading."}));
    // A failure after it: the last known figure stays, in the total too.
    end(Chain::solana, true);
    EXPECT_EQ(shown(Chain::solana),
              (QStringList{"2.0000 SOL", "$200.00", "2.0000 SOL", "2.0000 SOL",
                           "Could not load the Solana balance."}));
    EXPECT_EQ(totals(), (QStringList{"$200.00", "Some prices are still loading."}));
}

// A balance held at a price the wallet does not know is worth an unknown amount, not $0.00:
// no figure in its row, nor in a total that can value nothing else held (a known zero is worth
// $0.00 but values no holding), and the total says a price is missing (loading, then not
// loaded once the prices came back without it); nothing is missing for a known zero or a token
// without a pool, but a token whose quote could not be asked is.
TEST(PortfolioRows, AHoldingWithoutAPriceHasNoDollarFigure) {
    const LocaleScope locale("en_US");
    test::RefreshFixture env;
    AppState& state = env.state();
    env.setBitcoinAddresses({0});
    env.setEVMAccount(Chain::ethereum, "0x7e5f4552091a69125d5dfcb7b8c2659029395bdf");
    state.updateBitcoinAccount(0, "btc-0", [](BTCAccountState& account) {
        account.balanceSats = 100'000;
        account.balanceLoad.end(false);
    });
    state.updateEVMAccount(Chain::ethereum, 0, "eth-0", [](EVMAccountState& account) {
        account.balanceLoad.end(false); // a known zero
        account.tokens = {test::evmToken("0x02", "NOPE", "No pool", 3'000'000, std::nullopt)};
    });
    PortfolioModel model(&state, nullptr);
    const auto fiat = [&model](const QString& key) {
        for (int row = 0; row < model.rowCount(); ++row) {
            if (model.index(row).data(PortfolioModel::KeyRole).toString() == key) {
                return model.index(row).data(PortfolioModel::FiatRole).toString();
            }
        }
        return QStringLiteral("no row");
    };
    const auto shown = [&] {
        return QStringList{fiat("btc-0"), fiat("eth-0"), fiat("eth-0/0x02"), model.totalText(),
                           model.totalNote()};
    };
    const QString unknown = QStringLiteral("\u2014");
    EXPECT_EQ(shown(),
              (QStringList{unknown, "$0.00", unknown, unknown, "Some prices are still loading."}));

    // The prices come back without Bitcoin's, then not at all: still no figure, and no price
    // will come by itself.
    QByteArray tickers = R"([{"symbol":"ETHUSDT","lastPrice":"3000","priceChangePercent":"1"}])";
    env.web().setHandler([&tickers](const test::HttpFixtureRequest& request) {
        return request.target.contains("/ticker/24hr") ? test::HttpFixtureResponse::json(tickers)
                                                       : test::HttpFixtureResponse::withStatus(500);
    });
    test::runTask(refreshPrices({&state, {}}));
    EXPECT_EQ(shown(), (QStringList{unknown, "$0.00", unknown, unknown,
                                    "Some prices could not be loaded."}));
    tickers = "not json";
    test::runTask(refreshPrices({&state, {}}));
    EXPECT_EQ(shown(), (QStringList{unknown, "$0.00", unknown, unknown,
                                    "Some prices could not be loaded."}));

    // Its price: valued and counted; the token without a pool misses nothing.
    tickers = R"([{"symbol":"BTCUSDT","lastPrice":"50000","priceChangePercent":"1"}])";
    test::runTask(refreshPrices({&state, {}}));
    EXPECT_EQ(shown(), (QStringList{"$50.00", "$0.00", unknown, "$50.00", ""}));
    // A token whose quote could not be asked is missing from the total.
    state.updateEVMAccount(Chain::ethereum, 0, "eth-0", [](EVMAccountState& account) {
        account.tokens[0].priceLoadFailed = true;
    });
    EXPECT_EQ(shown(), (QStringList{"$50.00", "$0.00", unknown, "$50.00",
                                    "Some prices could not be loaded."}));
}

// An Ethereum account on anvil, behind a proxy that can fail the balanceOf calls to chosen
// tokens, holding no ether, 2 KEPT and 3 NEW tokens (6 decimals) and no ZERO, all three in the
// token list; refreshed through the real EVM job.
struct TokensOnAnvil {
    const std::string owner = "0x7e5f4552091a69125d5dfcb7b8c2659029395bdf";
    const std::string kept = "0x00000000000000000000000000000000000c0de1";
    const std::string fresh = "0x00000000000000000000000000000000000c0de2";
    test::AnvilNode node{1};
    test::RPCProxy proxy;
    std::unique_ptr<test::RefreshFixture> env;

    TokensOnAnvil() {
        proxy.setTarget(node.url());
        test::RefreshFixture::Setup setup;
        setup.ethereum = proxy.url();
        env = std::make_unique<test::RefreshFixture>(setup);
        env->setEVMAccount(Chain::ethereum, owner);
        node.setBalance(owner, "0x0");
        for (const auto& [address, symbol, whole] :
             {std::tuple(kept, "KEPT", 2), std::tuple(fresh, "NEW", 3),
              std::tuple(std::string("0x00000000000000000000000000000000000c0de3"), "ZERO", 0)}) {
            node.setCode(address, test::TestContracts::shared().deployedBytecode("StandardToken"));
            char amount[65];
            std::snprintf(amount, sizeof amount, "%064x", whole * 1'000'000);
            node.send(test::AnvilNode::devAccount(0), address,
                      "0x40c10f19" + std::string(24, '0') + owner.substr(2) + amount);
            EXPECT_EQ(env->tokens().add({address, symbol, symbol, 6, Chain::ethereum}),
                      TokenStore::AddResult::added);
        }
    }
    AppState& state() { return env->state(); }
    // The node fails the balanceOf calls to the tokens in `failing`.
    void failBalances(std::vector<std::string> failing) {
        proxy.setOverride("eth_call", [failing](const nlohmann::json& params) {
            const std::string to = lowercaseASCII(params.at(0).at("to").get<std::string>());
            const bool fails =
                params.at(0).at("data").get<std::string>().starts_with("0x70a08231") &&
                std::find(failing.begin(), failing.end(), to) != failing.end();
            return fails ? std::optional(test::HttpFixtureResponse::withStatus(503)) : std::nullopt;
        });
    }
    void refresh() { test::runTask(refreshEVMBalances({&state(), {}}, Chain::ethereum)); }
};

// A token balance the node would not tell is no zero: never read, its row shows the unknown
// mark for amount and value and the total says a balance could not be loaded; read before, the
// row keeps the balance last read; a balance read as zero is one. Through the real refresh, on
// anvil behind a proxy that fails the chosen tokens' balanceOf calls.
TEST(PortfolioRows, ATokenBalanceTheNodeWouldNotTellIsUnknownNotZero) {
    if (!test::AnvilNode::isAvailable()) {
        GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
    }
    const LocaleScope locale("en_US");
    TokensOnAnvil chain;
    PortfolioModel model(&chain.state(), nullptr);
    const auto shown = [&] {
        QStringList texts;
        for (int row = 0; row < model.rowCount(); ++row) {
            const QModelIndex index = model.index(row);
            if (index.data(PortfolioModel::KindRole).toString() == "token") {
                texts << index.data(PortfolioModel::BalanceRole).toString() + " | " +
                             index.data(PortfolioModel::FiatRole).toString();
            }
        }
        return texts << model.totalText() << model.totalNote();
    };
    const QString unknown = QStringLiteral("\u2014 | \u2014");

    chain.failBalances({chain.fresh});
    chain.refresh();
    EXPECT_EQ(shown(), (QStringList{"2.0000 KEPT | \u2014", unknown, "0 ZERO | $0.00", "\u2014",
                                    "Some balances could not be loaded."}));

    // Neither read: the one read before keeps its balance.
    chain.failBalances({chain.kept, chain.fresh});
    chain.refresh();
    EXPECT_EQ(shown(), (QStringList{"2.0000 KEPT | \u2014", unknown, "0 ZERO | $0.00", "\u2014",
                                    "Some balances could not be loaded."}));

    chain.proxy.clearOverrides();
    chain.refresh();
    EXPECT_EQ(shown(), (QStringList{"2.0000 KEPT | \u2014", "3.0000 NEW | \u2014", "0 ZERO | $0.00",
                                    "$0.00", ""}));
}

// A token balance a refresh could not read is no fresh one, whether it was never read or is
// the one the refresh before read: the account's screen and the token's send sheet say "Could
// not load the tokens." until a refresh reads it.
TEST(PortfolioRows, ATokenBalanceARefreshCouldNotReadIsSaidToHaveFailed) {
    if (!test::AnvilNode::isAvailable()) {
        GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
    }
    const LocaleScope locale("en_US");
    TokensOnAnvil chain;
    chain.state().setSelectedChain(Chain::ethereum);
    chain.state().setSelectedAccountIndex(0);
    AccountDetailModel account(&chain.state(), nullptr);
    SendViewModel send;
    send.setAppState(&chain.state());
    send.setChain(Chain::ethereum);
    const auto shown = [&](const std::string& token) {
        for (const TokenBalance& held : chain.state().evmAccounts(Chain::ethereum).at(0).tokens) {
            if (equalIgnoringASCIICase(held.token.contractAddress, token)) {
                send.setSelectedToken(held.token);
            }
        }
        return QStringList{account.tokens()->loadFailed() ? "failed" : "read", send.balanceText(),
                           send.balanceNote()};
    };
    const QString failed = QStringLiteral("Could not load the tokens.");

    chain.failBalances({chain.fresh});
    chain.refresh();
    EXPECT_EQ(shown(chain.fresh), (QStringList{"failed", "\u2014", failed}));
    EXPECT_EQ(shown(chain.kept), (QStringList{"failed", "2 KEPT", ""}));
    chain.proxy.clearOverrides();
    chain.refresh();
    EXPECT_EQ(shown(chain.kept), (QStringList{"read", "2 KEPT", ""}));

    // Kept from the refresh before: the same figure, no longer fresh.
    chain.failBalances({chain.kept});
    chain.refresh();
    EXPECT_EQ(shown(chain.kept), (QStringList{"failed", "2 KEPT", failed}));
    EXPECT_EQ(shown(chain.fresh), (QStringList{"failed", "3 NEW", ""}));
    chain.proxy.clearOverrides();
    chain.refresh();
    EXPECT_EQ(shown(chain.kept), (QStringList{"read", "2 KEPT", ""}));
}

TEST(PriceChartMath, DomainTicksAndCurve) {
    EXPECT_EQ(yDomain({}), (YDomain{-0.1, 1.1}));
    EXPECT_EQ(yDomain({100, 100}), (YDomain{99, 101}));
    EXPECT_EQ(yDomain({100, 200}), (YDomain{90, 210}));
    EXPECT_EQ(yDomain({0, 0}), (YDomain{-1, 1})); // never an empty range
    EXPECT_EQ(yDomain({-5, -5}), (YDomain{-6, -4}));
    const YDomain skipped = yDomain({std::numeric_limits<double>::quiet_NaN(), 10});
    EXPECT_NEAR(skipped.low, 9.9, 1e-12);
    EXPECT_NEAR(skipped.high, 10.1, 1e-12);

    EXPECT_EQ(axisTicks({90, 210}, 4), (std::vector<double>{100, 150, 200}));
    EXPECT_EQ(axisTicks({-1, 1}, 4), (std::vector<double>{-1, -0.5, 0, 0.5, 1}));
    EXPECT_TRUE(axisTicks({5, 5}, 4).empty());

    EXPECT_TRUE(chartCurve({}, {0, 1}, 100, 50).segments.empty());
    EXPECT_EQ(linePath(chartCurve({}, {0, 1}, 100, 50)), "");

    // One point: a level line across the plot, in the middle of its band.
    const ChartCurve one = chartCurve({{Date{0}, 100}}, yDomain({100}), 300, 200);
    ASSERT_EQ(one.segments.size(), 1u);
    EXPECT_EQ(one.start, (ChartPoint{0, 100}));
    EXPECT_EQ(one.segments[0].end, (ChartPoint{300, 100}));

    // A flat or all-zero series stays level and inside the plot.
    for (const double price : {0.0, 42.0}) {
        const std::vector<DatedPrice> flat = {
            {Date{0}, price}, {Date{10}, price}, {Date{20}, price}};
        const ChartCurve curve = chartCurve(flat, yDomain({price, price, price}), 200, 100);
        ASSERT_EQ(curve.segments.size(), 2u);
        for (const BezierSegment& segment : curve.segments) {
            for (const ChartPoint point : {segment.control1, segment.control2, segment.end}) {
                EXPECT_NEAR(point.y, 50, 1e-9);
            }
        }
        EXPECT_DOUBLE_EQ(curve.segments.back().end.x, 200);
    }

    // The curve passes through every point, x by date, and the area closes on the same curve.
    const std::vector<DatedPrice> moving = {{Date{0}, 10}, {Date{30}, 20}, {Date{40}, 15}};
    const ChartCurve curve = chartCurve(moving, {10, 20}, 40, 10);
    ASSERT_EQ(curve.segments.size(), 2u);
    EXPECT_EQ(curve.start, (ChartPoint{0, 10}));
    EXPECT_EQ(curve.segments[0].end, (ChartPoint{30, 0}));
    EXPECT_EQ(curve.segments[1].end, (ChartPoint{40, 5}));
    // The middle tangent (0.5 * (40 - 0, 5 - 10) / 2) joins the segments smoothly.
    EXPECT_EQ(curve.segments[0].control2, (ChartPoint{30 - 10.0 / 3, 0 + 1.25 / 3}));
    EXPECT_EQ(curve.segments[1].control1, (ChartPoint{30 + 10.0 / 3, 0 - 1.25 / 3}));
    const QString line = linePath(curve);
    EXPECT_TRUE(line.startsWith("M 0.00 10.00 C "));
    EXPECT_EQ(areaPath(curve, 10), line + " L 40.00 10.00 L 0.00 10.00 Z");
}

// Labels of the time axis: round moments, evenly spaced, never the same label twice.
TEST(PriceChartMath, TimeTicks) {
    const QTimeZone utc = QTimeZone::utc();
    const double jan1 = 1704067200; // 2024-01-01 00:00 UTC
    const double h = 3600;
    const auto labels = [](const std::vector<TimeTick>& ticks) {
        QStringList list;
        for (const TimeTick& tick : ticks) {
            list << tick.label;
        }
        return list.join(' ');
    };
    // Seven days of 4-hour candles from 02:00: every midnight, or every other one.
    const std::vector<TimeTick> week = timeTicks(jan1 + 2 * h, jan1 + 166 * h, 7, utc);
    EXPECT_EQ(labels(week), "Jan 2 Jan 3 Jan 4 Jan 5 Jan 6 Jan 7");
    ASSERT_EQ(week.size(), 6u);
    for (std::size_t i = 0; i < week.size(); ++i) {
        EXPECT_EQ(week[i].unixTime, jan1 + 24 * h * static_cast<double>(i + 1));
    }
    EXPECT_EQ(labels(timeTicks(jan1 + 2 * h, jan1 + 166 * h, 5, utc)), "Jan 2 Jan 4 Jan 6");
    // Midnights of the user's zone: Rome is an hour ahead in January.
    const std::vector<TimeTick> rome =
        timeTicks(jan1 + 2 * h, jan1 + 166 * h, 7, QTimeZone("Europe/Rome"));
    ASSERT_FALSE(rome.empty());
    EXPECT_EQ(rome.front().unixTime, jan1 + 23 * h);
    EXPECT_EQ(rome.front().label, "Jan 2");

    // Under two days: times of the clock; a midnight reads as its date.
    EXPECT_EQ(labels(timeTicks(jan1 + 9.5 * h, jan1 + 17.5 * h, 5, utc)),
              "10:00 12:00 14:00 16:00");
    EXPECT_EQ(labels(timeTicks(jan1 + 22 * h, jan1 + 26 * h, 5, utc)),
              "22:00 23:00 Jan 2 01:00 02:00");
    // 30 hours from 10:00: 6, 8 and 12 hours would repeat a time; 10 hours does not.
    const std::vector<TimeTick> thirty = timeTicks(jan1 + 10 * h, jan1 + 40 * h, 5, utc);
    EXPECT_EQ(labels(thirty), "10:00 20:00 06:00 16:00");
    for (std::size_t i = 1; i < thirty.size(); ++i) {
        EXPECT_EQ(thirty[i].unixTime - thirty[i - 1].unixTime, 10 * h);
    }
    // Less than five minutes: no round moment inside. No span at all: nothing.
    EXPECT_TRUE(timeTicks(jan1 + 60, jan1 + 200, 5, utc).empty());
    EXPECT_TRUE(timeTicks(jan1, jan1, 5, utc).empty());
}

} // namespace
} // namespace qm
