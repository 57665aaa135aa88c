// The settings sheet and the recovery-phrase sheet in a real window over loopback fixtures,
// driven as a user would; screenshots of every tab in both themes under the build folder.
// What the view models do with the input, and their every message, is checked in
// SettingsViewModels_tests; here, that the controls reach them and their texts show.

#include "AppStateFixture.h"
#include "services/network/NetworkManager.h"
#include "state/AppState.h"
#include "ui/shell/WalletShell.h"
#include "ui/theme/BRFont.h"
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
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>
#include <gtest/gtest.h>
#include <memory>
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

// Every object of that name through the object tree and the visual tree (popups, loaders),
// depth first.
void collect(QObject* root, const QString& name, QSet<QObject*>& seen, QList<QObject*>& out) {
    if (!root || seen.contains(root)) {
        return;
    }
    seen.insert(root);
    if (root->objectName() == name) {
        out.append(root);
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

QList<QObject*> findAll(QObject* root, const QString& name) {
    QSet<QObject*> seen;
    QList<QObject*> out;
    collect(root, name, seen, out);
    return out;
}

QObject* find(QObject* root, const QString& name) {
    const QList<QObject*> all = findAll(root, name);
    return all.isEmpty() ? nullptr : all.first();
}

bool waitHidden(QObject* object) {
    return QTest::qWaitFor([&] { return !object->property("visible").toBool(); });
}

// A window with the main view over the fixture's state, the way the program shows it.
class Screen {
public:
    explicit Screen(AppStateFixture& env) {
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
    QObject* object(const QString& name) { return find(m_window.get(), name); }
    // Below the sheets' overlay the first match may be a hidden copy; the visible one wins.
    QQuickItem* visibleItem(const QString& name) {
        for (QObject* candidate : findAll(m_window.get(), name)) {
            auto* item = qobject_cast<QQuickItem*>(candidate);
            if (item && item->isVisible() && item->window() == m_window.get()) {
                return item;
            }
        }
        ADD_FAILURE() << "no visible " << name.toStdString();
        return nullptr;
    }
    QString text(const QString& name) {
        QQuickItem* item = visibleItem(name);
        return item ? item->property("text").toString() : QString();
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
    void scrollSettingsToEnd() {
        QObject* flickable = visibleItem(QStringLiteral("settingsScroll"))
                                 ->property("contentItem")
                                 .value<QObject*>();
        ASSERT_TRUE(flickable);
        const qreal end =
            flickable->property("contentHeight").toReal() - flickable->property("height").toReal();
        ASSERT_GT(end, 0); // the Network tab is taller than the sheet
        flickable->setProperty("contentY", end);
    }
    // The window once it has painted and settled, in both themes, saved under the build folder.
    void screenshots(const QString& name) {
        for (BRTheme theme : {BRTheme::appleBlue, BRTheme::dollarGreen}) {
            BRThemeManager::shared().setCurrent(theme);
            screenshot(name + (theme == BRTheme::appleBlue ? "-apple-blue" : "-dollar-green"));
        }
        BRThemeManager::shared().setCurrent(BRTheme::appleBlue);
    }
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

    screen.openSettings(0);
    ASSERT_TRUE(screen.visibleItem(QStringLiteral("networkSettingsView")));
    screen.screenshots(QStringLiteral("network"));
    screen.scrollSettingsToEnd();
    ASSERT_TRUE(screen.visibleItem(QStringLiteral("statusCell_Polygon")));
    for (const QString& tab : {QStringLiteral("Security"), QStringLiteral("Appearance")}) {
        screen.click(QStringLiteral("settingsTab_") + tab);
        ASSERT_TRUE(screen.visibleItem(tab.toLower() + QStringLiteral("SettingsView")));
        screen.screenshots(tab.toLower());
    }
    // Selecting the selected tab changes nothing; Escape closes from any tab.
    screen.click(QStringLiteral("settingsTab_Appearance"));
    EXPECT_EQ(screen.settings()->property("selectedTab").toInt(), 2);
    QTest::keyClick(&screen.window(), Qt::Key_Escape);
    ASSERT_TRUE(waitHidden(screen.settings()));
    // Opened again, it starts on Network.
    screen.openSettings(0);
    ASSERT_TRUE(screen.visibleItem(QStringLiteral("networkSettingsView")));
    screen.click(QStringLiteral("closeSheetButton"));
    ASSERT_TRUE(waitHidden(screen.settings()));
    EXPECT_EQ(env.networkRequests(), 0);
}

// Fail-over past a refusing server is checked in NetworkManager_tests.
TEST_F(SettingsScreens, NetworkTabAppliesACustomServerAndShowsItConnecting) {
    AppStateFixture env;
    unlockedWallet(env);
    ElectrumFixture custom;
    Screen screen(env);
    screen.openSettings(0);

    // The form starts from the active server.
    EXPECT_EQ(screen.text(QStringLiteral("field_Server")), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(screen.text(QStringLiteral("field_Port")), QString::number(env.electrum().port()));

    // An unusable port: the model's message shows.
    screen.type(QStringLiteral("field_Port"), QStringLiteral("70000"));
    screen.click(QStringLiteral("applyElectrumButton"));
    EXPECT_EQ(screen.text(QStringLiteral("electrumFormError")),
              QStringLiteral("Port must be a number from 1 to 65535."));

    // The custom server: applied (disconnected), then connected by Reconnect.
    screen.type(QStringLiteral("field_Server"), QStringLiteral("localhost"));
    screen.type(QStringLiteral("field_Port"), QString::number(custom.port()));
    screen.click(QStringLiteral("applyElectrumButton"));
    EXPECT_FALSE(screen.object(QStringLiteral("electrumFormError"))->property("visible").toBool());
    QQuickItem* bitcoin = screen.visibleItem(QStringLiteral("statusCell_Bitcoin"));
    ASSERT_TRUE(bitcoin);
    auto* statusText = qobject_cast<QQuickItem*>(find(bitcoin, QStringLiteral("statusText")));
    auto* dot = qobject_cast<QQuickItem*>(find(bitcoin, QStringLiteral("statusDot")));
    ASSERT_TRUE(statusText && dot);
    EXPECT_EQ(statusText->property("text").toString(), QStringLiteral("Disconnected"));
    EXPECT_EQ(dot->property("color").value<QColor>(), QColor(240, 72, 72));

    std::vector<QString> shown;
    QObject::connect(&env.state().networkManager(), &NetworkManager::electrumStatusChanged,
                     statusText, [&] { shown.push_back(statusText->property("text").toString()); });
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
    EXPECT_EQ(env.electrum().connectionCount(), 0);
}

TEST_F(SettingsScreens, RecoveryPhraseSheetAndDeleteWallet) {
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
    EXPECT_EQ(screen.text(QStringLiteral("revealError")), QStringLiteral("Wrong password."));
    screen.screenshots(QStringLiteral("recovery-password"));

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
    screen.screenshots(QStringLiteral("recovery-words"));

    screen.click(QStringLiteral("copyAllButton"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QStringLiteral("abandon abandon abandon abandon abandon abandon abandon abandon "
                             "abandon abandon abandon about"));
    EXPECT_EQ(screen.text(QStringLiteral("copyAllButton")), QStringLiteral("Copied!"));

    // Done closes; the next opening asks for the password again, with an empty field, and
    // the phrase stays on the clipboard.
    screen.click(QStringLiteral("revealDoneButton"));
    ASSERT_TRUE(waitHidden(sheet));
    screen.click(QStringLiteral("keyButton"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return sheet->property("opened").toBool(); }));
    EXPECT_TRUE(screen.visibleItem(QStringLiteral("passwordStep")));
    EXPECT_EQ(screen.text(QStringLiteral("revealPasswordField")), QString());
    EXPECT_EQ(screen.object(QStringLiteral("wordCell_1")), nullptr);
    EXPECT_TRUE(QGuiApplication::clipboard()->text().endsWith(QStringLiteral("about")));
    QTest::keyClick(&screen.window(), Qt::Key_Escape);
    ASSERT_TRUE(waitHidden(sheet));

    // On the Security tab, "Show Recovery Phrase" warns first; "Show" goes on to the sheet,
    // which asks for the password over the settings.
    screen.openSettings(1);
    screen.click(QStringLiteral("showRecoveryPhraseButton"));
    QObject* warning = screen.object(QStringLiteral("securityWarningAlert"));
    ASSERT_TRUE(warning && warning->property("visible").toBool());
    screen.click(QStringLiteral("alertConfirmButton"));
    ASSERT_TRUE(waitHidden(warning));
    AppStateFixture::settle();
    ASSERT_TRUE(screen.visibleItem(QStringLiteral("revealPasswordField")));
    QTest::keyClick(&screen.window(), Qt::Key_Escape);
    AppStateFixture::settle();
    EXPECT_TRUE(screen.settings()->property("visible").toBool());

    // Deleting: Cancel leaves everything as it was; the confirmation returns to onboarding.
    screen.click(QStringLiteral("deleteWalletButton"));
    QObject* alert = screen.object(QStringLiteral("deleteWalletAlert"));
    ASSERT_TRUE(alert && alert->property("visible").toBool());
    screen.click(QStringLiteral("alertCancelButton"));
    ASSERT_TRUE(waitHidden(alert));
    EXPECT_EQ(screen.face(), QStringLiteral("main"));
    EXPECT_TRUE(env.state().wallet().has_value());
    screen.click(QStringLiteral("deleteWalletButton"));
    screen.click(QStringLiteral("alertConfirmButton"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return screen.face() == QStringLiteral("onboarding"); }));
    AppStateFixture::settle();
    EXPECT_TRUE(screen.object(QStringLiteral("onboardingView")));
    EXPECT_FALSE(env.state().wallet().has_value());
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
