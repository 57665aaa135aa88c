// Driver of keys_peer.mjs: {"phrase"} -> seed, addresses and signatures over fixed inputs.
#include "PeerDriver.h"
#include "core/crypto/BIP32.h"
#include "core/crypto/BIP39.h"
#include "core/crypto/Base58.h"
#include "core/crypto/Bech32.h"
#include "core/crypto/DerivationPath.h"
#include "core/crypto/Ed25519.h"
#include "core/crypto/Keccak.h"
#include "core/crypto/Ripemd160.h"
#include "core/crypto/Secp256k1.h"
#include "core/encoding/Hex.h"
#include "platform/Crypto.h"
#include "services/evm/EthereumAddress.h"

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

namespace {

using nlohmann::json;
using namespace qm;

ExtendedKey walk(const ExtendedKey& start, const std::vector<std::uint32_t>& path) {
    ExtendedKey key = start.clone();
    for (const std::uint32_t index : path) {
        key = BIP32::deriveChild(key, index);
    }
    return key;
}

std::string segwitAddress(ByteView compressedPublicKey) {
    return segwitAddressEncode("bc", 0, ripemd160(crypto::sha256(compressedPublicKey)));
}

json answer(const json& request) {
    const std::string phrase = request.at("phrase").get<std::string>();
    std::vector<std::string> words;
    std::istringstream stream(phrase);
    for (std::string word; stream >> word;) {
        words.push_back(word);
    }
    if (!BIP39::isValidMnemonic(words)) {
        return {{"error", "invalid phrase"}};
    }
    const SecureBytes seed = BIP39::seed(words, "");
    const Secp256k1& curve = Secp256k1::shared();
    const ExtendedKey master = BIP32::masterKey(seed);

    const ExtendedKey btcAccount = walk(master, bitcoinAccountPath());
    const ExtendedKey btcReceive = walk(btcAccount, {0, 0});
    const ExtendedKey btcChange = walk(btcAccount, {1, 0});
    ExtendedKey btcAccountPublic{SecureBytes(curve.compressedPublicKey(btcAccount.key)),
                                 btcAccount.chainCode,
                                 btcAccount.depth,
                                 btcAccount.parentFingerprint,
                                 btcAccount.childIndex,
                                 false};
    const ExtendedKey btcPublic = walk(btcAccountPublic, {0, 1});

    const ExtendedKey eth = walk(master, ethereumAccountPath());
    const ExtendedKey ethKey = walk(eth, {0, 0});

    Slip10Key sol = slip10Ed25519MasterKey(seed);
    for (const std::uint32_t index : solanaAccountPath()) {
        sol = slip10Ed25519HardenedChild(sol.key, sol.chainCode, index);
    }

    const Bytes btcHash = crypto::sha256(utf8View("Quillmark peer BTC"));
    const Bytes ethHash = keccak256(utf8View("Quillmark peer ETH"));
    const auto [compact, recoveryID] = curve.signRecoverable(ethHash, ethKey.key);
    return {
        {"seed", bytesToPlainHex(seed)},
        {"btc", segwitAddress(curve.compressedPublicKey(btcReceive.key))},
        {"btcChange", segwitAddress(curve.compressedPublicKey(btcChange.key))},
        {"btcPublic", segwitAddress(btcPublic.key)},
        {"eth", ethereumAddress(curve.uncompressedPublicKey(ethKey.key))},
        {"sol", base58Encode(crypto::ed25519PublicKey(sol.key))},
        {"btcDER", bytesToPlainHex(curve.signDER(btcHash, btcReceive.key))},
        {"ethCompact", bytesToPlainHex(compact)},
        {"ethRecoveryID", recoveryID},
        {"solSignature", bytesToPlainHex(ed25519Sign(utf8View("Quillmark peer SOL"), sol.key))},
    };
}

} // namespace

int main() {
    return qm::test::runPeerDriver(answer);
}
