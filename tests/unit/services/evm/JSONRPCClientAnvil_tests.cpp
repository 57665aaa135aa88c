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

TEST_P(JSONRPCClientAnvil, ReadsEstimatesAndRefuses) {
    const auto chainID = runTask(client->call<std::string>("eth_chainId", json::array()));
    EXPECT_EQ(std::stoull(chainID, nullptr, 16), GetParam());
    // 10,000 ETH in wei, more than 64 bits.
    EXPECT_EQ(runTask(client->getBalance(AnvilNode::devAccount(0))),
              UInt256::fromHex("0x21e19e0c9bab2400000"));
    // Blocks are read for their base fee in ETHSignerAnvil_tests.

    EXPECT_EQ(runTask(client->estimateGas(AnvilNode::devAccount(0), AnvilNode::devAccount(1),
                                          "0xde0b6b3a7640000", std::nullopt)),
              21000u);
    const auto& contracts = qm::test::TestContracts::shared();
    const std::string token = "0x0000000000000000000000000000000000070Ce0";
    node->setCode(token, contracts.deployedBytecode("StandardToken"));
    // mint(dev 3, 1000): a storage write and a log cost more than a plain transfer.
    const std::string mint = "0x40c10f19" + std::string(24, '0') +
                             "90f79bf6eb2c4f870365e785982e1f101e93b906" + std::string(61, '0') +
                             "3e8";
    EXPECT_GT(runTask(client->estimateGas(AnvilNode::devAccount(0), token, std::nullopt, mint)),
              21000u);

    // A call to an account without code returns no data; a reverting one is the node's error.
    EXPECT_EQ(runTask(client->ethCall(AnvilNode::devAccount(4), "0x06fdde03")), "0x");
    const std::string reverter = "0x000000000000000000000000000000000000Fa11";
    node->setCode(reverter, contracts.deployedBytecode("Reverter"));
    try {
        runTask(client->ethCall(reverter, "0x06fdde03"));
        ADD_FAILURE() << "a reverting call returned";
    } catch (const JSONRPCClientError& error) {
        ASSERT_EQ(error.kind(), JSONRPCClientError::Kind::rpcError);
        EXPECT_EQ(error.rpc()->code, 3);
        EXPECT_NE(error.rpc()->message.find("execution reverted"), std::string::npos);
        EXPECT_EQ(std::string(error.what()),
                  "JSONRPCClient: JSON-RPC error 3: " + error.rpc()->message);
    }
    try {
        runTask(client->getBalance("not an address"));
        ADD_FAILURE() << "a malformed address was accepted";
    } catch (const JSONRPCClientError& error) {
        EXPECT_EQ(error.kind(), JSONRPCClientError::Kind::rpcError);
    }
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

INSTANTIATE_TEST_SUITE_P(Chains, JSONRPCClientAnvil, testing::Values(1, 42161, 137),
                         [](const auto& info) { return "chain" + std::to_string(info.param); });
