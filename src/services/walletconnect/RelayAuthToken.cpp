#include "services/walletconnect/RelayAuthToken.h"

#include "core/crypto/Base58.h"
#include "core/encoding/Base64.h"
#include "platform/Crypto.h"

#include <QUuid>
#include <chrono>

namespace qm {
namespace {

constexpr std::string_view kHeader = R"({"alg":"EdDSA","typ":"JWT"})";
constexpr std::int64_t kLifetimeSeconds = 86'400;

} // namespace

std::string base64URLEncode(std::string_view bytes) {
    std::string text = base64Encode(utf8View(bytes));
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '+') {
            out += '-';
        } else if (c == '/') {
            out += '_';
        } else if (c != '=') {
            out += c;
        }
    }
    return out;
}

RelayAuthToken makeRelayAuthToken(std::string_view audience) {
    SecureBytes privateKey(32);
    crypto::randomFill(privateKey.data(), privateKey.size());
    const Bytes publicKey = crypto::ed25519PublicKey(privateKey);

    Bytes multicodec{0xED, 0x01};
    multicodec.insert(multicodec.end(), publicKey.begin(), publicKey.end());
    std::string issuer = "did:key:z" + base58Encode(multicodec);

    const std::int64_t issuedAt = std::chrono::duration_cast<std::chrono::seconds>(
                                      std::chrono::system_clock::now().time_since_epoch())
                                      .count();
    const std::string subject = QUuid::createUuid().toString(QUuid::Id128).toUpper().toStdString();
    // Written piece by piece: the member order is fixed and no value needs escaping.
    const std::string claims = R"({"iss":")" + issuer + R"(","sub":")" + subject + R"(","aud":")" +
                               std::string(audience) + R"(","iat":)" + std::to_string(issuedAt) +
                               R"(,"exp":)" + std::to_string(issuedAt + kLifetimeSeconds) + "}";

    const std::string signingInput = base64URLEncode(kHeader) + "." + base64URLEncode(claims);
    const Bytes signature = crypto::ed25519Sign(utf8View(signingInput), privateKey);
    const std::string signatureText(signature.begin(), signature.end());
    return {signingInput + "." + base64URLEncode(signatureText), std::move(issuer)};
}

} // namespace qm
