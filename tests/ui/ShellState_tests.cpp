// The shell's view models over a real application state (loopback fixtures, memory keychain).

#include "AppStateFixture.h"
#include "app/SingleInstance.h"
#include "services/connections/NetworkManager.h"
#include "ui/shell/SidebarItems.h"
#include "ui/shell/SidebarModel.h"
#include "ui/shell/StatusBarModel.h"

#include <QColor>
#include <QSignalSpy>
#include <QUuid>
#include <gtest/gtest.h>

namespace qm {
namespace {

using test::AppStateFixture;

TEST(SidebarModel, AccountsInChainOrderAndSelection) {
    AppStateFixture env;
    AppState& state = env.state();
    SidebarModel model(state);
    const auto item = [&](int section) {
        return model.sections()[section].toMap()["items"].toList().value(0).toMap();
    };
    state.loadStoredState();
    state.createWallet(AppStateFixture::abandonPhrase(), "correct horse");
    state.stopBackgroundTasks();
    ASSERT_EQ(model.sections().size(), 5);
    EXPECT_EQ(item(4)["id"].toString(), "sol-0");
    EXPECT_EQ(item(0)["address"].toString(), "bc1qcr...6fyu");
    EXPECT_TRUE(item(0)["isSelected"].toBool());

    // Solana #0: the chain is written, the index (already 0) not at all; again writes nothing.
    QSignalSpy chainSpy(&state, &AppState::selectedChainChanged);
    QSignalSpy indexSpy(&state, &AppState::selectedAccountIndexChanged);
    model.selectAccount(QStringLiteral("sol-0"));
    model.selectAccount(QStringLiteral("sol-0"));
    model.selectAccount(QStringLiteral("doge-0"));
    EXPECT_EQ(state.selectedChain(), Chain::solana);
    EXPECT_EQ(chainSpy.count(), 1);
    EXPECT_EQ(indexSpy.count(), 0);
    EXPECT_TRUE(item(4)["isSelected"].toBool());
    // An id of a known chain that is not in its list selects that chain's first entry.
    state.setSelectedAccountIndex(3);
    model.selectAccount(QStringLiteral("eth-7"));
    EXPECT_EQ(selectedAccountID(state), "eth-0");

    state.lock();
    EXPECT_TRUE(model.sections()[0].toMap()["items"].toList().isEmpty());
    EXPECT_EQ(env.networkRequests(), 0);
}

TEST(StatusBarModel, DotsFollowThePoolsAndTheTooltipTheClock) {
    AppStateFixture env;
    AppState& state = env.state();
    StatusBarModel bar(state, [] { return Date{5000}; });
    const auto dot = [&](int i) { return bar.chainDots()[i].toMap(); };
    EXPECT_EQ(dot(0)["tooltip"].toString(), "Bitcoin: Disconnected");

    state.networkManager().setEVMPoolState(Chain::arbitrum, true, "Connected to arb.test");
    EXPECT_EQ(dot(2)["color"].value<QColor>(), QColor(34, 217, 102));
    EXPECT_EQ(dot(2)["tooltip"].toString(), "Arbitrum: Connected to arb.test");

    QSignalSpy refreshSpy(&bar, &StatusBarModel::refreshChanged);
    state.setLastRefresh(Date{4800});
    EXPECT_EQ(refreshSpy.count(), 1);
    EXPECT_EQ(bar.refreshHelpText(), "Last refresh: 3m ago");
}

// A second launch's hand-over is checked under Xvfb by screenshots.py.
TEST(SingleInstance, ASocketLeftByADeadProcessIsTakenOver) {
    const QString name =
        QStringLiteral("quillmark-test-") + QUuid::createUuid().toString(QUuid::Id128);
    {
        QLocalServer leftover;
        ASSERT_TRUE(leftover.listen(name));
        leftover.close();
    }
    EXPECT_TRUE(SingleInstance(name).becomePrimary());
}

} // namespace
} // namespace qm
