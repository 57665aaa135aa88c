#pragma once
// The name under which an Electrum server indexes an output script, and a native SegWit
// (P2WPKH) address.

#include "platform/Bytes.h"

#include <string>

namespace qm {

// SHA-256 of the P2WPKH script 0x00 0x14 hash160(key), bytes reversed, as 64 lowercase hex
// digits. The key must be a 33-byte compressed public key; any other length is a
// programming error and stops the process.
std::string electrumScriptHash(ByteView compressedPublicKey);

// SHA-256 of `script`, bytes reversed, as 64 lowercase hex digits.
std::string electrumScriptHashOfScript(ByteView script);

// hash160: RIPEMD-160 of SHA-256.
Bytes hash160(ByteView data);

} // namespace qm
