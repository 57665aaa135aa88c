// Derivation from random phrases (BIP-32, SLIP-10), the public keys and the signatures made with
// the derived keys are compared byte for byte with @scure and @noble by the keys peer; these are
// the published vectors, the curve's edges and the refusals.

#include "TestHex.h"
#include "core/crypto/BIP32.h"
#include "core/crypto/Base58.h"
#include "core/crypto/DerivationPath.h"
#include "core/crypto/Ed25519.h"
#include "core/crypto/Secp256k1.h"
#include "platform/Crypto.h"

#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace qm {
namespace {

using test::ascii;
using test::hex;
using test::unhex;
using Code = Secp256k1Error::Code;

constexpr std::uint32_t H = kHardenedIndex;

// Base58Check over the 78-byte serialised form, to compare with the published xprv/xpub text.
std::string serialise(const ExtendedKey& key) {
    Bytes data;
    const auto word = [&](std::uint32_t value) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            data.push_back(static_cast<std::uint8_t>(value >> shift));
        }
    };
    word(key.isPrivate ? 0x0488ADE4u : 0x0488B21Eu);
    data.push_back(key.depth);
    word(key.parentFingerprint);
    word(key.childIndex);
    data.insert(data.end(), key.chainCode.begin(), key.chainCode.end());
    if (key.isPrivate) {
        data.push_back(0);
    }
    data.insert(data.end(), key.key.begin(), key.key.end());
    const Bytes check = crypto::sha256(crypto::sha256(data));
    data.insert(data.end(), check.begin(), check.begin() + 4);
    return base58Encode(data);
}

ExtendedKey neutered(const ExtendedKey& key) {
    return {SecureBytes(Secp256k1::shared().compressedPublicKey(key.key)),
            key.chainCode,
            key.depth,
            key.parentFingerprint,
            key.childIndex,
            false};
}

struct Node {
    std::uint32_t index; // of the step from the row above; the first row is the master
    const char* xprv;
    const char* xpub;
};

// The published vectors 1 to 4; each normal step is also derived from the public parent.
TEST(BIP32, PublishedVectors) {
    // clang-format off
    const std::vector<std::pair<const char*, std::vector<Node>>> vectors = {
        {"000102030405060708090a0b0c0d0e0f", {
            {0, "xprv9s21ZrQH143K3QTDL4LXw2F7HEK3wJUD2nW2nRk4stbPy6cq3jPPqjiChkVvvNKmPGJxWUtg6LnF5kejMRNNU3TGtRBeJgk33yuGBxrMPHi", "xpub661MyMwAqRbcFtXgS5sYJABqqG9YLmC4Q1Rdap9gSE8NqtwybGhePY2gZ29ESFjqJoCu1Rupje8YtGqsefD265TMg7usUDFdp6W1EGMcet8"},
            {0 | H, "xprv9uHRZZhk6KAJC1avXpDAp4MDc3sQKNxDiPvvkX8Br5ngLNv1TxvUxt4cV1rGL5hj6KCesnDYUhd7oWgT11eZG7XnxHrnYeSvkzY7d2bhkJ7", "xpub68Gmy5EdvgibQVfPdqkBBCHxA5htiqg55crXYuXoQRKfDBFA1WEjWgP6LHhwBZeNK1VTsfTFUHCdrfp1bgwQ9xv5ski8PX9rL2dZXvgGDnw"},
            {1, "xprv9wTYmMFdV23N2TdNG573QoEsfRrWKQgWeibmLntzniatZvR9BmLnvSxqu53Kw1UmYPxLgboyZQaXwTCg8MSY3H2EU4pWcQDnRnrVA1xe8fs", "xpub6ASuArnXKPbfEwhqN6e3mwBcDTgzisQN1wXN9BJcM47sSikHjJf3UFHKkNAWbWMiGj7Wf5uMash7SyYq527Hqck2AxYysAA7xmALppuCkwQ"}}},
        {"fffcf9f6f3f0edeae7e4e1dedbd8d5d2cfccc9c6c3c0bdbab7b4b1aeaba8a5a29f9c999693908d8a8784817e7b7875726f6c696663605d5a5754514e4b484542", {
            {0, "xprv9s21ZrQH143K31xYSDQpPDxsXRTUcvj2iNHm5NUtrGiGG5e2DtALGdso3pGz6ssrdK4PFmM8NSpSBHNqPqm55Qn3LqFtT2emdEXVYsCzC2U", "xpub661MyMwAqRbcFW31YEwpkMuc5THy2PSt5bDMsktWQcFF8syAmRUapSCGu8ED9W6oDMSgv6Zz8idoc4a6mr8BDzTJY47LJhkJ8UB7WEGuduB"},
            {0, "xprv9vHkqa6EV4sPZHYqZznhT2NPtPCjKuDKGY38FBWLvgaDx45zo9WQRUT3dKYnjwih2yJD9mkrocEZXo1ex8G81dwSM1fwqWpWkeS3v86pgKt", "xpub69H7F5d8KSRgmmdJg2KhpAK8SR3DjMwAdkxj3ZuxV27CprR9LgpeyGmXUbC6wb7ERfvrnKZjXoUmmDznezpbZb7ap6r1D3tgFxHmwMkQTPH"},
            {2147483647 | H, "xprv9wSp6B7kry3Vj9m1zSnLvN3xH8RdsPP1Mh7fAaR7aRLcQMKTR2vidYEeEg2mUCTAwCd6vnxVrcjfy2kRgVsFawNzmjuHc2YmYRmagcEPdU9", "xpub6ASAVgeehLbnwdqV6UKMHVzgqAG8Gr6riv3Fxxpj8ksbH9ebxaEyBLZ85ySDhKiLDBrQSARLq1uNRts8RuJiHjaDMBU4Zn9h8LZNnBC5y4a"},
            {1, "xprv9zFnWC6h2cLgpmSA46vutJzBcfJ8yaJGg8cX1e5StJh45BBciYTRXSd25UEPVuesF9yog62tGAQtHjXajPPdbRCHuWS6T8XA2ECKADdw4Ef", "xpub6DF8uhdarytz3FWdA8TvFSvvAh8dP3283MY7p2V4SeE2wyWmG5mg5EwVvmdMVCQcoNJxGoWaU9DCWh89LojfZ537wTfunKau47EL2dhHKon"},
            {2147483646 | H, "xprvA1RpRA33e1JQ7ifknakTFpgNXPmW2YvmhqLQYMmrj4xJXXWYpDPS3xz7iAxn8L39njGVyuoseXzU6rcxFLJ8HFsTjSyQbLYnMpCqE2VbFWc", "xpub6ERApfZwUNrhLCkDtcHTcxd75RbzS1ed54G1LkBUHQVHQKqhMkhgbmJbZRkrgZw4koxb5JaHWkY4ALHY2grBGRjaDMzQLcgJvLJuZZvRcEL"},
            {2, "xprvA2nrNbFZABcdryreWet9Ea4LvTJcGsqrMzxHx98MMrotbir7yrKCEXw7nadnHM8Dq38EGfSh6dqA9QWTyefMLEcBYJUuekgW4BYPJcr9E7j", "xpub6FnCn6nSzZAw5Tw7cgR9bi15UV96gLZhjDstkXXxvCLsUXBGXPdSnLFbdpq8p9HmGsApME5hQTZ3emM2rnY5agb9rXpVGyy3bdW6EEgAtqt"}}},
        // Vectors 3 and 4 keep leading zeros, in the key and in the hardened derivation data.
        {"4b381541583be4423346c643850da4b320e46a87ae3d2a4e6da11eba819cd4acba45d239319ac14f863b8d5ab5a0d0c64d2e8a1e7d1457df2e5a3c51c73235be", {
            {0, "xprv9s21ZrQH143K25QhxbucbDDuQ4naNntJRi4KUfWT7xo4EKsHt2QJDu7KXp1A3u7Bi1j8ph3EGsZ9Xvz9dGuVrtHHs7pXeTzjuxBrCmmhgC6", "xpub661MyMwAqRbcEZVB4dScxMAdx6d4nFc9nvyvH3v4gJL378CSRZiYmhRoP7mBy6gSPSCYk6SzXPTf3ND1cZAceL7SfJ1Z3GC8vBgp2epUt13"},
            {0 | H, "xprv9uPDJpEQgRQfDcW7BkF7eTya6RPxXeJCqCJGHuCJ4GiRVLzkTXBAJMu2qaMWPrS7AANYqdq6vcBcBUdJCVVFceUvJFjaPdGZ2y9WACViL4L", "xpub68NZiKmJWnxxS6aaHmn81bvJeTESw724CRDs6HbuccFQN9Ku14VQrADWgqbhhTHBaohPX4CjNLf9fq9MYo6oDaPPLPxSb7gwQN3ih19Zm4Y"}}},
        {"3ddd5602285899a946114506157c7997e5444528f3003f6134712147db19b678", {
            {0, "xprv9s21ZrQH143K48vGoLGRPxgo2JNkJ3J3fqkirQC2zVdk5Dgd5w14S7fRDyHH4dWNHUgkvsvNDCkvAwcSHNAQwhwgNMgZhLtQC63zxwhQmRv", "xpub661MyMwAqRbcGczjuMoRm6dXaLDEhW1u34gKenbeYqAix21mdUKJyuyu5F1rzYGVxyL6tmgBUAEPrEz92mBXjByMRiJdba9wpnN37RLLAXa"},
            {0 | H, "xprv9vB7xEWwNp9kh1wQRfCCQMnZUEG21LpbR9NPCNN1dwhiZkjjeGRnaALmPXCX7SgjFTiCTT6bXes17boXtjq3xLpcDjzEuGLQBM5ohqkao9G", "xpub69AUMk3qDBi3uW1sXgjCmVjJ2G6WQoYSnNHyzkmdCHEhSZ4tBok37xfFEqHd2AddP56Tqp4o56AePAgCjYdvpW2PU2jbUPFKsav5ut6Ch1m"},
            {1 | H, "xprv9xJocDuwtYCMNAo3Zw76WENQeAS6WGXQ55RCy7tDJ8oALr4FWkuVoHJeHVAcAqiZLE7Je3vZJHxspZdFHfnBEjHqU5hG1Jaj32dVoS6XLT1", "xpub6BJA1jSqiukeaesWfxe6sNK9CCGaujFFSJLomWHprUL9DePQ4JDkM5d88n49sMGJxrhpjazuXYWdMf17C9T5XnxkopaeS7jGk1GyyVziaMt"}}},
    };
    // clang-format on
    for (const auto& [seed, nodes] : vectors) {
        ExtendedKey key = BIP32::masterKey(unhex(seed));
        for (std::size_t n = 0; n < nodes.size(); ++n) {
            SCOPED_TRACE(nodes[n].xprv);
            if (n > 0) {
                ExtendedKey child = BIP32::deriveChild(key, nodes[n].index);
                if (nodes[n].index < H) {
                    const ExtendedKey publicChild =
                        BIP32::deriveChild(neutered(key), nodes[n].index);
                    EXPECT_FALSE(publicChild.isPrivate);
                    EXPECT_EQ(serialise(publicChild), nodes[n].xpub);
                }
                key = std::move(child);
            }
            EXPECT_EQ(serialise(key), nodes[n].xprv);
            EXPECT_EQ(serialise(neutered(key)), nodes[n].xpub);
        }
    }
}

TEST(BIP32, RefusesHardenedPublicStepsAndDepthsPast255) {
    ExtendedKey master = BIP32::masterKey(unhex("000102030405060708090a0b0c0d0e0f"));
    const auto refused = [](BIP32Error::Code code, const ExtendedKey& parent, std::uint32_t index) {
        try {
            BIP32::deriveChild(parent, index);
            ADD_FAILURE() << "derived child " << index;
        } catch (const BIP32Error& error) {
            EXPECT_EQ(error.code(), code);
        }
    };
    refused(BIP32Error::Code::hardenedPublicKey, neutered(master), H);
    // The highest normal index is still public.
    EXPECT_EQ(serialise(BIP32::deriveChild(neutered(master), H - 1)),
              serialise(neutered(BIP32::deriveChild(master, H - 1))));
    // A key at depth 255 has no representable child: refused, not wrapped to depth 0.
    master.depth = 255;
    refused(BIP32Error::Code::derivationFailed, master, 1);
    refused(BIP32Error::Code::derivationFailed, neutered(master), 1);
    master.depth = 254;
    EXPECT_EQ(BIP32::deriveChild(master, 1).depth, 255);
}

TEST(DerivationPath, ParsesIndicesAndRefusesMalformedOnes) {
    using Path = std::vector<std::uint32_t>;
    const std::pair<std::string, Path> cases[] = {
        {"m/44'/60'/0'/0/0", {44 | H, 60 | H, H, 0, 0}},
        {"m/44h/60h", {44 | H, 60 | H}},
        {"/44'//0/", {44 | H, 0}},
        {"m/4294967295", {0xFFFFFFFF}},
        {"m/2147483648", {H}},  // already a hardened index
        {"m/2147483648'", {H}}, // the marker only sets the top bit
        {"m/-00h", {H}},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(parseDerivationPath(text), expected) << text;
    }
    // Only a leading "m" is dropped; upper-case markers are not markers.
    for (const char* text :
         {"m/44''", "m/4294967296", "M/0", "m/0H", "m/-1", "m/1 ", "m/１", "m/0/m"}) {
        EXPECT_EQ(parseDerivationPath(text), std::nullopt) << text;
    }
}

std::string hexOf(const SecureBytes& bytes) {
    return hex(Bytes(bytes.begin(), bytes.end()));
}

TEST(Ed25519, Slip10Vector2) {
    const Bytes seed = unhex(
        "fffcf9f6f3f0edeae7e4e1dedbd8d5d2cfccc9c6c3c0bdbab7b4b1aeaba8a5a29f9c999693908d8a878481"
        "7e7b7875726f6c696663605d5a5754514e4b484542");
    const auto expectNode = [](const Slip10Key& node, const char* key, const char* chainCode,
                               const char* publicKey) {
        EXPECT_EQ(hexOf(node.key), key);
        EXPECT_EQ(hexOf(node.chainCode), chainCode);
        EXPECT_EQ(hex(crypto::ed25519PublicKey(node.key)), publicKey);
    };
    const Slip10Key master = slip10Ed25519MasterKey(seed);
    // clang-format off
    expectNode(master, "171cb88b1b3c1db25add599712e36245d75bc65a1a5c9e18d76f9f2b1eab4012", "ef70a74db9c3a5af931b5fe73ed8e1a53464133654fd55e7a66f8570b8e33c3b", "8fe9693f8fa62a4305a140b9764c5ee01e455963744fe18204b4fb948249308a");
    expectNode(slip10Ed25519HardenedChild(master.key, master.chainCode, 0x80000000), "1559eb2bbec5790b0c65d8693e4d0875b1747f4970ae8b650486ed7470845635", "0b78a3226f915c082bf118f83618a618ab6dec793752624cbeb622acb562862d", "86fab68dcb57aa196c77c5f264f215a112c22a912c10d123b0d03c3c28ef1037");
    // clang-format on
}

TEST(Ed25519, SlipTenPreconditionsStopTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const Bytes key(32, 1);
    EXPECT_DEATH(slip10Ed25519MasterKey(Bytes(63, 0)), "");
    EXPECT_DEATH(slip10Ed25519HardenedChild(key, key, 0x7FFFFFFF), "");
    EXPECT_DEATH(slip10Ed25519HardenedChild(Bytes(31, 1), key, 0x80000000), "");
}

TEST(Ed25519, SignsPerRFC8032AndRefusesKeysOfOtherLengths) {
    // RFC 8032 section 7.1, test 2. Signatures of derived keys are the keys peer's.
    EXPECT_EQ(hex(ed25519Sign(unhex("72"), unhex("4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624"
                                                 "da8cf6ed4fb8a6fb"))),
              "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f"
              "3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00");
    try {
        ed25519Sign(ascii("m"), Bytes(33, 1));
        ADD_FAILURE() << "signed with a 33-byte key";
    } catch (const Ed25519Error& error) {
        EXPECT_EQ(error.code(), Ed25519Error::Code::invalidKeyLength);
        EXPECT_STREQ(error.what(), "Ed25519 key must be exactly 32 bytes.");
    }
}

const std::string kOne = std::string(63, '0') + "1";
const std::string kOrder = "fffffffffffffffffffffffffffffffebaaedce6af48a03bbfd25e8cd0364141";
const std::string kOrderMinusOne =
    "fffffffffffffffffffffffffffffffebaaedce6af48a03bbfd25e8cd0364140";
const std::string kGx = "79be667ef9dcbbac55a06295ce870b07029bfcdb2dce28d959f2815b16f81798";
const std::string kGy = "483ada7726a3c4655da4fbfc0e1108a8fd17b448a68554199c47d08ffb10d4b8";

TEST(Secp256k1, RefusesBadInputWithItsOwnCode) {
    const auto& curve = Secp256k1::shared();
    const Bytes short31(31, 0);
    const Bytes zero32(32, 0);
    const Bytes hash = crypto::sha256(ascii("message"));
    const auto privateTweak = [&](const Bytes& key, const Bytes& tweak) {
        SecureBytes k(key);
        curve.privateKeyTweakAdd(k, tweak);
    };
    // A public key that fails is left unchanged: no partial output.
    const auto publicTweak = [&](const Bytes& key, const Bytes& tweak) {
        Bytes k = key;
        try {
            curve.publicKeyTweakAdd(k, tweak);
        } catch (...) {
            EXPECT_EQ(k, key);
            throw;
        }
    };
    const std::vector<std::pair<Code, std::function<void()>>> cases = {
        {Code::invalidSecretKey, [&] { curve.compressedPublicKey(short31); }},
        {Code::invalidSecretKey, [&] { curve.uncompressedPublicKey(unhex(kOrder)); }},
        {Code::tweakFailed, [&] { privateTweak(unhex(kOrderMinusOne), unhex(kOne)); }}, // zero sum
        {Code::tweakFailed, [&] { privateTweak(short31, unhex(kOne)); }}, // not invalidSecretKey
        {Code::invalidPublicKey, [&] { publicTweak(Bytes{}, unhex(kOne)); }},
        {Code::tweakFailed, [&] { publicTweak(unhex(kGx + kGy), short31); }}, // tweak read first
        {Code::tweakFailed, [&] { publicTweak(unhex("03" + kGx), unhex(kOne)); }}, // -G + G
        {Code::invalidSecretKey, [&] { curve.signDER(hash, short31); }},
        {Code::signingFailed, [&] { curve.signDER(hash, zero32); }}, // the library refuses
        {Code::signingFailed, [&] { curve.signRecoverable(hash, zero32); }},
        {Code::signingFailed, [&] { curve.signDER(short31, short31); }}, // hash length first
    };
    for (std::size_t n = 0; n < cases.size(); ++n) {
        try {
            cases[n].second();
            ADD_FAILURE() << "case " << n << " threw nothing";
        } catch (const Secp256k1Error& error) {
            EXPECT_EQ(error.code(), cases[n].first) << "case " << n << ": " << error.what();
        }
    }
}

// EIP-155's published example (key 0x46...46, v 37: recovery id 0) recovers the key's public
// key from its signing hash; the mirror of its signature (n - s, the other id), which is as
// valid an ECDSA signature but one no EVM chain accepts, recovers nothing, nor does anything
// malformed.
TEST(Secp256k1, RecoversTheSignerOfAPublishedSignatureButNotItsMirror) {
    const auto& curve = Secp256k1::shared();
    const Bytes hash = unhex("daf5a779ae972f972197303d7b574746c7ef83eadac0f2791ad23db92e4c8e53");
    const std::string r = "28ef61340bd939bc2195fe537567866003e1a15d3c71ff63e1590620aa636276";
    const std::string s = "67cbe9d8997f761aecb703304b3800ccf555c9f3dc64214b297fb1966a3b6d83";
    const std::string mirror = "98341627668089e51348fccfb4c7ff31c55912f2d2e47ef09652acf665fad3be";
    const Bytes signer = curve.uncompressedPublicKey(Bytes(32, 0x46));
    EXPECT_EQ(curve.recoverPublicKey(hash, unhex(r + s), 0), signer);
    EXPECT_NE(curve.recoverPublicKey(hash, unhex(r + s), 1), signer);
    EXPECT_EQ(curve.recoverPublicKey(hash, unhex(r + mirror), 1), std::nullopt);
    const std::string zero(64, '0');
    const std::vector<std::tuple<Bytes, Bytes, int>> refused = {
        {hash, unhex(zero + s), 0},      {hash, unhex(r + zero), 0},
        {hash, unhex(kOrder + s), 0},    {hash, unhex(r + kOrder), 0},
        {hash, unhex(r + s), 4},         {hash, unhex(r + s), -1},
        {Bytes(31, 1), unhex(r + s), 0}, {hash, unhex(r + s.substr(2)), 0},
    };
    for (std::size_t n = 0; n < refused.size(); ++n) {
        const auto& [digest, signature, id] = refused[n];
        EXPECT_EQ(curve.recoverPublicKey(digest, signature, id), std::nullopt) << "case " << n;
    }
}

} // namespace
} // namespace qm
