#pragma once
// The state of one Solana account while the wallet is unlocked.

#include "core/model/Account.h"
#include "core/model/Transaction.h"
#include "platform/Bytes.h"
#include "services/solana/SPLToken.h"
#include "state/BalanceLoad.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qm {

struct SolanaAccountState {
    Account account;
    Bytes publicKey; // 32-byte Ed25519 key; its Base58 text is the address
    std::uint64_t balanceLamports = 0;
    BalanceLoad balanceLoad; // whether balanceLamports is a figure a server gave
    std::vector<SPLTokenBalance> tokens;
    std::vector<Transaction> transactions;
    // True until the first load of the history ends (see EVMAccountState).
    bool historyLoading = true;
    // The last refresh could not load the history: the list above is the last known one.
    bool historyLoadFailed = false;

    const std::string& id() const { return account.id; }
    // A load of the history ended, with an answer or (`failed`) without one.
    void endHistoryLoad(bool failed) {
        historyLoading = false;
        historyLoadFailed = failed;
    }
};

} // namespace qm
