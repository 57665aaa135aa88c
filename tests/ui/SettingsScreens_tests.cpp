// The settings' tabs over an unlocked wallet: each loads with its view model and no QML
// problem. Driving them as a user would is in qml/tst_shell.qml.

#include "AppStateFixture.h"
#include "RunTask.h"
#include "state/AppState.h"
#include "ui/shell/WalletShell.h"
#include "ui/theme/WindowRendering.h"

#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QTemporaryDir>
#include <QtQml/qqmlextensionplugin.h>
#include <gtest/gtest.h>
#include <memory>

Q_IMPORT_QML_PLUGIN(Quillmark_UiPlugin)

namespace qm {
namespace {

int qmlProblems = 0;
QtMessageHandler previousHandler = nullptr;

void countQmlProblems(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtDebugMsg && type != QtInfoMsg && message.contains(QStringLiteral("qrc:/"))) {
        ++qmlProblems;
    }
    previousHandler(type, context, message);
}

TEST(SettingsScreens, EveryTabBindsToItsViewModel) {
    test::AppStateFixture env;
    env.state().loadStoredState();
    qm::test::runTask(
        env.state().createWallet(test::AppStateFixture::abandonPhrase(), "correct horse"));
    env.state().stopBackgroundTasks();
    WalletShell::install(&env.state());
    {
        QQmlEngine engine;
        engine.addImportPath(QStringLiteral("qrc:/"));
        for (const QString tab : {"Network", "Security", "Appearance"}) {
            QQmlComponent component(&engine);
            component.setData(("import Quillmark.Ui\n" + tab + "SettingsView {}").toUtf8(),
                              QUrl(QStringLiteral("qrc:/settings-test.qml")));
            std::unique_ptr<QObject> view(component.create());
            ASSERT_TRUE(view) << component.errorString().toStdString();
            const QString model = tab.toLower() + QStringLiteral("SettingsViewModel");
            auto* viewModel = view->findChild<QObject*>(model);
            ASSERT_TRUE(viewModel) << model.toStdString();
            if (tab == QStringLiteral("Network")) { // the model reads the state's server
                EXPECT_EQ(viewModel->property("electrumPort").toString(),
                          QString::number(env.electrum().port()));
            }
        }
        test::AppStateFixture::settle();
    }
    WalletShell::install(nullptr);
    EXPECT_EQ(qmlProblems, 0) << "QML reported problems (see the log)";
    EXPECT_EQ(env.networkRequests(), 0);
}

// Where the secrets are is read from the storage, never assumed; a locked keyring that may
// hold the wallet is waited for ("Try Again"), not replaced by onboarding.
TEST(SettingsScreens, StorageIsNamedAsItIsAndALockedKeyringIsWaitedFor) {
    test::AppStateFixture env;
    env.state().loadStoredState();
    qm::test::runTask(
        env.state().createWallet(test::AppStateFixture::abandonPhrase(), "correct horse"));
    env.keychain().setLocked(true);
    env.restart();
    env.state().loadStoredState();
    WalletShell::install(&env.state());
    {
        QQmlEngine engine;
        engine.addImportPath(QStringLiteral("qrc:/"));
        auto make = [&engine](const QString& type) {
            QQmlComponent component(&engine);
            component.setData(("import Quillmark.Ui\n" + type + " {}").toUtf8(),
                              QUrl(QStringLiteral("qrc:/storage-test.qml")));
            std::unique_ptr<QObject> made(component.create());
            EXPECT_TRUE(made) << component.errorString().toStdString();
            return made;
        };
        auto text = [](QObject* view, const char* name) {
            QObject* item = view->findChild<QObject*>(QString::fromLatin1(name));
            return item ? item->property("text").toString() : QStringLiteral("<none>");
        };
        const QString files = QStringLiteral("Files in ") +
                              QString::fromStdString((env.dataLocation() / "Quillmark").string());
        const auto keyring = make(QStringLiteral("KeyringLockedView"));
        ASSERT_TRUE(keyring);
        EXPECT_EQ(text(keyring.get(), "keyringLockedText"),
                  "The wallet may be in your keyring, which is locked or not answering. Unlock "
                  "the keyring, then try again.");
        QObject* retry = keyring->findChild<QObject*>(QStringLiteral("keyringTryAgainButton"));
        ASSERT_TRUE(retry);
        EXPECT_EQ(retry->property("text").toString(), "Try Again");

        const auto security = make(QStringLiteral("SecuritySettingsView"));
        ASSERT_TRUE(security);
        EXPECT_FALSE(security->findChild<QObject*>(QStringLiteral("touchIdCard")));
        EXPECT_EQ(text(security.get(), "secretStorageText"), files);
        const auto about = make(QStringLiteral("AboutSheet"));
        ASSERT_TRUE(about);
        EXPECT_EQ(about->property("features").toList().last().toMap()["detail"].toString(), files);

        env.keychain().setLocked(false);
        QMetaObject::invokeMethod(retry, "clicked");
        EXPECT_FALSE(env.state().isKeyringLocked());
        EXPECT_TRUE(env.state().wallet());
        EXPECT_EQ(text(security.get(), "secretStorageText"), "Secret Service keyring");
        test::AppStateFixture::settle();
    }
    WalletShell::install(nullptr);
    EXPECT_EQ(qmlProblems, 0) << "QML reported problems (see the log)";
}

} // namespace
} // namespace qm

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // The theme is stored in the user defaults: keep them out of the user's own.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QGuiApplication app(argc, argv);
    qm::previousHandler = qInstallMessageHandler(qm::countQmlProblems);
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    qm::configureWindowRendering(); // drawn as the program draws it
    return RUN_ALL_TESTS();
}
