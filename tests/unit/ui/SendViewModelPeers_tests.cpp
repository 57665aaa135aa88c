// The send view model's EVM and Solana sends as the sheets drive them, against anvil and the
// litesvm server: typed text to the coins that arrive, a wrong password and then the right
// one, and a second press while the send runs.
#include "AnvilNode.h"
#include "AppStateFixture.h"
#include "LitesvmServer.h"
#include "RPCProxy.h"
#include "RunTask.h"
#include "core/crypto/Base58.h"
#include "services/solana/SolanaRPCClient.h"
#include "state/flows/FlowService.h"
#include "ui/send/SendViewModel.h"

#include <QTest>
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
    sheet.send(&SendViewModel::sendSolana);
    ASSERT_EQ(vm.broadcastStep(), Step::Confirmed) << vm.errorMessage().toStdString();
    EXPECT_EQ(sheet.proxy.requestCount("sendTransaction"), 1);
    EXPECT_EQ(vm.txHash().toStdString(), sheet.proxy.lastResult("sendTransaction"));
    SolanaRPCClient client(server.url());
    EXPECT_EQ(test::runTask(client.getBalance(recipient)), 1'000'000'001u);
}

} // namespace
} // namespace qm
