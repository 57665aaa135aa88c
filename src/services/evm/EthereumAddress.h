#pragma once
// EVM account addresses: the EIP-55 mixed-case text of 20 address bytes, and the address of a
// secp256k1 public key.

#include "platform/Bytes.h"

#include <optional>
#include <string>
#include <string_view>

namespace qm {

// "0x" and the 40 hex digits of `address`, letters upper-cased where the Keccak-256 of the
// lowercase digits has a nibble of 8 or more (EIP-55). `address` must be 20 bytes; any other
// length stops the process (callers pass checked or derived addresses only).
std::string eip55Checksum(ByteView address);

// The EIP-55 address of an uncompressed secp256k1 public key: 65 bytes starting with 0x04, or
// the 64 bytes without it. Any other key stops the process (keys come from our own derivation).
std::string ethereumAddress(ByteView publicKey);

// The 20 bytes of an address as a user types it: "0x" or "0X" and exactly 40 hexadecimal
// digits in any letter case (an EIP-55 checksum is not tested); none for anything else.
std::optional<Bytes> ethereumAddressBytes(std::string_view text);

} // namespace qm
