#include "state/refresh/BitcoinHistory.h"

#include "core/model/CheckedArithmetic.h"
#include "state/AmountFormatting.h"

#include <algorithm>
#include <limits>

namespace qm {
namespace {

constexpr std::int64_t secondsPerBlock = 600;
constexpr std::int64_t confirmationsForConfirmed = 6;

bool isOwn(const std::optional<std::string>& address, const std::set<std::string>& own) {
    return address && own.contains(*address);
}

bool spendsOwnOutput(const BitcoinRawTransaction& transaction,
                     const BitcoinHistoryContext& context) {
    for (const BitcoinOutPoint& point : transaction.spent) {
        const auto previous = context.rawTransactions.find(point.txHash);
        if (previous == context.rawTransactions.end() ||
            point.outputIndex >= previous->second.outputs.size()) {
            continue;
        }
        if (isOwn(previous->second.outputs[point.outputIndex].address, context.ownAddresses)) {
            return true;
        }
    }
    return false;
}

} // namespace

void BitcoinHistoryReferences::add(const ElectrumTxRef& reference, const std::string& address) {
    if (reference.height > maxPlausibleBlockHeight) {
        return;
    }
    if (!references.contains(reference.tx_hash)) {
        hashes.push_back(reference.tx_hash);
    }
    references[reference.tx_hash] = reference;
    involvedAddresses[reference.tx_hash].insert(address);
}

std::optional<BitcoinRawTransaction> BitcoinRawTransaction::fromHex(std::string_view hex) {
    std::optional<std::vector<BitcoinOutPoint>> spent = parseSpentOutputs(hex);
    if (!spent) {
        return std::nullopt;
    }
    BitcoinRawTransaction transaction;
    transaction.spent = std::move(*spent);
    transaction.outputs = BTCTransactionParser::parseOutputs(hex);
    for (const auto& output : transaction.outputs) {
        if (output.value > maxMoneySats) {
            return std::nullopt;
        }
    }
    return transaction;
}

std::string bitcoinAmountText(std::uint64_t sats) {
    return nativeBalanceText(Chain::bitcoin, UInt256(0, 0, 0, sats));
}

Transaction bitcoinTransaction(const std::string& hash, const ElectrumTxRef& reference,
                               const std::set<std::string>& involved,
                               const BitcoinHistoryContext& context) {
    Transaction entry;
    entry.id = hash;
    entry.txHash = hash;
    entry.chain = Chain::bitcoin;

    if (reference.height >= 1) {
        entry.blockHeight = reference.height;
        if (context.tip >= 1) {
            // Both lie in 1 ... maxPlausibleBlockHeight, but stay checked all the same.
            const auto behind = checkedSubtract(context.tip, reference.height);
            entry.confirmations = behind ? std::max<std::int64_t>(*behind + 1, 0) : 0;
            const auto offset = checkedMultiply(-behind.value_or(0), secondsPerBlock);
            if (behind && offset) {
                entry.timestamp =
                    Date{context.now.secondsSinceReferenceDate + static_cast<double>(*offset)};
            }
        }
    }
    entry.status = entry.confirmations >= confirmationsForConfirmed ? TransactionStatus::confirmed
                                                                    : TransactionStatus::pending;

    const auto raw = context.rawTransactions.find(hash);
    std::optional<std::uint64_t> received = 0;
    std::optional<std::uint64_t> external = 0;
    if (raw != context.rawTransactions.end()) {
        for (const auto& output : raw->second.outputs) {
            auto& sum = isOwn(output.address, context.ownAddresses) ? received : external;
            if (sum) {
                sum = checkedAdd(*sum, output.value);
            }
        }
    }
    if (raw == context.rawTransactions.end() || !received || !external) {
        entry.direction = TransactionDirection::received;
        entry.amount = "? BTC";
        return entry;
    }
    const auto& outputs = raw->second.outputs;
    const auto firstOwn = std::find_if(outputs.begin(), outputs.end(), [&](const auto& output) {
        return isOwn(output.address, context.ownAddresses);
    });
    const auto firstExternal =
        std::find_if(outputs.begin(), outputs.end(), [&](const auto& output) {
            return !isOwn(output.address, context.ownAddresses);
        });
    const auto addressOf = [&](auto it) {
        return it == outputs.end() ? std::string() : it->address.value_or(std::string());
    };

    bool everyInvolvedPaid = true;
    for (const std::string& address : involved) {
        const bool paid = std::any_of(outputs.begin(), outputs.end(), [&](const auto& output) {
            return output.address == address;
        });
        everyInvolvedPaid = everyInvolvedPaid && paid;
    }
    // Change returning to a spending address must not make a payment look received.
    const bool sent = !everyInvolvedPaid || spendsOwnOutput(raw->second, context);
    if (sent) {
        entry.direction = TransactionDirection::sent;
        entry.amountRaw = *external;
        entry.from = involved.empty() ? std::string() : *involved.begin();
        entry.to = addressOf(firstExternal);
    } else {
        entry.direction = TransactionDirection::received;
        entry.amountRaw = *received;
        entry.from = addressOf(firstExternal);
        entry.to = addressOf(firstOwn);
    }
    entry.amount = bitcoinAmountText(entry.amountRaw);
    return entry;
}

bool isListedBefore(const Transaction& a, const Transaction& b) {
    const bool aPending = a.status == TransactionStatus::pending;
    const bool bPending = b.status == TransactionStatus::pending;
    if (aPending != bPending) {
        return aPending;
    }
    if (!b.blockHeight) {
        return false;
    }
    return a.blockHeight.value_or(std::numeric_limits<std::int64_t>::max()) > *b.blockHeight;
}

void sortBitcoinHistory(std::vector<Transaction>& history) {
    std::stable_sort(history.begin(), history.end(), isListedBefore);
}

} // namespace qm
