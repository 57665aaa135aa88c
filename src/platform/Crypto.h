#pragma once
// Our thin layer over OpenSSL 3 for the hashes, MACs, key derivation, sealed
// boxes, Curve25519 and randomness the wallet needs. Every OpenSSL call is
// checked; a failure that normal use cannot cause throws CryptoError.

#include "platform/Bytes.h"
#include "platform/Error.h"
#include "platform/SecureBytes.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace qm {

class CryptoError : public Error {
public:
    enum class Code {
        openSSLFailure,
        invalidKeySize,
        invalidNonceSize,
        randomFailure,
        // Raised by callers that need a failed opening or key agreement as an error.
        authenticationFailed,
        keyAgreementFailed
    };
    CryptoError(Code code, const char* what) : Error(what), code_(code) {}
    Code code() const { return code_; }

private:
    Code code_;
};

namespace crypto {

inline constexpr std::size_t kSealNonceSize = 12;
inline constexpr std::size_t kSealTagSize = 16;
inline constexpr std::size_t kSealKeySize = 32;

Bytes sha256(ByteView data);
Bytes sha512(ByteView data);
// RIPEMD-160 of OpenSSL, kept as an independent reference for our own.
Bytes opensslRipemd160(ByteView data);
// SHA3-256 of OpenSSL (padding 0x06): only a speed reference, never Keccak-256.
Bytes opensslSha3_256(ByteView data);

SecureBytes hmacSha512(ByteView key, ByteView data);
SecureBytes hmacSha256(ByteView key, ByteView data);
// PBKDF2 with HMAC-SHA512; `length` bytes of output.
SecureBytes pbkdf2HmacSha512(ByteView password, ByteView salt, std::uint32_t iterations,
                             std::size_t length);
// HKDF-SHA256 (extract and expand) to `length` bytes.
SecureBytes hkdfSha256(ByteView inputKey, ByteView salt, ByteView info, std::size_t length);

// ChaCha20-Poly1305 in the combined form: nonce 12 | ciphertext | tag 16.
// A random nonce is drawn unless one is given (tests and fixed vectors only).
Bytes chachaPolySeal(ByteView key, ByteView plaintext, ByteView aad = {},
                     std::optional<ByteView> nonce = std::nullopt);
// Opens a combined box; absent when the box is too short or fails authentication.
std::optional<SecureBytes> chachaPolyOpen(ByteView key, ByteView combined, ByteView aad = {});

// Ed25519 with raw 32-byte keys (RFC 8032).
Bytes ed25519PublicKey(ByteView privateKey);
Bytes ed25519Sign(ByteView message, ByteView privateKey);
bool ed25519Verify(ByteView signature, ByteView message, ByteView publicKey);

// X25519 with raw 32-byte keys; absent when the shared secret is all zeros (a low-order point).
Bytes x25519PublicKey(ByteView privateKey);
std::optional<SecureBytes> x25519SharedSecret(ByteView privateKey, ByteView peerPublicKey);

// Cryptographically secure random bytes from the operating system's generator.
Bytes randomBytes(std::size_t count);
void randomFill(std::uint8_t* out, std::size_t count);

// Constant-time equality.
bool constantTimeEqual(ByteView a, ByteView b);

} // namespace crypto
} // namespace qm
