#pragma once
// The one gateway to secp256k1 (Bitcoin and the EVM chains), over libsecp256k1.
// One library context serves the whole process; it is randomised once against
// side channels when first used. Keys, hashes and signatures are plain bytes;
// nothing here keeps a key.

#include "platform/Bytes.h"
#include "platform/Error.h"
#include "platform/SecureBytes.h"

#include <cstddef>
#include <optional>
#include <utility>

struct secp256k1_context_struct;

namespace qm {

class Secp256k1Error : public Error {
public:
    enum class Code {
        invalidSecretKey,
        invalidPublicKey,
        signingFailed,
        serializationFailed,
        tweakFailed,
        contextRandomizationFailed,
    };
    explicit Secp256k1Error(Code code);
    Code code() const { return code_; }
    bool operator==(const Secp256k1Error& other) const { return code_ == other.code_; }

private:
    Code code_;
};

class Secp256k1 final {
public:
    // The process's instance, created on first use (thread-safe) and never released.
    // A context that cannot be created or randomised stops the process.
    static Secp256k1& shared();

    Secp256k1(const Secp256k1&) = delete;
    Secp256k1& operator=(const Secp256k1&) = delete;

    // 33 bytes (0x02/0x03, X). Throws invalidSecretKey for a key that is not 32 bytes,
    // zero or not below the group order.
    Bytes compressedPublicKey(ByteView privateKey) const;
    // 65 bytes (0x04, X, Y); fails as compressedPublicKey.
    Bytes uncompressedPublicKey(ByteView privateKey) const;

    // key = (key + tweak) mod n. Throws tweakFailed for a key or tweak that is not 32 bytes,
    // an invalid key or tweak, or a zero sum; the key's content is then unspecified and the
    // caller must discard it.
    void privateKeyTweakAdd(SecureBytes& key, ByteView tweak) const;
    // key = key + tweak*G, in the form given (33 bytes stay compressed, 65 bytes come back
    // uncompressed). Throws tweakFailed (tweak not 32 bytes, or an invalid tweak or result),
    // invalidPublicKey (unparseable key) or serializationFailed; the key is then unchanged.
    void publicKeyTweakAdd(Bytes& key, ByteView tweak) const;

    // Deterministic (RFC 6979) low-S ECDSA signature, DER-encoded (at most 72 bytes).
    // Throws signingFailed for a hash that is not 32 bytes or a key the library refuses,
    // invalidSecretKey for a key that is not 32 bytes.
    Bytes signDER(ByteView hash, ByteView privateKey) const;
    // Deterministic low-S signature as 64 bytes r | s plus the recovery identifier (0-3);
    // fails as signDER.
    std::pair<Bytes, int> signRecoverable(ByteView hash, ByteView privateKey) const;
    // The 65-byte uncompressed public key (0x04, X, Y) whose key signed `hash` (32 bytes) with
    // `signature`, 64 bytes r | s, and `recoveryID` (0-3). None for other lengths or ids, r or s
    // zero or not below the group order, s above half the order (the form signRecoverable
    // never makes: its mirror would be a second signature of the same hash), or no key.
    std::optional<Bytes> recoverPublicKey(ByteView hash, ByteView signature, int recoveryID) const;

    // Whether `der`, an ECDSA signature in strict DER (the only form Bitcoin's consensus takes
    // since BIP-66), signs the 32-byte `hash` with `publicKey` (33 or 65 bytes). A high S
    // counts as its low twin, as consensus takes it. False, never a throw, for anything that
    // does not parse.
    bool verifyDER(ByteView hash, ByteView der, ByteView publicKey) const;

private:
    Secp256k1();
    ~Secp256k1();

    Bytes publicKey(ByteView privateKey, unsigned int flags, std::size_t size) const;

    secp256k1_context_struct* ctx_ = nullptr;
};

} // namespace qm
