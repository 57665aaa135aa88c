// The settings' view models over a real application state on loopback fixtures: the
// recovery-phrase reveal, the Electrum server form against scripted Electrum servers, the
// wallet deletion, and the theme choice across a restart of the program.

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
#include "ui/theme/BRPalette.h"
#include "ui/theme/BRThemeManager.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace qm {
namespace {

using test::AppStateFixture;
using test::ElectrumFixture;

constexpr const char* password = "correct horse";

void createWallet(AppStateFixture& env) {
    env.state().loadStoredState();
    env.state().createWallet(AppStateFixture::abandonPhrase(), password);
}

// --- Recovery phrase -----------------------------------------------------------------------

TEST(SeedRevealViewModel, AsksForThePasswordAndMapsEveryFailure) {
    AppStateFixture env;
    env.state().loadStoredState();
    SeedRevealViewModel reveal;
    reveal.setAppState(&env.state());

    // No wallet record.
    reveal.setPassword(QString::fromUtf8(password));
    reveal.reveal();
    EXPECT_EQ(reveal.errorText(), QStringLiteral("No wallet found."));
    EXPECT_FALSE(reveal.isRevealed());

    createWallet(env);
    env.state().stopBackgroundTasks();

    // A wrong password keeps the field and shows its line; an empty one (Return in an empty
    // field) is just as wrong.
    reveal.setPassword(QStringLiteral("wrong horse"));
    reveal.reveal();
    EXPECT_EQ(reveal.errorText(), QStringLiteral("Wrong password."));
    EXPECT_TRUE(reveal.hasPassword());
    EXPECT_FALSE(reveal.isRevealed());
    EXPECT_EQ(reveal.wordCount(), 0);
    reveal.setPassword(QString());
    EXPECT_FALSE(reveal.hasPassword());
    reveal.reveal();
    EXPECT_EQ(reveal.errorText(), QStringLiteral("Wrong password."));

    // The right one: the stored words in order, and the error line cleared.
    QSignalSpy revealed(&reveal, &SeedRevealViewModel::revealedChanged);
    reveal.setPassword(QString::fromUtf8(password));
    reveal.reveal();
    ASSERT_TRUE(reveal.isRevealed());
    EXPECT_EQ(revealed.count(), 1);
    EXPECT_FALSE(reveal.hasError());
    ASSERT_EQ(reveal.wordCount(), 12);
    for (int i = 0; i < 11; ++i) {
        EXPECT_EQ(reveal.wordText(i), QStringLiteral("abandon")) << i;
    }
    EXPECT_EQ(reveal.wordText(11), QStringLiteral("about"));

    // Closing the sheet drops the words and the password: the next opening asks again.
    reveal.clear();
    EXPECT_FALSE(reveal.isRevealed());
    EXPECT_EQ(reveal.wordCount(), 0);
    EXPECT_EQ(reveal.wordText(0), QString());
    EXPECT_FALSE(reveal.hasPassword());
    EXPECT_EQ(revealed.count(), 2);

    // A sealed phrase that does not open shows the storage's own text.
    const std::string walletID = env.state().wallet()->id;
    Bytes sealed = *env.keychainManager().loadItem("mnemonic-" + walletID);
    sealed.back() ^= 0x01;
    env.keychainManager().storeItem("mnemonic-" + walletID, sealed);
    reveal.setPassword(QString::fromUtf8(password));
    reveal.reveal();
    EXPECT_EQ(reveal.errorText(), QStringLiteral("Decryption failed"));
    EXPECT_FALSE(reveal.isRevealed());

    // A wallet whose phrase was never stored, whatever the password.
    env.keychainManager().deleteItem("mnemonic-" + walletID);
    for (const char* typed : {password, "anything"}) {
        reveal.setPassword(QString::fromUtf8(typed));
        reveal.reveal();
        EXPECT_EQ(
            reveal.errorText(),
            QStringLiteral("Seed phrase not stored. This wallet was created before this feature."));
    }
    EXPECT_EQ(env.networkRequests(), 0);
}

// --- Network tab ---------------------------------------------------------------------------

TEST(NetworkSettingsViewModel, PortAndHostChecks) {
    using Model = NetworkSettingsViewModel;
    for (const char* bad : {"", " 50002", "65536", "0", "-1", "99999999999999999999", "٥٠٠٠٢"}) {
        EXPECT_EQ(Model::parsePort(QString::fromUtf8(bad)), std::nullopt) << bad;
    }
    EXPECT_EQ(Model::parsePort(QStringLiteral("+50002")), 50002);
    EXPECT_EQ(Model::parsePort(QStringLiteral("065535")), 65535);

    for (const char* bad : {"", "   ", "electrum .example.org"}) {
        EXPECT_FALSE(Model::hostProblem(QString::fromUtf8(bad)).isEmpty()) << bad;
    }
    for (const char* good : {"electrum.example.org", "::1"}) {
        EXPECT_TRUE(Model::hostProblem(QString::fromUtf8(good)).isEmpty()) << good;
    }
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
    model.setElectrumHost(QStringLiteral("electrum.example.org"));
    model.setElectrumPort(QStringLiteral("0"));
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
    const QVariantList pools = model.rpcPools();
    ASSERT_EQ(pools.size(), 3);
    EXPECT_EQ(pools[1].toMap().value("chain").toInt(), 2);
    const QVariantList endpoints = pools[1].toMap().value("endpoints").toList();
    ASSERT_EQ(endpoints.size(), 1);
    EXPECT_EQ(endpoints[0].toMap().value("text").toString(), QStringLiteral("127.0.0.1"));

    // Reconnecting Arbitrum reports through the pool; the others stay as they were.
    QSignalSpy changed(&model, &NetworkSettingsViewModel::rpcPoolsChanged);
    model.reconnectEVM(2);
    model.reconnectEVM(0); // Bitcoin is not an EVM pool: nothing
    model.reconnectEVM(9);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const QString status = model.rpcPools()[1].toMap().value("status").toString();
            return status.startsWith(QStringLiteral("Connected: ")) ||
                   status == QStringLiteral("All RPCs failed");
        },
        30'000));
    EXPECT_GT(changed.count(), 0);
    EXPECT_EQ(model.rpcPools()[0].toMap().value("status").toString(),
              QStringLiteral("Disconnected"));
    EXPECT_EQ(model.rpcPools()[2].toMap().value("status").toString(),
              QStringLiteral("Disconnected"));
    EXPECT_EQ(env.electrum().connectionCount(), 0);
}

// --- Delete wallet -------------------------------------------------------------------------

void expectNothingStored(AppStateFixture& env, const std::string& walletID) {
    for (const std::string& item : {"seed-" + walletID, "salt-" + walletID, "verify-" + walletID,
                                    "mnemonic-" + walletID, std::string("wallet-metadata")}) {
        EXPECT_EQ(env.keychainManager().loadItem(item), std::nullopt) << item;
        EXPECT_FALSE(std::filesystem::exists(env.keychainManager().storageDir() / item)) << item;
    }
}

void expectStateCleared(AppState& state) {
    EXPECT_FALSE(state.wallet().has_value());
    EXPECT_TRUE(state.isOnboarding());
    EXPECT_FALSE(state.isLocked());
    EXPECT_FALSE(state.lastDerivedMasterKey().has_value());
    EXPECT_FALSE(state.refreshTask().has_value());
    EXPECT_FALSE(state.activeRefreshTask().has_value());
    EXPECT_FALSE(state.btcSubscriptionTask().has_value());
    EXPECT_TRUE(state.bitcoinAccounts().empty());
    EXPECT_TRUE(state.ethereumAccounts().empty());
    EXPECT_TRUE(state.arbitrumAccounts().empty());
    EXPECT_TRUE(state.polygonAccounts().empty());
    EXPECT_TRUE(state.solanaAccounts().empty());
}

TEST(SecuritySettingsViewModel, DeleteWalletRemovesEverythingAndStopsEveryTask) {
    for (const bool fileFallback : {false, true}) {
        SCOPED_TRACE(fileFallback ? "file fallback" : "keychain");
        AppStateFixture env;
        if (fileFallback) {
            env.keychain().failSaves(-25308);
        }
        createWallet(env);
        ASSERT_EQ(env.keychainManager().useFileFallback(), fileFallback);
        const std::string walletID = env.state().wallet()->id;
        ASSERT_TRUE(env.keychainManager().loadItem("mnemonic-" + walletID));
        ASSERT_TRUE(env.state().refreshTask().has_value());
        ASSERT_TRUE(env.state().lastDerivedMasterKey().has_value());

        // Deleted before the refresh and the subscriptions have started: they never start.
        SecuritySettingsViewModel security;
        security.setAppState(&env.state());
        security.deleteWallet();
        AppStateFixture::settle();
        expectStateCleared(env.state());
        expectNothingStored(env, walletID);
        EXPECT_EQ(env.networkRequests(), 0);

        // A new process finds no wallet: onboarding.
        env.restart();
        env.state().loadStoredState();
        EXPECT_TRUE(env.state().isOnboarding());
        EXPECT_FALSE(env.state().wallet().has_value());
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
    createWallet(env);
    // The first refresh has reached the servers and every address is subscribed.
    ASSERT_TRUE(QTest::qWaitFor([&] { return env.state().btcSubscriptionsReady(); }, 30'000));
    const std::string walletID = env.state().wallet()->id;

    SecuritySettingsViewModel security;
    security.setAppState(&env.state());
    security.deleteWallet();
    AppStateFixture::settle();
    expectStateCleared(env.state());
    expectNothingStored(env, walletID);
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
}

TEST(SecuritySettingsViewModel, DeleteWithoutAWalletOnlyClearsTheState) {
    AppStateFixture env;
    env.state().loadStoredState();
    SecuritySettingsViewModel security;
    security.setAppState(&env.state());
    security.deleteWallet();
    expectStateCleared(env.state());
    EXPECT_EQ(env.networkRequests(), 0);
}

// --- Appearance ----------------------------------------------------------------------------

TEST(AppearanceSettingsViewModel, CardsPreviewColoursAndTheStoredChoice) {
    QTemporaryDir folder;
    const std::filesystem::path file = folder.filePath("defaults.ini").toStdString();
    Settings settings(file);
    BRThemeManager manager(settings);
    AppearanceSettingsViewModel model(manager);
    EXPECT_EQ(model.themes(), (QStringList{"Dollar Green", "Apple Blue"}));
    EXPECT_EQ(model.selectedTheme(), QStringLiteral("Apple Blue"));

    // The miniature's first three colours are the theme's own window colours.
    for (BRTheme theme : allThemes()) {
        EXPECT_EQ(themePreviewColors(theme).background, themeColors(theme).background);
        EXPECT_EQ(themePreviewColors(theme).sidebar, themeColors(theme).backgroundSecondary);
        EXPECT_EQ(themePreviewColors(theme).accent, themeColors(theme).accent);
    }

    QSignalSpy selected(&model, &AppearanceSettingsViewModel::selectedThemeChanged);
    QSignalSpy current(&manager, &BRThemeManager::currentChanged);
    model.selectTheme(QStringLiteral("dollar green")); // not a theme's name
    EXPECT_EQ(model.selectedTheme(), QStringLiteral("Apple Blue"));
    EXPECT_EQ(settings.string("app_theme"), std::nullopt);
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
}

// The theme choice across a restart: this test runs its own program three times over one
// private configuration folder (the user defaults live there): read the default, choose
// "Dollar Green" on the Appearance page and end without any clean-up, read it back.
TEST(AppearanceSettingsViewModel, TheChoiceSurvivesARestart) {
    const QByteArray step = qgetenv("QM_THEME_RESTART_STEP");
    if (!step.isEmpty()) {
        AppearanceSettingsViewModel page;
        if (step == "default") {
            std::_Exit(page.selectedTheme() == QStringLiteral("Apple Blue") ? 0 : 3);
        }
        if (step == "choose") {
            page.selectTheme(QStringLiteral("Dollar Green"));
            QCoreApplication::processEvents();
            // Ends as a killed program would: no destructors, no explicit flush.
            std::_Exit(page.selectedTheme() == QStringLiteral("Dollar Green") ? 0 : 3);
        }
        const bool green = BRThemeManager::shared().current() == BRTheme::dollarGreen &&
                           page.selectedTheme() == QStringLiteral("Dollar Green");
        std::_Exit(green ? 0 : 3);
    }

    QTemporaryDir config;
    ASSERT_TRUE(config.isValid());
    const auto run = [&](const char* stepName) {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", config.path());
        environment.insert("QM_THEME_RESTART_STEP", stepName);
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_filter=AppearanceSettingsViewModel.TheChoiceSurvivesARestart"});
        EXPECT_TRUE(child.waitForFinished(60'000)) << stepName;
        return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
    };
    EXPECT_EQ(run("default"), 0);
    EXPECT_EQ(run("choose"), 0);
    EXPECT_EQ(run("read"), 0);
    EXPECT_EQ(run("read"), 0);
}

} // namespace
} // namespace qm
