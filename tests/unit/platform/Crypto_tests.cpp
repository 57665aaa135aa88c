#include "TestHex.h"
#include "platform/Crypto.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

using test::ascii;
using test::unhex;

std::string hexOf(ByteView bytes) {
    return test::hex(Bytes(bytes.begin(), bytes.end()));
}

Bytes range(std::uint8_t first, std::uint8_t last) {
    Bytes out;
    for (unsigned b = first; b <= last; ++b) {
        out.push_back(static_cast<std::uint8_t>(b));
    }
    return out;
}

TEST(Crypto, Sha256AndSha512OfAbc) {
    EXPECT_EQ(hexOf(crypto::sha256(ascii("abc"))),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(hexOf(crypto::sha512(ascii("abc"))),
              "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
              "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f");
    EXPECT_EQ(hexOf(crypto::sha256({})),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

// RFC 4231 test cases 1 and 2.
TEST(Crypto, HmacMatchesRfc4231) {
    const Bytes key1(20, 0x0b);
    EXPECT_EQ(hexOf(crypto::hmacSha512(key1, ascii("Hi There"))),
              "87aa7cdea5ef619d4ff0b4241a1d6cb02379f4e2ce4ec2787ad0b30545e17cde"
              "daa833b7d6b8a702038b274eaea3f4e4be9d914eeb61f1702e696c203a126854");
    EXPECT_EQ(hexOf(crypto::hmacSha512(ascii("Jefe"), ascii("what do ya want for nothing?"))),
              "164b7a7bfcf819e2e395fbe73b56e0a387bd64222e831fd610270cd7ea250554"
              "9758bf75c05a994a6d034f65f8f0e6fdcaeab1a34d4a6b4b636e070a38bce737");
    EXPECT_EQ(hexOf(crypto::hmacSha256(key1, ascii("Hi There"))),
              "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7");
    // Empty key and message (value from Python's hmac module).
    EXPECT_EQ(hexOf(crypto::hmacSha256({}, {})),
              "b613679a0814d9ec772f95d778c35fc5ff1697c493715653c6c712144292c5ad");
}

// Outputs checked against Python's hashlib.pbkdf2_hmac.
TEST(Crypto, Pbkdf2HmacSha512) {
    EXPECT_EQ(hexOf(crypto::pbkdf2HmacSha512(ascii("password"), ascii("salt"), 1, 64)),
              "867f70cf1ade02cff3752599a3a53dc4af34c7a669815ae5d513554e1c8cf252"
              "c02d470a285a0501bad999bfe943c08f050235d7d68b1da55e63f73b60a57fce");
    EXPECT_EQ(hexOf(crypto::pbkdf2HmacSha512(ascii("password"), ascii("salt"), 4096, 64)),
              "d197b1b33db0143e018b12f3d1d1479e6cdebdcc97c5c0f87f6902e072f457b5"
              "143f30602641b3d55cd335988cb36b84376060ecd532e039b742a239434af2d5");
    EXPECT_EQ(crypto::pbkdf2HmacSha512(ascii("password"), ascii("salt"), 2, 32).size(), 32u);
}

// RFC 5869 test cases 1 and 3 (no salt, no info).
TEST(Crypto, HkdfSha256MatchesRfc5869) {
    const SecureBytes okm =
        crypto::hkdfSha256(Bytes(22, 0x0b), range(0x00, 0x0c), range(0xf0, 0xf9), 42);
    EXPECT_EQ(hexOf(okm), "3cb25f25faacd57a90434f64d0362f2a2d2d0a90cf1a5a4c5db02d56ecc4c5bf"
                          "34007208d5b887185865");
    EXPECT_EQ(hexOf(crypto::hkdfSha256(Bytes(22, 0x0b), {}, {}, 42)),
              "8da4e775a563c18f715f802a063c5a31b8a11f5c5ee1879ec3454e5f3c738d2d"
              "9d201395faa4b61a96c8");
}

// RFC 8439 section 2.8.2, in our combined form nonce | ciphertext | tag.
TEST(Crypto, ChaChaPolyMatchesRfc8439AndRefusesForgedBoxes) {
    const Bytes key = range(0x80, 0x9f);
    const Bytes nonce = unhex("070000004041424344454647");
    const Bytes aad = unhex("50515253c0c1c2c3c4c5c6c7");
    const Bytes plaintext =
        ascii("Ladies and Gentlemen of the class of '99: If I could offer you only one tip for "
              "the future, sunscreen would be it.");
    const std::string ciphertext =
        "d31a8d34648e60db7b86afbc53ef7ec2a4aded51296e08fea9e2b5a736ee62d6"
        "3dbea45e8ca9671282fafb69da92728b1a71de0a9e060b2905d6a5b67ecd3b36"
        "92ddbd7f2d778b8c9803aee328091b58fab324e4fad675945585808b4831d7bc"
        "3ff4def08e4b7a9de576d26586cec64b6116";
    const std::string tag = "1ae10b594f09e26a7e902ecbd0600691";

    const Bytes box = crypto::chachaPolySeal(key, plaintext, aad, ByteView(nonce));
    EXPECT_EQ(hexOf(box), "070000004041424344454647" + ciphertext + tag);
    const auto opened = crypto::chachaPolyOpen(key, box, aad);
    ASSERT_TRUE(opened);
    EXPECT_EQ(hexOf(*opened), hexOf(plaintext));

    // A flipped tag, ciphertext or nonce bit, the wrong AAD or key, and boxes too short
    // to hold nonce and tag all fail to open.
    for (std::size_t index : {box.size() - 1, std::size_t{12}, std::size_t{0}}) {
        Bytes forged = box;
        forged[index] ^= 0x01;
        EXPECT_FALSE(crypto::chachaPolyOpen(key, forged, aad)) << index;
    }
    EXPECT_FALSE(crypto::chachaPolyOpen(key, box));
    EXPECT_FALSE(crypto::chachaPolyOpen(range(0x81, 0xa0), box, aad));
    EXPECT_FALSE(crypto::chachaPolyOpen(key, ByteView(box).first(box.size() - 1), aad));
    EXPECT_FALSE(crypto::chachaPolyOpen(key, ByteView(box).first(27), aad));
    EXPECT_FALSE(crypto::chachaPolyOpen(key, {}, aad));

    // Empty plaintext: nonce and tag only, and it still authenticates.
    const Bytes empty = crypto::chachaPolySeal(key, {});
    EXPECT_EQ(empty.size(), 28u);
    const auto openedEmpty = crypto::chachaPolyOpen(key, empty);
    ASSERT_TRUE(openedEmpty);
    EXPECT_TRUE(openedEmpty->empty());
    // Random nonces: sealing twice never repeats the box.
    EXPECT_NE(crypto::chachaPolySeal(key, plaintext), crypto::chachaPolySeal(key, plaintext));

    EXPECT_THROW(crypto::chachaPolySeal(Bytes(31), plaintext), CryptoError);
    EXPECT_THROW(crypto::chachaPolySeal(key, plaintext, {}, ByteView(nonce).first(11)),
                 CryptoError);
    EXPECT_THROW(crypto::chachaPolyOpen(Bytes(33), box), CryptoError);
}

// RFC 8032 section 7.1, tests 1 to 3.
TEST(Crypto, Ed25519MatchesRfc8032) {
    struct Vector {
        const char* secret;
        const char* publicKey;
        const char* message;
        const char* signature;
    };
    const Vector vectors[] = {
        {"9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60",
         "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a", "",
         "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e06522490155"
         "5fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe24655141438e7a100b"},
        {"4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb",
         "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c", "72",
         "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da"
         "085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00"},
        {"c5aa8df43f9f837bedb7442f31dcb7b166d38535076f094b85ce3a2e0b4458f7",
         "fc51cd8e6218a1a38da47ed00230f0580816ed13ba3303ac5deb911548908025", "af82",
         "6291d657deec24024827e69c3abe01a30ce548a284743a445e3680d7db5ac3ac"
         "18ff9b538d16f290ae67f760984dc6594a7c15e9716ed28dc027beceea1ec40a"},
    };
    for (const Vector& v : vectors) {
        const Bytes secret = unhex(v.secret);
        const Bytes message = unhex(v.message);
        const Bytes publicKey = crypto::ed25519PublicKey(secret);
        EXPECT_EQ(hexOf(publicKey), v.publicKey);
        const Bytes signature = crypto::ed25519Sign(message, secret);
        EXPECT_EQ(hexOf(signature), v.signature);
        EXPECT_TRUE(crypto::ed25519Verify(signature, message, publicKey));

        Bytes forged = signature;
        forged[5] ^= 0x40;
        EXPECT_FALSE(crypto::ed25519Verify(forged, message, publicKey));
        EXPECT_FALSE(crypto::ed25519Verify(signature, concat(message, Bytes{0}), publicKey));
        EXPECT_FALSE(crypto::ed25519Verify(ByteView(signature).first(63), message, publicKey));
        EXPECT_FALSE(crypto::ed25519Verify(signature, message, ByteView(publicKey).first(31)));
    }
    EXPECT_THROW(crypto::ed25519Sign(ascii("x"), Bytes(31)), CryptoError);
    EXPECT_THROW(crypto::ed25519PublicKey(Bytes(64)), CryptoError);
}

// RFC 7748 section 6.1.
TEST(Crypto, X25519MatchesRfc7748) {
    const Bytes alice = unhex("77076d0a7318a57d3c16c17251b26645df4c2f87ebc0992ab177fba51db92c2a");
    const Bytes bob = unhex("5dab087e624a8a4b79e17f8b83800ee66f3bb1292618b6fd1c2f8b27ff88e0eb");
    const Bytes alicePublic = crypto::x25519PublicKey(alice);
    const Bytes bobPublic = crypto::x25519PublicKey(bob);
    EXPECT_EQ(hexOf(alicePublic),
              "8520f0098930a754748b7ddcb43ef75a0dbf3a0d26381af4eba4a98eaa9b4e6a");
    EXPECT_EQ(hexOf(bobPublic), "de9edb7d7b7dc1b4d35b61c2ece435373f8343c85b78674dadfc7e146f882b4f");
    const auto shared = crypto::x25519SharedSecret(alice, bobPublic);
    ASSERT_TRUE(shared);
    EXPECT_EQ(hexOf(*shared), "4a5d9d5ba4ce2de1728e3bf480350f25e07e21c947d19e3376f09b3c1e161742");
    const auto sharedBack = crypto::x25519SharedSecret(bob, alicePublic);
    ASSERT_TRUE(sharedBack);
    EXPECT_TRUE(*sharedBack == *shared);
    // A low-order peer point gives an all-zero result: no shared secret.
    EXPECT_FALSE(crypto::x25519SharedSecret(alice, Bytes(32, 0)));
    EXPECT_FALSE(crypto::x25519SharedSecret(alice, ByteView(bobPublic).first(31)));
    EXPECT_THROW(crypto::x25519SharedSecret(Bytes(31), bobPublic), CryptoError);
}

TEST(Crypto, RandomBytesAndConstantTimeEquality) {
    const Bytes a = crypto::randomBytes(32);
    const Bytes b = crypto::randomBytes(32);
    EXPECT_EQ(a.size(), 32u);
    EXPECT_NE(a, b);
    EXPECT_TRUE(crypto::randomBytes(0).empty());
    EXPECT_TRUE(crypto::constantTimeEqual(a, a));
    EXPECT_FALSE(crypto::constantTimeEqual(a, b));
    EXPECT_FALSE(crypto::constantTimeEqual(a, ByteView(a).first(31)));
    EXPECT_TRUE(crypto::constantTimeEqual({}, {}));
}

} // namespace
} // namespace qm
