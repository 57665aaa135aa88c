#pragma once
// Solana keys: SLIP-10 derivation of Ed25519 keys from the BIP-39 seed (hardened
// children only) and Ed25519 signing over the platform's implementation.

#include "platform/Bytes.h"
#include "platform/Error.h"
#include "platform/SecureBytes.h"

#include <cstdint>

namespace qm {

class Ed25519Error : public Error {
public:
    enum class Code { invalidKeyLength, invalidSignatureLength, signingFailed, verificationFailed };
    explicit Ed25519Error(Code code);
    Code code() const { return code_; }
    bool operator==(const Ed25519Error& other) const { return code_ == other.code_; }

private:
    Code code_;
};

// A SLIP-10 node: 32-byte key and 32-byte chain code.
struct Slip10Key {
    SecureBytes key;
    SecureBytes chainCode;
};

// HMAC-SHA512("ed25519 seed", seed). The seed must be 64 bytes: anything else is a broken
// caller and stops the process.
Slip10Key slip10Ed25519MasterKey(ByteView seed);
// The hardened child at `index`. A key or chain code that is not 32 bytes, or an index below
// 0x80000000, is a broken caller and stops the process.
Slip10Key slip10Ed25519HardenedChild(ByteView key, ByteView chainCode, std::uint32_t index);

// The 64-byte RFC 8032 signature of the message under a raw 32-byte private key.
// Throws Ed25519Error::invalidKeyLength or Ed25519Error::signingFailed.
Bytes ed25519Sign(ByteView message, ByteView privateKey);

// The Solana System Program identifier (32 zero bytes), decoded once from its Base58 text.
const Bytes& systemProgramID();

} // namespace qm
