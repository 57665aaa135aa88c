// The account keys and addresses of a phrase, end to end along the wallet's fixed paths.

#include "TestHex.h"
#include "core/crypto/BIP32.h"
#include "core/crypto/BIP39.h"
#include "core/crypto/Base58.h"
#include "core/crypto/Bech32.h"
#include "core/crypto/DerivationPath.h"
#include "core/crypto/Ed25519.h"
#include "core/crypto/Ripemd160.h"
#include "core/crypto/Secp256k1.h"
#include "platform/Crypto.h"
#include "services/evm/EthereumAddress.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace qm {
namespace {

using test::hex;

ExtendedKey walk(const ExtendedKey& start, const std::vector<std::uint32_t>& path) {
    ExtendedKey key = start.clone();
    for (const std::uint32_t index : path) {
        key = BIP32::deriveChild(key, index);
    }
    return key;
}

TEST(AccountDerivation, AbandonAboutGivesThePublishedAddresses) {
    std::vector<std::string> words(11, "abandon");
    words.push_back("about");
    ASSERT_TRUE(BIP39::isValidMnemonic(words));
    const SecureBytes seed = BIP39::seed(words, "");
    EXPECT_EQ(
        hex(Bytes(seed.begin(), seed.end())),
        "5eb00bbddcf069084889a8ab9155568165f5c453ccb85e70811aaed6f6da5fc19a5ac40b389cd370d0862"
        "06dec8aa6c43daea6690f20ad3d8d48b2d2ce9e38e4");
    const ExtendedKey master = BIP32::masterKey(seed);
    const Secp256k1& curve = Secp256k1::shared();

    // Bitcoin: m/84'/0'/0'/0/0, P2WPKH.
    const ExtendedKey btc = walk(master, bitcoinAccountPath());
    const ExtendedKey receive = walk(btc, {0, 0});
    EXPECT_EQ(receive.depth, 5);
    const Bytes keyHash = ripemd160(crypto::sha256(curve.compressedPublicKey(receive.key)));
    EXPECT_EQ(segwitAddressEncode("bc", 0, keyHash), "bc1qcr8te4kr609gcawutmrza0j4xv80jy8z306fyu");

    // Ethereum: m/44'/60'/0'/0/0.
    const ExtendedKey eth = walk(walk(master, ethereumAccountPath()), {0, 0});
    EXPECT_EQ(ethereumAddress(curve.uncompressedPublicKey(eth.key)),
              "0x9858EfFD232B4033E47d90003D41EC34EcaEda94");

    // Solana: SLIP-10 along m/44'/501'/0'/0'.
    Slip10Key sol = slip10Ed25519MasterKey(seed);
    for (const std::uint32_t index : solanaAccountPath()) {
        sol = slip10Ed25519HardenedChild(sol.key, sol.chainCode, index);
    }
    EXPECT_EQ(base58Encode(crypto::ed25519PublicKey(sol.key)),
              "HAgk14JpMQLgt6rVgv7cBQFJWFto5Dqxi472uT3DKpqk");
}

} // namespace
} // namespace qm
