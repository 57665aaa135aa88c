#include "ui/portfolio/PortfolioRows.h"

#include "state/AmountFormatting.h"
#include "state/AppState.h"
#include "ui/portfolio/FiatText.h"
#include "ui/shell/SidebarItems.h"

#include <cmath>

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
            total > 0 ? formatUSD(total) : QString()};
}

PortfolioRow accountRow(Chain chain, const std::string& id, QString balance, double usd) {
    return {PortfolioRow::Kind::account, chain,         id, text(displayName(chain)), ticker(chain),
            std::move(balance),          formatUSD(usd)};
}

PortfolioRow tokenRow(Chain chain, const std::string& accountID, const std::string& tokenID,
                      const std::string& name, const std::string& symbol, QString balance,
                      QString fiat) {
    return {PortfolioRow::Kind::token,
            chain,
            accountID + '/' + tokenID,
            text(name),
            text(symbol),
            std::move(balance),
            std::move(fiat)};
}

double polygonPrice(const AppState& state) {
    const auto found = state.chainPrices().find(Chain::polygon);
    return found == state.chainPrices().end() ? 0 : found->second.usd;
}

void addEVMRows(const AppState& state, Chain chain, std::vector<PortfolioRow>& rows) {
    const double price = chain == Chain::polygon ? polygonPrice(state) : state.ethPriceUSD();
    const auto& accounts = state.evmAccounts(chain);
    for (const EVMAccountState& account : accounts) {
        rows.push_back(accountRow(chain, account.id(),
                                  text(nativeBalanceText(chain, account.balanceWei)),
                                  account.balanceNative * price));
    }
    for (const EVMAccountState& account : accounts) {
        for (const TokenBalance& token : account.tokens) {
            rows.push_back(
                tokenRow(chain, account.id(), token.id(), token.token.name, token.token.symbol,
                         text(tokenBalanceAmount(token).exactAmountText(token.token.symbol)),
                         formatUSD(token.balanceFormatted * token.priceUSD.value_or(0))));
        }
    }
}

void addSolanaRows(const AppState& state, std::vector<PortfolioRow>& rows) {
    for (const SolanaAccountState& account : state.solanaAccounts()) {
        const double sol = static_cast<double>(account.balanceLamports) / 1'000'000'000.0;
        rows.push_back(accountRow(Chain::solana, account.id(),
                                  solanaBalanceText(account.balanceLamports, 0),
                                  sol * state.solPriceUSD()));
    }
    for (const SolanaAccountState& account : state.solanaAccounts()) {
        for (const SPLTokenBalance& token : account.tokens) {
            const double value = token.priceUSD.value_or(0) * (static_cast<double>(token.amount) /
                                                               std::pow(10.0, token.decimals));
            rows.push_back(
                tokenRow(Chain::solana, account.id(), token.mint, token.name, token.symbol,
                         text(token.formattedAmount()),
                         token.priceUSD && value > 0 ? formatUSD(value) : QStringLiteral("--")));
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

std::vector<PortfolioRow> portfolioRows(const AppState& state) {
    std::vector<PortfolioRow> rows;
    for (const Chain chain : allChains()) {
        if (!hasAccounts(state, chain)) {
            continue;
        }
        rows.push_back(header(state, chain));
        switch (chain) {
        case Chain::bitcoin:
            for (const BTCAccountState& account : state.bitcoinAccounts()) {
                const double btc = static_cast<double>(account.balanceSats) / 100'000'000.0;
                rows.push_back(accountRow(chain, account.id(),
                                          bitcoinBalanceText(account.balanceSats),
                                          btc * state.btcPriceUSD()));
            }
            break;
        case Chain::solana:
            addSolanaRows(state, rows);
            break;
        default:
            addEVMRows(state, chain, rows);
            break;
        }
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
