#pragma once
// The state of one account on Ethereum, Arbitrum or Polygon while the wallet is unlocked.

#include "core/crypto/UInt256.h"
#include "core/model/Account.h"
#include "core/model/Token.h"
#include "core/model/Transaction.h"
#include "state/BalanceLoad.h"

#include <string>
#include <vector>

namespace qm {

struct EVMAccountState {
    Account account;          // its chain says which list holds it
    double balanceNative = 0; // whole coins, as the screens show them
    UInt256 balanceWei;       // the exact balance the coins were rounded from
    BalanceLoad balanceLoad;  // whether the balance is a figure a server gave
    std::vector<TokenBalance> tokens;
    std::vector<Transaction> transactions;
    // True until the first load of the list ends: until then an empty list means "not known
    // yet", and the screens show it as loading rather than as empty.
    bool tokensLoading = true;
    bool historyLoading = true;
    // The last refresh could not load the token balances or the history: the lists above are
    // the last known ones (or empty when none ever came).
    bool tokensLoadFailed = false;
    bool historyLoadFailed = false;
    // The last refresh read the newest pages of the history but not the older ones: the list
    // is what it read.
    bool historyIncomplete = false;

    const std::string& id() const { return account.id; }
    // A load of the list ended, with an answer or (`failed`) without one.
    void endTokensLoad(bool failed) {
        tokensLoading = false;
        tokensLoadFailed = failed;
    }
    void endHistoryLoad(bool failed, bool incomplete = false) {
        historyLoading = false;
        historyLoadFailed = failed;
        historyIncomplete = incomplete;
    }
    bool operator==(const EVMAccountState&) const = default;
};

} // namespace qm
