#include "core/crypto/Ed25519.h"

#include "core/crypto/Base58.h"
#include "platform/Crypto.h"

#include <algorithm>
#include <utility>

namespace qm {
namespace {

constexpr std::size_t kKeySize = 32;
constexpr std::size_t kSeedSize = 64;
constexpr std::uint32_t kHardenedBit = 0x80000000u;

const char* describe(Ed25519Error::Code code) {
    switch (code) {
    case Ed25519Error::Code::invalidKeyLength:
        return "Ed25519 key must be exactly 32 bytes.";
    case Ed25519Error::Code::invalidSignatureLength:
        return "Ed25519 signature must be exactly 64 bytes.";
    case Ed25519Error::Code::signingFailed:
        return "Ed25519 signing operation failed.";
    case Ed25519Error::Code::verificationFailed:
        return "Ed25519 signature verification failed.";
    }
    return "Ed25519 error.";
}

const Bytes& slip10Ed25519CurveKey() {
    static const Bytes key = [] {
        const ByteView text = utf8View("ed25519 seed");
        return Bytes(text.begin(), text.end());
    }();
    return key;
}

Slip10Key split(const SecureBytes& i) {
    return {SecureBytes(i.view().first(kKeySize)), SecureBytes(i.view().subspan(kKeySize))};
}

} // namespace

Ed25519Error::Ed25519Error(Code code) : Error(describe(code)), code_(code) {}

Slip10Key slip10Ed25519MasterKey(ByteView seed) {
    if (seed.size() != kSeedSize) {
        fatalError("");
    }
    return split(crypto::hmacSha512(slip10Ed25519CurveKey(), seed));
}

Slip10Key slip10Ed25519HardenedChild(ByteView key, ByteView chainCode, std::uint32_t index) {
    if (key.size() != kKeySize || chainCode.size() != kKeySize || index < kHardenedBit) {
        fatalError("");
    }
    SecureBytes data(1 + kKeySize + 4);
    data[0] = 0;
    std::copy(key.begin(), key.end(), data.begin() + 1);
    data[33] = static_cast<std::uint8_t>(index >> 24);
    data[34] = static_cast<std::uint8_t>(index >> 16);
    data[35] = static_cast<std::uint8_t>(index >> 8);
    data[36] = static_cast<std::uint8_t>(index);
    return split(crypto::hmacSha512(chainCode, data));
}

Bytes ed25519Sign(ByteView message, ByteView privateKey) {
    if (privateKey.size() != kKeySize) {
        throw Ed25519Error(Ed25519Error::Code::invalidKeyLength);
    }
    Bytes signature;
    try {
        signature = crypto::ed25519Sign(message, privateKey);
    } catch (const CryptoError& error) {
        throw Ed25519Error(error.code() == CryptoError::Code::invalidKeySize
                               ? Ed25519Error::Code::invalidKeyLength
                               : Ed25519Error::Code::signingFailed);
    }
    if (signature.size() != 64) {
        throw Ed25519Error(Ed25519Error::Code::signingFailed);
    }
    return signature;
}

const Bytes& systemProgramID() {
    static const Bytes id = [] {
        auto decoded = base58Decode("11111111111111111111111111111111");
        if (!decoded || decoded->size() != kKeySize) {
            fatalError("");
        }
        return std::move(*decoded);
    }();
    return id;
}

} // namespace qm
