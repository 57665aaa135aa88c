#pragma once
// What a node's word on a transaction of an EVM sender is worth: only a transaction signed by
// the sender's key, over its own fields, for the chain, proves that the sender used a nonce.
// The node's claims (its hash, sender, nonce) are only checked against what the signed fields
// say; the hash is worked out here. Only type 2, the form the wallet signs, is read: any other
// proves nothing.

#include "platform/Bytes.h"

#include <cstdint>
#include <optional>

namespace qm {

struct ETHNodeTransaction;

// The hash of `transaction`, worked out from its fields, when it is of type 2 for chain
// `chainID` at `nonce`, signed by `sender`'s key (20 bytes), and the node's claims of its hash,
// sender and nonce agree; none otherwise.
std::optional<Bytes> provenHash(const ETHNodeTransaction& transaction, std::uint64_t chainID,
                                ByteView sender, std::uint64_t nonce);

} // namespace qm
