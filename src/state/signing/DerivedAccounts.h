#pragma once
// What opening the seed gives the window: the public side of the five accounts. No key or
// seed byte is in here; those stay with the signer.

#include "core/crypto/BIP32.h"
#include "platform/Bytes.h"
#include "state/BTCAccountState.h"
#include "state/SolanaAccountState.h"
#include "state/WalletRecord.h"

#include <optional>
#include <string>

namespace qm {

struct DerivedAccounts {
    // The first Bitcoin account with the receive addresses at `indices`; none when its
    // derivation failed or its first address is not index 0.
    std::optional<BTCAccountState> bitcoin;
    BTCAddressIndices indices;
    // The EVM address (EIP-55) shared by Ethereum, Arbitrum and Polygon.
    std::optional<std::string> evmAddress;
    std::optional<SolanaAccountState> solana;
};

// The accounts of the 64-byte seed whose master key is `master`. Never throws: a chain whose
// derivation fails is left out (and logged).
DerivedAccounts deriveAccounts(ByteView seed, const ExtendedKey& master,
                               const BTCAddressIndices& indices);

} // namespace qm
