#pragma once
// What a transaction must pay to take the nonce of one a node's pool already holds: pools (geth,
// anvil) take it only when its fee cap and its tip are each at least a tenth above the held
// one's, else they refuse it as underpriced and keep the one they hold. The wallet's earlier
// attempts at a nonce are in the ledger with their signed bytes, so what a new signing that
// replaces them must pay is known before its review is shown.

#include "core/crypto/UInt256.h"
#include "core/model/Chain.h"
#include "services/evm/ETHSigner.h"
#include "state/flows/UnsettledAttempt.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace qm {

class AttemptLedger;

// The least fee cap and tip a replacement pays.
struct EVMFeeFloor {
    UInt256 maxFeePerGas;
    UInt256 maxPriorityFeePerGas;

    bool operator==(const EVMFeeFloor&) const = default;
};

// The floor over those of `attempts` that take `nonce`: each one's fee cap and tip plus a tenth
// (rounded down) plus 1 wei, the highest of each. None when none takes the nonce or none's bytes
// can be read as the transaction its id names (namedEVMBytes).
std::optional<EVMFeeFloor> replacementFloor(const std::vector<UnsettledAttempt>& attempts,
                                            std::uint64_t nonce);

// The floor of the attempts of `account` on `chain` in `ledger` at `nonce`.
std::optional<EVMFeeFloor> replacementFloor(const AttemptLedger& ledger, Chain chain,
                                            std::string_view account, std::uint64_t nonce);

// Whether a pool holding one of `attempts` at the nonce of `transaction` takes it: it is one of
// them (the same fields sign to the same bytes, which the pool holds already), or it pays the
// floor of that nonce.
bool paysReplacement(const ETHTransaction& transaction,
                     const std::vector<UnsettledAttempt>& attempts);

// `maxFeePerGas` and `maxPriorityFeePerGas` raised to `floor` where below it (nothing without
// one), the tip never above the fee cap.
void raiseToFloor(UInt256& maxFeePerGas, UInt256& maxPriorityFeePerGas,
                  const std::optional<EVMFeeFloor>& floor);

} // namespace qm
