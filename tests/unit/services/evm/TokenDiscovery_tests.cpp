#include "AnvilNode.h"
#include "HttpFixture.h"
#include "RunTask.h"
#include "TestContracts.h"
#include "services/evm/ERC20.h"
#include "services/evm/Hex.h"
#include "services/evm/JSONRPCClient.h"
#include "services/evm/TokenDiscovery.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>

using qm::Chain;
using qm::JSONRPCClient;
using qm::Token;
using qm::TokenStore;
using qm::test::AnvilNode;
using qm::test::HttpFixture;
using qm::test::HttpFixtureRequest;
using qm::test::HttpFixtureResponse;
using qm::test::runTask;
using json = nlohmann::json;

namespace {

const std::string transferTopic =
    "0xddf252ad1be2c89b69c2b068fc378daa952ba7f163c4a11628f55a4df523b3ef";

std::string lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string word(std::uint64_t value) {
    char low[17];
    std::snprintf(low, sizeof low, "%016llx", static_cast<unsigned long long>(value));
    return std::string(48, '0') + low;
}

// A token store in a folder of its own.
struct TemporaryStore {
    QTemporaryDir directory;
    TokenStore store{directory.filePath("tokens.json").toStdString()};
};

// A node that answers from these members and records what it was asked.
struct ScriptedChain {
    std::map<std::string, std::string> balances; // lowercased contract -> eth_call result
    std::string resolvable; // the one contract whose name and symbol are "ABC", decimals 9
    json latestBlock = json{{"number", "0x0"}};
    json logs = json::array();
    bool failLogs = false;
    std::vector<json> requests;
    HttpFixture server;
    std::shared_ptr<JSONRPCClient> client = std::make_shared<JSONRPCClient>(server.url());

    ScriptedChain() {
        server.setHandler([this](const HttpFixtureRequest& request) { return answer(request); });
    }

    static HttpFixtureResponse error() {
        return HttpFixtureResponse::json(R"({"jsonrpc":"2.0","id":1,
            "error":{"code":3,"message":"execution reverted"}})");
    }

    HttpFixtureResponse answer(const HttpFixtureRequest& request) {
        const json body = json::parse(request.body.toStdString());
        requests.push_back(body);
        const std::string method = body["method"];
        if (method == "eth_getBlockByNumber") {
            return latestBlock.is_null() ? error()
                                         : HttpFixtureResponse::jsonRPCResult(latestBlock);
        }
        if (method == "eth_getLogs") {
            return failLogs ? error() : HttpFixtureResponse::jsonRPCResult(logs);
        }
        const std::string to = lower(body["params"][0]["to"]);
        const std::string data = body["params"][0]["data"];
        if (data.starts_with("0x70a08231")) {
            const auto it = balances.find(to);
            return it == balances.end() ? HttpFixtureResponse::jsonRPCResult("0x" + word(0))
                                        : HttpFixtureResponse::jsonRPCResult(it->second);
        }
        if (to != resolvable) {
            return error();
        }
        return HttpFixtureResponse::jsonRPCResult(
            data == "0x313ce567" ? "0x" + word(9)
                                 : "0x" + word(32) + word(3) + "414243" + std::string(58, '0'));
    }

    std::vector<json> requestsFor(const std::string& method) const {
        std::vector<json> found;
        for (const auto& request : requests) {
            if (request["method"] == method) {
                found.push_back(request);
            }
        }
        return found;
    }
};

const std::string owner = "0x9965507D1a55bcC2695C58ba16FB37d819B0A4dc";

} // namespace

TEST(TokenDiscovery, KnownTokensNeedANonZeroBalance) {
    ScriptedChain node;
    TemporaryStore temporary;
    const auto& ethereum = qm::knownTokensByChain().at(Chain::ethereum);
    auto& balances = node.balances;
    balances[lower(ethereum[0].contractAddress)] = "0x";                          // USDC: no bytes
    balances[lower(ethereum[1].contractAddress)] = "0x" + word(5).substr(2);      // USDT: 31 bytes
    balances[lower(ethereum[2].contractAddress)] = "0x" + word(7) + word(0);      // DAI: 64 bytes
    balances[lower(ethereum[3].contractAddress)] = "0x01" + std::string(62, '0'); // WETH: high bits
    balances[lower(ethereum[4].contractAddress)] = "0xzz";                        // WBTC: not hex

    EXPECT_EQ(runTask(qm::discoverTokens(owner, Chain::ethereum, node.client, temporary.store)), 2);
    EXPECT_EQ(temporary.store.tokens(Chain::ethereum),
              (std::vector<Token>{
                  {ethereum[2].contractAddress, "DAI", "Dai Stablecoin", 18, Chain::ethereum},
                  {ethereum[3].contractAddress, "WETH", "Wrapped Ether", 18, Chain::ethereum}}));

    // One balanceOf per known token (what it asks is checked on a node in FindsTokensOnANode).
    EXPECT_EQ(node.requestsFor("eth_call").size(), 8u);
    EXPECT_TRUE(node.requestsFor("eth_getLogs").empty()); // block 0: no log scan

    // A second run asks only for the tokens not stored yet, whatever the stored letter case.
    ASSERT_EQ(temporary.store.add(Token{lower(ethereum[0].contractAddress), "USDC", "USD Coin", 6,
                                        Chain::ethereum}),
              TokenStore::AddResult::added);
    node.requests.clear();
    EXPECT_EQ(runTask(qm::discoverTokens(owner, Chain::ethereum, node.client, temporary.store)), 0);
    EXPECT_EQ(node.requestsFor("eth_call").size(), 5u);

    // An owner that is not 20 bytes of hex reads no balances.
    node.requests.clear();
    EXPECT_EQ(runTask(qm::discoverTokens("0x1234", Chain::ethereum, node.client, temporary.store)),
              0);
    EXPECT_TRUE(node.requestsFor("eth_call").empty());
}

// The window's edges against real blocks are in FindsTokensOnANode.
TEST(TokenDiscovery, LogWindowAndFilter) {
    ScriptedChain node;
    const std::string expectedTopic = "0x" + std::string(24, '0') + lower(owner.substr(2));
    node.latestBlock = json{{"number", "0xf4240"}};
    EXPECT_TRUE(runTask(node.client->incomingTransferContracts(owner)).empty());
    ASSERT_EQ(node.requestsFor("eth_getLogs").size(), 1u);
    EXPECT_EQ(node.requestsFor("eth_getLogs")[0]["params"],
              json::array({{{"fromBlock", "0xe7ef0"},
                            {"toBlock", "latest"},
                            {"topics", json::array({transferTopic, nullptr, expectedTopic})}}}));

    // The owner topic ignores letter case and the prefix.
    node.requests.clear();
    runTask(node.client->incomingTransferContracts("9965507D1A55BCC2695C58BA16FB37D819B0A4DC"));
    EXPECT_EQ(node.requestsFor("eth_getLogs")[0]["params"][0]["topics"][2], expectedTopic);

    // No usable block: no log request, no contracts.
    for (const json& block : {json{{"number", "0x0"}}, json{{"number", "0xnope"}}, json()}) {
        node.latestBlock = block;
        node.requests.clear();
        EXPECT_TRUE(runTask(node.client->incomingTransferContracts(owner)).empty());
        EXPECT_TRUE(node.requestsFor("eth_getLogs").empty()) << block.dump();
    }
    node.latestBlock = json{{"number", "0x10"}};
    node.failLogs = true;
    EXPECT_TRUE(runTask(node.client->incomingTransferContracts(owner)).empty());
}

TEST(TokenDiscovery, ReceivedContractsAreDistinctAndResolved) {
    ScriptedChain node;
    TemporaryStore temporary;
    const auto& arbitrum = qm::knownTokensByChain().at(Chain::arbitrum);
    const std::string dai = arbitrum[3].contractAddress;
    node.balances[lower(dai)] = "0x" + word(1);
    node.latestBlock = json{{"number", "0x100"}};
    node.logs = json::array({
        {{"address", "0xAbCdEf0000000000000000000000000000000001"}, {"data", "0x"}},
        {{"address", "0xabcdef0000000000000000000000000000000001"}},
        {{"topics", json::array({transferTopic})}},
        {{"address", "DEF0000000000000000000000000000000000002"}},
        {{"address", dai}},
    });
    node.resolvable = "0xabcdef0000000000000000000000000000000001";

    EXPECT_EQ(runTask(node.client->incomingTransferContracts(owner)),
              (std::vector<std::string>{"0xabcdef0000000000000000000000000000000001",
                                        "0xdef0000000000000000000000000000000000002", lower(dai)}));

    // DAI comes in through its balance and is not resolved again; 0xdef... does not resolve.
    node.requests.clear();
    testing::internal::CaptureStdout();
    EXPECT_EQ(runTask(qm::discoverTokens(owner, Chain::arbitrum, node.client, temporary.store)), 2);
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_EQ(
        log.find("[ERC20Resolver] RPC error for 0xdef0000000000000000000000000000000000002: "), 0u);
    EXPECT_EQ(temporary.store.tokens(Chain::arbitrum),
              (std::vector<Token>{{dai, "DAI", "Dai Stablecoin", 18, Chain::arbitrum},
                                  {"0xabcdef0000000000000000000000000000000001", "ABC", "ABC", 9,
                                   Chain::arbitrum}}));
    for (const auto& call : node.requestsFor("eth_call")) {
        if (lower(call["params"][0]["to"]) == lower(dai)) {
            EXPECT_EQ(call["params"][0]["data"].get<std::string>().substr(0, 10), "0x70a08231");
        }
    }

    // Bitcoin has no known tokens: only the log scan runs.
    TemporaryStore other;
    node.requests.clear();
    EXPECT_EQ(runTask(qm::discoverTokens(owner, Chain::bitcoin, node.client, other.store)), 1);
    EXPECT_EQ(node.requestsFor("eth_getLogs").size(), 1u);
    EXPECT_EQ(node.requestsFor("eth_call").size(), 9u); // three resolutions, no balances
    EXPECT_EQ(other.store.tokens(Chain::bitcoin).size(), 1u);
}

TEST(TokenDiscovery, FindsTokensOnANode) {
    if (!AnvilNode::isAvailable()) {
        GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
    }
    // London without history: mining past the 50,000-block window takes about a second.
    AnvilNode node(42161, {"--hardfork", "london", "--prune-history"});
    auto client = std::make_shared<JSONRPCClient>(node.url());
    const auto& contracts = qm::test::TestContracts::shared();
    const std::string token = contracts.deployedBytecode("StandardToken");
    const std::string funder = AnvilNode::devAccount(0);
    auto mint = [&](const std::string& contract, std::uint64_t amount) {
        node.send(funder, contract,
                  "0x40c10f19" + std::string(24, '0') + lower(owner.substr(2)) + word(amount));
    };

    const auto& arbitrum = qm::knownTokensByChain().at(Chain::arbitrum);
    const std::string usdc = arbitrum[0].contractAddress;
    node.setCode(usdc, token);
    node.setCode(arbitrum[1].contractAddress, token); // USDC.e, but the owner holds none
    mint(usdc, 5'000'000);                            // 5 USDC; also a Transfer log from USDC

    const std::string received = "0x00000000000000000000000000000000000B0001";
    node.setCode(received, token);
    mint(received, 1);
    const std::string emitter = "0x00000000000000000000000000000000000e0001";
    node.setCode(emitter, contracts.deployedBytecode("TransferEmitter"));
    node.send(
        funder, emitter,
        "0x" + qm::bytesToPlainHex(qm::functionSelector("emitTransfer(address,address,uint256)")) +
            std::string(24, '0') + lower(funder.substr(2)) + std::string(24, '0') +
            lower(owner.substr(2)) + word(1));

    TemporaryStore temporary;
    testing::internal::CaptureStdout();
    EXPECT_EQ(runTask(qm::discoverTokens(owner, Chain::arbitrum, client, temporary.store)), 2);
    EXPECT_NE(
        testing::internal::GetCapturedStdout().find("[ERC20Resolver] RPC error for " + emitter),
        std::string::npos);
    EXPECT_EQ(temporary.store.tokens(Chain::arbitrum),
              (std::vector<Token>{{usdc, "USDC", "USD Coin", 6, Chain::arbitrum},
                                  {lower(received), "TST", "Test Token", 6, Chain::arbitrum}}));
    testing::internal::CaptureStdout();
    EXPECT_EQ(runTask(qm::discoverTokens(owner, Chain::arbitrum, client, temporary.store)), 0);
    testing::internal::GetCapturedStdout();

    // Two more tokens sent one block apart; then the older one falls out of the window.
    const std::string older = "0x00000000000000000000000000000000000c0001";
    const std::string newer = "0x00000000000000000000000000000000000d0001";
    node.setCode(older, token);
    node.setCode(newer, token);
    mint(older, 1);
    const std::uint64_t olderBlock = node.blockNumber();
    mint(newer, 1);
    node.mine(olderBlock + 50'001 - node.blockNumber());
    ASSERT_EQ(node.blockNumber(), olderBlock + 50'001);
    // Both logs are still on the node.
    const auto all =
        node.rpc("eth_getLogs",
                 json::array({{{"fromBlock", "0x0"}, {"address", json::array({older, newer})}}}));
    EXPECT_EQ(all.size(), 2u);

    testing::internal::CaptureStdout();
    EXPECT_EQ(runTask(qm::discoverTokens(owner, Chain::arbitrum, client, temporary.store)), 1);
    testing::internal::GetCapturedStdout();
    const auto tokens = temporary.store.tokens(Chain::arbitrum);
    ASSERT_EQ(tokens.size(), 3u);
    EXPECT_EQ(tokens[2].contractAddress, lower(newer));
}
