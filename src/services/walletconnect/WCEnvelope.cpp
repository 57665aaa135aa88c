#include "services/walletconnect/WCEnvelope.h"

#include "core/encoding/Base64.h"
#include "core/encoding/Hex.h"
#include "platform/Crypto.h"
#include "services/walletconnect/WCError.h"

#include <chrono>

namespace qm {
namespace {

constexpr std::uint8_t kType0 = 0x00;
constexpr std::uint8_t kType1 = 0x01;
constexpr std::size_t kPublicKeySize = 32;

Bytes openBox(ByteView box, ByteView key) {
    auto plain = crypto::chachaPolyOpen(key, box);
    if (!plain) {
        throw CryptoError(CryptoError::Code::authenticationFailed,
                          "ChaChaPoly: authentication failed");
    }
    return Bytes(plain->begin(), plain->end());
}

Bytes sealWithHeader(ByteView header, ByteView plaintext, ByteView key) {
    const Bytes box = crypto::chachaPolySeal(key, plaintext);
    return concat(header, box);
}

} // namespace

SecureBytes deriveSymmetricKey(ByteView privateKey, ByteView peerPublicKey) {
    if (privateKey.size() != 32 || peerPublicKey.size() != kPublicKeySize) {
        throw CryptoError(CryptoError::Code::invalidKeySize, "Curve25519: invalid key size");
    }
    const auto shared = crypto::x25519SharedSecret(privateKey, peerPublicKey);
    if (!shared) {
        throw CryptoError(CryptoError::Code::keyAgreementFailed,
                          "Curve25519: key agreement failed");
    }
    return crypto::hkdfSha256(*shared, {}, {}, 32);
}

Bytes openType0Envelope(ByteView envelope, ByteView key) {
    if (envelope.size() < kType0EnvelopeMinSize || envelope[0] != kType0) {
        throw WCError::cryptoError("Invalid Type 0 envelope");
    }
    return openBox(envelope.subspan(1), key);
}

WCType1Contents openType1Envelope(ByteView envelope, ByteView key) {
    if (envelope.size() < kType1EnvelopeMinSize || envelope[0] != kType1) {
        throw WCError::cryptoError("Invalid Type 1 envelope");
    }
    WCType1Contents out;
    const ByteView sender = envelope.subspan(1, kPublicKeySize);
    out.senderPublicKey.assign(sender.begin(), sender.end());
    out.plaintext = openBox(envelope.subspan(1 + kPublicKeySize), key);
    return out;
}

Bytes sealType0Envelope(ByteView plaintext, ByteView key) {
    const std::uint8_t header[] = {kType0};
    return sealWithHeader(header, plaintext, key);
}

Bytes sealType1Envelope(ByteView plaintext, ByteView key, ByteView senderPublicKey) {
    Bytes header{kType1};
    header.insert(header.end(), senderPublicKey.begin(), senderPublicKey.end());
    return sealWithHeader(header, plaintext, key);
}

std::string topicForKey(ByteView key) {
    return bytesToPlainHex(crypto::sha256(key));
}

std::string envelopeText(ByteView envelope) {
    return base64Encode(envelope);
}

std::optional<Bytes> envelopeFromText(std::string_view text) {
    auto bytes = base64Decode(text);
    if (!bytes || bytes->empty()) {
        return std::nullopt;
    }
    return bytes;
}

std::int64_t generateMessageId() {
    using namespace std::chrono;
    const std::int64_t millis =
        duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    // Uniform below 1,000,000: draws of 20 bits above the limit are drawn again.
    std::uint32_t random = 0;
    do {
        std::uint8_t bytes[3];
        crypto::randomFill(bytes, sizeof bytes);
        random = (std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
                  std::uint32_t{bytes[2]} << 16) &
                 0xFFFFF;
    } while (random >= 1'000'000);
    return millis * 1'000'000 + random;
}

} // namespace qm
