#pragma once
// How one Bitcoin account's history is built from its addresses' Electrum histories and the
// raw transactions: confirmations from the tip, direction, amounts and the list order.

#include "core/model/Date.h"
#include "core/model/Transaction.h"
#include "services/bitcoin/BTCTransactionParser.h"
#include "services/bitcoin/ElectrumResults.h"
#include "state/refresh/BitcoinTransactionInputs.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qm {

// No Bitcoin height reaches this for centuries; a server that sends more is not believed.
inline constexpr std::int64_t maxPlausibleBlockHeight = 100'000'000;
// 21 million bitcoin: no output or balance can hold more.
inline constexpr std::uint64_t maxMoneySats = 2'100'000'000'000'000;

// The references of one account's addresses, merged by transaction hash.
struct BitcoinHistoryReferences {
    std::vector<std::string> hashes;                 // first appearance first
    std::map<std::string, ElectrumTxRef> references; // the last reference seen per hash
    std::map<std::string, std::set<std::string>> involvedAddresses;

    // Adds `reference` as listed by the history of `address`. A reference with a height no
    // chain can have is dropped.
    void add(const ElectrumTxRef& reference, const std::string& address);
};

// A raw transaction as far as the history needs it.
struct BitcoinRawTransaction {
    std::vector<BTCTransactionParser::ParsedOutput> outputs;
    std::vector<BitcoinOutPoint> spent;

    // Absent when the hex does not read or an output claims more than 21 million bitcoin.
    static std::optional<BitcoinRawTransaction> fromHex(std::string_view hex);
};

struct BitcoinHistoryContext {
    std::set<std::string> ownAddresses;
    // The account's usable raw transactions by hash.
    std::map<std::string, BitcoinRawTransaction> rawTransactions;
    std::int64_t tip = 0; // 0 when unknown
    Date now;
};

// The entry of transaction `hash`. Sent when it spends an output paying one of the account's
// addresses, or when an address whose history lists it is not among its outputs; received
// otherwise. Without its raw transaction: received, "? BTC".
Transaction bitcoinTransaction(const std::string& hash, const ElectrumTxRef& reference,
                               const std::set<std::string>& involved,
                               const BitcoinHistoryContext& context);

// "%.8f BTC" of `sats` with a point, whatever the user's locale.
std::string bitcoinAmountText(std::uint64_t sats);

// Pending first; then the highest block first, an entry without height counting as highest.
bool isListedBefore(const Transaction& a, const Transaction& b);
// A stable sort with isListedBefore.
void sortBitcoinHistory(std::vector<Transaction>& history);

} // namespace qm
