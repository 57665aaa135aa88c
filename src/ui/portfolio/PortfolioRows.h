#pragma once
// The portfolio's asset list as rows built from the state: per chain with accounts, in chain
// order, a header, a row per account, then (not for Bitcoin) a row per token holding of each
// account. Every text is finished here; the view only lays them out.

#include "core/model/Chain.h"

#include <QString>
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

    bool operator==(const PortfolioRow&) const = default;
};

std::vector<PortfolioRow> portfolioRows(const AppState& state);

// The sum of the five chain totals, in chain order.
double portfolioTotalUSD(const AppState& state);
// Accounts of the five lists plus every token entry of the EVM and Solana accounts.
int portfolioAssetCount(const AppState& state);

} // namespace qm
