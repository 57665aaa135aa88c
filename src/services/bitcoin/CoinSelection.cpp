#include "services/bitcoin/CoinSelection.h"

#include "core/encoding/AsciiCase.h"

#include <algorithm>
#include <limits>
#include <unordered_set>

namespace qm {

namespace {

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

std::uint64_t addSaturating(std::uint64_t a, std::uint64_t b) {
    std::uint64_t sum = 0;
    return __builtin_add_overflow(a, b, &sum) ? kMax : sum;
}

std::uint64_t mulSaturating(std::uint64_t a, std::uint64_t b) {
    std::uint64_t product = 0;
    return __builtin_mul_overflow(a, b, &product) ? kMax : product;
}

// The fee of `inputs` inputs and `outputs` outputs, the payment sized by its own script.
std::uint64_t feeWithPayment(std::uint64_t inputs, std::uint64_t outputs, std::uint64_t feeRate,
                             std::uint64_t paymentOutputVBytes) {
    // The payment's bytes beyond the 31 that fee() counts for it.
    const std::uint64_t extra =
        mulSaturating(paymentOutputVBytes > CoinSelection::kP2WPKHOutputVBytes
                          ? paymentOutputVBytes - CoinSelection::kP2WPKHOutputVBytes
                          : 0,
                      feeRate);
    return addSaturating(CoinSelection::fee(inputs, outputs, feeRate), extra);
}

} // namespace

CoinSelectionError CoinSelectionError::insufficientFunds(std::uint64_t available,
                                                         std::uint64_t needed) {
    return {Code::insufficientFunds,
            "Insufficient funds: " + std::to_string(available) + " sats available, " +
                std::to_string(needed) + " sats needed (including fee).",
            available, needed};
}

CoinSelectionError CoinSelectionError::noUTXOs() {
    return {Code::noUTXOs, "No UTXOs available for spending.", 0, 0};
}

CoinSelectionError CoinSelectionError::impossibleCoins(const std::string& why) {
    return {Code::impossibleCoins, "The server's list of coins cannot be right: " + why + ".", 0,
            0};
}

void CoinSelection::checkCoins(const std::vector<UTXO>& utxos) {
    std::unordered_set<std::string> outpoints;
    std::uint64_t total = 0;
    for (const UTXO& utxo : utxos) {
        std::string outpoint = lowercaseASCII(utxo.txHash) + ':' + std::to_string(utxo.outputIndex);
        if (utxo.value > kMaxMoney) {
            throw CoinSelectionError::impossibleCoins("the coin " + outpoint +
                                                      " holds more than 21,000,000 BTC");
        }
        if (!outpoints.insert(outpoint).second) {
            throw CoinSelectionError::impossibleCoins("the coin " + outpoint + " is listed twice");
        }
        total += utxo.value; // both at most kMaxMoney: no overflow
        if (total > kMaxMoney) {
            throw CoinSelectionError::impossibleCoins(
                "its coins add up to more than 21,000,000 BTC");
        }
    }
}

std::uint64_t CoinSelection::fee(std::uint64_t inputs, std::uint64_t outputs,
                                 std::uint64_t feeRate) {
    const std::uint64_t size =
        addSaturating(addSaturating(11, mulSaturating(68, inputs)), mulSaturating(31, outputs));
    return mulSaturating(size, feeRate);
}

CoinSelectionResult CoinSelection::select(const std::vector<UTXO>& utxos, std::uint64_t amount,
                                          std::uint64_t feeRate, std::uint64_t paymentOutputVBytes,
                                          std::size_t required) {
    if (utxos.empty()) {
        throw CoinSelectionError::noUTXOs();
    }
    const auto feeFor = [&](std::uint64_t inputs, std::uint64_t outputs) {
        return feeWithPayment(inputs, outputs, feeRate, paymentOutputVBytes);
    };
    required = std::min(required, utxos.size());
    std::vector<UTXO> sorted = utxos;
    std::stable_sort(sorted.begin() + static_cast<std::ptrdiff_t>(required), sorted.end(),
                     [](const UTXO& a, const UTXO& b) { return a.value > b.value; });

    CoinSelectionResult result;
    std::uint64_t total = 0;
    bool covered = false;
    for (const auto& utxo : sorted) {
        result.utxos.push_back(utxo);
        total = addSaturating(total, utxo.value);
        const std::uint64_t needed = addSaturating(amount, feeFor(result.utxos.size(), 1));
        // A saturated need is beyond any total.
        if (result.utxos.size() >= required && needed != kMax && total >= needed) {
            covered = true;
            break;
        }
    }
    if (!covered) {
        throw CoinSelectionError::insufficientFunds(
            total, addSaturating(amount, feeFor(sorted.size(), 1)));
    }
    const std::uint64_t feeTwo = feeFor(result.utxos.size(), 2);
    const std::uint64_t neededTwo = addSaturating(amount, feeTwo);
    if (neededTwo != kMax && total >= neededTwo && total - neededTwo > kDustLimit) {
        result.fee = feeTwo;
        result.change = total - neededTwo;
    } else {
        // No change output: the whole remainder goes to the fee.
        result.fee = total - amount;
    }
    return result;
}

SpendAllResult CoinSelection::spendAll(const std::vector<UTXO>& utxos, std::uint64_t feeRate,
                                       std::uint64_t paymentOutputVBytes) {
    if (utxos.empty()) {
        throw CoinSelectionError::noUTXOs();
    }
    SpendAllResult result;
    result.utxos = utxos;
    for (const UTXO& utxo : utxos) {
        result.total = addSaturating(result.total, utxo.value);
    }
    result.fee = feeWithPayment(utxos.size(), 1, feeRate, paymentOutputVBytes);
    const std::uint64_t needed = addSaturating(result.fee, kDustLimit + 1);
    // A saturated total or need is no amount anyone could have seen.
    if (result.total == kMax || needed == kMax || result.total < needed) {
        throw CoinSelectionError::insufficientFunds(result.total, needed);
    }
    result.amount = result.total - result.fee;
    return result;
}

} // namespace qm
