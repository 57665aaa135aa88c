// Real-node checks of the JSON-RPC client and of signed transactions, on three chain ids.
#include "AnvilNode.h"
#include "RunTask.h"
#include "TestContracts.h"
#include "TestHex.h"
#include "core/crypto/Keccak.h"
#include "core/crypto/Secp256k1.h"
#include "core/encoding/Hex.h"
#include "services/evm/ERC20.h"
#include "services/evm/ETHSigner.h"
#include "services/evm/EthereumAddress.h"
#include "services/evm/JSONRPCClient.h"

#include <algorithm>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace qm {
namespace {

using nlohmann::json;
using test::AnvilNode;
using test::runTask;
using ::testing::HasSubstr;

UInt256 units(std::uint64_t value) {
    return UInt256(0, 0, 0, value);
}

class OnAnvil : public ::testing::TestWithParam<std::uint64_t> {
protected:
    void SetUp() override {
        if (!AnvilNode::isAvailable()) {
            GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
        }
        node = std::make_unique<AnvilNode>(GetParam());
        client = std::make_shared<JSONRPCClient>(node->url());
    }

    // The node's message for a raw transaction it refuses.
    std::string refusal(const Bytes& raw) {
        try {
            runTask(client->call<std::string>("eth_sendRawTransaction",
                                              json::array({bytesToHex(raw)})));
        } catch (const JSONRPCClientError& error) {
            EXPECT_EQ(error.kind(), JSONRPCClientError::Kind::rpcError);
            return error.rpc() ? error.rpc()->message : std::string();
        }
        ADD_FAILURE() << "accepted";
        return {};
    }

    // Nonce and fees from the node; the fee cap is three times the larger of base fee and tip.
    ETHTransaction prepared(const std::string& from, Bytes to, const UInt256& value, Bytes data) {
        ETHTransaction tx;
        tx.chainID = GetParam();
        tx.nonce = runTask(client->getTransactionCount(from));
        tx.maxPriorityFeePerGas = runTask(client->maxPriorityFeePerGas());
        const auto block =
            runTask(client->call<ETHBlock>("eth_getBlockByNumber", json::array({"latest", false})));
        const UInt256 baseFee = UInt256::fromHex(block.baseFeePerGas.value()).value();
        tx.maxFeePerGas = std::max(baseFee, tx.maxPriorityFeePerGas).multipliedTruncating(units(3));
        tx.to = std::move(to);
        tx.value = value;
        tx.data = std::move(data);
        // A creation names no recipient, which the wallet's estimate always does.
        tx.gasLimit = tx.to.empty()
                          ? 3'000'000
                          : runTask(client->estimateGas(from, bytesToHex(tx.to),
                                                        value.description(), bytesToHex(tx.data)));
        return tx;
    }

    json sendSigned(const ETHTransaction& tx, const Bytes& key, const std::string& from) {
        const Bytes raw = ETHSigner::sign(tx, key);
        const auto hash = runTask(
            client->call<std::string>("eth_sendRawTransaction", json::array({bytesToHex(raw)})));
        EXPECT_EQ(hash, bytesToHex(keccak256(raw)));
        const json receipt = node->minedReceipt(hash);
        EXPECT_EQ(receipt.at("status"), "0x1");
        const std::optional<ETHReceipt> ours = runTask(client->getTransactionReceipt(hash));
        EXPECT_EQ(ours ? ours->status : std::nullopt, 1u);
        EXPECT_EQ(ours ? ours->blockNumber : std::nullopt, receipt.at("blockNumber"));
        EXPECT_EQ(hexToBytes(receipt.at("from").get<std::string>()), hexToBytes(from));
        EXPECT_EQ(receipt.at("type"), "0x2");
        return receipt;
    }

    std::unique_ptr<AnvilNode> node;
    std::shared_ptr<JSONRPCClient> client;
};

TEST_P(OnAnvil, NonceCountsPendingTransactions) {
    const std::string sender = AnvilNode::devAccount(1);
    node->setAutomine(false);
    const std::string hash = node->send(sender, AnvilNode::devAccount(2), "0x", "0x1");
    EXPECT_EQ(runTask(client->getTransactionCount(sender)), 1u);
    // Not mined: no receipt yet.
    EXPECT_EQ(runTask(client->getTransactionReceipt(hash)), std::nullopt);
    node->mine();
    EXPECT_EQ(runTask(client->getTransactionCount(sender)), 1u);
}

TEST_P(OnAnvil, SignedTransfersContractCallsCreationsAndRefusals) {
    // A sender of our own, not one of anvil's unlocked accounts.
    const Bytes key = keccak256(test::ascii("quillmark anvil sender"));
    const std::string from = ethereumAddress(Secp256k1::shared().uncompressedPublicKey(key));
    node->setBalance(from, "0x56bc75e2d63100000"); // 100 ether
    const Bytes recipient = test::unhex("3535353535353535353535353535353535353535");

    const UInt256 amount = units(1'500'000'000'000'000'000);
    sendSigned(prepared(from, recipient, amount, {}), key, from);
    EXPECT_EQ(runTask(client->getBalance(bytesToHex(recipient))), amount);

    // Mint to ourselves, then an ERC-20 transfer carrying an access list.
    const auto& contracts = test::TestContracts::shared();
    const std::string tokenText = "0x00000000000000000000000000000000000a11ce";
    const Bytes token = hexToBytes(tokenText).value();
    node->setCode(tokenText, contracts.deployedBytecode("StandardToken"));
    const Bytes self = hexToBytes(from).value();
    const Bytes mint = concat(concat(functionSelector("mint(address,uint256)"),
                                     UInt256::fromBigEndianBytes(self).bigEndianWord()),
                              units(1000).bigEndianWord());
    EXPECT_EQ(sendSigned(prepared(from, token, {}, mint), key, from).at("logs").size(), 1u);
    ETHTransaction transfer =
        prepared(from, token, {}, erc20TransferCalldata(recipient, units(250)));
    transfer.accessList = {{token, {Bytes(32, 0), Bytes(32, 1)}}};
    transfer.gasLimit += 10'000; // the list costs gas of its own
    sendSigned(transfer, key, from);
    const auto balance = [&](ByteView owner) {
        return UInt256::fromHex(runTask(client->ethCall(
            tokenText, bytesToHex(concat(balanceOfSelector(),
                                         UInt256::fromBigEndianBytes(owner).bigEndianWord())))));
    };
    EXPECT_EQ(balance(recipient), units(250));
    EXPECT_EQ(balance(self), units(750));

    const json created = sendSigned(
        prepared(from, {}, {}, hexToBytes(contracts.bytecode("StandardToken")).value()), key, from);
    EXPECT_TRUE(created.at("to").is_null());
    EXPECT_TRUE(created.at("contractAddress").is_string());

    // Another chain's node refuses it; signed by an unfunded key, it comes from someone else.
    ETHTransaction tx = prepared(from, recipient, units(1), {});
    tx.chainID = GetParam() == 1 ? 137 : 1;
    EXPECT_THAT(refusal(ETHSigner::sign(tx, key)), HasSubstr("chain"));
    tx.chainID = GetParam();
    EXPECT_THAT(refusal(ETHSigner::sign(tx, keccak256(test::ascii("nobody")))),
                HasSubstr("nsufficient funds"));
    EXPECT_EQ(runTask(client->getTransactionCount(from)), 4u);
}

INSTANTIATE_TEST_SUITE_P(Chains, OnAnvil, ::testing::Values(1u, 42161u, 137u),
                         [](const auto& info) { return "chain" + std::to_string(info.param); });

} // namespace
} // namespace qm
