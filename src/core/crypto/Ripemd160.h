#pragma once
// RIPEMD-160 (Dobbertin, Bosselaers, Preneel), used after SHA-256 for Bitcoin's
// hash160: key hashes, Electrum script hashes and BIP-32 fingerprints.

#include "platform/Bytes.h"

namespace qm {

// RIPEMD-160 of `data` (any length, including empty): 20 bytes. `data` is not changed.
Bytes ripemd160(ByteView data);

} // namespace qm
