// The settings' view models over a real application state on loopback fixtures.

#include "AppStateFixture.h"
#include "RunTask.h"
#include "core/storage/KeychainManager.h"
#include "platform/Settings.h"
#include "services/connections/NetworkManager.h"
#include "state/AppState.h"
#include "state/refresh/RefreshOrchestrator.h"
#include "ui/settings/AppearanceSettingsViewModel.h"
#include "ui/settings/NetworkSettingsViewModel.h"
#include "ui/settings/SecuritySettingsViewModel.h"
#include "ui/settings/SeedRevealViewModel.h"
#include "ui/theme/BRThemeManager.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <thread>

namespace qm {
namespace {

using test::AppStateFixture;

constexpr const char* password = "correct horse";

// Revealing with the right password, and its wiring, is checked in qml/tst_shell.qml.
TEST(SeedRevealViewModel, MapsEveryFailure) {
    AppStateFixture env;
    env.state().loadStoredState();
    SeedRevealViewModel reveal;
    reveal.setAppState(&env.state());
    const auto attempt = [&](const char* typed) {
        reveal.setPassword(QString::fromUtf8(typed));
        qm::test::runTask(reveal.openPhrase());
        EXPECT_FALSE(reveal.isRevealed());
        return reveal.errorText();
    };
    EXPECT_EQ(attempt(password), QStringLiteral("No wallet found."));
    qm::test::runTask(env.state().createWallet(AppStateFixture::abandonPhrase(), password));
    env.state().stopBackgroundTasks();
    EXPECT_EQ(attempt("wrong horse"), QStringLiteral("Wrong password."));
    EXPECT_TRUE(reveal.hasPassword()); // the field is kept
    // A sealed phrase that does not open shows the storage's own text.
    const std::string item = "mnemonic-" + env.state().wallet()->id;
    Bytes sealed = *env.keychainManager().loadItem(item);
    sealed.back() ^= 0x01;
    env.keychainManager().storeItem(item, sealed);
    EXPECT_EQ(attempt(password), QStringLiteral("Decryption failed"));
    env.keychainManager().deleteItem(item);
    EXPECT_EQ(attempt("anything"), QStringLiteral("Seed phrase not stored. This wallet was "
                                                  "created before this feature."));
}

TEST(NetworkSettingsViewModel, PortAndHostChecks) {
    using Model = NetworkSettingsViewModel;
    for (const char* bad : {"", " 50002", "65536", "0", "99999999999999999999", "٥٠٠٠٢"}) {
        EXPECT_EQ(Model::parsePort(QString::fromUtf8(bad)), std::nullopt) << bad;
    }
    EXPECT_EQ(Model::parsePort(QStringLiteral("065535")), 65535);
    EXPECT_EQ(Model::hostProblem(QStringLiteral("electrum .example.org")),
              QStringLiteral("The host must not contain spaces or control characters."));
    EXPECT_TRUE(Model::hostProblem(QStringLiteral("::1")).isEmpty());
}

TEST(NetworkSettingsViewModel, AnUnusableFormChangesNothing) {
    AppStateFixture env;
    NetworkManager& network = env.state().networkManager();
    NetworkSettingsViewModel model;
    model.setAppState(&env.state());
    const ServerPool before = network.electrumPool();

    model.setElectrumHost(QString());
    model.setElectrumPort(QStringLiteral("70000"));
    EXPECT_FALSE(model.applyElectrumServer());
    EXPECT_EQ(model.hostError(), QStringLiteral("Enter the server's host name or address."));
    model.setElectrumHost(QStringLiteral("electrum.example.org"));
    EXPECT_FALSE(model.applyElectrumServer());
    EXPECT_TRUE(model.hostError().isEmpty());
    EXPECT_FALSE(model.portError().isEmpty());
    EXPECT_EQ(network.electrumPool().servers, before.servers);
    EXPECT_EQ(network.electrumPool().activeIndex, before.activeIndex);

    // A usable form is applied; a new page shows the active server.
    model.setElectrumPort(QStringLiteral("50002"));
    EXPECT_TRUE(model.applyElectrumServer());
    NetworkSettingsViewModel again;
    again.setAppState(&env.state());
    again.loadCurrentServer();
    EXPECT_EQ(again.electrumHost(), QStringLiteral("electrum.example.org"));
    EXPECT_EQ(again.electrumPort(), QStringLiteral("50002"));
    EXPECT_EQ(env.networkRequests(), 0);
}

// That the reset keeps no traffic going is checked in AppStateLifecycle_tests; the tab also
// drops the connection that carried the deleted wallet's subscriptions, and says why a
// deletion did not happen (a keyring locked since, whose prompt was dismissed), keeping the
// wallet and its connection.
TEST(SecuritySettingsViewModel, DeleteWalletDropsTheSubscribedConnection) {
    AppStateFixture env;
    test::ElectrumFixture& electrum = env.electrum();
    electrum.answer("blockchain.headers.subscribe", {{"height", 800'000}, {"hex", "00"}});
    electrum.answer("blockchain.scripthash.get_balance", {{"confirmed", 100}, {"unconfirmed", 0}});
    electrum.answer("blockchain.scripthash.get_history", nlohmann::json::array());
    electrum.answer("blockchain.scripthash.subscribe", nullptr);
    env.state().loadStoredState();
    env.state().refreshOrchestrator().setSuspendedForTesting(false);
    qm::test::runTask(env.state().createWallet(AppStateFixture::abandonPhrase(), password));
    ASSERT_TRUE(QTest::qWaitFor([&] { return env.state().btcSubscriptionsReady(); }, 30'000));
    SecuritySettingsViewModel security;
    security.setAppState(&env.state());
    env.keychain().setLocked(true);
    {
        const std::jthread user = env.keychain().answerWhenPrompted(false);
        security.deleteWallet();
        EXPECT_TRUE(security.isDeleting());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !security.isDeleting(); }, 10'000));
    }
    EXPECT_EQ(security.errorMessage(),
              "The keyring is locked, so nothing was deleted. Unlock it, then try again.");
    EXPECT_TRUE(env.state().wallet());
    EXPECT_TRUE(env.state().networkManager().electrumConnected());
    const std::jthread user = env.keychain().answerWhenPrompted(true);
    security.deleteWallet();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !env.state().wallet(); }, 10'000));
    EXPECT_TRUE(security.errorMessage().isEmpty());
    AppStateFixture::settle();
    EXPECT_FALSE(env.state().networkManager().electrumConnected());
}

TEST(AppearanceSettingsViewModel, OnlyAThemesExactNameIsStored) {
    QTemporaryDir folder;
    Settings settings(folder.filePath("defaults.ini").toStdString());
    BRThemeManager manager(settings);
    AppearanceSettingsViewModel model(manager);
    QSignalSpy current(&manager, &BRThemeManager::currentChanged);
    model.selectTheme(QStringLiteral("dollar green"));
    EXPECT_EQ(model.selectedTheme(), QStringLiteral("Apple Blue"));
    EXPECT_EQ(settings.string("app_theme"), std::nullopt);
    model.selectTheme(QStringLiteral("Dollar Green"));
    EXPECT_EQ(manager.current(), BRTheme::dollarGreen);
    // The selected card again: stored again, nobody notified.
    settings.remove("app_theme");
    model.selectTheme(QStringLiteral("Dollar Green"));
    EXPECT_EQ(settings.string("app_theme"), "Dollar Green");
    EXPECT_EQ(current.count(), 1);
    settings.setString("app_theme", "DOLLAR GREEN");
    EXPECT_EQ(BRThemeManager(settings).current(), BRTheme::appleBlue);
}

// This test runs its own program twice over one private configuration folder: choose
// "Dollar Green" and end without any clean-up, then read it back.
TEST(AppearanceSettingsViewModel, TheChoiceSurvivesARestart) {
    const QByteArray step = qgetenv("QM_THEME_RESTART_STEP");
    if (step == "choose") {
        AppearanceSettingsViewModel().selectTheme(QStringLiteral("Dollar Green"));
        QCoreApplication::processEvents();
        std::_Exit(0); // as a killed program would: no destructors, no flush
    }
    if (step == "read") {
        std::_Exit(BRThemeManager::shared().current() == BRTheme::dollarGreen ? 0 : 3);
    }
    QTemporaryDir config;
    for (const char* stepName : {"choose", "read"}) {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", config.path());
        environment.insert("QM_THEME_RESTART_STEP", stepName);
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_filter=AppearanceSettingsViewModel.TheChoiceSurvivesARestart"});
        EXPECT_TRUE(child.waitForFinished(60'000)) << stepName;
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << stepName;
        EXPECT_EQ(child.exitCode(), 0) << stepName;
    }
}

} // namespace
} // namespace qm
