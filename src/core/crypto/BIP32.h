#pragma once
// BIP-32 hierarchical deterministic derivation of secp256k1 keys (Bitcoin and the
// EVM chains): master key of a seed, hardened and normal children, fingerprints.
// Extended keys are never serialised.

#include "platform/Bytes.h"
#include "platform/Error.h"
#include "platform/SecureBytes.h"

#include <cstdint>

namespace qm {

class BIP32Error : public Error {
public:
    enum class Code { invalidSeed, invalidChildIndex, derivationFailed, hardenedPublicKey };
    explicit BIP32Error(Code code);
    Code code() const { return code_; }
    bool operator==(const BIP32Error& other) const { return code_ == other.code_; }

private:
    Code code_;
};

// Indices from here up are hardened.
inline constexpr std::uint32_t kHardenedIndex = 0x80000000u;

struct ExtendedKey {
    SecureBytes key; // 32-byte private key, or a serialised public key when !isPrivate
    Bytes chainCode; // 32 bytes
    std::uint8_t depth = 0;
    std::uint32_t parentFingerprint = 0;
    std::uint32_t childIndex = 0; // hardened bit included
    bool isPrivate = true;

    ExtendedKey clone() const {
        return {key.clone(), chainCode, depth, parentFingerprint, childIndex, isPrivate};
    }
};

struct BIP32 {
    // Private master key: HMAC-SHA512("Bitcoin seed", seed). Never fails; a master key the
    // curve refuses makes the first derivation from it fail instead.
    static ExtendedKey masterKey(ByteView seed);
    // The child at `index` (hardened from kHardenedIndex up). Throws Secp256k1Error when the
    // parent key or the derived tweak is invalid, BIP32Error::hardenedPublicKey for a hardened
    // index under a public key, BIP32Error::derivationFailed below depth 255.
    static ExtendedKey deriveChild(const ExtendedKey& parent, std::uint32_t index);
    // The public branch of deriveChild (normal indices only).
    static ExtendedKey derivePublicChild(const ExtendedKey& parent, std::uint32_t index);
    // First 4 bytes of RIPEMD-160(SHA-256(publicKey)), big-endian.
    static std::uint32_t fingerprint(ByteView publicKey);
};

} // namespace qm
