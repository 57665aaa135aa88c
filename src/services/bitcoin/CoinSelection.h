#pragma once
// Chooses the outputs to spend for a payment, sizes the fee and decides on a change output.
// All amounts are satoshis; sums and products that would not fit 64 bits saturate, so an
// impossible fee can never be covered rather than wrap into a small one.

#include "platform/Error.h"
#include "services/bitcoin/UTXO.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace qm {

class CoinSelectionError : public Error {
public:
    enum class Code { insufficientFunds, noUTXOs, impossibleCoins };
    static CoinSelectionError insufficientFunds(std::uint64_t available, std::uint64_t needed);
    static CoinSelectionError noUTXOs();
    // "The server's list of coins cannot be right: " and why.
    static CoinSelectionError impossibleCoins(const std::string& why);

    Code code() const { return code_; }
    std::uint64_t available() const { return available_; }
    std::uint64_t needed() const { return needed_; }

private:
    CoinSelectionError(Code code, const std::string& what, std::uint64_t available,
                       std::uint64_t needed)
        : Error(what), code_(code), available_(available), needed_(needed) {}
    Code code_;
    std::uint64_t available_;
    std::uint64_t needed_;
};

struct CoinSelectionResult {
    std::vector<UTXO> utxos; // in the order chosen
    std::uint64_t fee = 0;
    std::optional<std::uint64_t> change; // absent: no change output
};

// Every coin to the payment, no change: what the coins leave over the fee is the amount.
struct SpendAllResult {
    std::vector<UTXO> utxos; // every coin, in the order given
    std::uint64_t total = 0; // their sum
    std::uint64_t fee = 0;
    std::uint64_t amount = 0; // total - fee
};

struct CoinSelection {
    using SelectionError = qm::CoinSelectionError;

    static constexpr std::uint64_t kDustLimit = 546;
    // Every bitcoin there will ever be: 21,000,000 BTC in satoshis.
    static constexpr std::uint64_t kMaxMoney = 2'100'000'000'000'000;
    // A P2WPKH output: 8 bytes of value, a length byte and the 22-byte script.
    static constexpr std::uint64_t kP2WPKHOutputVBytes = 31;

    // The virtual size of an output paying to `scriptSize` bytes of script (under 253).
    static constexpr std::uint64_t outputVBytes(std::uint64_t scriptSize) {
        return 8 + 1 + scriptSize;
    }

    // Refuses a list of coins no chain can hold, before anything is built from it: a coin
    // above kMaxMoney, one outpoint listed twice (its hash in any letter case), or coins that
    // add up to more than kMaxMoney (whose sum, change or fee could not be computed). Throws
    // CoinSelectionError::impossibleCoins.
    static void checkCoins(const std::vector<UTXO>& utxos);

    // (11 + 68 * inputs + 31 * outputs) * feeRate: 68 vB per P2WPKH input, 31 per output,
    // 10.5 of overhead rounded up.
    static std::uint64_t fee(std::uint64_t inputs, std::uint64_t outputs, std::uint64_t feeRate);

    // Largest first (stable), stopping at the first prefix that covers amount plus the
    // one-output fee; change only above the dust limit. The payment's output is sized by
    // `paymentOutputVBytes` (a P2WSH or P2TR output is 12 vB more than a P2WPKH one, and a
    // fee that counted 31 would pay less than the rate); change is P2WPKH. The first
    // `required` coins are taken first, in their order, whatever their size (the coins of a
    // payment this one must conflict with). Throws CoinSelectionError.
    static CoinSelectionResult select(const std::vector<UTXO>& utxos, std::uint64_t amount,
                                      std::uint64_t feeRate,
                                      std::uint64_t paymentOutputVBytes = kP2WPKHOutputVBytes,
                                      std::size_t required = 0);

    // Spends every coin to one payment output at `feeRate`, sized as select() sizes it.
    // Throws CoinSelectionError: noUTXOs, or insufficientFunds when the amount left would be
    // the dust limit or less (needed: the fee plus the smallest amount above it).
    static SpendAllResult spendAll(const std::vector<UTXO>& utxos, std::uint64_t feeRate,
                                   std::uint64_t paymentOutputVBytes = kP2WPKHOutputVBytes);
};

} // namespace qm
