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

// RFC 4231 test case 1.
TEST(Crypto, HmacMatchesRfc4231) {
    const Bytes key1(20, 0x0b);
    EXPECT_EQ(hexOf(crypto::hmacSha512(key1, ascii("Hi There"))),
              "87aa7cdea5ef619d4ff0b4241a1d6cb02379f4e2ce4ec2787ad0b30545e17cde"
              "daa833b7d6b8a702038b274eaea3f4e4be9d914eeb61f1702e696c203a126854");
    EXPECT_EQ(hexOf(crypto::hmacSha256(key1, ascii("Hi There"))),
              "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7");
    // Empty key and message (value from Python's hmac module).
    EXPECT_EQ(hexOf(crypto::hmacSha256({}, {})),
              "b613679a0814d9ec772f95d778c35fc5ff1697c493715653c6c712144292c5ad");
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
    EXPECT_FALSE(crypto::chachaPolyOpen(key, ByteView(box).first(27), aad));

    // Empty plaintext: nonce and tag only, and it still authenticates.
    const Bytes empty = crypto::chachaPolySeal(key, {});
    const auto openedEmpty = crypto::chachaPolyOpen(key, empty);
    ASSERT_TRUE(openedEmpty);
    EXPECT_TRUE(openedEmpty->empty());

    EXPECT_THROW(crypto::chachaPolySeal(Bytes(31), plaintext), CryptoError);
    EXPECT_THROW(crypto::chachaPolySeal(key, plaintext, {}, ByteView(nonce).first(11)),
                 CryptoError);
    EXPECT_THROW(crypto::chachaPolyOpen(Bytes(33), box), CryptoError);
}

// RFC 8032 section 7.1, test 1.
TEST(Crypto, Ed25519MatchesRfc8032) {
    const Bytes secret = unhex("9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60");
    const Bytes publicKey = crypto::ed25519PublicKey(secret);
    EXPECT_EQ(hexOf(publicKey), "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a");
    const Bytes signature = crypto::ed25519Sign({}, secret);
    EXPECT_EQ(hexOf(signature), "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e06522490155"
                                "5fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe24655141438e7a100b");
    EXPECT_TRUE(crypto::ed25519Verify(signature, {}, publicKey));

    Bytes forged = signature;
    forged[5] ^= 0x40;
    EXPECT_FALSE(crypto::ed25519Verify(forged, {}, publicKey));
    EXPECT_FALSE(crypto::ed25519Verify(signature, Bytes{0}, publicKey));
    EXPECT_FALSE(crypto::ed25519Verify(signature, {}, ByteView(publicKey).first(31)));
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
    EXPECT_TRUE(crypto::x25519SharedSecret(bob, alicePublic) == shared);
    // A low-order peer point gives an all-zero result: no shared secret.
    EXPECT_FALSE(crypto::x25519SharedSecret(alice, Bytes(32, 0)));
    EXPECT_FALSE(crypto::x25519SharedSecret(alice, ByteView(bobPublic).first(31)));
    EXPECT_THROW(crypto::x25519SharedSecret(Bytes(31), bobPublic), CryptoError);
}

TEST(Crypto, RandomBytesAndConstantTimeEquality) {
    const Bytes a = crypto::randomBytes(32);
    const Bytes b = crypto::randomBytes(32);
    EXPECT_NE(a, b);
    EXPECT_TRUE(crypto::constantTimeEqual(a, a));
    EXPECT_FALSE(crypto::constantTimeEqual(a, b));
    EXPECT_FALSE(crypto::constantTimeEqual(a, ByteView(a).first(31)));
}

} // namespace
} // namespace qm
