// The relay token's shape and signature; @walletconnect/relay-auth verifies our tokens in the
// relay tests and the peer test.
#include "core/crypto/Base58.h"
#include "platform/Crypto.h"
#include "services/walletconnect/RelayAuthToken.h"

#include <QByteArray>
#include <chrono>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace qm {
namespace {

std::string fromBase64URL(const std::string& text) {
    const auto decoded = QByteArray::fromBase64Encoding(
        QByteArray::fromStdString(text), QByteArray::Base64UrlEncoding |
                                             QByteArray::OmitTrailingEquals |
                                             QByteArray::AbortOnBase64DecodingErrors);
    EXPECT_TRUE(decoded) << text;
    return decoded.decoded.toStdString();
}

TEST(RelayAuthToken, ACompactEdDSATokenSignedByItsIssuer) {
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    const RelayAuthToken made = makeRelayAuthToken("wss://relay.walletconnect.org");
    const std::string& token = made.token;
    EXPECT_EQ(std::count(token.begin(), token.end(), '.'), 2);
    EXPECT_EQ(token.find_first_of("+/="), std::string::npos);
    const std::size_t firstDot = token.find('.');
    const std::size_t lastDot = token.rfind('.');

    EXPECT_EQ(token.substr(0, firstDot), "eyJhbGciOiJFZERTQSIsInR5cCI6IkpXVCJ9");
    EXPECT_EQ(fromBase64URL(token.substr(0, firstDot)), R"({"alg":"EdDSA","typ":"JWT"})");

    const std::string claimsText =
        fromBase64URL(token.substr(firstDot + 1, lastDot - firstDot - 1));
    EXPECT_TRUE(claimsText.starts_with(R"({"iss":"did:key:z6Mk)")) << claimsText;
    const auto claims = nlohmann::json::parse(claimsText);
    EXPECT_EQ(claims.size(), 5u);
    EXPECT_EQ(claims["iss"], made.issuer);
    EXPECT_EQ(claims["aud"], "wss://relay.walletconnect.org");
    const std::string subject = claims["sub"];
    EXPECT_EQ(subject.size(), 32u);
    EXPECT_EQ(subject.find_first_not_of("0123456789ABCDEF"), std::string::npos) << subject;
    EXPECT_NEAR(claims["iat"].get<double>(), static_cast<double>(now), 2.0);
    EXPECT_EQ(claims["exp"].get<std::int64_t>() - claims["iat"].get<std::int64_t>(), 86400);
    EXPECT_TRUE(claimsText.ends_with(R"(,"exp":)" +
                                     std::to_string(claims["exp"].get<std::int64_t>()) + "}"));

    // The issuer carries the key that verifies the signature over the text before the last dot.
    ASSERT_EQ(made.issuer.size(), std::string("did:key:z").size() + 47);
    const auto multicodec = base58Decode(made.issuer.substr(9));
    ASSERT_TRUE(multicodec);
    ASSERT_EQ(multicodec->size(), 34u);
    EXPECT_EQ((*multicodec)[0], 0xED);
    EXPECT_EQ((*multicodec)[1], 0x01);
    const Bytes publicKey(multicodec->begin() + 2, multicodec->end());
    const std::string signature = fromBase64URL(token.substr(lastDot + 1));
    const std::string signedText = token.substr(0, lastDot);
    EXPECT_TRUE(crypto::ed25519Verify(utf8View(signature), utf8View(signedText), publicKey));
    std::string tampered = signedText;
    tampered.back() = tampered.back() == 'A' ? 'B' : 'A';
    EXPECT_FALSE(crypto::ed25519Verify(utf8View(signature), utf8View(tampered), publicKey));

    // Every call: a new key pair, subject and signature.
    const RelayAuthToken other = makeRelayAuthToken("wss://relay.walletconnect.org");
    EXPECT_NE(other.issuer, made.issuer);
    EXPECT_NE(
        nlohmann::json::parse(fromBase64URL(other.token.substr(
            other.token.find('.') + 1, other.token.rfind('.') - other.token.find('.') - 1)))["sub"],
        subject);
    EXPECT_NE(other.token.substr(other.token.rfind('.')), token.substr(lastDot));
}

TEST(RelayAuthToken, Base64URLWithoutPadding) {
    EXPECT_EQ(base64URLEncode(""), "");
    EXPECT_EQ(base64URLEncode("f"), "Zg");
    EXPECT_EQ(base64URLEncode("fo"), "Zm8");
    EXPECT_EQ(base64URLEncode("foo"), "Zm9v");
    EXPECT_EQ(base64URLEncode("\xFB\xFF\xBF"), "-_-_");
}

} // namespace
} // namespace qm
