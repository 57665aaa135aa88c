#pragma once
// The keys and addresses of the wallet's accounts along its fixed paths:
//   Bitcoin  m/84'/0'/0'/0/<i>   (BIP-32, P2WPKH "bc1q...")
//   EVM      m/44'/60'/0'/0/<i>  (BIP-32, EIP-55; Ethereum, Arbitrum and Polygon share it)
//   Solana   m/44'/501'/0'/0'    (SLIP-10 Ed25519, Base58 of the public key)
// Every function throws when a step fails (Secp256k1Error, BIP32Error, CryptoError).

#include "core/crypto/BIP32.h"
#include "core/model/Chain.h"
#include "platform/Bytes.h"
#include "platform/SecureBytes.h"
#include "state/BTCAccountState.h"

#include <cstdint>
#include <string>

namespace qm {

// "m/84'/0'/0'/0/" + index.
std::string bitcoinReceivePath(std::uint32_t index);

// The receive chain m/84'/0'/0'/0 of the master key.
ExtendedKey bitcoinReceiveChain(const ExtendedKey& master);
// The address at `index` of the receive chain, placed at `position` in the list; its balance
// is 0 and not yet fetched.
BTCAddressInfo bitcoinAddress(const ExtendedKey& receiveChain, std::uint32_t index,
                              std::int64_t position);

// The key m/44'/60'/0'/0/<index> of the master key.
ExtendedKey evmAccountKey(const ExtendedKey& master, std::uint32_t index);

// The Solana private key (the 32-byte Ed25519 seed) of a 64-byte BIP-39 seed; throws
// BIP32Error::invalidSeed for another length.
SecureBytes solanaPrivateKey(ByteView seed);

// The private key of account `index` on `chain`: the receive key at that index on Bitcoin,
// the EVM key at that index, or the one Solana key (the index is not used there). An index
// outside 0 ... 2^31 - 1 would name a hardened or non-existent child: BIP32Error
// invalidChildIndex.
SecureBytes accountPrivateKey(ByteView seed, Chain chain, std::int64_t index);

} // namespace qm
