// Key agreement and envelopes. The fixed vectors were made by @walletconnect/utils 2.25 from the
// RFC 7748 key pairs (deriveSymKey, hashKey, encrypt with a fixed iv); the peer test checks
// random cases both ways. The library ignores the type byte when it opens, so the type byte and
// the length limits are proven here only.
#include "TestHex.h"
#include "core/encoding/Base64.h"
#include "platform/Crypto.h"
#include "services/walletconnect/WCEnvelope.h"
#include "services/walletconnect/WCError.h"

#include <chrono>
#include <gtest/gtest.h>
#include <set>

namespace qm {
namespace {

using test::hex;
using test::unhex;

// RFC 7748 section 6.1.
const Bytes kAlicePrivate =
    unhex("77076d0a7318a57d3c16c17251b26645df4c2f87ebc0992ab177fba51db92c2a");
const Bytes kAlicePublic =
    unhex("8520f0098930a754748b7ddcb43ef75a0dbf3a0d26381af4eba4a98eaa9b4e6a");
const Bytes kBobPrivate = unhex("5dab087e624a8a4b79e17f8b83800ee66f3bb1292618b6fd1c2f8b27ff88e0eb");
const Bytes kBobPublic = unhex("de9edb7d7b7dc1b4d35b61c2ece435373f8343c85b78674dadfc7e146f882b4f");
constexpr const char* kSymmetricKey =
    "ea1d8a20f476d1e1ec952ca42708b8f7161ce7c81eadf97e520e2b40333decd5";
// Type 0 of {"id":1,"jsonrpc":"2.0","result":true}, type 1 of "hello" from Alice; iv 00..0b.
constexpr const char* kType0 =
    "AAABAgMEBQYHCAkKC1NpmVwoe1LoBKBdzMFtbY6qYKa2PRkZ4zOz55JMUX6CaSBMOoHuEeR+"
    "B+4FvXc1KseqWM7WSA==";
constexpr const char* kType1 =
    "AYUg8AmJMKdUdIt93LQ+91oNvzoNJjga9OukqY6qm05qAAECAwQFBgcICQoLQC6cVGVGBRKQ"
    "M8kwpGsiyN1vDsNN";

std::string text(const Bytes& bytes) {
    return {bytes.begin(), bytes.end()};
}

// The error text of an opening, or the kind of platform error.
template <typename F> std::string failureOf(F&& open) {
    try {
        open();
    } catch (const WCError& error) {
        return error.what();
    } catch (const CryptoError& error) {
        return error.code() == CryptoError::Code::authenticationFailed ? "authentication"
                                                                       : error.what();
    }
    return "opened";
}

TEST(WCEnvelope, KeyAgreementAndTopicMatchTheLibrary) {
    const SecureBytes fromAlice = deriveSymmetricKey(kAlicePrivate, kBobPublic);
    const SecureBytes fromBob = deriveSymmetricKey(kBobPrivate, kAlicePublic);
    EXPECT_EQ(hex(Bytes(fromAlice.begin(), fromAlice.end())), kSymmetricKey);
    EXPECT_EQ(hex(Bytes(fromBob.begin(), fromBob.end())), kSymmetricKey);
    EXPECT_EQ(topicForKey(unhex(kSymmetricKey)),
              "1ca1d70db64cab0f93de5934e27f7114e8e9fd7dd3c7145d81ce7f2dd2cd05c8");

    // A low-order peer point gives no shared secret; wrong sizes are refused.
    const auto codeOf = [](ByteView priv, ByteView pub) {
        try {
            deriveSymmetricKey(priv, pub);
        } catch (const CryptoError& error) {
            return error.code();
        }
        return CryptoError::Code::openSSLFailure;
    };
    EXPECT_EQ(codeOf(kAlicePrivate, Bytes(32, 0)), CryptoError::Code::keyAgreementFailed);
    EXPECT_EQ(codeOf(kAlicePrivate, Bytes(31, 9)), CryptoError::Code::invalidKeySize);
    EXPECT_EQ(codeOf(Bytes(33, 1), kBobPublic), CryptoError::Code::invalidKeySize);
}

TEST(WCEnvelope, OpensTheLibrarysEnvelopesAndRefusesWrongShapes) {
    const Bytes key = unhex(kSymmetricKey);
    const Bytes type0 = *envelopeFromText(kType0);
    const Bytes type1 = *envelopeFromText(kType1);
    EXPECT_EQ(text(openType0Envelope(type0, key)), R"({"id":1,"jsonrpc":"2.0","result":true})");
    const WCType1Contents opened = openType1Envelope(type1, key);
    EXPECT_EQ(opened.senderPublicKey, kAlicePublic);
    EXPECT_EQ(text(opened.plaintext), "hello");

    // Lengths at the limits: the shape check first, then the cipher.
    const std::string invalid0 = "Crypto: Invalid Type 0 envelope";
    const std::string invalid1 = "Crypto: Invalid Type 1 envelope";
    EXPECT_EQ(failureOf([&] { openType0Envelope(Bytes(29, 0), key); }), invalid0);
    EXPECT_EQ(failureOf([&] { openType0Envelope(Bytes(30, 0), key); }), "authentication");
    EXPECT_EQ(failureOf([&] { openType0Envelope({}, key); }), invalid0);
    Bytes short1(61, 0);
    short1[0] = 1;
    EXPECT_EQ(failureOf([&] { openType1Envelope(short1, key); }), invalid1);
    short1.push_back(0);
    EXPECT_EQ(failureOf([&] { openType1Envelope(short1, key); }), "authentication");
    // Each type refused by the other's opening.
    EXPECT_EQ(failureOf([&] { openType0Envelope(type1, key); }), invalid0);
    EXPECT_EQ(failureOf([&] { openType1Envelope(type0, key); }), invalid1);
    Bytes type2 = type0;
    type2[0] = 2;
    EXPECT_EQ(failureOf([&] { openType0Envelope(type2, key); }), invalid0);

    // Any altered byte after the type, or another key: the platform's authentication error.
    for (const std::size_t at : {std::size_t{1}, std::size_t{13}, type0.size() - 1}) {
        Bytes altered = type0;
        altered[at] ^= 0x01;
        EXPECT_EQ(failureOf([&] { openType0Envelope(altered, key); }), "authentication") << at;
    }
    Bytes otherKey = key;
    otherKey[0] ^= 0x80;
    EXPECT_EQ(failureOf([&] { openType1Envelope(type1, otherKey); }), "authentication");
}

TEST(WCEnvelope, SealsFreshEnvelopesOfEachType) {
    const Bytes key = unhex(kSymmetricKey);
    const std::string body = "{\"method\":\"wc_sessionSettle\"}";
    const Bytes plaintext(body.begin(), body.end());
    const Bytes first = sealType0Envelope(plaintext, key);
    const Bytes second = sealType0Envelope(plaintext, key);
    ASSERT_EQ(first.size(), 1 + 12 + plaintext.size() + 16);
    EXPECT_EQ(first[0], 0x00);
    EXPECT_NE(first, second); // a fresh nonce each time
    EXPECT_EQ(openType0Envelope(first, key), plaintext);
    EXPECT_EQ(openType0Envelope(second, key), plaintext);
    // The smallest envelope: one byte of plaintext is exactly the 30 bytes the opening accepts.
    EXPECT_EQ(sealType0Envelope(Bytes{7}, key).size(), kType0EnvelopeMinSize);
    EXPECT_EQ(openType0Envelope(sealType0Envelope(Bytes{7}, key), key), Bytes{7});

    const Bytes sealed1 = sealType1Envelope(plaintext, key, kBobPublic);
    ASSERT_EQ(sealed1.size(), 1 + 32 + 12 + plaintext.size() + 16);
    EXPECT_EQ(sealed1[0], 0x01);
    EXPECT_EQ(Bytes(sealed1.begin() + 1, sealed1.begin() + 33), kBobPublic);
    const WCType1Contents opened = openType1Envelope(sealed1, key);
    EXPECT_EQ(opened.senderPublicKey, kBobPublic);
    EXPECT_EQ(opened.plaintext, plaintext);
    EXPECT_NE(sealType1Envelope(plaintext, key, kBobPublic), sealed1);
    // The sender key goes in as given, whatever its length.
    EXPECT_EQ(sealType1Envelope(plaintext, key, Bytes{1, 2}).size(),
              1 + 2 + 12 + plaintext.size() + 16);
}

TEST(WCEnvelope, EnvelopeTextIsStrictBase64) {
    const Bytes bytes{0x00, 0xFF, 0x10};
    EXPECT_EQ(envelopeText(bytes), "AP8Q");
    EXPECT_EQ(envelopeFromText("AP8Q"), bytes);
    EXPECT_EQ(envelopeFromText("AA=="), Bytes{0});
    for (const char* bad : {"", "AP8", "AP8Q\n", " AP8Q", "AP-_", "AP8Q====", "A===", "AP8*"}) {
        EXPECT_FALSE(envelopeFromText(bad)) << bad;
    }
}

TEST(WCEnvelope, MessageIdsAreMillisecondsAndSixRandomDigits) {
    using namespace std::chrono;
    const auto before = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    std::set<std::int64_t> ids;
    std::set<std::int64_t> lowDigits;
    for (int i = 0; i < 200; ++i) {
        const std::int64_t id = generateMessageId();
        ids.insert(id);
        lowDigits.insert(id % 1'000'000);
    }
    const auto after = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    EXPECT_GE(*ids.begin() / 1'000'000, before);
    EXPECT_LE(*ids.rbegin() / 1'000'000, after);
    // 200 draws below a million: a repeat would be a one-in-fifty event; more means no randomness.
    EXPECT_GE(lowDigits.size(), 198u);
    EXPECT_GE(ids.size(), 198u);
}

} // namespace
} // namespace qm
