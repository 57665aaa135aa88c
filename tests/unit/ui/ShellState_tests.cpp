// The shell's view models over a real application state (loopback fixtures, memory keychain).

#include "AppStateFixture.h"
#include "ExactBalances.h"
#include "RunTask.h"
#include "app/SingleInstance.h"
#include "services/connections/NetworkManager.h"
#include "ui/shell/SidebarAccountList.h"
#include "ui/shell/SidebarItems.h"
#include "ui/shell/SidebarModel.h"
#include "ui/shell/StatusBarModel.h"

#include <QColor>
#include <QDir>
#include <QLocalServer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUuid>
#include <gtest/gtest.h>
#include <unistd.h>
#include <utility>

namespace qm {
namespace {

using test::AppStateFixture;

TEST(SidebarModel, AccountsInChainOrderAndSelection) {
    AppStateFixture env;
    AppState& state = env.state();
    SidebarModel model(state);
    const auto first = [&](Chain chain, SidebarAccountList::Role role) {
        return model.accounts(chain).index(0).data(role);
    };
    state.loadStoredState();
    qm::test::runTask(state.createWallet(AppStateFixture::abandonPhrase(), "correct horse"));
    state.stopBackgroundTasks();
    ASSERT_EQ(model.sections().size(), 5);
    EXPECT_EQ(model.sections()[4].toMap()["items"].value<QObject*>(),
              &model.accounts(Chain::solana));
    EXPECT_EQ(first(Chain::solana, SidebarAccountList::AccountIdRole).toString(), "sol-0");
    EXPECT_EQ(first(Chain::bitcoin, SidebarAccountList::AddressRole).toString(), "bc1qcr...6fyu");
    // A new wallet opens on the portfolio: no account selected.
    EXPECT_FALSE(first(Chain::bitcoin, SidebarAccountList::SelectedRole).toBool());
    EXPECT_FALSE(state.selectedAccount());
    model.selectAccount(QStringLiteral("btc-0"));
    EXPECT_TRUE(first(Chain::bitcoin, SidebarAccountList::SelectedRole).toBool());

    // Solana #0: the chain is written, the index (already 0) not at all; again writes nothing.
    QSignalSpy chainSpy(&state, &AppState::selectedChainChanged);
    QSignalSpy indexSpy(&state, &AppState::selectedAccountIndexChanged);
    model.selectAccount(QStringLiteral("sol-0"));
    model.selectAccount(QStringLiteral("sol-0"));
    model.selectAccount(QStringLiteral("doge-0"));
    EXPECT_EQ(state.selectedChain(), Chain::solana);
    EXPECT_EQ(chainSpy.count(), 1);
    EXPECT_EQ(indexSpy.count(), 0);
    EXPECT_TRUE(first(Chain::solana, SidebarAccountList::SelectedRole).toBool());
    EXPECT_FALSE(first(Chain::bitcoin, SidebarAccountList::SelectedRole).toBool());
    // An id of a known chain that is not in its list selects that chain's first entry.
    state.setSelectedAccountIndex(3);
    model.selectAccount(QStringLiteral("eth-7"));
    EXPECT_EQ(selectedAccountID(state), "eth-0");
    // The portfolio row: no account, no row drawn selected; an unlock opens there too.
    model.showPortfolio();
    EXPECT_FALSE(state.selectedAccount());
    EXPECT_FALSE(first(Chain::ethereum, SidebarAccountList::SelectedRole).toBool());
    model.selectAccount(QStringLiteral("eth-0"));

    state.lock();
    EXPECT_EQ(model.accounts(Chain::bitcoin).rowCount(), 0);
    qm::test::runTask(state.unlock("correct horse"));
    state.stopBackgroundTasks();
    EXPECT_FALSE(state.selectedAccount()); // eth-0 was selected before the lock
    EXPECT_FALSE(first(Chain::ethereum, SidebarAccountList::SelectedRole).toBool());
    EXPECT_EQ(env.networkRequests(), 0);
}

// A refreshed balance redraws its row, not the list: one dataChanged of that row, no reset.
TEST(SidebarModel, OneBalanceChangeUpdatesOneRow) {
    AppStateFixture env;
    AppState& state = env.state();
    SidebarModel model(state);
    state.loadStoredState();
    qm::test::runTask(state.createWallet(AppStateFixture::abandonPhrase(), "correct horse"));
    state.stopBackgroundTasks();
    SidebarAccountList& bitcoin = model.accounts(Chain::bitcoin);
    SidebarAccountList& ethereum = model.accounts(Chain::ethereum);
    QSignalSpy bitcoinRows(&bitcoin, &QAbstractItemModel::dataChanged);
    QSignalSpy ethereumRows(&ethereum, &QAbstractItemModel::dataChanged);
    QSignalSpy bitcoinReset(&bitcoin, &QAbstractItemModel::modelReset);
    QSignalSpy ethereumReset(&ethereum, &QAbstractItemModel::modelReset);

    ASSERT_TRUE(state.updateBitcoinAccount(0, "btc-0", [](BTCAccountState& account) {
        account.balanceSats = 150'000;
        account.balanceLoad.end(false);
    }));
    ASSERT_EQ(bitcoinRows.count(), 1);
    EXPECT_EQ(bitcoinRows[0][0].toModelIndex().row(), 0);
    EXPECT_EQ(bitcoinRows[0][1].toModelIndex().row(), 0);
    EXPECT_EQ(bitcoin.index(0).data(SidebarAccountList::BalanceRole).toString(), "0.00150000 BTC");
    // The same through a whole-list write of the same accounts.
    std::vector<EVMAccountState> accounts = state.evmAccounts(Chain::ethereum);
    test::setNativeBalance(accounts.at(0), "0.5");
    state.setEVMAccounts(Chain::ethereum, std::move(accounts));
    ASSERT_EQ(ethereumRows.count(), 1);
    EXPECT_EQ(ethereum.index(0).data(SidebarAccountList::BalanceRole).toString(), "0.500000 ETH");
    EXPECT_EQ(bitcoinRows.count() + bitcoinReset.count() + ethereumReset.count(), 1);

    // Accounts that go away reset the list.
    state.lock();
    EXPECT_EQ(bitcoinReset.count(), 1);
}

TEST(StatusBarModel, DotsFollowThePoolsAndTheTooltipTheClock) {
    AppStateFixture env;
    AppState& state = env.state();
    double now = 5000;
    StatusBarModel bar(state, [&now] { return Date{now}; });
    const auto dot = [&](int i) { return bar.chainDots()[i].toMap(); };
    EXPECT_EQ(dot(0)["tooltip"].toString(), "Bitcoin: Disconnected");

    state.networkManager().setConnectionPhase(Chain::arbitrum, qm::ConnectionPhase::connected,
                                              "arb.test");
    EXPECT_EQ(dot(2)["color"].value<QColor>(), QColor(34, 217, 102));
    EXPECT_EQ(dot(2)["tooltip"].toString(), "Arbitrum: Connected: arb.test");

    QSignalSpy refreshSpy(&bar, &StatusBarModel::refreshChanged);
    state.setLastRefresh(Date{4800});
    EXPECT_EQ(refreshSpy.count(), 1);
    EXPECT_EQ(bar.refreshHelpText(), "Last refresh: 3m ago");
    // The bar's clock asks each second; only a text that reads otherwise is told.
    now += 30;
    bar.updateRefreshHelpText();
    EXPECT_EQ(refreshSpy.count(), 1);
    now += 30;
    bar.updateRefreshHelpText();
    bar.updateRefreshHelpText();
    EXPECT_EQ(refreshSpy.count(), 2);
    EXPECT_EQ(bar.refreshHelpText(), "Last refresh: 4m ago");
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

// Another local user could take a name in the shared /tmp and answer in place of the wallet.
TEST(SingleInstance, ASquatterInTheSharedTempFolderDoesNotStopTheStart) {
    QTemporaryDir runtime, shared;
    const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR"), oldTemp = qgetenv("TMPDIR");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    qputenv("TMPDIR", shared.path().toUtf8());
    QLocalServer squatter;
    squatter.setSocketOptions(QLocalServer::WorldAccessOption);
    ASSERT_TRUE(squatter.listen(
        QDir(QDir::tempPath()).filePath(QStringLiteral("quillmark-%1").arg(::getuid()))));
    const QString name = SingleInstance::defaultName();
    EXPECT_TRUE(name.startsWith(runtime.path() + QLatin1Char('/'))) << name.toStdString();
    EXPECT_TRUE(SingleInstance(name).becomePrimary());
    for (const auto& [key, value] :
         {std::pair{"XDG_RUNTIME_DIR", oldRuntime}, {"TMPDIR", oldTemp}}) {
        if (value.isEmpty()) {
            qunsetenv(key);
        } else {
            qputenv(key, value);
        }
    }
}

} // namespace
} // namespace qm
