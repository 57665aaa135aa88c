// The settings' view models over a real application state on loopback fixtures: the
// recovery-phrase reveal, the Electrum server form, the wallet deletion, and the theme choice
// across a restart of the program. The screens' wiring is in SettingsScreens_tests.

#include "AppStateFixture.h"
#include "core/storage/KeychainManager.h"
#include "platform/Settings.h"
#include "services/network/NetworkManager.h"
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
#include <chrono>
#include <gtest/gtest.h>
#include <string>

namespace qm {
namespace {

using test::AppStateFixture;
using test::ElectrumFixture;

constexpr const char* password = "correct horse";

void createWallet(AppStateFixture& env) {
    env.state().loadStoredState();
    env.state().createWallet(AppStateFixture::abandonPhrase(), password);
}

TEST(SeedRevealViewModel, AsksForThePasswordAndMapsEveryFailure) {
    AppStateFixture env;
    env.state().loadStoredState();
    SeedRevealViewModel reveal;
    reveal.setAppState(&env.state());

    reveal.setPassword(QString::fromUtf8(password));
    reveal.reveal();
    EXPECT_EQ(reveal.errorText(), QStringLiteral("No wallet found."));
    EXPECT_FALSE(reveal.isRevealed());

    createWallet(env);
    env.state().stopBackgroundTasks();

    // A wrong password keeps the field and shows its line.
    reveal.setPassword(QStringLiteral("wrong horse"));
    reveal.reveal();
    EXPECT_EQ(reveal.errorText(), QStringLiteral("Wrong password."));
    EXPECT_TRUE(reveal.hasPassword());
    EXPECT_FALSE(reveal.isRevealed());
    EXPECT_EQ(reveal.wordCount(), 0);

    // The right one: the stored words in order, and the error line cleared.
    QSignalSpy revealed(&reveal, &SeedRevealViewModel::revealedChanged);
    reveal.setPassword(QString::fromUtf8(password));
    reveal.reveal();
    ASSERT_TRUE(reveal.isRevealed());
    EXPECT_EQ(revealed.count(), 1);
    EXPECT_FALSE(reveal.hasError());
    // Every word in order is checked through "Copy all" in SettingsScreens_tests.
    ASSERT_EQ(reveal.wordCount(), 12);
    EXPECT_EQ(reveal.wordText(0), QStringLiteral("abandon"));
    EXPECT_EQ(reveal.wordText(11), QStringLiteral("about"));

    // Closing the sheet drops the words and the password: the next opening asks again.
    reveal.clear();
    EXPECT_FALSE(reveal.isRevealed());
    EXPECT_EQ(reveal.wordCount(), 0);
    EXPECT_FALSE(reveal.hasPassword());
    EXPECT_EQ(revealed.count(), 2);

    // A sealed phrase that does not open shows the storage's own text.
    const std::string item = "mnemonic-" + env.state().wallet()->id;
    Bytes sealed = *env.keychainManager().loadItem(item);
    sealed.back() ^= 0x01;
    env.keychainManager().storeItem(item, sealed);
    reveal.setPassword(QString::fromUtf8(password));
    reveal.reveal();
    EXPECT_EQ(reveal.errorText(), QStringLiteral("Decryption failed"));
    EXPECT_FALSE(reveal.isRevealed());

    // A wallet whose phrase was never stored, whatever the password.
    env.keychainManager().deleteItem(item);
    for (const char* typed : {password, "anything"}) {
        reveal.setPassword(QString::fromUtf8(typed));
        reveal.reveal();
        EXPECT_EQ(
            reveal.errorText(),
            QStringLiteral("Seed phrase not stored. This wallet was created before this feature."));
    }
    EXPECT_EQ(env.networkRequests(), 0);
}

TEST(NetworkSettingsViewModel, PortAndHostChecks) {
    using Model = NetworkSettingsViewModel;
    for (const char* bad : {"", " 50002", "65536", "0", "99999999999999999999", "٥٠٠٠٢"}) {
        EXPECT_EQ(Model::parsePort(QString::fromUtf8(bad)), std::nullopt) << bad;
    }
    EXPECT_EQ(Model::parsePort(QStringLiteral("+50002")), 50002);
    EXPECT_EQ(Model::parsePort(QStringLiteral("065535")), 65535);

    EXPECT_EQ(Model::hostProblem(QStringLiteral("   ")),
              QStringLiteral("Enter the server's host name or address."));
    EXPECT_EQ(Model::hostProblem(QStringLiteral("electrum .example.org")),
              QStringLiteral("The host must not contain spaces or control characters."));
    EXPECT_TRUE(Model::hostProblem(QStringLiteral("::1")).isEmpty());
}

TEST(NetworkSettingsViewModel, AnUnusableFormChangesNothing) {
    AppStateFixture env;
    NetworkManager& network = env.state().networkManager();
    NetworkSettingsViewModel model;
    model.setAppState(&env.state());
    model.loadCurrentServer();
    EXPECT_EQ(model.electrumHost().toStdString(), env.electrum().host());
    EXPECT_EQ(model.electrumPort(), QString::number(env.electrum().port()));
    EXPECT_TRUE(model.electrumTLS());
    const ServerPool before = network.electrumPool();

    model.setElectrumHost(QString());
    model.setElectrumPort(QStringLiteral("70000"));
    EXPECT_FALSE(model.applyElectrumServer());
    EXPECT_EQ(model.hostError(), QStringLiteral("Enter the server's host name or address."));
    EXPECT_EQ(model.portError(), QStringLiteral("Port must be a number from 1 to 65535."));
    // Each field's message on its own.
    model.setElectrumHost(QStringLiteral("electrum.example.org"));
    EXPECT_FALSE(model.applyElectrumServer());
    EXPECT_TRUE(model.hostError().isEmpty());
    EXPECT_FALSE(model.portError().isEmpty());
    EXPECT_EQ(network.electrumPool().servers, before.servers);
    EXPECT_EQ(network.electrumPool().activeIndex, before.activeIndex);

    // A usable form clears the messages; leaving and coming back shows the active server.
    model.setElectrumPort(QStringLiteral("50002"));
    EXPECT_TRUE(model.applyElectrumServer());
    EXPECT_TRUE(model.portError().isEmpty());
    NetworkSettingsViewModel again;
    again.setAppState(&env.state());
    again.loadCurrentServer();
    EXPECT_EQ(again.electrumHost(), QStringLiteral("electrum.example.org"));
    EXPECT_EQ(again.electrumPort(), QStringLiteral("50002"));
    EXPECT_EQ(env.networkRequests(), 0);
}

TEST(NetworkSettingsViewModel, ShowsTheEVMPoolsAndTheirProgress) {
    AppStateFixture env;
    NetworkSettingsViewModel model;
    model.setAppState(&env.state());
    const auto pool = [&](int i) { return model.rpcPools()[i].toMap(); };
    ASSERT_EQ(model.rpcPools().size(), 3);
    EXPECT_EQ(pool(1).value("chain").toInt(), 2);
    const QVariantList endpoints = pool(1).value("endpoints").toList();
    ASSERT_EQ(endpoints.size(), 1);
    EXPECT_EQ(endpoints[0].toMap().value("text").toString(), QStringLiteral("127.0.0.1"));

    // Reconnecting Arbitrum reports through the pool; Bitcoin (not an EVM pool) and an
    // unknown chain start nothing.
    QSignalSpy changed(&model, &NetworkSettingsViewModel::rpcPoolsChanged);
    model.reconnectEVM(2);
    model.reconnectEVM(0);
    model.reconnectEVM(9);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const QString status = pool(1).value("status").toString();
            return status.startsWith(QStringLiteral("Connected: ")) ||
                   status == QStringLiteral("All RPCs failed");
        },
        30'000));
    EXPECT_GT(changed.count(), 0);
    EXPECT_EQ(pool(0).value("status").toString(), QStringLiteral("Disconnected"));
    EXPECT_EQ(pool(2).value("status").toString(), QStringLiteral("Disconnected"));
    EXPECT_EQ(env.electrum().connectionCount(), 0);
}

// What the reset clears, in either storage mode, is checked in AppStateLifecycle_tests and
// KeychainManager_tests; here, that the tab's deletion also ends the wallet's network traffic.
void expectDeleted(AppStateFixture& env, const std::string& walletID) {
    AppState& state = env.state();
    EXPECT_FALSE(state.wallet().has_value());
    EXPECT_TRUE(state.isOnboarding());
    EXPECT_FALSE(state.isLocked());
    EXPECT_FALSE(state.refreshTask().has_value());
    EXPECT_FALSE(state.activeRefreshTask().has_value());
    EXPECT_FALSE(state.btcSubscriptionTask().has_value());
    EXPECT_TRUE(state.bitcoinAccounts().empty());
    for (const std::string& item :
         {"seed-" + walletID, "mnemonic-" + walletID, std::string("wallet-metadata")}) {
        EXPECT_EQ(env.keychainManager().loadItem(item), std::nullopt) << item;
    }
}

TEST(SecuritySettingsViewModel, DeleteWalletAfterTheRefreshHasRunStopsIt) {
    AppStateFixture env;
    ElectrumFixture& electrum = env.electrum();
    electrum.answer("blockchain.headers.subscribe", {{"height", 800'000}, {"hex", "00"}});
    electrum.answer("blockchain.scripthash.get_balance", {{"confirmed", 100}, {"unconfirmed", 0}});
    electrum.answer("blockchain.scripthash.get_history", nlohmann::json::array());
    electrum.answer("blockchain.scripthash.subscribe", nullptr);
    env.state().refreshOrchestrator().setSuspendedForTesting(false);
    // A short loop, so a refresh that kept running after the deletion would show at once.
    env.state().refreshOrchestrator().setPeriods(
        {std::chrono::milliseconds(100), std::chrono::milliseconds(50)});
    SecuritySettingsViewModel security;
    security.setAppState(&env.state());
    // Without a wallet it only clears the state.
    env.state().loadStoredState();
    security.deleteWallet();
    expectDeleted(env, "none");
    EXPECT_EQ(env.networkRequests(), 0);

    createWallet(env);
    // The first refresh has reached the servers and every address is subscribed.
    ASSERT_TRUE(QTest::qWaitFor([&] { return env.state().btcSubscriptionsReady(); }, 30'000));
    const std::string walletID = env.state().wallet()->id;
    security.deleteWallet();
    AppStateFixture::settle();
    expectDeleted(env, walletID);
    // The connection carried the deleted wallet's subscriptions.
    EXPECT_FALSE(env.state().networkManager().electrumConnected());
    EXPECT_EQ(env.state().networkManager().electrumStatus(), "Disconnected");

    // Nothing of the deleted wallet asks the servers anything any more: not the loop (many of
    // its periods pass), not a new block the Electrum server announces.
    const int before = env.networkRequests();
    electrum.notify("blockchain.headers.subscribe",
                    nlohmann::json::array({{{"height", 800'001}, {"hex", "00"}}}));
    QTest::qWait(1000);
    AppStateFixture::settle();
    EXPECT_EQ(env.networkRequests(), before);
    EXPECT_FALSE(env.state().activeRefreshTask().has_value());
    EXPECT_TRUE(env.state().bitcoinAccounts().empty());

    // A new process finds no wallet: onboarding.
    env.restart();
    env.state().loadStoredState();
    EXPECT_TRUE(env.state().isOnboarding());
    EXPECT_FALSE(env.state().wallet().has_value());
}

TEST(AppearanceSettingsViewModel, CardsAndTheStoredChoice) {
    QTemporaryDir folder;
    Settings settings(folder.filePath("defaults.ini").toStdString());
    BRThemeManager manager(settings);
    AppearanceSettingsViewModel model(manager);
    EXPECT_EQ(model.selectedTheme(), QStringLiteral("Apple Blue"));

    QSignalSpy selected(&model, &AppearanceSettingsViewModel::selectedThemeChanged);
    QSignalSpy current(&manager, &BRThemeManager::currentChanged);
    model.selectTheme(QStringLiteral("dollar green")); // not a theme's name
    EXPECT_EQ(model.selectedTheme(), QStringLiteral("Apple Blue"));
    EXPECT_EQ(settings.string("app_theme"), std::nullopt); // reading wrote nothing either
    model.selectTheme(QStringLiteral("Dollar Green"));
    EXPECT_EQ(model.selectedTheme(), QStringLiteral("Dollar Green"));
    EXPECT_EQ(manager.current(), BRTheme::dollarGreen);
    EXPECT_EQ(settings.string("app_theme"), "Dollar Green");
    // The selected card again: stored again, nobody notified.
    settings.remove("app_theme");
    model.selectTheme(QStringLiteral("Dollar Green"));
    EXPECT_EQ(settings.string("app_theme"), "Dollar Green");
    EXPECT_EQ(selected.count(), 1);
    EXPECT_EQ(current.count(), 1);

    // Only the exact stored name selects Dollar Green at start-up.
    settings.setString("app_theme", "DOLLAR GREEN");
    EXPECT_EQ(BRThemeManager(settings).current(), BRTheme::appleBlue);
}

// The theme choice across a restart: this test runs its own program over one private
// configuration folder (the user defaults live there): read the default, choose
// "Dollar Green" and end without any clean-up, read it back twice.
TEST(AppearanceSettingsViewModel, TheChoiceSurvivesARestart) {
    const QByteArray step = qgetenv("QM_THEME_RESTART_STEP");
    if (!step.isEmpty()) {
        AppearanceSettingsViewModel page;
        if (step == "choose") {
            page.selectTheme(QStringLiteral("Dollar Green"));
            QCoreApplication::processEvents();
        }
        const QString expected = step == "default" ? "Apple Blue" : "Dollar Green";
        const bool ok =
            page.selectedTheme() == expected &&
            (step != "read" || BRThemeManager::shared().current() == BRTheme::dollarGreen);
        // Ends as a killed program would: no destructors, no explicit flush.
        std::_Exit(ok ? 0 : 3);
    }

    QTemporaryDir config;
    ASSERT_TRUE(config.isValid());
    for (const char* stepName : {"default", "choose", "read", "read"}) {
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
