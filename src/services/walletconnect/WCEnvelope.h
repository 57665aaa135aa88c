#pragma once
// The cryptography of the WalletConnect transport: X25519 key agreement to a symmetric key,
// the type 0 and type 1 ChaCha20-Poly1305 envelopes, the topic of a key, the Base64 text an
// envelope travels as, and the identifiers of the messages the wallet starts.
//
// Type 0: 0x00 | nonce 12 | ciphertext | tag 16.
// Type 1: 0x01 | sender's X25519 public key 32 | nonce 12 | ciphertext | tag 16.
// No associated data. Stateless; any thread.

#include "platform/Bytes.h"
#include "platform/SecureBytes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qm {

inline constexpr std::size_t kType0EnvelopeMinSize = 1 + 12 + 1 + 16;
inline constexpr std::size_t kType1EnvelopeMinSize = 1 + 32 + 12 + 1 + 16;

// X25519 of our private key and the peer's public key (32 raw bytes each), then HKDF-SHA256
// with empty salt and info to 32 bytes. Throws CryptoError: invalidKeySize for a key that is not
// 32 bytes, keyAgreementFailed for a peer key that gives no shared secret (a low-order point).
SecureBytes deriveSymmetricKey(ByteView privateKey, ByteView peerPublicKey);

// The plaintext of a type 0 envelope. Throws WCError::cryptoError("Invalid Type 0 envelope") for
// fewer than 30 bytes or another type byte (the length is tested first), CryptoError
// authenticationFailed when the box does not open under `key`, invalidKeySize for a key that is
// not 32 bytes.
Bytes openType0Envelope(ByteView envelope, ByteView key);

struct WCType1Contents {
    Bytes senderPublicKey; // 32 bytes, as the envelope carries them
    Bytes plaintext;
};

// The sender's key and the plaintext of a type 1 envelope, opened with `key` as given (nothing
// is derived from the sender's key). Throws WCError::cryptoError("Invalid Type 1 envelope") for
// fewer than 62 bytes or another type byte; otherwise as openType0Envelope.
WCType1Contents openType1Envelope(ByteView envelope, ByteView key);

// 0x00, then the plaintext sealed under `key` with a fresh random nonce.
Bytes sealType0Envelope(ByteView plaintext, ByteView key);
// 0x01, the sender public key exactly as given (no length check), then the plaintext sealed
// under `key` with a fresh random nonce.
Bytes sealType1Envelope(ByteView plaintext, ByteView key, ByteView senderPublicKey);

// The relay topic of a symmetric key: SHA-256 of the key in 64 lowercase hex digits.
std::string topicForKey(ByteView key);

// An envelope as the relay carries it: standard Base64 with padding, no line breaks.
std::string envelopeText(ByteView envelope);
// The envelope in such a text; absent unless it is strict Base64 of at least one byte.
std::optional<Bytes> envelopeFromText(std::string_view text);

// Milliseconds since 1970 times 1,000,000 plus a uniform random number below 1,000,000.
std::int64_t generateMessageId();

} // namespace qm
