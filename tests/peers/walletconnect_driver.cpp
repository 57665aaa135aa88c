// Driver of walletconnect_peer.mjs: ops derive, topic, seal0, seal1, open0, open1, token, uri,
// and approve (our relay client and envelopes as the wallet side of a session a real dApp client
// proposes through the loopback relay).
#include "PeerDriver.h"
#include "RunTask.h"
#include "core/encoding/Hex.h"
#include "platform/Crypto.h"
#include "platform/async/OneShot.h"
#include "services/walletconnect/RelayAuthToken.h"
#include "services/walletconnect/WCEnvelope.h"
#include "services/walletconnect/WCPairingURI.h"
#include "services/walletconnect/WCRelay.h"

#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <deque>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

namespace {

using nlohmann::json;
using namespace qm;

std::string textOf(const Bytes& bytes) {
    return {bytes.begin(), bytes.end()};
}

Bytes envelopeField(const json& request) {
    auto bytes = envelopeFromText(request.at("envelope").get<std::string>());
    if (!bytes) {
        throw std::invalid_argument("envelope is no Base64");
    }
    return *bytes;
}

// The messages of one subscription, awaited one at a time.
class Inbox {
public:
    WCRelay::Handler handler() {
        return [this](const std::string&, const std::string& message) {
            messages_.push_back(message);
            if (auto waiting = std::exchange(waiting_, std::nullopt)) {
                waiting->succeed();
            }
        };
    }

    QCoro::Task<std::string> next() {
        while (messages_.empty()) {
            const OneShot<void> arrived;
            waiting_ = arrived;
            QTimer::singleShot(std::chrono::seconds(20), [arrived] {
                arrived.fail(std::make_exception_ptr(std::runtime_error("no message came")));
            });
            co_await arrived.wait();
        }
        std::string message = messages_.front();
        messages_.pop_front();
        co_return message;
    }

private:
    std::deque<std::string> messages_;
    std::optional<OneShot<void>> waiting_;
};

// Opens a pairing-topic message of either type, or a session-topic message (type 0).
json openMessage(const std::string& text, ByteView key) {
    const auto envelope = envelopeFromText(text);
    if (!envelope) {
        throw std::runtime_error("message is no Base64");
    }
    const Bytes plain = (*envelope)[0] == 1 ? openType1Envelope(*envelope, key).plaintext
                                            : openType0Envelope(*envelope, key);
    return json::parse(textOf(plain));
}

// The wallet's side of a session: pair from the URI, take the proposal, settle, answer it, and
// read the dApp's acknowledgement of the settlement.
QCoro::Task<json> approve(json request) {
    const auto pairing = parsePairingURI(request.at("uri").get<std::string>());
    if (!pairing) {
        throw std::invalid_argument("the dApp's URI does not parse");
    }
    WCRelay relay(WCRelayEndpoint{request.at("relay").get<std::string>(),
                                  request.at("projectId").get<std::string>()},
                  WCRelay::Limits{});
    co_await relay.connect();

    Inbox pairingInbox;
    const WCRelay::Handler pairingHandler = pairingInbox.handler();
    co_await relay.subscribe(pairing->topic, pairingHandler);
    const std::string proposalText = co_await pairingInbox.next();
    const json proposal = openMessage(proposalText, pairing->symKey);

    SecureBytes privateKey(32);
    crypto::randomFill(privateKey.data(), privateKey.size());
    const Bytes publicKey = crypto::x25519PublicKey(privateKey);
    const auto proposer =
        hexToBytes("0x" + proposal.at("params").at("proposer").at("publicKey").get<std::string>());
    const SecureBytes sessionKey = deriveSymmetricKey(privateKey, proposer.value_or(Bytes{}));
    const std::string sessionTopic = topicForKey(sessionKey);

    Inbox sessionInbox;
    const WCRelay::Handler sessionHandler = sessionInbox.handler();
    co_await relay.subscribe(sessionTopic, sessionHandler);

    const std::string account = "eip155:1:" + request.at("address").get<std::string>();
    const std::int64_t settleId = generateMessageId();
    const auto expiry = std::chrono::duration_cast<std::chrono::seconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count() +
                        604800;
    const json settle = {{"id", settleId},
                         {"jsonrpc", "2.0"},
                         {"method", "wc_sessionSettle"},
                         {"params",
                          {{"relay", {{"protocol", "irn"}}},
                           {"namespaces",
                            {{"eip155",
                              {{"chains", {"eip155:1"}},
                               {"accounts", json::array({account})},
                               {"methods", {"personal_sign", "eth_sendTransaction"}},
                               {"events", {"chainChanged", "accountsChanged"}}}}}},
                           {"controller",
                            {{"publicKey", bytesToPlainHex(publicKey)},
                             {"metadata",
                              {{"name", "Quillmark"},
                               {"description", "Multi-chain wallet"},
                               {"url", "https://quillmark.example"},
                               {"icons", json::array()}}}}},
                           {"expiry", expiry}}}};
    const std::string settleText =
        envelopeText(sealType0Envelope(utf8View(settle.dump()), sessionKey));
    co_await relay.publish(sessionTopic, settleText, 300, 1102);

    const json answer = {
        {"id", proposal.at("id")},
        {"jsonrpc", "2.0"},
        {"result",
         {{"relay", {{"protocol", "irn"}}}, {"responderPublicKey", bytesToPlainHex(publicKey)}}}};
    // Type 0 under the pairing key: the dApp client cannot open a type 1 answer (it derives the
    // key of a type 1 envelope from a receiver key it holds only for authentication requests).
    const std::string answerText =
        envelopeText(sealType0Envelope(utf8View(answer.dump()), pairing->symKey));
    co_await relay.publish(pairing->topic, answerText, 300, 1101);

    const std::string acknowledgementText = co_await sessionInbox.next();
    const json acknowledgement = openMessage(acknowledgementText, sessionKey);
    co_return json{{"proposal", proposal},
                   {"sessionTopic", sessionTopic},
                   {"settleId", std::to_string(settleId)},
                   {"acknowledgement", acknowledgement}};
}

json answer(const json& request) {
    const std::string op = request.at("op").get<std::string>();
    if (op == "derive") {
        const SecureBytes key = deriveSymmetricKey(test::hexField(request, "privateKey"),
                                                   test::hexField(request, "publicKey"));
        return {{"key", bytesToPlainHex(key.view())}};
    }
    if (op == "topic") {
        return {{"topic", topicForKey(test::hexField(request, "key"))}};
    }
    if (op == "seal0") {
        const std::string message = request.at("message");
        return {{"envelope", envelopeText(sealType0Envelope(utf8View(message),
                                                            test::hexField(request, "key")))}};
    }
    if (op == "seal1") {
        const std::string message = request.at("message");
        return {{"envelope",
                 envelopeText(sealType1Envelope(utf8View(message), test::hexField(request, "key"),
                                                test::hexField(request, "sender")))}};
    }
    try {
        if (op == "open0") {
            return {{"message", textOf(openType0Envelope(envelopeField(request),
                                                         test::hexField(request, "key")))}};
        }
        if (op == "open1") {
            const WCType1Contents opened =
                openType1Envelope(envelopeField(request), test::hexField(request, "key"));
            return {{"sender", bytesToPlainHex(opened.senderPublicKey)},
                    {"message", textOf(opened.plaintext)}};
        }
    } catch (const Error& error) {
        return {{"refused", error.what()}};
    }
    if (op == "token") {
        const RelayAuthToken token = makeRelayAuthToken(request.at("audience").get<std::string>());
        return {{"token", token.token}, {"issuer", token.issuer}};
    }
    if (op == "uri") {
        const auto parsed = parsePairingURI(request.at("uri").get<std::string>());
        if (!parsed) {
            return {{"refused", true}};
        }
        return {{"topic", parsed->topic},
                {"symKey", bytesToPlainHex(parsed->symKey)},
                {"relayProtocol", parsed->relayProtocol},
                {"expiryTimestamp",
                 parsed->expiryTimestamp ? json(*parsed->expiryTimestamp) : json(nullptr)}};
    }
    if (op == "approve") {
        return test::runTask(approve(request));
    }
    throw std::invalid_argument("unknown op " + op);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return qm::test::runPeerDriver(answer);
}
