// The send sheet as the program runs it, for KilledSend_tests: the wallet's folder given (its
// keychain a folder of files in it), Ethereum on the node given, 1 ETH to 0x3535…3535
// reviewed and sent.
//   killedsend_driver <folder> <node> first: makes the wallet of the test phrase and sends. Once
//       the node has answered while the face still reads "Broadcasting", with all the program
//       wrote by then on disk, it says {"answered": id} and stays there until it is killed.
//   killedsend_driver <folder> <node> again: unlocks that wallet, reviews and presses Send the
//       same way, and says {"step", "txHash", "earlierNote", "error"} once the send has ended.
// Its own lines start with "driver: "; the rest of its output is the program's log.
#include "AppStateFixture.h"
#include "RunTask.h"
#include "state/flows/FileWriteQueue.h"
#include "state/flows/FlowService.h"
#include "ui/send/SendViewModel.h"

#include <QCoreApplication>
#include <QMetaEnum>
#include <QTest>
#include <cstdlib>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

namespace {

using qm::TransactionFlow;

constexpr const char* walletPassword = "correct horse 1";
// Every wait here is for a state; this only bounds each.
constexpr int bound = 60'000;

void say(const nlohmann::json& line) {
    std::cout << "driver: " << line.dump() << std::endl;
}

[[noreturn]] void fail(const std::string& why) {
    say({{"error", why}});
    std::exit(2);
}

// Once the node's answer is in: the face still reads "Broadcasting".
void holdAtTheAnswer(const TransactionFlow& flow) {
    if (flow.step() != TransactionFlow::Step::Broadcasting || flow.txHash().isEmpty()) {
        return;
    }
    qm::FileWriteQueue::waitForAll();
    say({{"answered", flow.txHash().toStdString()}});
    // Killed here; an input that ends means the test has gone.
    std::string line;
    std::getline(std::cin, line);
    std::_Exit(3);
}

int run(const std::filesystem::path& folder, const QUrl& node, bool first) {
    qm::test::AppStateFixture::RPCPools pools;
    pools[qm::chainIndex(qm::Chain::ethereum) - 1] = node;
    qm::test::AppStateFixture env(folder, pools);
    qm::AppState& state = env.state();
    state.loadStoredState();
    if (first) {
        qm::test::runTask(
            state.createWallet(qm::test::AppStateFixture::abandonPhrase(), walletPassword));
    } else {
        qm::test::runTask(state.unlock(walletPassword));
    }
    state.stopBackgroundTasks();
    if (state.evmAccounts(qm::Chain::ethereum).empty()) {
        fail("no Ethereum account");
    }

    qm::FlowLimits limits;
    limits.pollInterval = std::chrono::milliseconds(200);
    qm::FlowService flows(limits);
    qm::SendViewModel vm;
    vm.setAppState(&state);
    vm.setFlowService(&flows);
    vm.setChain(qm::Chain::ethereum);
    vm.setRecipientAddress(QStringLiteral("0x3535353535353535353535353535353535353535"));
    vm.setAmountString(QStringLiteral("1"));
    vm.setPassword(QString::fromLatin1(walletPassword));
    vm.review();
    if (!QTest::qWaitFor([&] { return !vm.isPreparing(); }, bound) || !vm.hasReview()) {
        fail("no review: " + vm.prepareError().toStdString());
    }
    TransactionFlow* flow = flows.flow(QStringLiteral("send:ethereum"));
    if (first) {
        QObject::connect(flow, &TransactionFlow::txHashChanged, flow,
                         [flow] { holdAtTheAnswer(*flow); });
    }
    vm.sendEVM();
    if (!QTest::qWaitFor([&] { return !vm.isSending(); }, bound)) {
        fail("the send did not end");
    }
    const char* step =
        QMetaEnum::fromType<TransactionFlow::Step>().valueToKey(static_cast<int>(flow->step()));
    say({{"step", step},
         {"txHash", flow->txHash().toStdString()},
         {"earlierNote", flow->earlierNote().toStdString()},
         {"error", flow->errorMessage().toStdString()}});
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4 || (args[3] != "first" && args[3] != "again")) {
        std::cerr << "usage: killedsend_driver <folder> <node url> first|again" << std::endl;
        return 64;
    }
    return run(args[1].toStdString(), QUrl(args[2]), args[3] == "first");
}
