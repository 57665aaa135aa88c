#include "state/flows/EVMReplacementFee.h"

#include "services/evm/ETHSignedTransaction.h"
#include "state/flows/AttemptLedger.h"

#include <algorithm>

namespace qm {
namespace {

// What a pool asks over `held`: a tenth more, and never the same (a tenth of a few wei is none).
UInt256 bumped(const UInt256& held) {
    const UInt256 tenth = held.dividedWithRemainder(UInt256(0, 0, 0, 10)).value().first;
    const std::optional<UInt256> sum = held.checkedAdd(tenth);
    // Past 2^256 no pool takes it anyway: the bounds refuse such a fee before it is shown.
    return (sum ? sum->checkedAdd(UInt256(0, 0, 0, 1)) : std::nullopt).value_or(UInt256::max());
}

// The stored attempt's signed fields when they take `nonce`. Only bytes that are the transaction
// its id names: a pool holds that one, and fees read from altered bytes could ask any sum.
std::optional<ETHTransaction> fieldsAt(const UnsettledAttempt& attempt, std::uint64_t nonce) {
    if (attempt.nonce != nonce) {
        return std::nullopt;
    }
    const std::optional<Bytes> wire = namedEVMBytes(attempt);
    const std::optional<ETHSignedTransaction> read =
        wire ? ETHSignedTransaction::decode(*wire) : std::nullopt;
    if (!read || read->fields.nonce != nonce) {
        return std::nullopt;
    }
    return read->fields;
}

} // namespace

std::optional<EVMFeeFloor> replacementFloor(const std::vector<UnsettledAttempt>& attempts,
                                            std::uint64_t nonce) {
    std::optional<EVMFeeFloor> floor;
    for (const UnsettledAttempt& attempt : attempts) {
        const std::optional<ETHTransaction> held = fieldsAt(attempt, nonce);
        if (!held) {
            continue;
        }
        const EVMFeeFloor over{bumped(held->maxFeePerGas), bumped(held->maxPriorityFeePerGas)};
        if (!floor) {
            floor = over;
            continue;
        }
        floor->maxFeePerGas = std::max(floor->maxFeePerGas, over.maxFeePerGas);
        floor->maxPriorityFeePerGas =
            std::max(floor->maxPriorityFeePerGas, over.maxPriorityFeePerGas);
    }
    return floor;
}

std::optional<EVMFeeFloor> replacementFloor(const AttemptLedger& ledger, Chain chain,
                                            std::string_view account, std::uint64_t nonce) {
    return replacementFloor(ledger.of(chain, account), nonce);
}

bool paysReplacement(const ETHTransaction& transaction,
                     const std::vector<UnsettledAttempt>& attempts) {
    const Bytes fields = transaction.encodeUnsigned();
    const bool same = std::any_of(attempts.begin(), attempts.end(), [&](const auto& attempt) {
        const std::optional<ETHTransaction> held = fieldsAt(attempt, transaction.nonce);
        return held && held->encodeUnsigned() == fields;
    });
    if (same) {
        return true;
    }
    const std::optional<EVMFeeFloor> floor = replacementFloor(attempts, transaction.nonce);
    return !floor || (!(transaction.maxFeePerGas < floor->maxFeePerGas) &&
                      !(transaction.maxPriorityFeePerGas < floor->maxPriorityFeePerGas));
}

void raiseToFloor(UInt256& maxFeePerGas, UInt256& maxPriorityFeePerGas,
                  const std::optional<EVMFeeFloor>& floor) {
    if (!floor) {
        return;
    }
    maxFeePerGas = std::max(maxFeePerGas, floor->maxFeePerGas);
    // A tip above the cap makes the transaction invalid.
    maxPriorityFeePerGas =
        std::min(std::max(maxPriorityFeePerGas, floor->maxPriorityFeePerGas), maxFeePerGas);
}

} // namespace qm
