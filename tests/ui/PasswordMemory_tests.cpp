// The wallet password leaves no copy behind in the program's memory once the sheet or screen
// that took it has gone: import a wallet through the onboarding's screens, export a backup
// (typed, exported, sheet closed), then lock and unlock (a wrong password first). The whole
// writable memory is searched, freed blocks included, for the password as the window's
// strings hold it (UTF-16).

#include "AppStateFixture.h"
#include "MemoryScan.h"
#include "RunTask.h"
#include "platform/SecureBytes.h"
#include "state/AppState.h"
#include "ui/shell/WalletShell.h"
#include "ui/theme/PasswordEntry.h"
#include "ui/theme/WindowRendering.h"

#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>
#include <gtest/gtest.h>
#include <memory>

Q_IMPORT_QML_PLUGIN(Quillmark_UiPlugin)

namespace qm {
namespace {

const char* const host = R"(
import QtQuick
import QtQuick.Window
import Quillmark.Ui
Window {
    width: 640
    height: 640
    visible: true
    property alias exportSheet: sheet
    property alias lockScreen: lock
    BackupExportSheet { id: sheet }
    Loader { id: lock; anchors.fill: parent; active: false; sourceComponent: LockScreen {} }
}
)";

// Types `text` into the window's focused field, one key at a time.
void typeInto(QQuickWindow* window, const test::MaskedText& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        QTest::keyClick(window, text.at(i));
    }
}

template <typename Condition> bool eventually(Condition condition) {
    for (int i = 0; i < 3000 && !condition(); ++i) {
        test::AppStateFixture::settle();
        QTest::qWait(10);
    }
    return condition();
}

void dropEverythingDeferred(QQmlEngine& engine) {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        engine.collectGarbage();
        test::AppStateFixture::settle();
    }
}

TEST(PasswordMemory, NoCopyOutlivesTheExportSheetOrTheLockScreen) {
    const test::MaskedText password("Quill pass 4 memory", 0x5A);
    const test::MaskedText wrong("Quill wrong 4 memory", 0x33);
    test::AppStateFixture env;
    env.state().loadStoredState();
    {
        std::string clear = password.reveal();
        test::runTask(env.state().createWallet(test::AppStateFixture::abandonPhrase(), clear));
        wipe(clear);
    }
    env.state().stopBackgroundTasks();
    WalletShell::install(&env.state());
    {
        QQmlEngine engine;
        engine.addImportPath(QStringLiteral("qrc:/"));
        QQmlComponent component(&engine);
        component.setData(host, QUrl(QStringLiteral("qrc:/password-memory-test.qml")));
        std::unique_ptr<QObject> root(component.create());
        ASSERT_TRUE(root) << component.errorString().toStdString();
        auto* window = qobject_cast<QQuickWindow*>(root.get());
        ASSERT_TRUE(window);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));

        // Export: typed, Return exports (the save dialog then asks where), the sheet closes.
        auto* sheet = root->property("exportSheet").value<QObject*>();
        QMetaObject::invokeMethod(sheet, "open");
        ASSERT_TRUE(eventually([&] { return sheet->property("opened").toBool(); }));
        typeInto(window, password);
        auto* backup = root->findChild<QObject*>(QStringLiteral("backupExportViewModel"));
        ASSERT_TRUE(backup);
        ASSERT_TRUE(backup->property("hasPassword").toBool());
        // The search finds it where it is meant to be: in the field while the sheet shows.
        EXPECT_GE(test::countUtf16Copies(password), 1U);
        QTest::keyClick(window, Qt::Key_Return);
        // The save dialog's answer: a file in a folder of the test's.
        auto* dialog = root->findChild<QObject*>(QStringLiteral("saveBackupDialog"));
        ASSERT_TRUE(dialog);
        ASSERT_TRUE(eventually([&] { return dialog->property("visible").toBool(); }));
        QTemporaryDir saved;
        QMetaObject::invokeMethod(
            backup, "saveTo",
            Q_ARG(QUrl, QUrl::fromLocalFile(saved.filePath(QStringLiteral("w.qmbackup")))),
            Q_ARG(QUrl, QUrl()));
        ASSERT_TRUE(eventually([&] { return backup->property("exportSuccess").toBool(); }))
            << backup->property("errorMessage").toString().toStdString();
        QMetaObject::invokeMethod(sheet, "close");
        ASSERT_TRUE(eventually([&] { return !sheet->property("visible").toBool(); }));

        // Lock, a wrong password, then the right one; the lock screen goes as the window's does.
        env.state().lock();
        auto* lock = root->property("lockScreen").value<QObject*>();
        lock->setProperty("active", true);
        ASSERT_TRUE(eventually([&] { return lock->property("status").toInt() == 1; }));
        auto* model = root->findChild<QObject*>(QStringLiteral("lockViewModel"));
        ASSERT_TRUE(model);
        typeInto(window, wrong);
        QTest::keyClick(window, Qt::Key_Return);
        ASSERT_TRUE(eventually([&] { return model->property("hasError").toBool(); }));
        EXPECT_EQ(model->property("errorMessage").toString(), "Incorrect password");
        typeInto(window, password);
        QTest::keyClick(window, Qt::Key_Return);
        ASSERT_TRUE(eventually([&] { return !env.state().isLocked(); }));
        lock->setProperty("active", false);
        dropEverythingDeferred(engine);

        EXPECT_EQ(test::countUtf16Copies(password), 0U) << "the password is still in memory";
        EXPECT_EQ(test::countUtf16Copies(wrong), 0U) << "the wrong password is still in memory";
        env.state().stopBackgroundTasks();
    }
    WalletShell::install(nullptr);
}

// A wallet imported through the onboarding's screens: the password pair typed key by key, a
// refused phrase first (the password kept for the retry), then the import; once the flow's
// screens are gone, neither the password nor the confirmation is left anywhere in memory.
TEST(PasswordMemory, NoCopyOutlivesTheOnboardingImport) {
    const test::MaskedText password("Quill import 4 memory", 0x4C);
    test::AppStateFixture env;
    env.state().loadStoredState();
    ASSERT_TRUE(env.state().isOnboarding());
    WalletShell::install(&env.state());
    {
        QQmlEngine engine;
        engine.addImportPath(QStringLiteral("qrc:/"));
        QQmlComponent component(&engine);
        component.setData(R"(
import QtQuick
import QtQuick.Window
import Quillmark.Ui
Window {
    width: 800
    height: 1000
    visible: true
    property alias flow: flow
    Loader { id: flow; anchors.fill: parent; sourceComponent: OnboardingView {} }
}
)",
                          QUrl(QStringLiteral("qrc:/onboarding-memory-test.qml")));
        std::unique_ptr<QObject> root(component.create());
        ASSERT_TRUE(root) << component.errorString().toStdString();
        auto* window = qobject_cast<QQuickWindow*>(root.get());
        ASSERT_TRUE(window);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        const auto click = [&](const char* name) {
            QQuickItem* item = nullptr;
            const bool shown = eventually([&] {
                auto* steps = root->findChild<QObject*>(QStringLiteral("onboardingSteps"));
                item = root->findChild<QQuickItem*>(QString::fromLatin1(name));
                return item && item->isEnabled() && steps && !steps->property("busy").toBool();
            });
            if (shown) {
                const QPointF centre = item->mapToScene(QPointF(item->width(), item->height()) / 2);
                QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, centre.toPoint());
            }
            return shown;
        };
        ASSERT_TRUE(click("importWalletButton"));
        ASSERT_TRUE(click("passwordField"));
        auto* vm = root->findChild<QObject*>(QStringLiteral("onboardingViewModel"));
        ASSERT_TRUE(vm);
        typeInto(window, password);
        ASSERT_TRUE(click("confirmPasswordField"));
        typeInto(window, password);
        EXPECT_TRUE(vm->property("isPasswordValid").toBool());
        EXPECT_GE(test::countUtf16Copies(password), 2U); // the two fields, while shown

        // Twelve words with a wrong checksum: refused, the password stays for the retry.
        QMetaObject::invokeMethod(vm, "setImportWord", Q_ARG(int, 0),
                                  Q_ARG(QString, QStringLiteral("abandon ").repeated(12)));
        ASSERT_TRUE(click("importButton"));
        ASSERT_TRUE(eventually([&] { return vm->property("hasError").toBool(); }));
        EXPECT_EQ(vm->property("errorMessage").toString(),
                  "Invalid mnemonic phrase. Please check your words.");
        EXPECT_TRUE(vm->property("isPasswordValid").toBool());
        QMetaObject::invokeMethod(vm, "setImportWord", Q_ARG(int, 11),
                                  Q_ARG(QString, QStringLiteral("about")));
        ASSERT_TRUE(click("importButton"));
        ASSERT_TRUE(eventually([&] { return !env.state().isOnboarding(); }))
            << vm->property("errorMessage").toString().toStdString();
        env.state().stopBackgroundTasks();
        root->property("flow").value<QObject*>()->setProperty("active", false);
        dropEverythingDeferred(engine);

        EXPECT_EQ(test::countUtf16Copies(password), 0U) << "the password is still in memory";
        // The wallet opens with it: what was typed is what was stored.
        env.state().lock();
        std::string clear = password.reveal();
        test::runTask(env.state().unlock(clear));
        wipe(clear);
        EXPECT_FALSE(env.state().isLocked());
        env.state().stopBackgroundTasks();
    }
    WalletShell::install(nullptr);
}

// The entry takes each edit from the field as UTF-8; wipe() and the field's own end overwrite
// the field's buffer in place (a copy that shares it reads zeros after).
TEST(PasswordMemory, TheEntryReadsTheFieldAndWipesItsBufferInPlace) {
    QQmlEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/"));
    QQmlComponent component(&engine);
    component.setData(R"(
import QtQuick
import QtQuick.Window
import Quillmark.Ui
Window {
    width: 400
    height: 200
    visible: true
    property alias entry: theEntry
    property alias loader: loader
    PasswordEntry { id: theEntry }
    Loader {
        id: loader
        anchors.fill: parent
        sourceComponent: PasswordField {
            entry: theEntry
            fieldName: "field"
            Component.onCompleted: focusField()
        }
    }
}
)",
                      QUrl(QStringLiteral("qrc:/password-entry-test.qml")));
    std::unique_ptr<QObject> root(component.create());
    ASSERT_TRUE(root) << component.errorString().toStdString();
    auto* window = qobject_cast<QQuickWindow*>(root.get());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    auto* entry = root->property("entry").value<PasswordEntry*>();
    ASSERT_TRUE(entry);
    QSignalSpy turns(entry, &PasswordEntry::passwordChanged);
    for (const char c : {'a', 'b', 'c'}) {
        QTest::keyClick(window, c);
    }
    EXPECT_EQ(entry->utf8(), "abc");
    EXPECT_TRUE(entry->hasPassword());
    EXPECT_EQ(turns.count(), 1); // empty to non-empty, once
    auto fieldText = [&root] {
        QObject* field = root->findChild<QObject*>(QStringLiteral("field"));
        return field ? field->property("text").toString() : QString();
    };
    const QString shared = fieldText();
    ASSERT_EQ(shared, QStringLiteral("abc"));
    entry->wipe();
    EXPECT_FALSE(entry->hasPassword());
    EXPECT_EQ(entry->utf8(), "");
    EXPECT_EQ(fieldText(), QString());
    EXPECT_EQ(shared, QString(3, QChar(0))) << "the field's buffer was not overwritten";
    EXPECT_EQ(turns.count(), 2);

    // Typed again, then the field goes (its sheet closes) before anyone wipes the entry.
    QTest::keyClick(window, 'x');
    QTest::keyClick(window, 'y');
    EXPECT_EQ(entry->utf8(), "xy");
    const QString left = fieldText();
    root->property("loader").value<QObject*>()->setProperty("active", false);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(left, QString(2, QChar(0))) << "a field that went left its text";
    // Errors and the busy flag, as a step uses them.
    QSignalSpy errors(entry, &PasswordEntry::errorMessageChanged);
    entry->setErrorMessage(QStringLiteral("Incorrect password"));
    EXPECT_TRUE(entry->hasError());
    entry->beginAttempt();
    EXPECT_TRUE(entry->isBusy());
    EXPECT_FALSE(entry->hasError());
    EXPECT_EQ(errors.count(), 2);
}

} // namespace
} // namespace qm

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QGuiApplication app(argc, argv);
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    qm::configureWindowRendering(); // drawn as the program draws it
    return RUN_ALL_TESTS();
}
