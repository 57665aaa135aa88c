#include "AnvilNode.h"
#include "RunTask.h"
#include "TestContracts.h"
#include "TestHex.h"
#include "core/crypto/Keccak.h"
#include "core/crypto/Secp256k1.h"
#include "services/evm/ERC20.h"
#include "services/evm/ETHSigner.h"
#include "services/evm/EthereumAddress.h"
#include "services/evm/Hex.h"
#include "services/evm/JSONRPCClient.h"

#include <algorithm>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace qm {
namespace {

using nlohmann::json;
using test::runTask;

UInt256 units(std::uint64_t value) {
    return UInt256(0, 0, 0, value);
}

// A sender of our own (not one of anvil's unlocked accounts), funded with anvil_setBalance.
struct Sender {
    Bytes key;
    std::string address = ethereumAddress(Secp256k1::shared().uncompressedPublicKey(key));
};

class SignedOnAnvil : public ::testing::TestWithParam<std::uint64_t> {
protected:
    void SetUp() override {
        if (!test::AnvilNode::isAvailable()) {
            GTEST_SKIP() << "anvil is not installed";
        }
        node = std::make_unique<test::AnvilNode>(GetParam());
        client = std::make_shared<JSONRPCClient>(node->url());
    }

    // Nonce and fees from the node, as the send flow fills them; the fee cap is three times
    // the larger of base fee and tip (UInt256 has no addition).
    ETHTransaction prepared(const Sender& sender, Bytes to, const UInt256& value, Bytes data) {
        ETHTransaction tx;
        tx.chainID = GetParam();
        tx.nonce = runTask(client->getTransactionCount(sender.address));
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
                          : runTask(client->estimateGas(sender.address, bytesToHex(tx.to),
                                                        value.description(), bytesToHex(tx.data)));
        return tx;
    }

    // Sends through eth_sendRawTransaction and returns the receipt (mined at once).
    json sendSigned(const ETHTransaction& tx, const Sender& sender) {
        const Bytes raw = ETHSigner::sign(tx, sender.key);
        const auto hash = runTask(
            client->call<std::string>("eth_sendRawTransaction", json::array({bytesToHex(raw)})));
        EXPECT_EQ(hash, bytesToHex(keccak256(raw)));
        const json receipt = node->minedReceipt(hash);
        EXPECT_EQ(receipt.at("status"), "0x1");
        EXPECT_EQ(hexToBytes(receipt.at("from").get<std::string>()), hexToBytes(sender.address));
        EXPECT_EQ(receipt.at("type"), "0x2");
        return receipt;
    }

    // The node's error message for a raw transaction it refuses.
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

    std::unique_ptr<test::AnvilNode> node;
    std::shared_ptr<JSONRPCClient> client;
};

TEST_P(SignedOnAnvil, TransfersContractCallsCreationsAndRefusals) {
    const Sender sender{keccak256(test::ascii("quillmark anvil sender"))};
    node->setBalance(sender.address, "0x56bc75e2d63100000"); // 100 ether
    const Bytes recipient = test::unhex("3535353535353535353535353535353535353535");
    const std::string recipientText = bytesToHex(recipient);

    // A plain transfer of 1.5 ether.
    const UInt256 amount = units(1'500'000'000'000'000'000);
    sendSigned(prepared(sender, recipient, amount, {}), sender);
    EXPECT_EQ(runTask(client->getBalance(recipientText)), amount);
    EXPECT_EQ(runTask(client->getTransactionCount(sender.address)), 1u);

    // Contract calls on a token: mint to ourselves, then an ERC-20 transfer that carries an
    // access list naming the token and two storage slots.
    const auto& contracts = test::TestContracts::shared();
    const std::string tokenText = "0x00000000000000000000000000000000000a11ce";
    const Bytes token = hexToBytes(tokenText).value();
    node->setCode(tokenText, contracts.deployedBytecode("StandardToken"));
    const Bytes senderBytes = hexToBytes(sender.address).value();
    const Bytes mint = concat(concat(functionSelector("mint(address,uint256)"),
                                     UInt256::fromBigEndianBytes(senderBytes).bigEndianWord()),
                              units(1000).bigEndianWord());
    EXPECT_EQ(sendSigned(prepared(sender, token, {}, mint), sender).at("logs").size(), 1u);

    ETHTransaction tokenTransfer =
        prepared(sender, token, {}, erc20TransferCalldata(recipient, units(250)));
    tokenTransfer.accessList = {{token, {Bytes(32, 0), Bytes(32, 1)}}};
    tokenTransfer.gasLimit += 10'000; // the list costs gas of its own
    sendSigned(tokenTransfer, sender);
    const auto balance = [&](ByteView owner) {
        return UInt256::fromHex(runTask(client->ethCall(
            tokenText, bytesToHex(concat(balanceOfSelector(),
                                         UInt256::fromBigEndianBytes(owner).bigEndianWord())))));
    };
    EXPECT_EQ(balance(recipient), units(250));
    EXPECT_EQ(balance(senderBytes), units(750));

    // A contract creation: no recipient at all.
    const json created = sendSigned(
        prepared(sender, {}, {}, hexToBytes(contracts.bytecode("StandardToken")).value()), sender);
    EXPECT_TRUE(created.at("to").is_null());
    EXPECT_TRUE(created.at("contractAddress").is_string());

    // The chain id is signed along with the rest: another chain's node refuses it.
    ETHTransaction tx = prepared(sender, recipient, units(1), {});
    tx.chainID = GetParam() == 1 ? 137 : 1;
    EXPECT_THAT(refusal(ETHSigner::sign(tx, sender.key)), ::testing::HasSubstr("chain"));
    // Signed by an unfunded key, the same transaction comes from someone else.
    tx.chainID = GetParam();
    EXPECT_THAT(refusal(ETHSigner::sign(tx, keccak256(test::ascii("nobody")))),
                ::testing::HasSubstr("nsufficient funds"));
    EXPECT_EQ(runTask(client->getTransactionCount(sender.address)), 4u);
}

INSTANTIATE_TEST_SUITE_P(Chains, SignedOnAnvil, ::testing::Values(1u, 42161u, 137u),
                         [](const auto& info) { return "chain" + std::to_string(info.param); });

} // namespace
} // namespace qm
