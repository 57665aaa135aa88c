#include "state/AccountDerivation.h"

#include "core/crypto/Bech32.h"
#include "core/crypto/DerivationPath.h"
#include "core/crypto/Ed25519.h"
#include "core/crypto/Secp256k1.h"
#include "services/bitcoin/ElectrumScriptHash.h"

namespace qm {
namespace {

constexpr std::size_t bip39SeedSize = 64;

ExtendedKey walk(const ExtendedKey& start, const std::vector<std::uint32_t>& path) {
    ExtendedKey key = start.clone();
    for (const std::uint32_t index : path) {
        key = BIP32::deriveChild(key, index);
    }
    return key;
}

std::uint32_t normalChildIndex(std::int64_t index) {
    if (index < 0 || index >= static_cast<std::int64_t>(kHardenedIndex)) {
        throw BIP32Error(BIP32Error::Code::invalidChildIndex);
    }
    return static_cast<std::uint32_t>(index);
}

} // namespace

std::string bitcoinReceivePath(std::uint32_t index) {
    return "m/84'/0'/0'/0/" + std::to_string(index);
}

ExtendedKey bitcoinReceiveChain(const ExtendedKey& master) {
    return BIP32::deriveChild(walk(master, bitcoinAccountPath()), 0);
}

BTCAddressInfo bitcoinAddress(const ExtendedKey& receiveChain, std::uint32_t index,
                              std::int64_t position) {
    const ExtendedKey child = BIP32::deriveChild(receiveChain, normalChildIndex(index));
    BTCAddressInfo info;
    info.id = position;
    info.type = BTCAddressInfo::BTCAddressType::receive;
    info.derivationIndex = index;
    info.derivationPath = bitcoinReceivePath(index);
    info.compressedPublicKey = Secp256k1::shared().compressedPublicKey(child.key);
    info.address = segwitAddressEncode("bc", 0, hash160(info.compressedPublicKey));
    info.scriptHash = electrumScriptHash(info.compressedPublicKey);
    return info;
}

ExtendedKey evmAccountKey(const ExtendedKey& master, std::uint32_t index) {
    const ExtendedKey external = BIP32::deriveChild(walk(master, ethereumAccountPath()), 0);
    return BIP32::deriveChild(external, normalChildIndex(index));
}

SecureBytes solanaPrivateKey(ByteView seed) {
    // The SLIP-10 routines stop the process on a wrong length; a seed read from storage
    // is checked here instead.
    if (seed.size() != bip39SeedSize) {
        throw BIP32Error(BIP32Error::Code::invalidSeed);
    }
    Slip10Key node = slip10Ed25519MasterKey(seed);
    for (const std::uint32_t index : solanaAccountPath()) {
        node = slip10Ed25519HardenedChild(node.key, node.chainCode, index);
    }
    return std::move(node.key);
}

SecureBytes accountPrivateKey(ByteView seed, Chain chain, std::int64_t index) {
    if (chain == Chain::solana) {
        return solanaPrivateKey(seed);
    }
    const std::uint32_t child = normalChildIndex(index);
    const ExtendedKey master = BIP32::masterKey(seed);
    if (chain == Chain::bitcoin) {
        return BIP32::deriveChild(bitcoinReceiveChain(master), child).key.clone();
    }
    return evmAccountKey(master, child).key.clone();
}

} // namespace qm
