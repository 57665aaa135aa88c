// A Bitcoin send (coin selection, one signing of every input, serialisation, broadcast) from a
// wallet of 10, 100 and 1,000 coins spread over 10 addresses, against a loopback Electrum
// server, every coin spent. Prints, per case: the time per send against the 10-coin case
// (goal: grows no faster than the number of inputs), the seed openings per send (goal: 1),
// and the GUI thread's longest stall during a send (goal <= 16 ms): the worst of all sends,
// and the median of each send's worst, which a loaded machine disturbs less.
#include "../BenchRun.h"
#include "../EventLoopStall.h"
#include "AppStateFixture.h"
#include "RawTransactionID.h"
#include "RunTask.h"
#include "platform/async/OneShot.h"
#include "state/flows/FlowService.h"
#include "state/send/BitcoinSend.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

using namespace qm;
using json = nlohmann::json;

namespace {

constexpr const char* password = "bench password 1";
constexpr int addressCount = 10;
constexpr std::uint64_t coinValue = 100'000;

std::string line(const json& id, json result) {
    return json{{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}}.dump() + "\n";
}

std::size_t seedLoads(test::FaultyKeychain& keychain, std::size_t from) {
    const std::vector<std::string> calls = keychain.calls();
    return static_cast<std::size_t>(
        std::count_if(calls.begin() + static_cast<std::ptrdiff_t>(from), calls.end(),
                      [](const std::string& call) { return call.starts_with("load:seed-"); }));
}

// Ends when the flow's run has ended.
QCoro::Task<void> flowEnd(TransactionFlow* flow) {
    OneShot<void> ended;
    if (!flow->isRunning()) {
        ended.succeed();
    }
    const QMetaObject::Connection connection =
        QObject::connect(flow, &TransactionFlow::finished, [ended] { ended.succeed(); });
    QCoro::Task<void> waiting = ended.wait();
    co_await std::move(waiting);
    QObject::disconnect(connection);
}

struct Figures {
    double millis = 0;
    double stall = 0;        // the worst of all sends
    double typicalStall = 0; // the median of each send's worst
    std::size_t openings = 0;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// `rounds` sends spending every one of `coins` coins; the median time, the stalls and the
// most seed openings of one send.
Figures measure(int coins, int rounds) {
    test::AppStateFixture env;
    AppState& state = env.state();
    state.loadStoredState();
    test::runTask(state.createWallet(test::AppStateFixture::abandonPhrase(), password));
    state.stopBackgroundTasks();
    for (int i = 1; i < addressCount; ++i) {
        test::runTask(state.generateBTCAddress());
    }
    std::map<std::string, json> unspent;
    int made = 0;
    for (const BTCAddressInfo& address : state.bitcoinAccounts().at(0).addresses) {
        json& list = unspent[address.scriptHash] = json::array();
        for (int i = 0; i < coins / addressCount; ++i, ++made) {
            char txid[65];
            std::snprintf(txid, sizeof txid, "%064x", made + 1);
            list.push_back({{"tx_hash", txid}, {"tx_pos", 0}, {"height", 1}, {"value", coinValue}});
        }
    }
    env.electrum().answerRaw("blockchain.scripthash.listunspent", [unspent](const json& r) {
        return line(r.at("id"), unspent.at(r.at("params").at(0).get<std::string>()));
    });
    env.electrum().answer("blockchain.estimatefee", -1);
    // A broadcast is answered with the id of the bytes sent, as a server does: the wallet
    // takes no other answer.
    env.electrum().answerRaw("blockchain.transaction.broadcast", [](const json& r) {
        return line(r.at("id"), test::rawTransactionID(r.at("params").at(0).get<std::string>()));
    });

    // Connected before measuring: the loopback server's TLS handshake runs on this thread too.
    if (!test::runTask(state.networkManager().connectedElectrumClient({}))) {
        std::fprintf(stderr, "bench_send: no Electrum connection\n");
        std::exit(1);
    }

    FlowLimits limits;
    limits.pace = 0;
    FlowService flows(limits);
    TransactionFlow* flow = flows.flow("send:bitcoin");
    bench::StallMeter meter;
    Figures figures;
    std::vector<double> times;
    std::vector<double> stalls;
    for (int round = 0; round < rounds; ++round) {
        auto request = std::make_shared<BitcoinSendRequest>();
        request->state = &state;
        request->walletID = state.wallet()->id;
        request->password = SecureBytes::fromText(password);
        // Every coin to one output at 1 sat/vB, prepared as the review prepares it (not
        // measured: the send is).
        BitcoinSendForm form;
        form.recipient = "bc1qw508d6qejxtdg4y5r3zarvary0c5xw7kv8f3t4";
        form.feeLevel = SendFeeLevel::slow;
        form.sendEverything = true;
        request->prepared = test::runTask(prepareBitcoinSend(&state, form, {}));
        const std::size_t before = env.keychain().calls().size();
        QElapsedTimer clock;
        clock.start();
        const double stall = bench::stallOf(meter, [&] {
            flow->start(TransactionFlow::Step::Signing, [request](FlowRun run) {
                return runBitcoinSend(std::move(run), std::move(*request));
            });
            return flowEnd(flow);
        });
        times.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        if (flow->step() != TransactionFlow::Step::Submitted) {
            std::fprintf(stderr, "bench_send: the send failed: %s\n",
                         flow->errorMessage().toUtf8().constData());
            std::exit(1);
        }
        flow->reset();
        stalls.push_back(stall);
        figures.stall = std::max(figures.stall, stall);
        figures.openings = std::max(figures.openings, seedLoads(env.keychain(), before));
    }
    figures.millis = median(times);
    figures.typicalStall = median(stalls);
    return figures;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : bench::fullOrShort(5, 1);
    const Figures base = measure(10, rounds);
    // A short run (BenchRun.h) stops at 100 coins.
    for (const int coins : bench::fullOrShort<std::vector<int>>({10, 100, 1000}, {10, 100})) {
        const Figures figures = coins == 10 ? base : measure(coins, rounds);
        std::printf(
            "bench_send: %4d coins over %d addresses: %.1f ms per send, %.2fx the 10-coin "
            "send for %dx the inputs (goal: no faster growth); %zu seed opening(s) per "
            "send (goal: 1); longest GUI stall %.1f ms, median of the sends' longest %.1f ms "
            "(goal <= 16 ms)\n",
            coins, addressCount, figures.millis, figures.millis / base.millis, coins / 10,
            figures.openings, figures.stall, figures.typicalStall);
    }
    return 0;
}
