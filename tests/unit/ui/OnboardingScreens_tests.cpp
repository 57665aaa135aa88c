// The onboarding, lock and backup screens end to end: the real window's QML, offscreen, over
// a real application state on loopback fixtures, driven with mouse clicks and key presses.
// Every step is saved as a PNG in both themes under <build>/screenshots/onboarding.

#include "AppStateFixture.h"
#include "ui/shell/WalletShell.h"
#include "ui/theme/BRFont.h"
#include "ui/theme/BRThemeManager.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QImage>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>
#include <functional>
#include <gtest/gtest.h>

Q_IMPORT_QML_PLUGIN(Quillmark_UiPlugin)

namespace qm {
namespace {

using test::AppStateFixture;

constexpr const char* goldenPassword = "correct horse battery staple";
constexpr const char* goldenWalletID = "5B0F4E5A-3C2D-4E1F-9A8B-7C6D5E4F3A2B";
const QString password = QStringLiteral("correct horse 1");

// The window of the program over the fixture's state.
class Screens {
public:
    Screens() {
        env.state().loadStoredState();
        WalletShell::install(&env.state());
        engine.addImportPath(QStringLiteral("qrc:/"));
        engine.load(QUrl(QStringLiteral("qrc:/Quillmark/Ui/shell/QuillmarkWindow.qml")));
        if (!engine.rootObjects().isEmpty()) {
            window = qobject_cast<QQuickWindow*>(engine.rootObjects().first());
        }
        if (window) {
            window->show();
            exposed = QTest::qWaitForWindowExposed(window);
        }
    }
    ~Screens() {
        engine.clearComponentCache();
        for (QObject* root : engine.rootObjects()) {
            delete root;
        }
        WalletShell::install(nullptr);
        AppStateFixture::settle();
    }

    // The first object named `name` in the window (items, popups and non-visual objects).
    QObject* find(const QString& name) const {
        QSet<QObject*> seen;
        return findIn(window->contentItem(), name, seen);
    }

    // Waits (bounded) until `condition` holds.
    static bool waitFor(const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, 15000);
    }
    bool waitForObject(const QString& name) const {
        return waitFor([&] {
            auto* item = qobject_cast<QQuickItem*>(find(name));
            return item && item->isVisible() && idle();
        });
    }
    // No step transition is running.
    bool idle() const {
        QObject* steps = find(QStringLiteral("onboardingSteps"));
        return !steps || !steps->property("busy").toBool();
    }

    void click(const QString& name) {
        ASSERT_TRUE(waitForObject(name)) << name.toStdString();
        auto* item = qobject_cast<QQuickItem*>(find(name));
        ASSERT_TRUE(item->isEnabled()) << name.toStdString();
        // A layout that just changed (12 <-> 24 fields) settles over a few frames on a busy
        // machine: click only once the item has stopped moving.
        auto centreOf = [item] {
            return item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
        };
        QPointF centre = centreOf();
        for (int stable = 0, tries = 0; stable < 3 && tries < 100; ++tries) {
            QTest::qWait(20);
            const QPointF now = centreOf();
            stable = now == centre ? stable + 1 : 0;
            centre = now;
        }
        QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, centre.toPoint());
    }
    // Clicks into the named field, empties it and types `text`.
    void type(const QString& name, const QString& text) {
        click(name);
        QTest::keyClick(window, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(window, Qt::Key_Backspace);
        for (const QChar c : text) {
            QTest::keyClick(window, c.toLatin1()); // the texts typed here are ASCII
        }
    }
    QString text(const QString& name) const {
        QObject* object = find(name);
        return object ? object->property("text").toString() : QString();
    }
    bool enabled(const QString& name) const {
        auto* item = qobject_cast<QQuickItem*>(find(name));
        return item && item->isEnabled();
    }

    // The window in both themes, as <step>-apple-blue.png and <step>-dollar-green.png, for
    // people to look at.
    void shoot(const QString& step) {
        const QString folder = QStringLiteral(QM_BUILD_DIR) + "/screenshots/onboarding";
        QDir().mkpath(folder);
        BRThemeManager& themes = BRThemeManager::shared();
        const QString before = themes.currentName();
        for (const QString& theme : themes.themeNames()) {
            themes.setCurrentName(theme);
            QTest::qWait(50);
            const QImage image = window->grabWindow();
            QImage blank(image.size(), image.format()); // what a QML error leaves
            blank.fill(QColor::fromRgba(image.pixel(0, 0)));
            EXPECT_TRUE(image != blank)
                << step.toStdString() << " looks blank in " << theme.toStdString();
            const QString slug = theme.toLower().replace(' ', '-');
            EXPECT_TRUE(image.save(folder + "/" + step + "-" + slug + ".png"));
        }
        themes.setCurrentName(before);
    }

    AppStateFixture env;
    QQmlApplicationEngine engine;
    QQuickWindow* window = nullptr;
    bool exposed = false;

private:
    // Visible items, popups and non-visual objects alike.
    static QObject* findIn(QObject* object, const QString& name, QSet<QObject*>& seen) {
        if (!object || seen.contains(object)) {
            return nullptr;
        }
        seen.insert(object);
        auto* item = qobject_cast<QQuickItem*>(object);
        if (object->objectName() == name && (!item || item->isVisible())) {
            return object;
        }
        QObjectList next;
        for (QQuickItem* child : item ? item->childItems() : QList<QQuickItem*>()) {
            next.append(child);
        }
        next += object->children();
        for (QObject* child : next) {
            if (QObject* found = findIn(child, name, seen)) {
                return found;
            }
        }
        return nullptr;
    }
};

// The screens reach their models and show their texts; what the models decide is checked by
// the view-model tests.
TEST(OnboardingScreens, CreateLockWrongAndRightPasswordThenTheForgottenPasswordReset) {
    Screens s;
    ASSERT_TRUE(s.window && s.exposed);
    AppState& state = s.env.state();
    ASSERT_TRUE(s.waitForObject("welcomeStep"));
    s.shoot("01-welcome");

    s.click("createNewWalletButton");
    ASSERT_TRUE(s.waitForObject("createWalletView"));
    QStringList words;
    for (int i = 0; i < 12; ++i) {
        words << s.text(QStringLiteral("phraseWord%1").arg(i));
    }
    s.shoot("02-recovery-phrase");

    // The word check: answer from the labels ("Word #n") with the words shown above.
    s.click("writtenDownButton");
    ASSERT_TRUE(s.waitForObject("wordVerifyView"));
    for (int slot = 0; slot < 3; ++slot) {
        const QString name = QStringLiteral("verifyWordField%1").arg(slot);
        auto* field = qobject_cast<QQuickItem*>(s.find(name));
        ASSERT_TRUE(field);
        int position = 0;
        for (QQuickItem* sibling : field->parentItem()->childItems()) {
            const QString label = sibling->property("text").toString();
            if (label.startsWith("Word #")) {
                position = label.mid(6).toInt();
            }
        }
        ASSERT_GE(position, 1);
        s.type(name, words[position - 1].toUpper());
    }
    EXPECT_FALSE(s.enabled("verifyAndCreateButton"));
    s.type("passwordField", password);
    s.type("confirmPasswordField", password);
    EXPECT_TRUE(s.enabled("verifyAndCreateButton"));
    s.shoot("03-verify-and-password");
    s.click("verifyAndCreateButton");
    ASSERT_TRUE(Screens::waitFor([&] { return !state.isOnboarding() && !state.isLocked(); }));
    state.stopBackgroundTasks();

    // Locked: a wrong password shows the line and empties the field; then the right one.
    state.lock();
    ASSERT_TRUE(s.waitForObject("lockScreen"));
    s.shoot("04-lock-screen");
    EXPECT_FALSE(s.enabled("unlockButton"));
    s.type("lockPasswordField", "wrong password");
    QTest::keyClick(s.window, Qt::Key_Return);
    ASSERT_TRUE(Screens::waitFor([&] { return s.text("lockErrorLine") == "Incorrect password"; }));
    EXPECT_TRUE(s.text("lockPasswordField").isEmpty());
    s.type("lockPasswordField", password);
    s.click("unlockButton");
    ASSERT_TRUE(Screens::waitFor([&] { return !state.isLocked(); }));
    state.stopBackgroundTasks();

    // The forgotten password: the alert's cancel keeps the wallet, its destructive choice
    // deletes it and shows onboarding.
    state.lock();
    s.click("newWalletButton");
    ASSERT_TRUE(s.waitForObject("confirmNewWalletButton"));
    s.shoot("06-forgotten-password-alert");
    s.click("cancelNewWalletButton");
    ASSERT_TRUE(Screens::waitFor([&] { return !s.find("cancelNewWalletButton"); }));
    EXPECT_TRUE(state.wallet());
    s.click("newWalletButton");
    s.click("confirmNewWalletButton");
    ASSERT_TRUE(Screens::waitFor([&] { return state.isOnboarding(); }));
    EXPECT_TRUE(s.waitForObject("welcomeStep"));
}

TEST(OnboardingScreens, ImportThePublishedPhraseByPastingIt) {
    Screens s;
    ASSERT_TRUE(s.window && s.exposed);
    AppState& state = s.env.state();
    s.click("importWalletButton");
    s.click("wordCount24");
    EXPECT_TRUE(s.waitForObject("importWordField23"));
    s.click("wordCount12");
    EXPECT_TRUE(Screens::waitFor([&] { return !s.find("importWordField12"); }));
    // The whole phrase pasted into the first field spreads over all twelve.
    QGuiApplication::clipboard()->setText(QStringLiteral("abandon ").repeated(11) + "about");
    s.click("importWordField0");
    QTest::keyClick(s.window, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(s.text("importWordField0"), "abandon");
    EXPECT_EQ(s.text("importWordField11"), "about");
    EXPECT_FALSE(s.enabled("importButton"));
    s.type("passwordField", password);
    s.type("confirmPasswordField", password);
    s.shoot("07-import");
    s.click("importButton");
    ASSERT_TRUE(Screens::waitFor([&] { return !state.isOnboarding() && !state.isLocked(); }));
    state.stopBackgroundTasks();
}

TEST(OnboardingScreens, RestoreTheIndependentlyWrittenBackupThenTheSheets) {
    Screens s;
    ASSERT_TRUE(s.window && s.exposed);
    AppState& state = s.env.state();
    s.click("restoreFromBackupButton");
    ASSERT_TRUE(s.waitForObject("restoreBackupView"));
    EXPECT_FALSE(s.enabled("restoreWalletButton"));
    s.shoot("08-restore-step");
    // The open dialog's answer: the golden file of the independent Python writer.
    QObject* restore = s.find("restoreBackupViewModel");
    ASSERT_TRUE(restore);
    const QUrl golden = QUrl::fromLocalFile(QStringLiteral(QM_SOURCE_DIR) +
                                            "/tests/peers/golden/wallet-v1.qmbackup");
    QMetaObject::invokeMethod(restore, "selectFile", Q_ARG(QUrl, golden));
    ASSERT_TRUE(s.waitForObject("restorePasswordField"));
    EXPECT_EQ(s.text("chosenFileName"), "wallet-v1.qmbackup");
    s.type("restorePasswordField", "not the password");
    QTest::keyClick(s.window, Qt::Key_Return);
    ASSERT_TRUE(Screens::waitFor(
        [&] { return restore->property("errorMessage").toString() == "Incorrect password"; }));
    s.type("restorePasswordField", goldenPassword);
    s.click("restoreWalletButton");
    ASSERT_TRUE(Screens::waitFor([&] { return !state.isOnboarding() && !state.isLocked(); }));
    state.stopBackgroundTasks();
    EXPECT_EQ(state.wallet()->id, goldenWalletID);

    // The menu's export sheet: the password typed reaches its model.
    QObject* exportAction = s.find("exportBackupAction");
    ASSERT_TRUE(exportAction);
    QMetaObject::invokeMethod(exportAction, "trigger");
    ASSERT_TRUE(s.waitForObject("exportPasswordField"));
    EXPECT_FALSE(s.enabled("exportBackupButton"));
    s.type("exportPasswordField", "wrong password");
    QTest::keyClick(s.window, Qt::Key_Return);
    ASSERT_TRUE(Screens::waitFor([&] {
        QObject* vm = s.find("backupExportViewModel");
        return vm && vm->property("errorMessage").toString() == "Incorrect password";
    }));
    s.shoot("10-export-sheet");
    QMetaObject::invokeMethod(s.find("BackupExportSheet"), "close");
    ASSERT_TRUE(Screens::waitFor([&] { return !s.find("exportPasswordField"); }));

    // The menu's restore sheet: restores and locks.
    QObject* restoreAction = s.find("restoreBackupAction");
    ASSERT_TRUE(restoreAction);
    QMetaObject::invokeMethod(restoreAction, "trigger");
    ASSERT_TRUE(Screens::waitFor([&] { return s.find("backupRestoreViewModel") != nullptr; }));
    QObject* sheet = s.find("backupRestoreViewModel");
    QMetaObject::invokeMethod(sheet, "selectFile", Q_ARG(QUrl, golden));
    ASSERT_TRUE(s.waitForObject("restoreSheetPasswordField"));
    s.type("restoreSheetPasswordField", goldenPassword);
    s.shoot("11-restore-sheet");
    QTest::keyClick(s.window, Qt::Key_Return);
    ASSERT_TRUE(Screens::waitFor([&] { return sheet->property("restoreSuccess").toBool(); }));
    EXPECT_TRUE(state.isLocked());
    s.click("doneButton");
    ASSERT_TRUE(s.waitForObject("lockScreen"));
}

} // namespace
} // namespace qm

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // The theme lives in the user defaults: keep them out of the user's own.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName("QuillmarkTests");
    QApplication::setApplicationName("QuillmarkTests");
    qm::BRFont::loadBundledFonts();
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    return RUN_ALL_TESTS();
}
