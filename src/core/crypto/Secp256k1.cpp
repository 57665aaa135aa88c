#include "core/crypto/Secp256k1.h"

#include "platform/Crypto.h"

#include <array>
#include <secp256k1.h>
#include <secp256k1_recovery.h>

namespace qm {
namespace {

constexpr std::size_t kScalarSize = 32;
constexpr std::size_t kCompressedSize = 33;
constexpr std::size_t kUncompressedSize = 65;
constexpr std::size_t kMaxDERSize = 72;

const char* describe(Secp256k1Error::Code code) {
    switch (code) {
    case Secp256k1Error::Code::invalidSecretKey:
        return "Secp256k1: invalid secret key";
    case Secp256k1Error::Code::invalidPublicKey:
        return "Secp256k1: invalid public key";
    case Secp256k1Error::Code::signingFailed:
        return "Secp256k1: ECDSA signing failed";
    case Secp256k1Error::Code::serializationFailed:
        return "Secp256k1: serialization failed";
    case Secp256k1Error::Code::tweakFailed:
        return "Secp256k1: tweak operation failed";
    case Secp256k1Error::Code::contextRandomizationFailed:
        return "Secp256k1: context randomization failed";
    }
    return "Secp256k1: error";
}

[[noreturn]] void fail(Secp256k1Error::Code code) {
    throw Secp256k1Error(code);
}

// Checks the lengths shared by both signing operations, hash first.
void checkSigningInput(ByteView hash, ByteView privateKey) {
    if (hash.size() != kScalarSize) {
        fail(Secp256k1Error::Code::signingFailed);
    }
    if (privateKey.size() != kScalarSize) {
        fail(Secp256k1Error::Code::invalidSecretKey);
    }
}

} // namespace

Secp256k1Error::Secp256k1Error(Code code) : Error(describe(code)), code_(code) {}

Secp256k1& Secp256k1::shared() {
    // Never destroyed: callers on other threads may still use it while the process exits.
    static Secp256k1* const instance = new Secp256k1();
    return *instance;
}

Secp256k1::Secp256k1() {
    ctx_ = secp256k1_context_create(SECP256K1_CONTEXT_NONE);
    if (ctx_ == nullptr) {
        fatalError("secp256k1_context_create returned nil");
    }
    std::array<std::uint8_t, kScalarSize> seed{};
    try {
        crypto::randomFill(seed.data(), seed.size());
    } catch (const CryptoError&) {
        fatalError("SecRandomCopyBytes failed during secp256k1 context init");
    }
    const int randomized = secp256k1_context_randomize(ctx_, seed.data());
    wipe(seed.data(), seed.size());
    if (randomized != 1) {
        fatalError("secp256k1_context_randomize failed");
    }
}

Secp256k1::~Secp256k1() {
    secp256k1_context_destroy(ctx_);
}

Bytes Secp256k1::publicKey(ByteView privateKey, unsigned int flags, std::size_t size) const {
    if (privateKey.size() != kScalarSize) {
        fail(Secp256k1Error::Code::invalidSecretKey);
    }
    secp256k1_pubkey pubkey;
    if (secp256k1_ec_pubkey_create(ctx_, &pubkey, privateKey.data()) == 0) {
        fail(Secp256k1Error::Code::invalidSecretKey);
    }
    Bytes out(size);
    std::size_t length = out.size();
    if (secp256k1_ec_pubkey_serialize(ctx_, out.data(), &length, &pubkey, flags) != 1 ||
        length != size) {
        fail(Secp256k1Error::Code::serializationFailed);
    }
    return out;
}

Bytes Secp256k1::compressedPublicKey(ByteView privateKey) const {
    return publicKey(privateKey, SECP256K1_EC_COMPRESSED, kCompressedSize);
}

Bytes Secp256k1::uncompressedPublicKey(ByteView privateKey) const {
    return publicKey(privateKey, SECP256K1_EC_UNCOMPRESSED, kUncompressedSize);
}

void Secp256k1::privateKeyTweakAdd(SecureBytes& key, ByteView tweak) const {
    if (key.size() != kScalarSize || tweak.size() != kScalarSize) {
        fail(Secp256k1Error::Code::tweakFailed);
    }
    if (secp256k1_ec_seckey_tweak_add(ctx_, key.data(), tweak.data()) == 0) {
        fail(Secp256k1Error::Code::tweakFailed);
    }
}

void Secp256k1::publicKeyTweakAdd(Bytes& key, ByteView tweak) const {
    if (tweak.size() != kScalarSize) {
        fail(Secp256k1Error::Code::tweakFailed);
    }
    secp256k1_pubkey pubkey;
    if (key.empty() || secp256k1_ec_pubkey_parse(ctx_, &pubkey, key.data(), key.size()) != 1) {
        fail(Secp256k1Error::Code::invalidPublicKey);
    }
    if (secp256k1_ec_pubkey_tweak_add(ctx_, &pubkey, tweak.data()) == 0) {
        fail(Secp256k1Error::Code::tweakFailed);
    }
    const bool compressed = key.size() == kCompressedSize;
    Bytes out(compressed ? kCompressedSize : kUncompressedSize);
    std::size_t length = out.size();
    if (secp256k1_ec_pubkey_serialize(ctx_, out.data(), &length, &pubkey,
                                      compressed ? SECP256K1_EC_COMPRESSED
                                                 : SECP256K1_EC_UNCOMPRESSED) != 1 ||
        length != out.size()) {
        fail(Secp256k1Error::Code::serializationFailed);
    }
    key = std::move(out);
}

Bytes Secp256k1::signDER(ByteView hash, ByteView privateKey) const {
    checkSigningInput(hash, privateKey);
    secp256k1_ecdsa_signature signature;
    if (secp256k1_ecdsa_sign(ctx_, &signature, hash.data(), privateKey.data(), nullptr, nullptr) !=
        1) {
        fail(Secp256k1Error::Code::signingFailed);
    }
    Bytes der(kMaxDERSize);
    std::size_t length = der.size();
    if (secp256k1_ecdsa_signature_serialize_der(ctx_, der.data(), &length, &signature) == 0) {
        fail(Secp256k1Error::Code::serializationFailed);
    }
    der.resize(length);
    return der;
}

std::pair<Bytes, int> Secp256k1::signRecoverable(ByteView hash, ByteView privateKey) const {
    checkSigningInput(hash, privateKey);
    secp256k1_ecdsa_recoverable_signature signature;
    if (secp256k1_ecdsa_sign_recoverable(ctx_, &signature, hash.data(), privateKey.data(), nullptr,
                                         nullptr) != 1) {
        fail(Secp256k1Error::Code::signingFailed);
    }
    Bytes compact(64);
    int recoveryID = 0;
    secp256k1_ecdsa_recoverable_signature_serialize_compact(ctx_, compact.data(), &recoveryID,
                                                            &signature);
    return {std::move(compact), recoveryID};
}

bool Secp256k1::verifyDER(ByteView hash, ByteView der, ByteView publicKey) const {
    secp256k1_ecdsa_signature parsed;
    secp256k1_pubkey key;
    if (hash.size() != kScalarSize || der.empty() || publicKey.empty() ||
        secp256k1_ecdsa_signature_parse_der(ctx_, &parsed, der.data(), der.size()) != 1 ||
        secp256k1_ec_pubkey_parse(ctx_, &key, publicKey.data(), publicKey.size()) != 1) {
        return false;
    }
    // The library verifies low S only; consensus takes either.
    secp256k1_ecdsa_signature lowS;
    secp256k1_ecdsa_signature_normalize(ctx_, &lowS, &parsed);
    return secp256k1_ecdsa_verify(ctx_, &lowS, hash.data(), &key) == 1;
}

std::optional<Bytes> Secp256k1::recoverPublicKey(ByteView hash, ByteView signature,
                                                 int recoveryID) const {
    if (hash.size() != kScalarSize || signature.size() != 2 * kScalarSize || recoveryID < 0 ||
        recoveryID > 3) {
        return std::nullopt;
    }
    secp256k1_ecdsa_recoverable_signature recoverable;
    if (secp256k1_ecdsa_recoverable_signature_parse_compact(ctx_, &recoverable, signature.data(),
                                                            recoveryID) != 1) {
        return std::nullopt;
    }
    secp256k1_ecdsa_signature plain;
    secp256k1_ecdsa_recoverable_signature_convert(ctx_, &plain, &recoverable);
    // Returns 1 when it had to lower s.
    if (secp256k1_ecdsa_signature_normalize(ctx_, nullptr, &plain) == 1) {
        return std::nullopt;
    }
    secp256k1_pubkey pubkey;
    if (secp256k1_ecdsa_recover(ctx_, &pubkey, &recoverable, hash.data()) != 1) {
        return std::nullopt;
    }
    Bytes out(kUncompressedSize);
    std::size_t length = out.size();
    if (secp256k1_ec_pubkey_serialize(ctx_, out.data(), &length, &pubkey,
                                      SECP256K1_EC_UNCOMPRESSED) != 1 ||
        length != out.size()) {
        return std::nullopt;
    }
    return out;
}

} // namespace qm
