#include "ui/portfolio/PortfolioRows.h"

#include "state/AmountFormatting.h"
#include "state/AppState.h"
#include "ui/portfolio/FiatText.h"
#include "ui/shell/SidebarItems.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <string_view>

namespace qm {
namespace {

QString text(const std::string& value) {
    return QString::fromStdString(value);
}

// The asset row's ticker: the native coin's (Arbitrum's is ETH).
QString ticker(Chain chain) {
    return text(nativeSymbol(chain));
}

PortfolioRow header(const AppState& state, Chain chain) {
    const double total = state.totalUSD(chain);
    return {PortfolioRow::Kind::chainHeader,
            chain,
            rawValue(chain),
            text(displayName(chain)),
            ticker(chain),
            {},
            total > 0 ? formatUSD(total) : QString(),
            {},
            std::nullopt};
}

// The dollar value of an account's native balance of `coins`: none while no server has
// answered for the balance, or while a balance above zero has no price.
std::optional<double> nativeValueUSD(const AppState& state, Chain chain, const BalanceLoad& load,
                                     bool held, double coins) {
    if (!load.known) {
        return std::nullopt;
    }
    return holdingValueUSD(held, coins, state.nativePriceUSD(chain));
}

// An account's row: its balance and dollar value, or the unknown mark for what is not known.
template <typename AccountState>
PortfolioRow accountRow(const AppState& state, Chain chain, const AccountState& account, bool held,
                        double coins) {
    return {PortfolioRow::Kind::account,
            chain,
            account.id(),
            text(displayName(chain)),
            ticker(chain),
            shownNativeBalance(account),
            valueText(nativeValueUSD(state, chain, account.balanceLoad, held, coins)),
            {},
            std::nullopt};
}

// The texts of a token row: those of the previous rows' row at the same place when it showed
// the same token, amount and value; else formatted by `balance` and `fiat`.
template <typename BalanceText, typename FiatText>
PortfolioRow tokenRow(std::span<const PortfolioRow> previous, std::size_t position, Chain chain,
                      const std::string& accountID, const std::string& tokenID,
                      const std::string& name, const std::string& symbol, std::string amountSource,
                      std::optional<double> fiatValue, BalanceText balance, FiatText fiat) {
    PortfolioRow row{PortfolioRow::Kind::token,
                     chain,
                     accountID + '/' + tokenID,
                     text(name),
                     text(symbol),
                     {},
                     {},
                     std::move(amountSource),
                     fiatValue};
    const PortfolioRow* old = position < previous.size() && previous[position].key == row.key
                                  ? &previous[position]
                                  : nullptr;
    row.balance = old && old->amountSource == row.amountSource ? old->balance : balance();
    row.fiat = old && old->fiatValue == row.fiatValue ? old->fiat : fiat();
    return row;
}

// What a token amount's text is made of: equal sources give equal texts.
std::string amountSource(std::string_view amount, std::int64_t decimals,
                         const std::string& symbol) {
    std::string source(amount);
    source += '/';
    source += std::to_string(decimals);
    source += '/';
    source += symbol;
    return source;
}

void addEVMRows(const AppState& state, Chain chain, std::span<const PortfolioRow> previous,
                std::vector<PortfolioRow>& rows) {
    const auto& accounts = state.evmAccounts(chain);
    for (const EVMAccountState& account : accounts) {
        rows.push_back(
            accountRow(state, chain, account, !account.balanceWei.isZero(), account.balanceNative));
    }
    for (const EVMAccountState& account : accounts) {
        for (const TokenBalance& token : account.tokens) {
            const std::optional<double> usd = holdingValueUSD(token);
            // A balance never read has no source: no amount's text is its own.
            rows.push_back(tokenRow(
                previous, rows.size(), chain, account.id(), token.id(), token.token.name,
                token.token.symbol,
                token.balanceKnown
                    ? amountSource(token.balance, token.token.decimals, token.token.symbol)
                    : std::string(),
                usd,
                [&] {
                    return token.balanceKnown
                               ? text(tokenBalanceAmount(token).exactAmountText(token.token.symbol))
                               : unknownFigureText();
                },
                [usd] { return valueText(usd); }));
        }
    }
}

void addSolanaRows(const AppState& state, std::span<const PortfolioRow> previous,
                   std::vector<PortfolioRow>& rows) {
    for (const SolanaAccountState& account : state.solanaAccounts()) {
        const double sol = static_cast<double>(account.balanceLamports) / 1'000'000'000.0;
        rows.push_back(accountRow(state, Chain::solana, account, account.balanceLamports > 0, sol));
    }
    for (const SolanaAccountState& account : state.solanaAccounts()) {
        for (const SPLTokenBalance& token : account.tokens) {
            const double value = token.priceUSD.value_or(0) * (static_cast<double>(token.amount) /
                                                               std::pow(10.0, token.decimals));
            rows.push_back(tokenRow(
                previous, rows.size(), Chain::solana, account.id(), token.mint, token.name,
                token.symbol,
                amountSource(std::to_string(token.amount), token.decimals, token.symbol), value,
                [&] { return text(token.formattedAmount()); },
                [value] { return value > 0 ? formatUSD(value) : QStringLiteral("--"); }));
        }
    }
}

bool hasAccounts(const AppState& state, Chain chain) {
    switch (chain) {
    case Chain::bitcoin:
        return !state.bitcoinAccounts().empty();
    case Chain::solana:
        return !state.solanaAccounts().empty();
    default:
        return !state.evmAccounts(chain).empty();
    }
}

} // namespace

std::vector<PortfolioRow> portfolioChainRows(const AppState& state, Chain chain,
                                             std::span<const PortfolioRow> previous) {
    std::vector<PortfolioRow> rows;
    if (!hasAccounts(state, chain)) {
        return rows;
    }
    rows.push_back(header(state, chain));
    switch (chain) {
    case Chain::bitcoin:
        for (const BTCAccountState& account : state.bitcoinAccounts()) {
            const double btc = static_cast<double>(account.balanceSats) / 100'000'000.0;
            rows.push_back(accountRow(state, chain, account, account.balanceSats > 0, btc));
        }
        break;
    case Chain::solana:
        addSolanaRows(state, previous, rows);
        break;
    default:
        addEVMRows(state, chain, previous, rows);
        break;
    }
    return rows;
}

std::span<const PortfolioRow> chainSlice(std::span<const PortfolioRow> rows, Chain chain) {
    const auto first = std::find_if(
        rows.begin(), rows.end(), [chain](const PortfolioRow& row) { return row.chain == chain; });
    const auto end = std::find_if(first, rows.end(),
                                  [chain](const PortfolioRow& row) { return row.chain != chain; });
    return rows.subspan(static_cast<std::size_t>(first - rows.begin()),
                        static_cast<std::size_t>(end - first));
}

std::vector<PortfolioRow> portfolioRows(const AppState& state,
                                        std::span<const PortfolioRow> previous) {
    std::vector<PortfolioRow> rows;
    for (const Chain chain : allChains()) {
        std::vector<PortfolioRow> chainRows =
            portfolioChainRows(state, chain, chainSlice(previous, chain));
        std::move(chainRows.begin(), chainRows.end(), std::back_inserter(rows));
    }
    return rows;
}

double portfolioTotalUSD(const AppState& state) {
    double total = 0;
    for (const Chain chain : allChains()) {
        total += state.totalUSD(chain);
    }
    return total;
}

PortfolioBalances portfolioBalances(const AppState& state) {
    PortfolioBalances balances;
    const auto count = [&](Chain chain, const auto& account, bool held) {
        const BalanceLoad& load = account.balanceLoad;
        ++(load.known ? balances.known : load.failed ? balances.failed : balances.loading);
        if (!load.known) {
            return;
        }
        if (!held) {
            return; // a known zero: worth $0.00, yet no holding the total values
        }
        if (state.nativePriceUSD(chain)) {
            ++balances.valued;
        } else {
            ++(state.nativePriceLoadFailed(chain) ? balances.pricesFailed : balances.pricesLoading);
        }
    };
    for (const BTCAccountState& account : state.bitcoinAccounts()) {
        count(Chain::bitcoin, account, account.balanceSats > 0);
    }
    for (const Chain chain : {Chain::ethereum, Chain::arbitrum, Chain::polygon}) {
        for (const EVMAccountState& account : state.evmAccounts(chain)) {
            count(chain, account, !account.balanceWei.isZero());
            for (const TokenBalance& token : account.tokens) {
                if (!token.balanceKnown) {
                    ++balances.failed; // only a failed read leaves a listed balance unknown
                } else if (tokenBalanceAmount(token).value.isZero()) {
                    continue;
                } else if (holdingValueUSD(token)) {
                    ++balances.valued;
                } else if (token.priceLoadFailed) {
                    ++balances.pricesFailed;
                }
            }
        }
    }
    for (const SolanaAccountState& account : state.solanaAccounts()) {
        count(Chain::solana, account, account.balanceLamports > 0);
    }
    return balances;
}

int portfolioAssetCount(const AppState& state) {
    std::size_t count = state.bitcoinAccounts().size() + state.solanaAccounts().size();
    for (const Chain chain : {Chain::ethereum, Chain::arbitrum, Chain::polygon}) {
        for (const EVMAccountState& account : state.evmAccounts(chain)) {
            count += 1 + account.tokens.size();
        }
    }
    for (const SolanaAccountState& account : state.solanaAccounts()) {
        count += account.tokens.size();
    }
    return static_cast<int>(count);
}

} // namespace qm
