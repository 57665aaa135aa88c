// The shell's view models over a real application state (loopback fixtures, memory keychain).

#include "AppStateFixture.h"
#include "app/SingleInstance.h"
#include "platform/Settings.h"
#include "services/network/NetworkManager.h"
#include "ui/shell/SidebarItems.h"
#include "ui/shell/SidebarModel.h"
#include "ui/shell/StatusBarModel.h"
#include "ui/shell/WalletViewModel.h"
#include "ui/theme/BRPalette.h"
#include "ui/theme/BRThemeManager.h"

#include <QSignalSpy>
#include <QTemporaryDir>
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

TEST(BRThemeManager, ReadsOnceWritesEverySetAndNotifiesOnlyOnChange) {
    QTemporaryDir dir;
    const std::filesystem::path file = dir.filePath("settings.ini").toStdString();
    {
        Settings settings(file);
        BRThemeManager manager(settings);
        EXPECT_EQ(manager.current(), BRTheme::appleBlue);      // nothing stored
        EXPECT_EQ(settings.string("app_theme"), std::nullopt); // and nothing written

        BRPalette palette(manager);
        QSignalSpy themeSpy(&manager, &BRThemeManager::currentChanged);
        QSignalSpy paletteSpy(&palette, &BRPalette::themeChanged);
        EXPECT_EQ(palette.accent(), QColor(10, 132, 255));
        manager.setCurrent(BRTheme::dollarGreen);
        EXPECT_EQ(palette.accent(), QColor(212, 168, 75));
        EXPECT_EQ(themeSpy.count(), 1);
        EXPECT_EQ(paletteSpy.count(), 1);
        EXPECT_EQ(settings.string("app_theme"), "Dollar Green");

        // QML names: unknown ones are ignored.
        manager.setCurrentName(QStringLiteral("Neon"));
        EXPECT_EQ(manager.current(), BRTheme::dollarGreen);
    }
    for (const auto& [stored, expected] :
         std::vector<std::pair<std::string, BRTheme>>{{"Dollar Green", BRTheme::dollarGreen},
                                                      {"DOLLAR GREEN", BRTheme::appleBlue}}) {
        Settings settings(file);
        settings.setString("app_theme", stored);
        EXPECT_EQ(BRThemeManager(settings).current(), expected) << stored;
    }
}

TEST(SidebarModel, AccountsInChainOrderAndSelection) {
    AppStateFixture env;
    AppState& state = env.state();
    SidebarModel model(state);

    // No accounts: five titled sections without rows, no selection.
    QVariantList sections = model.sections();
    ASSERT_EQ(sections.size(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(sections[i].toMap()["items"].toList().isEmpty());
    }
    EXPECT_EQ(selectedAccountID(state), std::nullopt);

    state.loadStoredState();
    state.createWallet(AppStateFixture::abandonPhrase(), "correct horse");
    AppStateFixture::settle();
    state.lock(); // stops the refresh; the lists are refilled below by derivation
    state.unlock("correct horse");
    state.stopBackgroundTasks();

    sections = model.sections();
    const char* names[] = {"Bitcoin #0", "Ethereum #0", "Arbitrum #0", "Polygon #0", "Solana #0"};
    const char* ids[] = {"btc-0", "eth-0", "arb-0", "poly-0", "sol-0"};
    for (int i = 0; i < 5; ++i) {
        const QVariantList items = sections[i].toMap()["items"].toList();
        ASSERT_EQ(items.size(), 1) << i;
        const QVariantMap item = items[0].toMap();
        EXPECT_EQ(item["name"].toString(), names[i]);
        EXPECT_EQ(item["id"].toString(), ids[i]);
        EXPECT_EQ(item["chain"].toInt(), i);
    }
    // The published first addresses of the test phrase, shortened.
    EXPECT_EQ(sections[0].toMap()["items"].toList()[0].toMap()["address"].toString(),
              "bc1qcr...6fyu");
    EXPECT_EQ(sections[1].toMap()["items"].toList()[0].toMap()["address"].toString(),
              "0x9858...da94");
    EXPECT_EQ(sections[0].toMap()["items"].toList()[0].toMap()["balance"].toString(),
              "0.00000000 BTC");

    // Bitcoin #0 starts selected (chain bitcoin, index 0).
    auto isSelected = [&](int section) {
        return model.sections()[section]
            .toMap()["items"]
            .toList()[0]
            .toMap()["isSelected"]
            .toBool();
    };
    EXPECT_TRUE(isSelected(0));
    EXPECT_EQ(selectedAccountID(state), "btc-0");

    // Clicking Solana #0: the chain is written first, the index (already 0) not at all.
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
    EXPECT_EQ(state.selectedChain(), Chain::ethereum);
    EXPECT_EQ(state.selectedAccountIndex(), 0);
    EXPECT_EQ(selectedAccountID(state), "eth-0");

    // An index past the list selects nothing.
    state.setSelectedAccountIndex(1);
    EXPECT_EQ(selectedAccountID(state), std::nullopt);
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(isSelected(i));
    }
    // Locking empties the lists: titles stay, rows go.
    state.lock();
    for (const QVariant& section : model.sections()) {
        EXPECT_TRUE(section.toMap()["items"].toList().isEmpty());
    }
    EXPECT_EQ(env.networkRequests(), 0) << "the sidebar reaches no network";
}

TEST(StatusBarModel, DotsFollowThePoolsAndTheTooltipTheClock) {
    AppStateFixture env;
    AppState& state = env.state();
    Date now{5000};
    StatusBarModel bar(state, [&now] { return now; });

    // Before any connection: every dot red with the small glow, "Disconnected" tooltips.
    QVariantList dots = bar.chainDots();
    ASSERT_EQ(dots.size(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(dots[i].toMap()["color"].value<QColor>(), QColor(240, 72, 72));
    }
    EXPECT_EQ(dots[0].toMap()["tooltip"].toString(), "Bitcoin: Disconnected");
    EXPECT_EQ(bar.relayDot()["color"].value<QColor>(), QColor(240, 72, 72));

    // A pool connected on its first endpoint: green with the wide glow, its status as tooltip.
    QSignalSpy connections(&bar, &StatusBarModel::connectionsChanged);
    state.networkManager().setEVMPoolState(Chain::arbitrum, true, "Connected to arb.test");
    EXPECT_GE(connections.count(), 1);
    dots = bar.chainDots();
    EXPECT_EQ(dots[2].toMap()["color"].value<QColor>(), QColor(34, 217, 102));
    EXPECT_EQ(dots[2].toMap()["tooltip"].toString(), "Arbitrum: Connected to arb.test");
    EXPECT_EQ(dots[1].toMap()["color"].value<QColor>(), QColor(240, 72, 72));

    // The tooltip reads the state's flags and the injected clock.
    EXPECT_EQ(bar.refreshHelpText(), "Refresh balances");
    QSignalSpy refreshSpy(&bar, &StatusBarModel::refreshChanged);
    state.setLastRefresh(Date{4800});
    EXPECT_EQ(refreshSpy.count(), 1);
    EXPECT_EQ(bar.refreshHelpText(), "Last refresh: 3m ago");
    state.setIsRefreshing(true);
    EXPECT_TRUE(bar.isRefreshing());
    EXPECT_EQ(bar.refreshHelpText(), "Refreshing...");
    // While a refresh runs the button starts no second one.
    bar.refresh();
    AppStateFixture::settle();
    EXPECT_EQ(env.networkRequests(), 0);
    state.setIsRefreshing(false);

    // The lock button locks.
    state.loadStoredState();
    state.createWallet(AppStateFixture::abandonPhrase(), "correct horse");
    EXPECT_FALSE(state.isLocked());
    bar.lock();
    EXPECT_TRUE(state.isLocked());
    AppStateFixture::settle();
}

TEST(WalletViewModel, RefreshMarksItselfAndRecordsTheEnd) {
    WalletViewModel model;
    EXPECT_FALSE(model.isRefreshing());
    EXPECT_EQ(model.lastRefresh(), std::nullopt);
    EXPECT_EQ(model.errorMessage(), std::nullopt);

    model.setErrorMessage(QStringLiteral("old"));
    QSignalSpy refreshing(&model, &WalletViewModel::isRefreshingChanged);
    model.setIsRefreshing(false); // same value: no announcement
    EXPECT_EQ(refreshing.count(), 0);

    // A refresh that waits for a signal, so the middle state can be observed.
    QObject gate;
    bool duringRefreshing = false;
    std::optional<QString> duringMessage = QStringLiteral("unset");
    auto refreshAll = [&gate, &model, &duringRefreshing, &duringMessage]() -> QCoro::Task<void> {
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
    std::thread second([&] {
        SingleInstance other(name);
        secondResult = other.becomePrimary() ? 1 : 0;
    });
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
    SingleInstance fresh(stale);
    EXPECT_TRUE(fresh.becomePrimary());
}

} // namespace
} // namespace qm
