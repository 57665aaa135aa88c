#include "TestHex.h"
#include "core/crypto/BIP32.h"
#include "core/crypto/Base58.h"
#include "core/crypto/Secp256k1.h"
#include "platform/Crypto.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace qm {
namespace {

using test::hex;
using test::unhex;

void appendUInt32(Bytes& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

// Base58Check over the 78-byte BIP-32 form, to compare with the published xprv/xpub text.
std::string serialise(const ExtendedKey& key) {
    Bytes data;
    appendUInt32(data, key.isPrivate ? 0x0488ADE4u : 0x0488B21Eu);
    data.push_back(key.depth);
    appendUInt32(data, key.parentFingerprint);
    appendUInt32(data, key.childIndex);
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

struct Step {
    std::uint32_t index;
    const char* xprv;
    const char* xpub;
};

constexpr std::uint32_t H = kHardenedIndex;

// Walks the steps from `master`; each normal step is also derived from the public parent.
void checkChain(const ExtendedKey& master, const char* masterXprv, const char* masterXpub,
                const std::vector<Step>& steps) {
    EXPECT_EQ(serialise(master), masterXprv);
    EXPECT_EQ(serialise(neutered(master)), masterXpub);
    ExtendedKey parent = master.clone();
    for (const auto& step : steps) {
        SCOPED_TRACE(step.xprv);
        ExtendedKey child = BIP32::deriveChild(parent, step.index);
        EXPECT_EQ(serialise(child), step.xprv);
        EXPECT_EQ(serialise(neutered(child)), step.xpub);
        if (step.index < H) {
            const ExtendedKey publicChild = BIP32::deriveChild(neutered(parent), step.index);
            EXPECT_FALSE(publicChild.isPrivate);
            EXPECT_EQ(serialise(publicChild), step.xpub);
        }
        parent = std::move(child);
    }
}

TEST(BIP32, Vector1) {
    const ExtendedKey master = BIP32::masterKey(unhex("000102030405060708090a0b0c0d0e0f"));
    checkChain(
        master,
        "xprv9s21ZrQH143K3QTDL4LXw2F7HEK3wJUD2nW2nRk4stbPy6cq3jPPqjiChkVvvNKmPGJxWUtg6LnF5kejMRNNU"
        "3TGtRBeJgk33yuGBxrMPHi",
        "xpub661MyMwAqRbcFtXgS5sYJABqqG9YLmC4Q1Rdap9gSE8NqtwybGhePY2gZ29ESFjqJoCu1Rupje8YtGqsefD26"
        "5TMg7usUDFdp6W1EGMcet8",
        {
            {0 | H,
             "xprv9uHRZZhk6KAJC1avXpDAp4MDc3sQKNxDiPvvkX8Br5ngLNv1TxvUxt4cV1rGL5hj6KCesnDYUhd7oWgT1"
             "1eZG7XnxHrnYeSvkzY7d2bhkJ7",
             "xpub68Gmy5EdvgibQVfPdqkBBCHxA5htiqg55crXYuXoQRKfDBFA1WEjWgP6LHhwBZeNK1VTsfTFUHCdrfp1b"
             "gwQ9xv5ski8PX9rL2dZXvgGDnw"},
            {1,
             "xprv9wTYmMFdV23N2TdNG573QoEsfRrWKQgWeibmLntzniatZvR9BmLnvSxqu53Kw1UmYPxLgboyZQaXwTCg8"
             "MSY3H2EU4pWcQDnRnrVA1xe8fs",
             "xpub6ASuArnXKPbfEwhqN6e3mwBcDTgzisQN1wXN9BJcM47sSikHjJf3UFHKkNAWbWMiGj7Wf5uMash7SyYq5"
             "27Hqck2AxYysAA7xmALppuCkwQ"},
        });
}

TEST(BIP32, Vector2) {
    const ExtendedKey master = BIP32::masterKey(unhex(
        "fffcf9f6f3f0edeae7e4e1dedbd8d5d2cfccc9c6c3c0bdbab7b4b1aeaba8a5a29f9c999693908d8a878481"
        "7e7b7875726f6c696663605d5a5754514e4b484542"));
    checkChain(
        master,
        "xprv9s21ZrQH143K31xYSDQpPDxsXRTUcvj2iNHm5NUtrGiGG5e2DtALGdso3pGz6ssrdK4PFmM8NSpSBHNqPqm55"
        "Qn3LqFtT2emdEXVYsCzC2U",
        "xpub661MyMwAqRbcFW31YEwpkMuc5THy2PSt5bDMsktWQcFF8syAmRUapSCGu8ED9W6oDMSgv6Zz8idoc4a6mr8BD"
        "zTJY47LJhkJ8UB7WEGuduB",
        {
            {0,
             "xprv9vHkqa6EV4sPZHYqZznhT2NPtPCjKuDKGY38FBWLvgaDx45zo9WQRUT3dKYnjwih2yJD9mkrocEZXo1ex"
             "8G81dwSM1fwqWpWkeS3v86pgKt",
             "xpub69H7F5d8KSRgmmdJg2KhpAK8SR3DjMwAdkxj3ZuxV27CprR9LgpeyGmXUbC6wb7ERfvrnKZjXoUmmDzne"
             "zpbZb7ap6r1D3tgFxHmwMkQTPH"},
            {2147483647 | H,
             "xprv9wSp6B7kry3Vj9m1zSnLvN3xH8RdsPP1Mh7fAaR7aRLcQMKTR2vidYEeEg2mUCTAwCd6vnxVrcjfy2kRg"
             "VsFawNzmjuHc2YmYRmagcEPdU9",
             "xpub6ASAVgeehLbnwdqV6UKMHVzgqAG8Gr6riv3Fxxpj8ksbH9ebxaEyBLZ85ySDhKiLDBrQSARLq1uNRts8R"
             "uJiHjaDMBU4Zn9h8LZNnBC5y4a"},
            {1,
             "xprv9zFnWC6h2cLgpmSA46vutJzBcfJ8yaJGg8cX1e5StJh45BBciYTRXSd25UEPVuesF9yog62tGAQtHjXaj"
             "PPdbRCHuWS6T8XA2ECKADdw4Ef",
             "xpub6DF8uhdarytz3FWdA8TvFSvvAh8dP3283MY7p2V4SeE2wyWmG5mg5EwVvmdMVCQcoNJxGoWaU9DCWh89L"
             "ojfZ537wTfunKau47EL2dhHKon"},
            {2147483646 | H,
             "xprvA1RpRA33e1JQ7ifknakTFpgNXPmW2YvmhqLQYMmrj4xJXXWYpDPS3xz7iAxn8L39njGVyuoseXzU6rcxF"
             "LJ8HFsTjSyQbLYnMpCqE2VbFWc",
             "xpub6ERApfZwUNrhLCkDtcHTcxd75RbzS1ed54G1LkBUHQVHQKqhMkhgbmJbZRkrgZw4koxb5JaHWkY4ALHY2"
             "grBGRjaDMzQLcgJvLJuZZvRcEL"},
            {2,
             "xprvA2nrNbFZABcdryreWet9Ea4LvTJcGsqrMzxHx98MMrotbir7yrKCEXw7nadnHM8Dq38EGfSh6dqA9QWTy"
             "efMLEcBYJUuekgW4BYPJcr9E7j",
             "xpub6FnCn6nSzZAw5Tw7cgR9bi15UV96gLZhjDstkXXxvCLsUXBGXPdSnLFbdpq8p9HmGsApME5hQTZ3emM2r"
             "nY5agb9rXpVGyy3bdW6EEgAtqt"},
        });
}

TEST(BIP32, Vector3KeepsLeadingZeros) {
    ExtendedKey master;
    master.key =
        SecureBytes(unhex("00ddb80b067e0d4993197fe10f2657a844a384589847602d56f0c629c81aae32"));
    master.chainCode = unhex("01d28a3e53cffa419ec122c968b3259e16b65076495494d97cae10bbfec3c36f");
    checkChain(
        master,
        "xprv9s21ZrQH143K25QhxbucbDDuQ4naNntJRi4KUfWT7xo4EKsHt2QJDu7KXp1A3u7Bi1j8ph3EGsZ9Xvz9dGuVr"
        "tHHs7pXeTzjuxBrCmmhgC6",
        "xpub661MyMwAqRbcEZVB4dScxMAdx6d4nFc9nvyvH3v4gJL378CSRZiYmhRoP7mBy6gSPSCYk6SzXPTf3ND1cZAce"
        "L7SfJ1Z3GC8vBgp2epUt13",
        {
            {0 | H,
             "xprv9uPDJpEQgRQfDcW7BkF7eTya6RPxXeJCqCJGHuCJ4GiRVLzkTXBAJMu2qaMWPrS7AANYqdq6vcBcBUdJC"
             "VVFceUvJFjaPdGZ2y9WACViL4L",
             "xpub68NZiKmJWnxxS6aaHmn81bvJeTESw724CRDs6HbuccFQN9Ku14VQrADWgqbhhTHBaohPX4CjNLf9fq9MY"
             "o6oDaPPLPxSb7gwQN3ih19Zm4Y"},
        });
}

TEST(BIP32, Vector4KeepsLeadingZerosInHardenedData) {
    const ExtendedKey master =
        BIP32::masterKey(unhex("3ddd5602285899a946114506157c7997e5444528f3003f6134712147db19b678"));
    checkChain(
        master,
        "xprv9s21ZrQH143K48vGoLGRPxgo2JNkJ3J3fqkirQC2zVdk5Dgd5w14S7fRDyHH4dWNHUgkvsvNDCkvAwcSHNAQw"
        "hwgNMgZhLtQC63zxwhQmRv",
        "xpub661MyMwAqRbcGczjuMoRm6dXaLDEhW1u34gKenbeYqAix21mdUKJyuyu5F1rzYGVxyL6tmgBUAEPrEz92mBXj"
        "ByMRiJdba9wpnN37RLLAXa",
        {
            {0 | H,
             "xprv9vB7xEWwNp9kh1wQRfCCQMnZUEG21LpbR9NPCNN1dwhiZkjjeGRnaALmPXCX7SgjFTiCTT6bXes17boXt"
             "jq3xLpcDjzEuGLQBM5ohqkao9G",
             "xpub69AUMk3qDBi3uW1sXgjCmVjJ2G6WQoYSnNHyzkmdCHEhSZ4tBok37xfFEqHd2AddP56Tqp4o56AePAgCj"
             "YdvpW2PU2jbUPFKsav5ut6Ch1m"},
            {1 | H,
             "xprv9xJocDuwtYCMNAo3Zw76WENQeAS6WGXQ55RCy7tDJ8oALr4FWkuVoHJeHVAcAqiZLE7Je3vZJHxspZdFH"
             "fnBEjHqU5hG1Jaj32dVoS6XLT1",
             "xpub6BJA1jSqiukeaesWfxe6sNK9CCGaujFFSJLomWHprUL9DePQ4JDkM5d88n49sMGJxrhpjazuXYWdMf17C"
             "9T5XnxkopaeS7jGk1GyyVziaMt"},
        });
}

TEST(BIP32, PublicDerivationRefusesHardenedIndices) {
    const ExtendedKey master = BIP32::masterKey(unhex("000102030405060708090a0b0c0d0e0f"));
    const ExtendedKey publicMaster = neutered(master);
    try {
        BIP32::deriveChild(publicMaster, H);
        ADD_FAILURE() << "hardened public derivation succeeded";
    } catch (const BIP32Error& error) {
        EXPECT_EQ(error.code(), BIP32Error::Code::hardenedPublicKey);
    }
    // The highest normal index works and agrees with private derivation.
    const ExtendedKey viaPublic = BIP32::deriveChild(publicMaster, 0x7FFFFFFF);
    const ExtendedKey viaPrivate = BIP32::deriveChild(master, 0x7FFFFFFF);
    EXPECT_EQ(Bytes(viaPublic.key.begin(), viaPublic.key.end()),
              Secp256k1::shared().compressedPublicKey(viaPrivate.key));
    EXPECT_EQ(viaPublic.chainCode, viaPrivate.chainCode);
}

TEST(BIP32, InvalidKeysAndDepthsFail) {
    const auto secpError = [](Secp256k1Error::Code code, const ExtendedKey& parent,
                              std::uint32_t index) {
        try {
            BIP32::deriveChild(parent, index);
            ADD_FAILURE() << "derivation succeeded";
        } catch (const Secp256k1Error& error) {
            EXPECT_EQ(error.code(), code);
        }
    };
    ExtendedKey tooLarge; // the group order
    tooLarge.key =
        SecureBytes(unhex("fffffffffffffffffffffffffffffffebaaedce6af48a03bbfd25e8cd0364141"));
    tooLarge.chainCode = Bytes(32, 7);
    secpError(Secp256k1Error::Code::invalidSecretKey, tooLarge, 0);
    secpError(Secp256k1Error::Code::tweakFailed, tooLarge, H);

    ExtendedKey badPublic = tooLarge.clone();
    badPublic.isPrivate = false;
    badPublic.key = SecureBytes(unhex("05" + std::string(64, '1')));
    secpError(Secp256k1Error::Code::invalidPublicKey, badPublic, 0);

    // A key at depth 255 has no representable child: refused, not wrapped to depth 0.
    ExtendedKey deepest = BIP32::masterKey(unhex("000102030405060708090a0b0c0d0e0f"));
    deepest.depth = 255;
    for (const bool isPrivate : {true, false}) {
        const ExtendedKey parent = isPrivate ? deepest.clone() : neutered(deepest);
        try {
            BIP32::deriveChild(parent, 1);
            ADD_FAILURE() << "derived below depth 255";
        } catch (const BIP32Error& error) {
            EXPECT_EQ(error.code(), BIP32Error::Code::derivationFailed);
        }
    }
    deepest.depth = 254;
    EXPECT_EQ(BIP32::deriveChild(deepest, 1).depth, 255);
}

} // namespace
} // namespace qm
