#include "AnvilNode.h"
#include "RunTask.h"
#include "TestContracts.h"
#include "services/evm/JSONRPCClient.h"

#include <gtest/gtest.h>

using qm::JSONRPCClient;
using qm::JSONRPCClientError;
using qm::UInt256;
using qm::test::AnvilNode;
using qm::test::runTask;
using json = nlohmann::json;

namespace {

const std::string reverterAddress = "0x000000000000000000000000000000000000Fa11";

class JSONRPCClientAnvil : public testing::TestWithParam<std::uint64_t> {
protected:
    void SetUp() override {
        if (!AnvilNode::isAvailable()) {
            GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
        }
        node = std::make_unique<AnvilNode>(GetParam());
        client = std::make_shared<JSONRPCClient>(node->url());
    }

    std::unique_ptr<AnvilNode> node;
    std::shared_ptr<JSONRPCClient> client;
};

} // namespace

TEST_P(JSONRPCClientAnvil, ReadsChainState) {
    const auto chainID = runTask(client->call<std::string>("eth_chainId", json::array()));
    EXPECT_EQ(std::stoull(chainID, nullptr, 16), GetParam());

    // 10,000 ETH in wei, more than 64 bits.
    EXPECT_EQ(runTask(client->getBalance(AnvilNode::devAccount(0))),
              UInt256::fromHex("0x21e19e0c9bab2400000"));

    const auto block =
        runTask(client->call<qm::ETHBlock>("eth_getBlockByNumber", json::array({"latest", false})));
    EXPECT_EQ(block.number, "0x0");
    EXPECT_TRUE(block.baseFeePerGas);
    EXPECT_TRUE(block.timestamp);
}

TEST_P(JSONRPCClientAnvil, NonceCountsPendingTransactions) {
    const std::string sender = AnvilNode::devAccount(1);
    EXPECT_EQ(runTask(client->getTransactionCount(sender)), 0u);

    // An approval waiting in the pool: the next transaction must not reuse its nonce.
    node->setAutomine(false);
    node->send(sender, AnvilNode::devAccount(2), "0x", "0x1");
    EXPECT_EQ(runTask(client->getTransactionCount(sender)), 1u);
    const auto latest = node->rpc("eth_getTransactionCount", json::array({sender, "latest"}));
    EXPECT_EQ(latest, "0x0"); // what a "latest" read would have handed out again
    node->send(sender, AnvilNode::devAccount(2), "0x", "0x1");
    EXPECT_EQ(runTask(client->getTransactionCount(sender)), 2u);

    node->mine();
    EXPECT_EQ(runTask(client->getTransactionCount(sender)), 2u);
}

TEST_P(JSONRPCClientAnvil, EstimatesGas) {
    EXPECT_EQ(runTask(client->estimateGas(AnvilNode::devAccount(0), AnvilNode::devAccount(1),
                                          "0xde0b6b3a7640000", std::nullopt)),
              21000u);

    const std::string token = "0x0000000000000000000000000000000000070Ce0";
    node->setCode(token, qm::test::TestContracts::shared().deployedBytecode("StandardToken"));
    // mint(dev 3, 1000): a storage write and a log cost more than a plain transfer.
    const std::string mint = "0x40c10f19" + std::string(24, '0') +
                             "90f79bf6eb2c4f870365e785982e1f101e93b906" + std::string(61, '0') +
                             "3e8";
    EXPECT_GT(runTask(client->estimateGas(AnvilNode::devAccount(0), token, std::nullopt, mint)),
              21000u);
}

TEST_P(JSONRPCClientAnvil, RevertsAndBadRequestsAreRPCErrors) {
    node->setCode(reverterAddress, qm::test::TestContracts::shared().deployedBytecode("Reverter"));
    try {
        runTask(client->ethCall(reverterAddress, "0x06fdde03"));
        ADD_FAILURE() << "a reverting call returned";
    } catch (const JSONRPCClientError& error) {
        ASSERT_EQ(error.kind(), JSONRPCClientError::Kind::rpcError);
        EXPECT_EQ(error.rpc()->code, 3);
        EXPECT_NE(error.rpc()->message.find("execution reverted"), std::string::npos);
        EXPECT_EQ(std::string(error.what()),
                  "JSONRPCClient: JSON-RPC error 3: " + error.rpc()->message);
    }

    // A call to an account without code returns no data.
    EXPECT_EQ(runTask(client->ethCall(AnvilNode::devAccount(4), "0x06fdde03")), "0x");

    try {
        runTask(client->call<std::string>("eth_noSuchMethod", json::array()));
        ADD_FAILURE() << "an unknown method returned";
    } catch (const JSONRPCClientError& error) {
        EXPECT_EQ(error.kind(), JSONRPCClientError::Kind::rpcError);
    }
    try {
        runTask(client->getBalance("not an address"));
        ADD_FAILURE() << "a malformed address was accepted";
    } catch (const JSONRPCClientError& error) {
        EXPECT_EQ(error.kind(), JSONRPCClientError::Kind::rpcError);
    }
}

INSTANTIATE_TEST_SUITE_P(Chains, JSONRPCClientAnvil, testing::Values(1, 42161, 137),
                         [](const auto& info) { return "chain" + std::to_string(info.param); });
