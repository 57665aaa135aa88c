#include "HandMadeDapp.h"

#include "core/encoding/Hex.h"
#include "platform/Crypto.h"
#include "services/walletconnect/WCEnvelope.h"
#include "services/walletconnect/WCSessionMessages.h"

#include <stdexcept>

namespace qm::test {
namespace {

using nlohmann::json;

Bytes randomBytes(std::size_t size) {
    Bytes out(size);
    crypto::randomFill(out.data(), out.size());
    return out;
}

} // namespace

HandMadeDapp::HandMadeDapp(RelayFixture& relay)
    : fixture(relay), pairingKey(randomBytes(32)), pairingTopic(bytesToPlainHex(randomBytes(32))) {
    crypto::randomFill(privateKey.data(), privateKey.size());
    publicKey = crypto::x25519PublicKey(privateKey.view());
}

std::string HandMadeDapp::pairingURI() const {
    return "wc:" + pairingTopic + "@2?relay-protocol=irn&symKey=" + bytesToPlainHex(pairingKey);
}

void HandMadeDapp::send(const std::string& topic, const json& body, ByteView key, bool type1) {
    const std::string text = body.dump();
    const Bytes plain(text.begin(), text.end());
    const Bytes envelope =
        type1 ? sealType1Envelope(plain, key, publicKey) : sealType0Envelope(plain, key);
    if (!fixture.control(
            {{"op", "publish"}, {"topic", topic}, {"message", envelopeText(envelope)}})) {
        throw std::runtime_error("the relay fixture did not publish");
    }
}

void HandMadeDapp::propose(std::int64_t id, json params, bool type1) {
    params["proposer"] = {{"publicKey", bytesToPlainHex(publicKey)},
                          {"metadata",
                           {{"name", name},
                            {"description", "d"},
                            {"url", "https://dapp.example"},
                            {"icons", icons}}}};
    send(pairingTopic, {{"id", id}, {"method", "wc_sessionPropose"}, {"params", params}},
         pairingKey, type1);
}

void HandMadeDapp::request(std::int64_t id, const std::string& method, json params,
                           const std::string& chainId, std::optional<std::int64_t> expiry) {
    json request = {{"method", method}, {"params", std::move(params)}};
    if (expiry) {
        request["expiryTimestamp"] = *expiry;
    }
    send(sessionTopic,
         {{"id", id},
          {"method", "wc_sessionRequest"},
          {"params", {{"request", request}, {"chainId", chainId}}}},
         sessionKey);
}

std::vector<json> HandMadeDapp::published(const std::string& topic, std::int64_t tag, ByteView key,
                                          std::vector<int>* types) const {
    std::vector<json> out;
    for (const json& event : fixture.events()) {
        if (event["event"] != "published" || event["topic"] != topic || event["tag"] != tag ||
            event["from"] == "fixture") {
            continue;
        }
        const Bytes envelope = *envelopeFromText(event["message"].get<std::string>());
        if (types) {
            types->push_back(envelope[0]);
        }
        const Bytes plain = openType0Envelope(envelope, key);
        out.push_back(json::parse(std::string(plain.begin(), plain.end())));
    }
    return out;
}

bool HandMadeDapp::waitForPublished(const std::string& topic, std::int64_t tag, ByteView key,
                                    std::size_t count) const {
    return waitUntil([&] { return published(topic, tag, key).size() >= count; });
}

std::vector<json> HandMadeDapp::answers() const {
    return published(sessionTopic, kWCTagRequestAnswer, sessionKey);
}

bool HandMadeDapp::waitForAnswers(std::size_t count) const {
    return waitForPublished(sessionTopic, kWCTagRequestAnswer, sessionKey, count);
}

void HandMadeDapp::readAnswer() {
    if (!waitForPublished(pairingTopic, kWCTagProposalAnswer, pairingKey, 1)) {
        throw std::runtime_error("the wallet did not answer the proposal");
    }
    const json answer = published(pairingTopic, kWCTagProposalAnswer, pairingKey).back();
    const Bytes walletKey = *hexToBytes(answer["result"]["responderPublicKey"].get<std::string>());
    const SecureBytes key = deriveSymmetricKey(privateKey.view(), walletKey);
    sessionKey = Bytes(key.begin(), key.end());
    sessionTopic = topicForKey(sessionKey);
}

} // namespace qm::test
