#pragma once
// A dApp's side of WalletConnect made by hand from envelopes, over the loopback relay fixture:
// it publishes proposals and requests as a dApp would (or as no dApp client would: duplicates,
// late ones, foreign addresses), and reads and opens what the wallet published. The real
// dApp client is tests/peers/walletconnect_peer.mjs.

#include "RelayFixture.h"
#include "platform/Bytes.h"
#include "platform/SecureBytes.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace qm::test {

class HandMadeDapp {
public:
    explicit HandMadeDapp(RelayFixture& relay);

    // "wc:<topic>@2?relay-protocol=irn&symKey=<key>".
    std::string pairingURI() const;

    // Publishes `body` on `topic`, sealed under `key` as type 0 (or type 1 with our key).
    void send(const std::string& topic, const nlohmann::json& body, ByteView key,
              bool type1 = false);
    // A "wc_sessionPropose" with our key and metadata, and `params` besides.
    void propose(std::int64_t id, nlohmann::json params = nlohmann::json::object(),
                 bool type1 = true);
    // A "wc_sessionRequest" on the session topic.
    void request(std::int64_t id, const std::string& method, nlohmann::json params,
                 const std::string& chainId = "eip155:1",
                 std::optional<std::int64_t> expiry = std::nullopt);

    // The bodies the wallet published on `topic` with `tag`, opened with `key`; their envelope
    // types into `types` when given.
    std::vector<nlohmann::json> published(const std::string& topic, std::int64_t tag, ByteView key,
                                          std::vector<int>* types = nullptr) const;
    bool waitForPublished(const std::string& topic, std::int64_t tag, ByteView key,
                          std::size_t count) const;
    // The wallet's answers to requests on the session topic.
    std::vector<nlohmann::json> answers() const;
    bool waitForAnswers(std::size_t count) const;

    // After an approval: the session key and topic from the wallet's answer.
    void readAnswer();

    RelayFixture& fixture;
    // The icons its proposals name: a loopback address nothing listens on, so that nothing
    // that shows them reaches out.
    std::vector<std::string> icons{"https://127.0.0.1:9/icon.png"};
    std::string name = "Hand dApp";
    Bytes pairingKey;
    std::string pairingTopic;
    SecureBytes privateKey{32};
    Bytes publicKey;
    Bytes sessionKey;
    std::string sessionTopic;
};

} // namespace qm::test
