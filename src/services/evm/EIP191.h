#pragma once
// EIP-191 personal messages ("personal_sign") and the 65-byte r | s | v signature form
// shared with typed data.

#include "platform/Bytes.h"

namespace qm {

// Keccak-256 of 0x19 "Ethereum Signed Message:\n", the decimal byte count, then the message.
Bytes personalMessageDigest(ByteView message);

// 65 bytes: r (32) | s (32) | recovery id + 27. Throws Secp256k1Error for a key that is
// not 32 bytes or not a valid secret key.
Bytes personalSign(ByteView message, ByteView privateKey);

// Signs a 32-byte digest into the 65-byte r | s | v form; throws as personalSign.
Bytes signDigestWithRecoveryByte(ByteView digest, ByteView privateKey);

} // namespace qm
