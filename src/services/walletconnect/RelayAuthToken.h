#pragma once
// The token the WalletConnect relay admits a client with: a compact JWS (EdDSA over Ed25519)
// whose issuer is the did:key of a key pair made for this token alone. Nothing of it is kept.

#include <string>
#include <string_view>

namespace qm {

struct RelayAuthToken {
    std::string token;  // header.claims.signature, each base64url without padding
    std::string issuer; // "did:key:z" + Base58 of 0xED 0x01 and the Ed25519 public key
};

// A token for the relay at `audience` (its websocket origin, "wss://" and the host), valid for
// 24 hours from now, signed by a fresh Ed25519 key. Throws CryptoError when signing fails.
RelayAuthToken makeRelayAuthToken(std::string_view audience);

// Base64url without padding (RFC 7515).
std::string base64URLEncode(std::string_view bytes);

} // namespace qm
