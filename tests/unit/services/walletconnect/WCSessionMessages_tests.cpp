// The sign protocol's bodies: what the wallet offers, what it reads from proposals and
// requests, and when a proposal asks for more than it offers.
#include "services/walletconnect/WCSessionMessages.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

TEST(WCSessionMessages, TheWalletsNamespacesKeepTheGivenOrderOfEVMChains) {
    const json namespaces =
        walletNamespaces({Chain::ethereum, Chain::bitcoin, Chain::polygon, Chain::solana}, "0xA");
    EXPECT_EQ(namespaces, json::parse(R"({"eip155": {
        "chains": ["eip155:1", "eip155:137"],
        "accounts": ["eip155:1:0xA", "eip155:137:0xA"],
        "methods": ["personal_sign", "eth_signTypedData_v4", "eth_sendTransaction",
                    "eth_signTransaction"],
        "events": ["chainChanged", "accountsChanged"]}})"));
    // eth_sign is never offered: the wallet does not serve it.
    EXPECT_EQ(std::count(walletMethods().begin(), walletMethods().end(), "eth_sign"), 0);
    EXPECT_TRUE(walletChainIds({Chain::bitcoin, Chain::solana}).empty());
    EXPECT_EQ(walletMetadata()["name"], "Quillmark");
    EXPECT_EQ(walletMetadata()["description"], "Multi-chain wallet");
    EXPECT_TRUE(walletMetadata()["url"].get<std::string>().starts_with("https://"));

    EXPECT_EQ(chainForCAIP2("eip155:1"), Chain::ethereum);
    EXPECT_EQ(chainForCAIP2("eip155:42161"), Chain::arbitrum);
    EXPECT_EQ(chainForCAIP2("eip155:137"), Chain::polygon);
    for (const char* other : {"eip155:10", "eip155:01", "eip155:1:x", "eip155", "solana:1", "",
                              "eip155:137 ", "EIP155:1"}) {
        EXPECT_FALSE(chainForCAIP2(other)) << other;
    }
}

TEST(WCSessionMessages, ProposalsAskingForMoreThanTheWalletOffersAreRefused) {
    const auto required = [](const char* text) { return parseNamespaces(json::parse(text)); };
    EXPECT_EQ(requiredNamespacesRefusal({}), std::nullopt);
    EXPECT_EQ(requiredNamespacesRefusal(required(R"({"eip155": {
        "chains": ["eip155:1", "eip155:137"], "methods": ["personal_sign", "eth_sendTransaction"],
        "events": ["accountsChanged"]}})")),
              std::nullopt);
    EXPECT_EQ(requiredNamespacesRefusal(required(R"({"eip155:42161": {"methods": []}})")),
              std::nullopt);
    EXPECT_EQ(requiredNamespacesRefusal(required(R"({"eip155": {"chains": ["eip155:10"]}})")),
              WCProtocolError::unsupportedChains());
    EXPECT_EQ(requiredNamespacesRefusal(required(R"({"eip155:56": {}})")),
              WCProtocolError::unsupportedChains());
    EXPECT_EQ(requiredNamespacesRefusal(required(R"({"eip155": {"methods": ["eth_sign"]}})")),
              WCProtocolError::unsupportedMethods());
    EXPECT_EQ(requiredNamespacesRefusal(required(R"({"eip155": {"events": ["disconnect"]}})")),
              WCProtocolError::unsupportedEvents());
    EXPECT_EQ(requiredNamespacesRefusal(required(R"({"solana": {"chains": []}})")),
              WCProtocolError::unsupportedNamespaceKey());
    EXPECT_EQ(WCProtocolError::unsupportedChains().code, 5100);
    EXPECT_EQ(WCProtocolError::userRejected(), (WCProtocolError{5000, "User rejected"}));

    // Namespaces as a proposal carries them.
    const WCNamespaces parsed = required(R"({"eip155": {"methods": 5, "events": ["a", 1]},
                                             "x": {"chains": ["c"], "other": true}})");
    EXPECT_EQ(parsed.at("eip155"), (WCNamespace{std::nullopt, {}, {}}));
    EXPECT_EQ(parsed.at("x"), (WCNamespace{std::vector<std::string>{"c"}, {}, {}}));
    EXPECT_TRUE(required(R"({"eip155": {}, "bad": 1})").empty());
    EXPECT_TRUE(required("[]").empty());
}

TEST(WCSessionMessages, IdsAreIntegersOrTheClientsTextOfLargeOnes) {
    const auto idOf = [](const char* text) { return messageId(json::parse(text)); };
    EXPECT_EQ(idOf(R"({"id": 1700000000000123})"), 1700000000000123);
    EXPECT_EQ(idOf(R"({"id": -5})"), -5);
    EXPECT_EQ(idOf(R"({"id": 1.7e15})"), 1700000000000000);
    EXPECT_EQ(idOf(R"({"id": "1765432109876543210n"})"), 1765432109876543210);
    EXPECT_EQ(idOf(R"({"id": 9223372036854775807})"), INT64_MAX);
    for (const char* bad :
         {R"({"id": 1.5})", R"({"id": "12"})", R"({"id": "n"})", R"({"id": "+1n"})",
          R"({"id": "9223372036854775808n"})", R"({"id": 9223372036854775808})", R"({"id": 1e19})",
          R"({"id": null})", R"({})"}) {
        EXPECT_FALSE(idOf(bad)) << bad;
    }
}

TEST(WCSessionMessages, ProposalsAndRequestsAreReadOrDropped) {
    const json proposal = json::parse(R"({"id": 42, "jsonrpc": "2.0", "method": "wc_sessionPropose",
        "params": {"proposer": {"publicKey": "ab", "metadata": {"name": "Dapp", "icons": ["i", 2]}},
                   "requiredNamespaces": {"eip155": {"chains": ["eip155:1"]}},
                   "optionalNamespaces": 7, "expiryTimestamp": 1700000300}})");
    const auto read = readProposal(proposal, "pairing");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->id, 42);
    EXPECT_EQ(read->pairingTopic, "pairing");
    EXPECT_EQ(read->proposerPublicKey, "ab");
    EXPECT_EQ(read->metadata, (WCAppMetadata{"Dapp", "", "", {}}));
    EXPECT_EQ(read->requiredNamespaces.at("eip155").chains, std::vector<std::string>{"eip155:1"});
    EXPECT_TRUE(read->optionalNamespaces.empty());
    EXPECT_EQ(read->expiry, WCDate(1700000300s));
    for (const char* pointer : {"/id", "/params", "/params/proposer", "/params/proposer/publicKey",
                                "/params/proposer/metadata", "/params/proposer/metadata/name"}) {
        json broken = proposal;
        broken[json::json_pointer(pointer)] = json::array();
        EXPECT_FALSE(readProposal(broken, "p")) << pointer;
    }

    const json request = json::parse(R"({"id": 7, "method": "wc_sessionRequest",
        "params": {"request": {"method": "personal_sign", "params": ["0x68", "0xA"],
                               "expiryTimestamp": 1700000300.5}, "chainId": "eip155:137"}})");
    const auto got = readRequest(request, "session");
    ASSERT_TRUE(got);
    EXPECT_EQ(got->id, 7);
    EXPECT_EQ(got->sessionTopic, "session");
    EXPECT_EQ(got->chainId, "eip155:137");
    EXPECT_EQ(got->method, "personal_sign");
    EXPECT_EQ(got->params, (std::vector<json>{"0x68", "0xA"}));
    EXPECT_EQ(got->expiry, WCDate(1700000300500ms));
    json defaults = request;
    defaults["params"].erase("chainId");
    defaults["params"]["request"]["params"] = json::object({{"a", 1}});
    defaults["params"]["request"].erase("expiryTimestamp");
    EXPECT_EQ(readRequest(defaults, "s")->chainId, "eip155:1");
    EXPECT_TRUE(readRequest(defaults, "s")->params.empty());
    EXPECT_FALSE(readRequest(defaults, "s")->expiry);
    for (const char* pointer : {"/id", "/params", "/params/request", "/params/request/method"}) {
        json broken = request;
        broken[json::json_pointer(pointer)] = json::array();
        EXPECT_FALSE(readRequest(broken, "s")) << pointer;
    }
}

TEST(WCSessionMessages, TheWalletsMessages) {
    const json settlement = settlementMessage(9, json::object(), "pk", 1700604800);
    EXPECT_EQ(settlement["method"], "wc_sessionSettle");
    EXPECT_EQ(settlement["params"]["relay"], json({{"protocol", "irn"}}));
    EXPECT_EQ(settlement["params"]["controller"]["publicKey"], "pk");
    EXPECT_EQ(settlement["params"]["controller"]["metadata"], walletMetadata());
    EXPECT_EQ(settlement["params"]["expiry"], 1700604800);
    EXPECT_EQ(proposalAnswer(3, "pk"), json::parse(R"({"id": 3, "jsonrpc": "2.0",
                  "result": {"relay": {"protocol": "irn"}, "responderPublicKey": "pk"}})"));
    EXPECT_EQ(resultMessage(3, "0xab"), json::parse(R"({"id":3,"jsonrpc":"2.0","result":"0xab"})"));
    EXPECT_EQ(errorMessage(3, WCProtocolError::userRejected()),
              json::parse(R"({"id": 3, "jsonrpc": "2.0",
                              "error": {"code": 5000, "message": "User rejected"}})"));
    EXPECT_EQ(deletionMessage(4)["params"],
              json::parse(R"({"code": 6000, "message": "User disconnected"})"));
}

} // namespace
} // namespace qm
