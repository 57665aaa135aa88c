// The portfolio's cost of an update: the time from a refresh pass that changes one balance to
// the next painted frame of the window showing the portfolio, with 100 tokens on every EVM and
// Solana account against none, in one run. Each case runs in a child process over a wallet
// unlocked on loopback fixtures, under one display (a private Xvfb when there is no DISPLAY).
// A pass writes what a refresh writes: every account in place (one native balance differs)
// and the chain prices. Figures only; nothing is asserted.
// Goal: with tokens at most 1.5 times the time without (an update costs what changed).
//   bench_portfolio [passes]
// A short run (BenchRun.h) makes 3 passes; a pass without a frame within 2 s, or a child that
// fails, fails the run.

#include "../BenchRun.h"
#include "../WindowBench.h"
#include "AppStateFixture.h"
#include "PortfolioHoldings.h"
#include "UnlockedWindow.h"
#include "app/QuillmarkApp.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QQuickWindow>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <unistd.h>
#include <vector>

Q_IMPORT_QML_PLUGIN(Quillmark_UiPlugin)

namespace {

// One refresh pass: every account written in place, the Ethereum balance to `ether`.
void refreshPass(qm::AppState& state, double ether) {
    state.updateBitcoinAccount(0, "btc-0", [](qm::BTCAccountState&) {});
    for (const qm::Chain chain : {qm::Chain::ethereum, qm::Chain::arbitrum, qm::Chain::polygon}) {
        const std::string id = state.evmAccounts(chain).at(0).id();
        state.updateEVMAccount(chain, 0, id, [&](qm::EVMAccountState& account) {
            if (chain == qm::Chain::ethereum) {
                account.balanceNative = ether;
            }
        });
    }
    state.updateSolanaAccount(0, "sol-0", [](qm::SolanaAccountState&) {});
    state.setChainPrices(state.chainPrices());
}

// The window over an unlocked wallet with `tokens` tokens per account: milliseconds from each
// pass to the frame after it, one line per pass.
int runChild(int argc, char** argv, int tokens, int passes) {
    using qm::test::spin;
    QApplication application(argc, argv);
    qm::QuillmarkApp::configure(application);
    qm::test::AppStateFixture fixture;
    qm::AppState& state = fixture.state();
    {
        const qm::test::UnlockedWindow unlocked(fixture);
        QQuickWindow* window = unlocked.window();
        if (!window) {
            return 1;
        }
        qm::test::giveHoldings(state, static_cast<std::size_t>(tokens));
        spin(2000);

        // The render loop may swap frames on a thread of its own.
        QElapsedTimer clock;
        std::atomic<bool> pending = false;
        std::atomic<double> measured = -1;
        QObject::connect(
            window, &QQuickWindow::frameSwapped, window,
            [&] {
                if (pending.exchange(false)) {
                    measured = static_cast<double>(clock.nsecsElapsed()) / 1e6;
                }
            },
            Qt::DirectConnection);
        for (int pass = 0; pass < passes; ++pass) {
            // Past the total's count-up of the pass before: the next frame is this pass's.
            spin(600);
            measured = -1;
            clock.start();
            pending = true;
            refreshPass(state, pass % 2 == 0 ? 1.5 : 1.25);
            for (int waited = 0; measured < 0 && waited < 2000; waited += 1) {
                spin(1);
            }
            std::printf("%.3f\n", measured.load());
            std::fflush(stdout);
        }
    }
    return 0;
}

// The passes' times, sorted; empty when the child failed or a pass had no frame.
std::vector<double> measure(const QProcessEnvironment& env, int tokens, int passes) {
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--child"), QString::number(tokens), QString::number(passes)});
    if (!child.waitForFinished(600'000) || child.exitStatus() != QProcess::NormalExit ||
        child.exitCode() != 0) {
        std::fprintf(stderr, "bench_portfolio: the window with %d tokens failed\n", tokens);
        return {};
    }
    std::vector<double> times;
    for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
        bool ok = false;
        const double value = line.toDouble(&ok);
        if (ok && value >= 0) {
            times.push_back(value);
        }
    }
    if (times.size() != static_cast<std::size_t>(passes)) {
        std::fprintf(stderr, "bench_portfolio: %d of %d passes had no frame\n",
                     passes - static_cast<int>(times.size()), passes);
        return {};
    }
    std::sort(times.begin(), times.end());
    return times;
}

double quantile(const std::vector<double>& sorted, double q) {
    if (sorted.empty()) {
        return -1;
    }
    return sorted[std::min(sorted.size() - 1, static_cast<std::size_t>(q * sorted.size()))];
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && QByteArray(argv[1]) == "--child") {
        return runChild(argc, argv, QByteArray(argv[2]).toInt(), QByteArray(argv[3]).toInt());
    }
    QCoreApplication app(argc, argv);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const qm::bench::Display display(env);
    const int passes =
        argc == 2 ? std::max(5, QByteArray(argv[1]).toInt()) : qm::bench::fullOrShort(30, 3);

    std::printf("From a refresh pass that changes one balance to the next frame (ms, %d passes):\n",
                passes);
    double medians[2] = {-1, -1};
    const int cases[2] = {0, 100};
    for (int i = 0; i < 2; ++i) {
        const std::vector<double> times = measure(env, cases[i], passes);
        if (times.empty()) {
            return 1;
        }
        medians[i] = quantile(times, 0.5);
        std::printf("  %3d tokens per account: median %6.2f  p90 %6.2f  (%zu frames)\n", cases[i],
                    medians[i], quantile(times, 0.9), times.size());
        std::fflush(stdout);
    }
    if (medians[0] > 0 && medians[1] > 0) {
        std::printf("ratio %.2f (goal at most 1.5)\n", medians[1] / medians[0]);
    }
    return 0;
}
