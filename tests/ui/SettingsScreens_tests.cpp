// The settings sheet and the recovery-phrase sheet in a real window over loopback fixtures,
// driven as a user would; screenshots of every tab in both themes under the build folder.

#include "AppStateFixture.h"
#include "services/network/NetworkManager.h"
#include "state/AppState.h"
#include "ui/shell/WalletShell.h"
#include "ui/theme/BRFont.h"
#include "ui/theme/BRPalette.h"
#include "ui/theme/BRThemeManager.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QSet>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

Q_IMPORT_QML_PLUGIN(Quillmark_UiPlugin)

namespace qm {
namespace {

using test::AppStateFixture;
using test::ElectrumFixture;

constexpr const char* password = "correct horse";
int qmlProblems = 0;
QtMessageHandler previousHandler = nullptr;

// Counts every warning QML reports about our files (binding errors, missing types ...).
void countQmlProblems(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtDebugMsg && type != QtInfoMsg && message.contains(QStringLiteral("qrc:/"))) {
        ++qmlProblems;
    }
    previousHandler(type, context, message);
}

// Finds an object by name through the object tree and the visual tree (popups, loaders).
QObject* find(QObject* root, const QString& name, QSet<QObject*>& seen) {
    if (!root || seen.contains(root)) {
        return nullptr;
    }
    seen.insert(root);
    if (root->objectName() == name) {
        return root;
    }
    for (QObject* child : root->children()) {
        if (QObject* found = find(child, name, seen)) {
            return found;
        }
    }
    if (auto* item = qobject_cast<QQuickItem*>(root)) {
        for (QQuickItem* child : item->childItems()) {
            if (QObject* found = find(child, name, seen)) {
                return found;
            }
        }
    }
    if (auto* content = root->property("contentItem").value<QObject*>()) {
        return find(content, name, seen);
    }
    return nullptr;
}

// A window with the main view over the fixture's state, the way the program shows it.
class Screen {
public:
    explicit Screen(AppStateFixture& env) : m_env(env) {
        WalletShell::install(&env.state());
        m_engine.addImportPath(QStringLiteral("qrc:/"));
        QQmlComponent component(&m_engine);
        component.setData(R"(
            import QtQuick
            import QtQuick.Controls
            import Quillmark.Ui
            ApplicationWindow {
                width: 1100
                height: 700
                visible: true
                font: BRFont.body
                MainWindowView { objectName: "mainWindowView"; anchors.fill: parent }
            }
        )",
                          QUrl(QStringLiteral("qrc:/settings-test.qml")));
        m_window.reset(qobject_cast<QQuickWindow*>(component.create()));
        if (!m_window) {
            ADD_FAILURE() << component.errorString().toStdString();
            return;
        }
        EXPECT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    }
    ~Screen() {
        m_window.reset();
        AppStateFixture::settle();
        WalletShell::install(nullptr);
    }

    QQuickWindow& window() { return *m_window; }
    QObject* object(const QString& name) {
        QSet<QObject*> seen;
        return find(m_window.get(), name, seen);
    }
    QQuickItem* item(const QString& name) {
        auto* found = qobject_cast<QQuickItem*>(object(name));
        EXPECT_TRUE(found) << name.toStdString();
        return found;
    }
    // Below the sheets' overlay the first match may be a hidden copy; the visible one wins.
    QQuickItem* visibleItem(const QString& name) {
        QList<QQuickItem*> all;
        QSet<QObject*> seen;
        collect(m_window.get(), name, seen, all);
        for (QQuickItem* candidate : all) {
            if (candidate->isVisible() && candidate->window() == m_window.get()) {
                return candidate;
            }
        }
        ADD_FAILURE() << "no visible " << name.toStdString();
        return nullptr;
    }
    void click(QQuickItem* target) {
        ASSERT_TRUE(target);
        const QPointF centre =
            target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
        QTest::mouseClick(m_window.get(), Qt::LeftButton, {}, centre.toPoint());
        AppStateFixture::settle();
    }
    void click(const QString& name) { click(visibleItem(name)); }
    // Replaces a field's text by typing, as a user would.
    void type(const QString& field, const QString& text) {
        click(field);
        QTest::keyClick(m_window.get(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(m_window.get(), Qt::Key_Backspace);
        for (QChar c : text) {
            QTest::keyClick(m_window.get(), c.toLatin1());
        }
        AppStateFixture::settle();
    }
    QString face() { return object("mainWindowView")->property("face").toString(); }
    QObject* settings() { return object(QStringLiteral("SettingsView")); }
    void openSettings(int tab) {
        click(QStringLiteral("settingsButton"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return settings()->property("opened").toBool(); }));
        if (tab > 0) {
            click(QStringLiteral("settingsTab_") +
                  QStringList{"Network", "Security", "Appearance"}[tab]);
        }
        EXPECT_EQ(settings()->property("selectedTab").toInt(), tab);
    }
    // Scrolls the settings' tab area to its end (the connection status of the Network tab).
    void scrollSettingsToEnd() { scrollSettings(true); }
    void scrollSettings(bool toEnd) {
        QObject* flickable = visibleItem(QStringLiteral("settingsScroll"))
                                 ->property("contentItem")
                                 .value<QObject*>();
        ASSERT_TRUE(flickable);
        const qreal end =
            flickable->property("contentHeight").toReal() - flickable->property("height").toReal();
        ASSERT_GT(end, 0); // the Network tab is taller than the sheet
        flickable->setProperty("contentY", toEnd ? end : 0.0);
    }
    // The window once it has painted and settled, saved under the build folder.
    void screenshot(const QString& name) {
        QTest::qWait(350); // hover glows and sheet transitions come to rest
        const QImage image = m_window->grabWindow();
        const QString folder =
            QStringLiteral(QM_BUILD_DIR) + QStringLiteral("/tests/ui/screenshots");
        QDir().mkpath(folder);
        EXPECT_TRUE(
            image.save(folder + QStringLiteral("/settings-") + name + QStringLiteral(".png")));
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); y += 3) {
            for (int x = 0; x < image.width(); x += 3) {
                colours.insert(image.pixel(x, y));
            }
        }
        EXPECT_GT(colours.size(), 20) << name.toStdString() << " looks blank";
    }

private:
    static void collect(QObject* root, const QString& name, QSet<QObject*>& seen,
                        QList<QQuickItem*>& out) {
        if (!root || seen.contains(root)) {
            return;
        }
        seen.insert(root);
        if (auto* item = qobject_cast<QQuickItem*>(root); item && root->objectName() == name) {
            out.append(item);
        }
        for (QObject* child : root->children()) {
            collect(child, name, seen, out);
        }
        if (auto* item = qobject_cast<QQuickItem*>(root)) {
            for (QQuickItem* child : item->childItems()) {
                collect(child, name, seen, out);
            }
        }
        if (auto* content = root->property("contentItem").value<QObject*>()) {
            collect(content, name, seen, out);
        }
    }

    AppStateFixture& m_env;
    QQmlEngine m_engine;
    std::unique_ptr<QQuickWindow> m_window;
};

void unlockedWallet(AppStateFixture& env) {
    env.state().loadStoredState();
    env.state().createWallet(AppStateFixture::abandonPhrase(), password);
    env.state().stopBackgroundTasks();
    AppStateFixture::settle();
}

class SettingsScreens : public testing::Test {
protected:
    void SetUp() override {
        qmlProblems = 0;
        BRThemeManager::shared().setCurrent(BRTheme::appleBlue);
    }
    void TearDown() override {
        BRThemeManager::shared().setCurrent(BRTheme::appleBlue);
        EXPECT_EQ(qmlProblems, 0) << "QML reported problems (see the log)";
    }
};

TEST_F(SettingsScreens, TabsOpenOnNetworkAndScreenshotsInBothThemes) {
    AppStateFixture env;
    unlockedWallet(env);
    Screen screen(env);
    ASSERT_EQ(screen.face(), QStringLiteral("main"));

    for (BRTheme theme : {BRTheme::appleBlue, BRTheme::dollarGreen}) {
        BRThemeManager::shared().setCurrent(theme);
        const QString suffix = theme == BRTheme::appleBlue ? QStringLiteral("apple-blue")
                                                           : QStringLiteral("dollar-green");
        screen.openSettings(0);
        ASSERT_TRUE(screen.visibleItem(QStringLiteral("networkSettingsView")));
        screen.screenshot(QStringLiteral("network-") + suffix);
        screen.scrollSettingsToEnd();
        ASSERT_TRUE(screen.visibleItem(QStringLiteral("statusCell_Polygon")));
        screen.click(QStringLiteral("settingsTab_Security"));
        ASSERT_TRUE(screen.visibleItem(QStringLiteral("securitySettingsView")));
        screen.screenshot(QStringLiteral("security-") + suffix);
        screen.click(QStringLiteral("settingsTab_Appearance"));
        ASSERT_TRUE(screen.visibleItem(QStringLiteral("appearanceSettingsView")));
        screen.screenshot(QStringLiteral("appearance-") + suffix);
        // Selecting the selected tab changes nothing; Escape closes from any tab.
        screen.click(QStringLiteral("settingsTab_Appearance"));
        EXPECT_EQ(screen.settings()->property("selectedTab").toInt(), 2);
        QTest::keyClick(&screen.window(), Qt::Key_Escape);
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return !screen.settings()->property("visible").toBool(); }));
        // Opened again, it starts on Network.
        screen.openSettings(0);
        ASSERT_TRUE(screen.visibleItem(QStringLiteral("networkSettingsView")));
        screen.click(QStringLiteral("closeSheetButton"));
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return !screen.settings()->property("visible").toBool(); }));
    }
    EXPECT_EQ(env.networkRequests(), 0);
}

TEST_F(SettingsScreens, NetworkTabShowsACustomServerConnectingAndARefusingOneFailing) {
    AppStateFixture env;
    unlockedWallet(env);
    ElectrumFixture custom;
    Screen screen(env);
    screen.openSettings(0);

    // The form starts from the active server.
    EXPECT_EQ(screen.visibleItem(QStringLiteral("field_Server"))->property("text").toString(),
              QStringLiteral("127.0.0.1"));
    EXPECT_EQ(screen.visibleItem(QStringLiteral("field_Port"))->property("text").toString(),
              QString::number(env.electrum().port()));

    // An unusable port: the message shows and the pool stays as it was.
    screen.type(QStringLiteral("field_Port"), QStringLiteral("70000"));
    ASSERT_EQ(screen.visibleItem(QStringLiteral("field_Port"))->property("text").toString(),
              QStringLiteral("70000"));
    screen.click(QStringLiteral("applyElectrumButton"));
    EXPECT_EQ(screen.visibleItem(QStringLiteral("electrumFormError"))->property("text").toString(),
              QStringLiteral("Port must be a number from 1 to 65535."));
    EXPECT_EQ(env.state().networkManager().electrumPool().servers.size(), 1u);

    // The custom server: applied (disconnected), then connected by Reconnect.
    screen.type(QStringLiteral("field_Server"), QStringLiteral("localhost"));
    screen.type(QStringLiteral("field_Port"), QString::number(custom.port()));
    screen.click(QStringLiteral("applyElectrumButton"));
    EXPECT_FALSE(screen.object(QStringLiteral("electrumFormError"))->property("visible").toBool());
    QQuickItem* bitcoin = screen.visibleItem(QStringLiteral("statusCell_Bitcoin"));
    ASSERT_TRUE(bitcoin);
    QSet<QObject*> seen;
    auto* statusText = qobject_cast<QQuickItem*>(find(bitcoin, QStringLiteral("statusText"), seen));
    seen.clear();
    auto* dot = qobject_cast<QQuickItem*>(find(bitcoin, QStringLiteral("statusDot"), seen));
    ASSERT_TRUE(statusText && dot);
    EXPECT_EQ(statusText->property("text").toString(), QStringLiteral("Disconnected"));
    EXPECT_EQ(dot->property("color").value<QColor>(), QColor(240, 72, 72));

    std::vector<QString> shown;
    QMetaObject::Connection watch = QObject::connect(
        &env.state().networkManager(), &NetworkManager::electrumStatusChanged, statusText,
        [&] { shown.push_back(statusText->property("text").toString()); });
    screen.click(QStringLiteral("reconnectElectrumButton"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return statusText->property("text").toString() ==
                   QStringLiteral("Connected: localhost");
        },
        30'000));
    EXPECT_EQ(shown, (std::vector<QString>{QStringLiteral("Connecting to localhost..."),
                                           QStringLiteral("Connected: localhost")}));
    EXPECT_EQ(dot->property("color").value<QColor>(), QColor(34, 217, 102));
    // The server counts a TLS connection a moment after the client is connected.
    EXPECT_TRUE(custom.waitForConnections(1));
    EXPECT_EQ(custom.connectionCount(), 1);

    // A refusing server in front: its failure shows, then the next server of the pool answers.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 refused = probe.serverPort();
    probe.close();
    screen.type(QStringLiteral("field_Port"), QString::number(refused));
    screen.click(QStringLiteral("applyElectrumButton"));
    shown.clear();
    screen.click(QStringLiteral("reconnectElectrumButton"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return statusText->property("text").toString() ==
                   QStringLiteral("Connected: localhost");
        },
        30'000));
    QObject::disconnect(watch);
    EXPECT_EQ(shown, (std::vector<QString>{QStringLiteral("Connecting to localhost..."),
                                           QStringLiteral("Failed: localhost"),
                                           QStringLiteral("Connecting to localhost..."),
                                           QStringLiteral("Connected: localhost")}));
    // Pool afterwards: refusing, custom, compiled-in; the custom one is active.
    const ServerPool& pool = env.state().networkManager().electrumPool();
    ASSERT_EQ(pool.servers.size(), 3u);
    EXPECT_EQ(pool.servers[0].port, refused);
    EXPECT_EQ(pool.servers[1].port, custom.port());
    EXPECT_EQ(pool.servers[2].port, env.electrum().port());
    EXPECT_EQ(pool.activeIndex, 1);
    EXPECT_TRUE(custom.waitForConnections(2));
    EXPECT_EQ(custom.connectionCount(), 2);
    EXPECT_EQ(env.electrum().connectionCount(), 0);

}

TEST_F(SettingsScreens, DeleteWalletReturnsToOnboardingWithNothingLeft) {
    AppStateFixture env;
    env.state().loadStoredState();
    env.state().createWallet(AppStateFixture::abandonPhrase(), password);
    const std::string walletID = env.state().wallet()->id;
    Screen screen(env);
    ASSERT_EQ(screen.face(), QStringLiteral("main"));
    // The window's appear action does not run here; the refresh is running.
    ASSERT_TRUE(env.state().refreshTask().has_value());
    screen.openSettings(1);

    // "Show Recovery Phrase" warns first; "Show" goes on to the sheet, which asks for the
    // password over the settings.
    screen.click(QStringLiteral("showRecoveryPhraseButton"));
    QObject* warning = screen.object(QStringLiteral("securityWarningAlert"));
    ASSERT_TRUE(warning && warning->property("visible").toBool());
    screen.click(QStringLiteral("alertConfirmButton"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !warning->property("visible").toBool(); }));
    AppStateFixture::settle();
    ASSERT_TRUE(screen.visibleItem(QStringLiteral("revealPasswordField")));
    QTest::keyClick(&screen.window(), Qt::Key_Escape);
    AppStateFixture::settle();
    EXPECT_TRUE(screen.settings()->property("visible").toBool());

    // Cancel leaves everything as it was.
    screen.click(QStringLiteral("deleteWalletButton"));
    QObject* alert = screen.object(QStringLiteral("deleteWalletAlert"));
    ASSERT_TRUE(alert && alert->property("visible").toBool());
    screen.click(QStringLiteral("alertCancelButton"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !alert->property("visible").toBool(); }));
    EXPECT_EQ(screen.face(), QStringLiteral("main"));
    EXPECT_TRUE(env.state().wallet().has_value());

    screen.click(QStringLiteral("deleteWalletButton"));
    screen.click(QStringLiteral("alertConfirmButton"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return screen.face() == QStringLiteral("onboarding"); }));
    AppStateFixture::settle();
    EXPECT_TRUE(screen.item(QStringLiteral("onboardingView")));
    EXPECT_FALSE(env.state().wallet().has_value());
    EXPECT_FALSE(env.state().refreshTask().has_value());
    EXPECT_EQ(env.keychainManager().loadItem("seed-" + walletID), std::nullopt);
    const int requests = env.networkRequests();
    QTest::qWait(1000);
    AppStateFixture::settle();
    EXPECT_EQ(env.networkRequests(), requests);
}

TEST_F(SettingsScreens, RecoveryPhraseSheetRevealsCopiesAndForgets) {
    AppStateFixture env;
    unlockedWallet(env);
    Screen screen(env);
    // The sidebar's key button opens it (the Security tab holds a sheet of its own).
    screen.click(QStringLiteral("keyButton"));
    QObject* sheet = screen.object(QStringLiteral("SeedRevealSheet"));
    ASSERT_TRUE(sheet);
    ASSERT_TRUE(QTest::qWaitFor([&] { return sheet->property("opened").toBool(); }));
    QQuickItem* reveal = screen.visibleItem(QStringLiteral("revealSeedButton"));
    ASSERT_TRUE(reveal);
    EXPECT_FALSE(reveal->isEnabled()); // empty field
    // Return in the empty field still tries: a wrong password.
    QTest::keyClick(&screen.window(), Qt::Key_Return);
    AppStateFixture::settle();
    EXPECT_EQ(screen.visibleItem(QStringLiteral("revealError"))->property("text").toString(),
              QStringLiteral("Wrong password."));
    for (BRTheme theme : {BRTheme::appleBlue, BRTheme::dollarGreen}) {
        BRThemeManager::shared().setCurrent(theme);
        screen.screenshot(QStringLiteral("recovery-password-") +
                          (theme == BRTheme::appleBlue ? "apple-blue" : "dollar-green"));
    }
    BRThemeManager::shared().setCurrent(BRTheme::appleBlue);

    screen.type(QStringLiteral("revealPasswordField"), QString::fromUtf8(password));
    EXPECT_TRUE(reveal->isEnabled());
    screen.click(reveal);
    ASSERT_TRUE(screen.visibleItem(QStringLiteral("wordGrid")));
    for (int n = 1; n <= 12; ++n) {
        QQuickItem* cell = screen.visibleItem(QStringLiteral("wordCell_%1").arg(n));
        ASSERT_TRUE(cell);
        EXPECT_EQ(cell->property("number").toString(), QStringLiteral("%1.").arg(n));
    }
    EXPECT_EQ(screen.object(QStringLiteral("wordCell_13")), nullptr);
    for (BRTheme theme : {BRTheme::appleBlue, BRTheme::dollarGreen}) {
        BRThemeManager::shared().setCurrent(theme);
        screen.screenshot(QStringLiteral("recovery-words-") +
                          (theme == BRTheme::appleBlue ? "apple-blue" : "dollar-green"));
    }

    screen.click(QStringLiteral("copyAllButton"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QStringLiteral("abandon abandon abandon abandon abandon abandon abandon abandon "
                             "abandon abandon abandon about"));
    EXPECT_EQ(screen.visibleItem(QStringLiteral("copyAllButton"))->property("text").toString(),
              QStringLiteral("Copied!"));

    // Done closes; the next opening asks for the password again, with an empty field, and
    // the phrase stays on the clipboard.
    screen.click(QStringLiteral("revealDoneButton"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sheet->property("visible").toBool(); }));
    screen.click(QStringLiteral("keyButton"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return sheet->property("opened").toBool(); }));
    EXPECT_TRUE(screen.visibleItem(QStringLiteral("passwordStep")));
    EXPECT_EQ(
        screen.visibleItem(QStringLiteral("revealPasswordField"))->property("text").toString(),
        QString());
    EXPECT_EQ(screen.object(QStringLiteral("wordCell_1")), nullptr);
    EXPECT_TRUE(QGuiApplication::clipboard()->text().endsWith(QStringLiteral("about")));
    EXPECT_EQ(env.networkRequests(), 0);
}

} // namespace
} // namespace qm

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // The theme is stored in the user defaults: keep them out of the user's own.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QGuiApplication app(argc, argv);
    QGuiApplication::setOrganizationName("QuillmarkTests");
    QGuiApplication::setApplicationName("QuillmarkTests");
    qm::previousHandler = qInstallMessageHandler(qm::countQmlProblems);
    qm::BRFont::loadBundledFonts();
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    return RUN_ALL_TESTS();
}
