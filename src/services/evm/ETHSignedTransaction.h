#pragma once
// A type-2 transaction with its signature, as a node reports one that it holds or as the wallet
// stored one it signed: what it is worth as evidence is worked out here, from its own fields,
// never from what the node says of it (its hash, its sender).

#include "core/crypto/UInt256.h"
#include "platform/Bytes.h"
#include "services/evm/ETHSigner.h"

#include <cstdint>
#include <optional>

namespace qm {

struct ETHSignedTransaction {
    // The signed bytes `wire` (0x02 and the RLP list of the nine fields, yParity, r and s) read
    // back; none unless they are exactly what encode() writes of what they say.
    static std::optional<ETHSignedTransaction> decode(ByteView wire);

    ETHTransaction fields;
    // As the node gave it: a valid signature has 0 or 1.
    std::uint64_t yParity = 0;
    UInt256 r;
    UInt256 s;

    // The signed bytes (ETHTransaction::encodeSigned); yParity is taken modulo 256, so only
    // worth anything once signer() has vouched for the signature.
    Bytes encode() const;
    // Keccak-256 of encode(): the transaction's hash.
    Bytes hash() const;
    // The 20-byte address whose key signed the fields; none when yParity is not 0 or 1, r or s
    // is zero, not below the group order, or s above half of it (the chains refuse that form,
    // and it is the mirror anyone can make of a genuine signature), or no key recovers.
    std::optional<Bytes> signer() const;
};

} // namespace qm
