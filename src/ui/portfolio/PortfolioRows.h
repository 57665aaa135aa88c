#pragma once
// The portfolio's asset list as rows built from the state: per chain with accounts, in chain
// order, a header, a row per account, then (not for Bitcoin) a row per token holding of each
// account. Every text is finished here; the view only lays them out.

#include "core/model/Chain.h"

#include <QString>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qm {

class AppState;

struct PortfolioRow {
    enum class Kind { chainHeader, account, token };

    Kind kind = Kind::account;
    Chain chain = Chain::bitcoin;
    // Stable identity across refreshes: the chain, the account id, the token's id.
    std::string key;
    QString name;    // chain or token name (a token's is untrusted text)
    QString symbol;  // ticker or token symbol (untrusted for tokens)
    QString balance; // amount text with its unit
    QString fiat;    // dollar text; for a header the chain total, empty when it is 0 or less
    // What a token row's texts were made from (its exact amount, decimals and symbol; its dollar
    // value, none when not known), so that a rebuild keeps the texts of a row whose amount did
    // not change.
    std::string amountSource;
    std::optional<double> fiatValue;

    bool operator==(const PortfolioRow&) const = default;
};

// The rows of the state. A token row whose key, amount and value are those of the row at the
// same place of its chain's rows in `previous` takes that row's texts instead of formatting
// them again: a refresh that changes one balance formats one amount, however many tokens the
// accounts hold.
std::vector<PortfolioRow> portfolioRows(const AppState& state,
                                        std::span<const PortfolioRow> previous = {});
// The rows of one chain (none when it has no account), reusing texts from `previous`, that
// chain's rows before, as portfolioRows does.
std::vector<PortfolioRow> portfolioChainRows(const AppState& state, Chain chain,
                                             std::span<const PortfolioRow> previous = {});
// The part of `rows` that is `chain`'s (its rows stand together); empty when it has none.
std::span<const PortfolioRow> chainSlice(std::span<const PortfolioRow> rows, Chain chain);

// The sum of the five chain totals, in chain order (known balances only).
double portfolioTotalUSD(const AppState& state);

// How many accounts of the five lists have a known balance, and of the others how many have
// not been answered for yet and how many ended their last load without an answer (with the
// token holdings whose balance no load has read); then what
// the total could value: the figures it counts, and the holdings it leaves out for want of a
// price.
struct PortfolioBalances {
    int known = 0;
    int loading = 0;
    int failed = 0;
    // Known balances above zero with a value (priced native balances, token holdings with a
    // value): a known zero adds $0.00 but values nothing held.
    int valued = 0;
    // Known native balances above zero whose coin has no price yet; of those, the ones whose
    // price the last load did not bring, with the tokens held whose quote could not be asked.
    // A token without a pool has no price to miss: it is neither.
    int pricesLoading = 0;
    int pricesFailed = 0;
    bool operator==(const PortfolioBalances&) const = default;
};
PortfolioBalances portfolioBalances(const AppState& state);
// Accounts of the five lists plus every token entry of the EVM and Solana accounts.
int portfolioAssetCount(const AppState& state);

} // namespace qm
