#pragma once
// Which entries of an account's history a list shows: all of them (Bitcoin, Solana), the
// native-coin transfers only (the EVM account screens), or the transfers of one token (the
// token screen).

#include "core/model/Transaction.h"

#include <string>
#include <string_view>
#include <vector>

namespace qm {

class AppState;

struct HistoryFilter {
    enum class Kind { all, nativeOnly, token };

    Kind kind = Kind::all;
    std::string contractAddress; // the token's, for Kind::token

    // Native-only keeps the entries that name no token at all: neither a symbol nor a contract
    // (an explorer may leave a token transfer's symbol out). A token filter keeps the entries of
    // that contract, compared without regard to letter case.
    bool accepts(const Transaction& transaction) const;
};

// The history of the account `accountID` (searched in chain order, first match), filtered in
// stored order; empty when no account has that id.
std::vector<Transaction> listedTransactions(const AppState& state, std::string_view accountID,
                                            const HistoryFilter& filter);

// Where the loads of an account's history stand.
struct HistoryLoad {
    bool loading = false; // no load has ended yet: no entries means "not known yet"
    bool failed = false;  // the last refresh could not load it: the entries are the last known
    // The last refresh loaded the newest entries but not the older ones: the entries are those.
    bool incomplete = false;
    bool operator==(const HistoryLoad&) const = default;
};

// The loads of the history of the account `accountID`; neither loading nor failed when no
// account has that id.
HistoryLoad historyLoad(const AppState& state, std::string_view accountID);

} // namespace qm
