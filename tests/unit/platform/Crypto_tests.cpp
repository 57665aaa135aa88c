#include "TestHex.h"
#include "platform/Crypto.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

using test::ascii;
using test::unhex;

std::string hexOf(ByteView b) {
    return test::hex(Bytes(b.begin(), b.end()));
}

const Bytes chachaKey = unhex("808182838485868788898a8b8c8d8e8f909192939495969798999a9b9c9d9e9f"),
            aad = unhex("50515253c0c1c2c3c4c5c6c7");
const Bytes sunscreen = ascii("Ladies and Gentlemen of the class of '99: If I could offer you "
                              "only one tip for the future, sunscreen would be it.");
const Bytes edSecret = unhex("9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60");
const Bytes alice = unhex("77076d0a7318a57d3c16c17251b26645df4c2f87ebc0992ab177fba51db92c2a");
const Bytes bob = unhex("5dab087e624a8a4b79e17f8b83800ee66f3bb1292618b6fd1c2f8b27ff88e0eb");

// RFC 4231 case 1, the empty key and message (Python's hmac), RFC 5869 cases 1 and 3,
// RFC 8439 2.8.2 (as nonce | ciphertext | tag), RFC 8032 7.1 test 1, RFC 7748 6.1.
TEST(Crypto, MatchesPublishedVectors) {
    const Bytes k = Bytes(20, 0x0b), ikm = Bytes(22, 0x0b), hi = ascii("Hi There");
    const std::vector<std::pair<std::string, std::string>> rows = {
        {hexOf(crypto::hmacSha512(k, hi)),
         "87aa7cdea5ef619d4ff0b4241a1d6cb02379f4e2ce4ec2787ad0b30545e17cde"
         "daa833b7d6b8a702038b274eaea3f4e4be9d914eeb61f1702e696c203a126854"},
        {hexOf(crypto::hmacSha256(k, hi)),
         "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
        {hexOf(crypto::hmacSha256({}, {})),
         "b613679a0814d9ec772f95d778c35fc5ff1697c493715653c6c712144292c5ad"},
        {hexOf(crypto::hkdfSha256(ikm, unhex("000102030405060708090a0b0c"),
                                  unhex("f0f1f2f3f4f5f6f7f8f9"), 42)),
         "3cb25f25faacd57a90434f64d0362f2a2d2d0a90cf1a5a4c5db02d56ecc4c5bf34007208d5b887185865"},
        {hexOf(crypto::hkdfSha256(ikm, {}, {}, 42)),
         "8da4e775a563c18f715f802a063c5a31b8a11f5c5ee1879ec3454e5f3c738d2d9d201395faa4b61a96c8"},
        {hexOf(crypto::chachaPolySeal(chachaKey, sunscreen, aad,
                                      ByteView(unhex("070000004041424344454647")))),
         "070000004041424344454647"
         "d31a8d34648e60db7b86afbc53ef7ec2a4aded51296e08fea9e2b5a736ee62d6"
         "3dbea45e8ca9671282fafb69da92728b1a71de0a9e060b2905d6a5b67ecd3b36"
         "92ddbd7f2d778b8c9803aee328091b58fab324e4fad675945585808b4831d7bc"
         "3ff4def08e4b7a9de576d26586cec64b6116"
         "1ae10b594f09e26a7e902ecbd0600691"},
        {hexOf(crypto::ed25519PublicKey(edSecret)),
         "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a"},
        {hexOf(crypto::ed25519Sign({}, edSecret)),
         "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e06522490155"
         "5fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe24655141438e7a100b"},
        {hexOf(crypto::x25519PublicKey(alice)),
         "8520f0098930a754748b7ddcb43ef75a0dbf3a0d26381af4eba4a98eaa9b4e6a"},
        {hexOf(crypto::x25519PublicKey(bob)),
         "de9edb7d7b7dc1b4d35b61c2ece435373f8343c85b78674dadfc7e146f882b4f"},
        {hexOf(crypto::x25519SharedSecret(alice, crypto::x25519PublicKey(bob)).value()),
         "4a5d9d5ba4ce2de1728e3bf480350f25e07e21c947d19e3376f09b3c1e161742"},
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].first, rows[i].second) << "row " << i;
    }
}

TEST(Crypto, OpensAndVerifiesOnlyWhatIsGenuine) {
    const Bytes box = crypto::chachaPolySeal(chachaKey, sunscreen, aad);
    EXPECT_EQ(crypto::chachaPolyOpen(chachaKey, box, aad).value().toText(),
              std::string(sunscreen.begin(), sunscreen.end()));
    Bytes forged = box;
    forged[12] ^= 0x01;
    EXPECT_FALSE(crypto::chachaPolyOpen(chachaKey, forged, aad));
    EXPECT_FALSE(crypto::chachaPolyOpen(chachaKey, box));
    EXPECT_FALSE(crypto::chachaPolyOpen(Bytes(32, 0x80), box, aad));
    EXPECT_FALSE(crypto::chachaPolyOpen(chachaKey, ByteView(box).first(27), aad));
    EXPECT_TRUE(crypto::chachaPolyOpen(chachaKey, crypto::chachaPolySeal(chachaKey, {})));
    EXPECT_THROW(crypto::chachaPolySeal(Bytes(31), sunscreen), CryptoError);
    EXPECT_THROW(crypto::chachaPolyOpen(Bytes(33), box), CryptoError);

    const Bytes publicKey = crypto::ed25519PublicKey(edSecret);
    Bytes signature = crypto::ed25519Sign({}, edSecret);
    EXPECT_TRUE(crypto::ed25519Verify(signature, {}, publicKey));
    EXPECT_FALSE(crypto::ed25519Verify(signature, {}, ByteView(publicKey).first(31)));
    signature[5] ^= 0x40;
    EXPECT_FALSE(crypto::ed25519Verify(signature, {}, publicKey));
    EXPECT_THROW(crypto::ed25519Sign(ascii("x"), Bytes(31)), CryptoError);
    // A low-order peer point gives an all-zero result: no shared secret.
    EXPECT_FALSE(crypto::x25519SharedSecret(alice, Bytes(32, 0)));
    EXPECT_THROW(crypto::x25519SharedSecret(Bytes(31), crypto::x25519PublicKey(bob)), CryptoError);
    EXPECT_FALSE(crypto::constantTimeEqual(alice, ByteView(alice).first(31)));
}

} // namespace
} // namespace qm
