// The send view model's EVM and Solana sends as the sheets drive them, against anvil and the
// litesvm server: typed text to the coins that arrive, a wrong password and then the right
// one, a second press while the send runs, "Max" on the coin, which leaves the account exactly
// what the fee cap did not use, and a send a node kept in its pool replaced by the next one.
#include "AnvilNode.h"
#include "AppStateFixture.h"
#include "LaggingBackend.h"
#include "LitesvmServer.h"
#include "RPCProxy.h"
#include "RunTask.h"
#include "core/crypto/Base58.h"
#include "platform/AtomicFile.h"
#include "services/solana/SolanaRPCClient.h"
#include "state/AppState.h"
#include "state/flows/FlowService.h"
#include "ui/send/SendViewModel.h"

#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

namespace qm {
namespace {

using Step = TransactionFlow::Step;
using FeeLevel = SendViewModel::FeeLevel;

constexpr const char* password = "correct horse 1";

// An open wallet whose pool of `chain` is `proxy`, and a send sheet's model on that chain.
struct SendSheet {
    test::RPCProxy proxy;
    std::unique_ptr<test::AppStateFixture> env;
    std::unique_ptr<FlowService> flows;
    std::unique_ptr<SendViewModel> vm;

    explicit SendSheet(Chain chain) {
        test::AppStateFixture::RPCPools pools;
        pools[chainIndex(chain) - 1] = proxy.url();
        env = std::make_unique<test::AppStateFixture>(pools);
        env->state().loadStoredState();
        test::runTask(env->state().createWallet(test::AppStateFixture::abandonPhrase(), password));
        env->state().stopBackgroundTasks();
        FlowLimits limits;
        limits.pollInterval = std::chrono::milliseconds(20);
        limits.confirmationTimeout = std::chrono::seconds(5);
        limits.pace = 0;
        flows = std::make_unique<FlowService>(limits);
        vm = std::make_unique<SendViewModel>();
        vm->setAppState(&env->state());
        vm->setFlowService(flows.get());
        vm->setChain(chain);
    }

    // Presses "Review Transaction" and waits for the review.
    void review() {
        vm->review();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !vm->isPreparing(); }, 30'000));
        ASSERT_TRUE(vm->hasReview()) << vm->prepareError().toStdString();
    }

    // Presses send (twice: the second press must do nothing) and waits for the end.
    void send(void (SendViewModel::*press)()) {
        (vm.get()->*press)();
        EXPECT_TRUE(vm->isSending());
        (vm.get()->*press)();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !vm->isSending(); }, 30'000));
    }
};

TEST(SendViewModelPeers, TheTypedAmountArrivesOnAnEVMChainAfterAWrongPassword) {
    if (!test::AnvilNode::isAvailable()) {
        GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
    }
    test::AnvilNode node(137);
    SendSheet sheet(Chain::polygon);
    sheet.proxy.setTarget(node.url());
    SendViewModel& vm = *sheet.vm;
    const std::string sender =
        sheet.env->state().evmAccounts(Chain::polygon).front().account.address;
    node.setBalance(sender, "0x56bc75e2d63100000");
    const std::string recipient = "0x3535353535353535353535353535353535353535";
    vm.setRecipientAddress(QString::fromStdString(recipient));
    vm.setAmountString("1.1");
    vm.setSelectedFeeLevel(FeeLevel::Fast);
    ASSERT_TRUE(vm.canReview());
    sheet.review();

    vm.setPassword("not the password");
    sheet.send(&SendViewModel::sendEVM);
    EXPECT_EQ(vm.broadcastStep(), Step::Failed);
    EXPECT_EQ(vm.errorMessage(), "Incorrect password");
    EXPECT_EQ(sheet.proxy.requestCount("eth_sendRawTransaction"), 0);

    vm.setPassword(password);
    sheet.send(&SendViewModel::sendEVM);
    ASSERT_EQ(vm.broadcastStep(), Step::Confirmed) << vm.errorMessage().toStdString();
    EXPECT_EQ(vm.broadcastProgress(), 1.0);
    EXPECT_EQ(vm.txHash().size(), 66);
    EXPECT_EQ(sheet.proxy.requestCount("eth_sendRawTransaction"), 1);
    EXPECT_EQ(node.rpc("eth_getBalance", {recipient, "latest"}), "0xf43fc2c04ee0000"); // 1.1e18
    EXPECT_EQ(node.rpc("eth_getTransactionByHash", {vm.txHash().toStdString()}).at("type"), "0x2");
}

TEST(SendViewModelPeers, TheTypedAmountOfSolArrives) {
    SendSheet sheet(Chain::solana);
    const std::string sender = sheet.env->state().solanaAccounts().front().account.address;
    test::LitesvmServer server(sender, 5'000'000'000, {});
    if (!server.isRunning()) {
        GTEST_SKIP() << "node or litesvm is missing (scripts/install-deps)";
    }
    sheet.proxy.setTarget(server.url());
    SendViewModel& vm = *sheet.vm;
    const std::string recipient = base58Encode(Bytes(32, 0x42));
    vm.setRecipientAddress(QString::fromStdString(recipient));
    vm.setAmountString("1.000000001");
    vm.setPassword(password);
    sheet.review();
    EXPECT_EQ(vm.reviewFee(), "0.000005 SOL");
    EXPECT_EQ(vm.reviewTotal(), "1.000005001 SOL");
    sheet.send(&SendViewModel::sendSolana);
    ASSERT_EQ(vm.broadcastStep(), Step::Confirmed) << vm.errorMessage().toStdString();
    EXPECT_EQ(sheet.proxy.requestCount("sendTransaction"), 1);
    EXPECT_EQ(vm.txHash().toStdString(), sheet.proxy.lastResult("sendTransaction"));
    SolanaRPCClient client(server.url());
    EXPECT_EQ(test::runTask(client.getBalance(recipient)), 1'000'000'001u);
}

// The send is in the wallet's folder, its very bytes, when they reach the node; where it
// cannot be written first, nothing reaches the node and the sheet says why.
TEST(SendViewModelPeers, TheSendIsOnDiskBeforeItLeavesAndNothingLeavesUnrecorded) {
    if (!test::AnvilNode::isAvailable()) {
        GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
    }
    test::AnvilNode node(137);
    SendSheet sheet(Chain::polygon);
    sheet.proxy.setTarget(node.url());
    SendViewModel& vm = *sheet.vm;
    const std::filesystem::path ledger =
        sheet.env->dataLocation() / "Quillmark" / "unsettled-attempts.json";
    nlohmann::json onDisk;
    sheet.proxy.setOverride("eth_sendRawTransaction", [&](const nlohmann::json& params) {
        const std::optional<Bytes> bytes =
            std::filesystem::is_regular_file(ledger) ? readFileIfExists(ledger) : std::nullopt;
        onDisk = bytes ? nlohmann::json::parse(bytes->begin(), bytes->end()) : nlohmann::json();
        onDisk.push_back(params.at(0));
        return std::optional<test::HttpFixtureResponse>();
    });
    node.setBalance(sheet.env->state().evmAccounts(Chain::polygon).front().account.address,
                    "0x56bc75e2d63100000");
    vm.setRecipientAddress("0x3535353535353535353535353535353535353535");
    vm.setAmountString("1");
    vm.setPassword(password);
    sheet.review();

    // A folder where the file goes.
    std::filesystem::create_directories(ledger);
    sheet.send(&SendViewModel::sendEVM);
    EXPECT_EQ(vm.broadcastStep(), Step::Failed);
    EXPECT_TRUE(vm.errorMessage().startsWith(
        "Nothing was sent: the wallet could not record the transaction first ("))
        << vm.errorMessage().toStdString();
    EXPECT_EQ(sheet.proxy.requestCount("eth_sendRawTransaction"), 0);

    std::filesystem::remove(ledger);
    sheet.send(&SendViewModel::sendEVM);
    ASSERT_EQ(vm.broadcastStep(), Step::Confirmed) << vm.errorMessage().toStdString();
    ASSERT_EQ(onDisk.size(), 2u) << onDisk.dump();
    EXPECT_EQ(onDisk[0].at("id"), vm.txHash().toStdString());
    EXPECT_EQ(onDisk[0].at("wire"), onDisk[1]);
}

// "Max" on the coin writes the balance less the max fee shown; the send is confirmed and the
// account keeps exactly what the fee cap did not use: the balance fell by the amount and the
// fee paid. (It wrote the whole balance, which the gas estimate refused.)
TEST(SendViewModelPeers, MaxOnAnEVMCoinSendsTheBalanceLessTheMaxFee) {
    if (!test::AnvilNode::isAvailable()) {
        GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
    }
    test::AnvilNode node(1);
    SendSheet sheet(Chain::ethereum);
    sheet.proxy.setTarget(node.url());
    SendViewModel& vm = *sheet.vm;
    AppState& state = sheet.env->state();
    const std::string sender = state.evmAccounts(Chain::ethereum).front().account.address;
    const std::string start = "0x1bc16d674ec80000"; // 2 ETH
    node.setBalance(sender, start);
    state.updateEVMAccount(Chain::ethereum, 0, state.evmAccounts(Chain::ethereum).front().id(),
                           [&](EVMAccountState& account) {
                               account.balanceWei = *UInt256::fromHex(start);
                               account.balanceLoad.end(false);
                           });
    vm.setRecipientAddress("0x3535353535353535353535353535353535353535");
    vm.useMaxAmount();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !vm.amountString().isEmpty(); }, 30'000));
    const UInt256 maxFee = vm.estimatedFee()->value;
    const UInt256 amount = vm.parsedAmount().value();
    EXPECT_EQ(amount.checkedAdd(maxFee), UInt256::fromHex(start));
    sheet.review();
    EXPECT_EQ(vm.evmReview()->maxFee, maxFee); // what Max subtracted is what the review shows
    EXPECT_EQ(vm.reviewTotal(), "2 ETH");
    vm.setPassword(password);
    sheet.send(&SendViewModel::sendEVM);
    ASSERT_EQ(vm.broadcastStep(), Step::Confirmed) << vm.errorMessage().toStdString();
    const nlohmann::json receipt = node.minedReceipt(vm.txHash().toStdString());
    const UInt256 paid =
        UInt256::fromHex(receipt.at("gasUsed").get<std::string>())
            ->checkedMultiply(*UInt256::fromHex(receipt.at("effectiveGasPrice").get<std::string>()))
            .value();
    EXPECT_FALSE(maxFee < paid);
    const auto balance = [&](const std::string& owner) {
        return *UInt256::fromHex(node.rpc("eth_getBalance", {owner, "latest"}).get<std::string>());
    };
    EXPECT_EQ(UInt256::fromHex(start)->checkedSubtract(balance(sender)), amount.checkedAdd(paid));
    EXPECT_EQ(balance("0x3535353535353535353535353535353535353535"), amount);
}

// The node keeps the send in its pool yet answers an error, its lookup null, and no block is
// mined: only the pool holds the nonce. The user changes the amount and reviews it: the review
// names the earlier send as replaced and shows the fee a pool asks to take this one in its
// place; Send signs at that nonce, offering no Send Anyway. Once a block is mined, the recipient
// got the second amount only.
TEST(SendViewModelPeers, ASendKeptInTheNodesPoolIsReplacedByTheNextOne) {
    if (!test::AnvilNode::isAvailable()) {
        GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
    }
    test::AnvilNode node(137);
    SendSheet sheet(Chain::polygon);
    sheet.proxy.setTarget(node.url());
    SendViewModel& vm = *sheet.vm;
    const std::string sender =
        sheet.env->state().evmAccounts(Chain::polygon).front().account.address;
    node.setBalance(sender, "0x56bc75e2d63100000");
    node.setAutomine(false);
    const std::string refusal = "insufficient funds for gas * price + value";
    test::LaggingBackend backend(sheet.proxy, node.url(), test::LaggingBackend::Family::evm,
                                 refusal, std::chrono::hours(1));
    const std::string recipient = "0x3535353535353535353535353535353535353535";
    vm.setRecipientAddress(QString::fromStdString(recipient));
    vm.setAmountString("1");
    vm.setPassword(password);
    sheet.review();
    EXPECT_TRUE(vm.replacementNote().isEmpty());
    sheet.send(&SendViewModel::sendEVM);
    ASSERT_EQ(vm.broadcastStep(), Step::Failed);
    EXPECT_EQ(vm.errorMessage().toStdString(), "JSONRPCClient: JSON-RPC error -32000: " + refusal);
    ASSERT_EQ(backend.kept().size(), 1u);
    const nlohmann::json held = node.rpc("eth_getTransactionByHash", {backend.kept().front()});

    vm.setAmountString("2");
    sheet.review();
    EXPECT_EQ(vm.replacementNote().toStdString(),
              "This replaces your earlier send of 1 POL to 0x353535...353535 that may still go "
              "through.");
    const EVMPreparedSend shown = *vm.evmReview();
    EXPECT_GT(shown.maxFeePerGas, *UInt256::fromHex(held.at("maxFeePerGas").get<std::string>()));
    EXPECT_EQ(vm.reviewFee().toStdString(), evmMaxFeeText(shown));
    backend.answerNewOnes();
    vm.setPassword(password);
    vm.sendEVM();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return vm.broadcastStep() == Step::WaitingConfirmation || !vm.isSending(); },
        30'000));
    ASSERT_EQ(vm.broadcastStep(), Step::WaitingConfirmation) << vm.errorMessage().toStdString();
    EXPECT_FALSE(vm.flow()->offersSendAnyway());
    node.mine();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !vm.isSending(); }, 30'000));
    ASSERT_EQ(vm.broadcastStep(), Step::Confirmed) << vm.errorMessage().toStdString();
    const nlohmann::json tx = node.rpc("eth_getTransactionByHash", {vm.txHash().toStdString()});
    EXPECT_EQ(tx.at("nonce"), "0x0");
    EXPECT_EQ(UInt256::fromHex(tx.at("maxFeePerGas").get<std::string>()), shown.maxFeePerGas);
    EXPECT_EQ(node.rpc("eth_getTransactionCount", {sender, "latest"}), "0x1");
    EXPECT_EQ(node.rpc("eth_getBalance", {recipient, "latest"}), "0x1bc16d674ec80000"); // 2 POL
    sheet.proxy.clearOverrides();
}

} // namespace
} // namespace qm
