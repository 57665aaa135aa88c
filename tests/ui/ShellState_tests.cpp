// The shell's view models over a real application state (loopback fixtures, memory keychain).

#include "AppStateFixture.h"
#include "app/SingleInstance.h"
#include "services/network/NetworkManager.h"
#include "ui/shell/SidebarItems.h"
#include "ui/shell/SidebarModel.h"
#include "ui/shell/StatusBarModel.h"
#include "ui/shell/WalletViewModel.h"

#include <QColor>
#include <QSignalSpy>
#include <QUuid>
#include <gtest/gtest.h>
#include <qcoro/qcorosignal.h>

namespace qm {
namespace {

using test::AppStateFixture;

// Completes when `gate` is given a new object name.
QCoro::Task<void> waitForRename(QObject* gate) {
    co_await qCoro(gate, &QObject::objectNameChanged);
}

// Row selection past the end of a list is checked through the window in tst_shell.qml.
TEST(SidebarModel, AccountsInChainOrderAndSelection) {
    AppStateFixture env;
    AppState& state = env.state();
    SidebarModel model(state);
    const auto items = [&](int section) {
        return model.sections()[section].toMap()["items"].toList();
    };
    const auto isSelected = [&](int section) {
        return items(section)[0].toMap()["isSelected"].toBool();
    };

    // No accounts: five titled sections without rows.
    ASSERT_EQ(model.sections().size(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(items(i).isEmpty());
    }

    state.loadStoredState();
    state.createWallet(AppStateFixture::abandonPhrase(), "correct horse");
    state.stopBackgroundTasks();
    const char* names[] = {"Bitcoin #0", "Ethereum #0", "Arbitrum #0", "Polygon #0", "Solana #0"};
    const char* ids[] = {"btc-0", "eth-0", "arb-0", "poly-0", "sol-0"};
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(items(i).size(), 1) << i;
        const QVariantMap item = items(i)[0].toMap();
        EXPECT_EQ(item["name"].toString(), names[i]);
        EXPECT_EQ(item["id"].toString(), ids[i]);
        EXPECT_EQ(item["chain"].toInt(), i);
    }
    // The published first address of the test phrase, shortened.
    EXPECT_EQ(items(0)[0].toMap()["address"].toString(), "bc1qcr...6fyu");
    EXPECT_EQ(items(0)[0].toMap()["balance"].toString(), "0.00000000 BTC");
    EXPECT_TRUE(isSelected(0));

    // Clicking Solana #0: the chain is written, the index (already 0) not at all.
    QSignalSpy chainSpy(&state, &AppState::selectedChainChanged);
    QSignalSpy indexSpy(&state, &AppState::selectedAccountIndexChanged);
    QSignalSpy sectionsSpy(&model, &SidebarModel::sectionsChanged);
    model.selectAccount(QStringLiteral("sol-0"));
    EXPECT_EQ(state.selectedChain(), Chain::solana);
    EXPECT_EQ(chainSpy.count(), 1);
    EXPECT_EQ(indexSpy.count(), 0);
    EXPECT_GE(sectionsSpy.count(), 1);
    EXPECT_TRUE(isSelected(4));
    EXPECT_FALSE(isSelected(0));

    // The selected row again writes nothing; an unknown prefix changes nothing.
    model.selectAccount(QStringLiteral("sol-0"));
    model.selectAccount(QStringLiteral("doge-0"));
    EXPECT_EQ(chainSpy.count(), 1);
    EXPECT_EQ(state.selectedChain(), Chain::solana);
    // An id of a known chain that is not in its list selects that chain's first entry.
    state.setSelectedAccountIndex(3);
    model.selectAccount(QStringLiteral("eth-7"));
    EXPECT_EQ(selectedAccountID(state), "eth-0");

    // Locking empties the lists: titles stay, rows go.
    state.lock();
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(items(i).isEmpty());
    }
    EXPECT_EQ(env.networkRequests(), 0) << "the sidebar reaches no network";
}

// The tooltip's texts are checked in ShellTexts_tests; the lock button in tst_shell.qml.
TEST(StatusBarModel, DotsFollowThePoolsAndTheTooltipTheClock) {
    AppStateFixture env;
    AppState& state = env.state();
    StatusBarModel bar(state, [] { return Date{5000}; });

    // Before any connection: every dot red, "Disconnected" tooltips.
    QVariantList dots = bar.chainDots();
    ASSERT_EQ(dots.size(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(dots[i].toMap()["color"].value<QColor>(), QColor(240, 72, 72));
    }
    EXPECT_EQ(dots[0].toMap()["tooltip"].toString(), "Bitcoin: Disconnected");
    EXPECT_EQ(bar.relayDot()["color"].value<QColor>(), QColor(240, 72, 72));

    // A connected pool: green, its status as tooltip.
    QSignalSpy connections(&bar, &StatusBarModel::connectionsChanged);
    state.networkManager().setEVMPoolState(Chain::arbitrum, true, "Connected to arb.test");
    EXPECT_GE(connections.count(), 1);
    dots = bar.chainDots();
    EXPECT_EQ(dots[2].toMap()["color"].value<QColor>(), QColor(34, 217, 102));
    EXPECT_EQ(dots[2].toMap()["tooltip"].toString(), "Arbitrum: Connected to arb.test");
    EXPECT_EQ(dots[1].toMap()["color"].value<QColor>(), QColor(240, 72, 72));

    // The tooltip reads the state and the injected clock.
    QSignalSpy refreshSpy(&bar, &StatusBarModel::refreshChanged);
    state.setLastRefresh(Date{4800});
    EXPECT_EQ(refreshSpy.count(), 1);
    EXPECT_EQ(bar.refreshHelpText(), "Last refresh: 3m ago");
    // While a refresh runs the button starts no second one.
    state.setIsRefreshing(true);
    EXPECT_TRUE(bar.isRefreshing());
    bar.refresh();
    AppStateFixture::settle();
    EXPECT_EQ(env.networkRequests(), 0);
}

TEST(WalletViewModel, RefreshMarksItselfAndRecordsTheEnd) {
    WalletViewModel model;
    model.setErrorMessage(QStringLiteral("old"));
    QSignalSpy refreshing(&model, &WalletViewModel::isRefreshingChanged);

    // A refresh that waits for a signal, so the middle state can be observed.
    QObject gate;
    bool duringRefreshing = false;
    std::optional<QString> duringMessage = QStringLiteral("unset");
    auto refreshAll = [&]() -> QCoro::Task<void> {
        duringRefreshing = model.isRefreshing();
        duringMessage = model.errorMessage();
        return waitForRename(&gate);
    };
    QCoro::Task<void> task = model.refresh(refreshAll, [] { return Date{777}; });
    EXPECT_TRUE(model.isRefreshing());
    EXPECT_TRUE(duringRefreshing);
    EXPECT_EQ(duringMessage, std::nullopt);
    EXPECT_EQ(model.lastRefresh(), std::nullopt);
    gate.setObjectName(QStringLiteral("go"));
    QCoro::waitFor(task);
    EXPECT_FALSE(model.isRefreshing());
    EXPECT_EQ(model.lastRefresh(), Date{777});
    EXPECT_EQ(model.errorMessage(), std::nullopt);
    EXPECT_EQ(refreshing.count(), 2);
}

TEST(SingleInstance, ASecondLaunchAsksTheFirstToShowItsWindow) {
    const QString name =
        QStringLiteral("quillmark-test-") + QUuid::createUuid().toString(QUuid::Id128);
    SingleInstance first(name);
    ASSERT_TRUE(first.becomePrimary());
    QSignalSpy activations(&first, &SingleInstance::activationRequested);

    // The second instance blocks on its own socket while the first must answer: run it on a
    // worker so this thread's event loop serves the first.
    std::atomic<int> secondResult = -1;
    std::thread second([&] { secondResult = SingleInstance(name).becomePrimary() ? 1 : 0; });
    while (secondResult == -1) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    second.join();
    EXPECT_EQ(secondResult, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(activations.count(), 1);

    // A socket left behind by a process that died is taken over.
    const QString stale = name + QStringLiteral("-stale");
    {
        QLocalServer leftover;
        ASSERT_TRUE(leftover.listen(stale));
        leftover.close();
    }
    EXPECT_TRUE(SingleInstance(stale).becomePrimary());
}

} // namespace
} // namespace qm
