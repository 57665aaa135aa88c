#pragma once
// The state of one Bitcoin account while the wallet is unlocked: its first receive
// address, balance, outputs, history and the list of its receive addresses.

#include "core/model/Account.h"
#include "core/model/Transaction.h"
#include "platform/Bytes.h"
#include "services/bitcoin/UTXO.h"
#include "state/BalanceLoad.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qm {

struct BTCAddressInfo {
    // Receive or change; the raw value is the label the address list shows.
    enum class BTCAddressType { receive, change };

    std::int64_t id = 0; // position in the account's list, 0 first; renumbered after a deletion
    BTCAddressType type = BTCAddressType::receive;
    // The receive-chain index the address and its key come from: m/84'/0'/0'/0/<index>. It
    // stays with the address whatever its position, and is never given to another address.
    std::uint32_t derivationIndex = 0;
    std::string derivationPath; // "m/84'/0'/0'/0/" + derivationIndex
    std::string address;        // P2WPKH, Bech32, "bc1q..."
    Bytes compressedPublicKey;  // 33 bytes
    std::string scriptHash;     // Electrum script hash, 64 lowercase hex digits
    std::uint64_t balanceSats = 0;
    std::int64_t txCount = 0;
    // Set once a server has answered for this address's balance and history: until then the
    // zero balance above means "not known", and the address must not be deleted.
    bool fetched = false;

    bool operator==(const BTCAddressInfo&) const = default;
};

// "Ricezione" for receive, "Resto" for change.
const std::string& rawValue(BTCAddressInfo::BTCAddressType type);

struct BTCAccountState {
    Account account;           // "btc-0": the first receive address
    Bytes compressedPublicKey; // of the first receive address
    std::uint64_t balanceSats = 0;
    BalanceLoad balanceLoad; // whether balanceSats is a figure a server gave
    std::vector<UTXO> utxos;
    std::vector<Transaction> transactions;
    std::vector<BTCAddressInfo> addresses; // list order; ids equal positions
    // True until the first load of the history ends (see EVMAccountState).
    bool historyLoading = true;
    // The last refresh could not load the history: `transactions` is the last known one.
    bool historyLoadFailed = false;

    const std::string& id() const { return account.id; }
    // A load of the history ended, with an answer or (`failed`) without one.
    void endHistoryLoad(bool failed) {
        historyLoading = false;
        historyLoadFailed = failed;
    }
    bool operator==(const BTCAccountState&) const = default;
};

} // namespace qm
