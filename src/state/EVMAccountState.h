#pragma once
// The state of one account on Ethereum, Arbitrum or Polygon while the wallet is unlocked.

#include "core/crypto/UInt256.h"
#include "core/model/Account.h"
#include "core/model/Token.h"
#include "core/model/Transaction.h"

#include <string>
#include <vector>

namespace qm {

struct EVMAccountState {
    Account account;          // its chain says which list holds it
    double balanceNative = 0; // whole coins, as the screens show them
    UInt256 balanceWei;       // the exact balance the coins were rounded from
    std::vector<TokenBalance> tokens;
    std::vector<Transaction> transactions;
    // The last refresh could not load the token balances or the history: the lists above are
    // the last known ones (or empty when none ever came).
    bool tokensLoadFailed = false;
    bool historyLoadFailed = false;

    const std::string& id() const { return account.id; }
    bool operator==(const EVMAccountState&) const = default;
};

} // namespace qm
