// The onboarding, lock and backup screens' wiring: the real window's QML, offscreen, over a
// real application state on loopback fixtures, driven with mouse clicks and key presses.

#include "AppStateFixture.h"
#include "RunTask.h"
#include "TextExposure.h"
#include "state/signing/Signer.h"
#include "ui/onboarding/OnboardingViewModel.h"
#include "ui/shell/WalletShell.h"
#include "ui/theme/BRFont.h"
#include "ui/theme/PasswordEntry.h"
#include "ui/theme/SecretClipboard.h"
#include "ui/theme/WindowRendering.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>
#include <array>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>

Q_IMPORT_QML_PLUGIN(Quillmark_UiPlugin)

namespace qm {
namespace {

using test::AppStateFixture;

constexpr const char* goldenPassword = "correct horse battery staple";
const QString password = QStringLiteral("correct horse 1");

bool waitFor(const std::function<bool()>& condition) {
    return QTest::qWaitFor(condition, 15000);
}

struct Screens {
    using Preparation = std::function<void(AppStateFixture&)>;
    AppStateFixture env;
    // What a test stores before the window shows (a restart included): it runs first.
    bool prepared;
    AppState& state;
    QQmlApplicationEngine engine;
    QQuickWindow* window = nullptr;
    bool exposed = false;

    explicit Screens(const Preparation& prepare = {})
        : prepared((prepare ? prepare(env) : void(), true)), state(env.state()) {
        state.loadStoredState();
        WalletShell::install(&state);
        engine.addImportPath(QStringLiteral("qrc:/"));
        engine.load(QUrl(QStringLiteral("qrc:/Quillmark/Ui/shell/QuillmarkWindow.qml")));
        window = qobject_cast<QQuickWindow*>(engine.rootObjects().value(0));
        if (window) {
            window->show();
            exposed = QTest::qWaitForWindowExposed(window);
        }
    }
    ~Screens() {
        engine.clearComponentCache();
        qDeleteAll(engine.rootObjects());
        WalletShell::install(nullptr);
        AppStateFixture::settle();
    }
    // The first visible object named `name`: items, popups and non-visual objects alike.
    static QObject* findIn(QObject* object, const QString& name, QSet<QObject*>& seen) {
        auto* item = qobject_cast<QQuickItem*>(object);
        if (object->objectName() == name && (!item || item->isVisible())) {
            return object;
        }
        QObjectList next = object->children();
        for (QQuickItem* child : item ? item->childItems() : QList<QQuickItem*>()) {
            next.append(child);
        }
        for (QObject* child : next) {
            QObject* found = seen.contains(child) ? nullptr : findIn(child, name, seen << child);
            if (found) {
                return found;
            }
        }
        return nullptr;
    }
    QObject* find(const QString& name) const {
        QSet<QObject*> seen;
        return findIn(window->contentItem(), name, seen);
    }
    QString text(const QString& name) const {
        QObject* object = find(name);
        return object ? object->property("text").toString() : QString();
    }
    // Once it shows and no step transition runs.
    void click(const QString& name) {
        QQuickItem* item = nullptr;
        ASSERT_TRUE(waitFor([&] {
            QObject* steps = find(QStringLiteral("onboardingSteps"));
            item = qobject_cast<QQuickItem*>(find(name));
            return item && !(steps && steps->property("busy").toBool());
        })) << name.toStdString();
        ASSERT_TRUE(item->isEnabled()) << name.toStdString();
        const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
        QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, centre.toPoint());
    }
    // Once no step transition runs, every text shown reaches a screen reader.
    void expectAllRead(const char* where) const {
        ASSERT_TRUE(waitFor([&] {
            QObject* steps = find(QStringLiteral("onboardingSteps"));
            return !(steps && steps->property("busy").toBool());
        })) << where;
        EXPECT_EQ(test::unexposedTexts(window).join(QStringLiteral(" | ")).toStdString(), "")
            << where;
    }
    // The named popup, once open, reads as a dialog named `title`; its texts are read.
    void expectDialog(const QString& name, const QString& title) const {
        QObject* popup = nullptr;
        ASSERT_TRUE(waitFor([&] {
            popup = find(name);
            return popup && popup->property("opened").toBool();
        })) << name.toStdString();
        QAccessibleInterface* node = test::accessibleNode(popup);
        ASSERT_TRUE(node) << name.toStdString();
        EXPECT_EQ(node->role(), QAccessible::Dialog) << name.toStdString();
        EXPECT_EQ(node->text(QAccessible::Name).toStdString(), title.toStdString())
            << name.toStdString();
        expectAllRead(name.toUtf8().constData());
    }
    // Clicks into the named field, empties it and types the ASCII `text`.
    void type(const QString& name, const QString& text) {
        click(name);
        QTest::keyClick(window, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(window, Qt::Key_Backspace);
        for (const QChar c : text) {
            QTest::keyClick(window, c.toLatin1());
        }
    }
};

// The share of the box's pixels that differ clearly from `backdrop` (the symbol's ink).
double inkShare(const QImage& image, const QRect& box, const QColor& backdrop) {
    int ink = 0;
    for (int y = box.top(); y <= box.bottom(); ++y) {
        for (int x = box.left(); x <= box.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            const int distance = std::abs(c.red() - backdrop.red()) +
                                 std::abs(c.green() - backdrop.green()) +
                                 std::abs(c.blue() - backdrop.blue());
            ink += distance > 120 ? 1 : 0;
        }
    }
    return static_cast<double>(ink) / (box.width() * box.height());
}

// The quarters of the inked part of `item` on the window's image: top left, top right, bottom
// left, bottom right, each as its share of ink.
std::array<double, 4> quarterInk(const QImage& image, QQuickItem* item, const QColor& backdrop) {
    const QRect area = item->mapRectToScene(item->boundingRect()).toAlignedRect();
    QRect ink;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (inkShare(image, QRect(x, y, 1, 1), backdrop) > 0) {
                ink |= QRect(x, y, 1, 1);
            }
        }
    }
    const QPoint c = ink.center();
    return {inkShare(image, QRect(ink.topLeft(), c - QPoint(1, 1)), backdrop),
            inkShare(image, QRect(QPoint(c.x() + 1, ink.top()), QPoint(ink.right(), c.y() - 1)),
                     backdrop),
            inkShare(image, QRect(QPoint(ink.left(), c.y() + 1), QPoint(c.x() - 1, ink.bottom())),
                     backdrop),
            inkShare(image, QRect(c + QPoint(1, 1), ink.bottomRight()), backdrop)};
}

// The welcome emblem is a quartered shield with its glow, the lock screen's a shield with a
// lock cut out: told apart by where their ink lies, not by the glyph table.
TEST(OnboardingScreens, TheEmblemsAreTheirNamedSymbolsWithTheirGlow) {
    Screens s;
    ASSERT_TRUE(s.window && s.exposed);
    auto* emblem = qobject_cast<QQuickItem*>(s.find("welcomeEmblem"));
    QObject* glow = s.find("welcomeEmblemGlow");
    ASSERT_TRUE(emblem && glow);
    ASSERT_TRUE(waitFor([&] { return glow->property("ready").toBool(); }));
    QTest::qWait(100);
    const QColor background = s.window->color();
    const QImage lit = s.window->grabWindow();
    const std::array<double, 4> shield = quarterInk(lit, emblem, background);
    // Quartered: the quarters on each diagonal alike, one diagonal filled, the other outlined.
    EXPECT_NEAR(shield[0], shield[3], 0.15);
    EXPECT_NEAR(shield[1], shield[2], 0.15);
    EXPECT_GT(std::abs(shield[0] - shield[1]), 0.3);
    // Just outside the glyph the glow brightens the backdrop; without it, it does not.
    const QRect box = emblem->mapRectToScene(emblem->boundingRect()).toAlignedRect();
    const QPoint beside(box.center().x(), box.top() + 2);
    glow->setProperty("glowOpacity", 0);
    QTest::qWait(100);
    const QImage plain = s.window->grabWindow();
    const auto brightness = [](const QImage& image, QPoint at) {
        const QColor c = image.pixelColor(at);
        return c.red() + c.green() + c.blue();
    };
    EXPECT_GT(brightness(lit, beside), brightness(plain, beside) + 6);

    qm::test::runTask(s.state.createWallet(AppStateFixture::abandonPhrase(), "password 1"));
    s.state.stopBackgroundTasks();
    s.state.lock();
    QQuickItem* lockEmblem = nullptr;
    ASSERT_TRUE(waitFor([&] {
        lockEmblem = qobject_cast<QQuickItem*>(s.find("lockEmblem"));
        return lockEmblem != nullptr;
    }));
    QTest::qWait(200);
    const std::array<double, 4> locked = quarterInk(s.window->grabWindow(), lockEmblem, background);
    // Symmetric left to right (a quartered shield is not), its top filled, a hole below.
    EXPECT_NEAR(locked[0], locked[1], 0.1);
    EXPECT_NEAR(locked[2], locked[3], 0.1);
    EXPECT_GT(locked[0], 0.6);
    EXPECT_LT(locked[2], locked[0] - 0.1);

    // Its pulse fades the emblem and its glow as drawn: the glow's shape is not made anew
    // at each step, which cost a grab, a blur and a second frame.
    QObject* lockGlow = s.find("lockEmblemGlow");
    ASSERT_TRUE(lockGlow);
    ASSERT_TRUE(waitFor([&] { return lockGlow->property("ready").toBool(); }));
    const int blurs = lockGlow->property("blurs").toInt();
    QSet<double> faded;
    ASSERT_TRUE(waitFor([&] {
        faded.insert(lockEmblem->opacity());
        return faded.size() >= 4;
    })) << "the emblem does not pulse";
    QTest::qWait(50);
    EXPECT_EQ(lockGlow->property("blurs").toInt(), blurs);
}

// Every text item under `item` that shows a '<' (markup, if it were rich text).
void collectMarkupTexts(QQuickItem* item, QList<QQuickItem*>& out) {
    if (item->inherits("QQuickText") && item->property("text").toString().contains('<')) {
        out.append(item);
    }
    for (QQuickItem* child : item->childItems()) {
        collectMarkupTexts(child, out);
    }
}

// No text of the shown dialog renders markup: names with it are shown as they are.
void expectPlainNames(QObject* shownDialog, int atLeast) {
    QList<QQuickItem*> texts;
    for (QQuickItem* item : shownDialog->findChildren<QQuickItem*>(Qt::FindDirectChildrenOnly)) {
        collectMarkupTexts(item, texts);
    }
    if (auto* popup = shownDialog->property("contentItem").value<QQuickItem*>()) {
        QQuickItem* top = popup;
        while (top->parentItem() && !top->parentItem()->inherits("QQuickOverlay")) {
            top = top->parentItem();
        }
        texts.clear();
        collectMarkupTexts(top, texts);
    }
    EXPECT_GE(texts.size(), atLeast);
    for (QQuickItem* text : texts) {
        EXPECT_EQ(text->property("textFormat").toInt(), static_cast<int>(Qt::PlainText))
            << text->property("text").toString().toStdString();
    }
}

// The named file dialog once it shows (and was set up); null when it does not.
QObject* openedDialog(const Screens& s, const char* name) {
    QObject* dialog = nullptr;
    waitFor([&] {
        dialog = s.find(name);
        return dialog && dialog->property("visible").toBool() &&
               dialog->property("shown").value<QObject*>();
    });
    return dialog && dialog->property("shown").value<QObject*>() ? dialog : nullptr;
}

// The real save and open dialogs over a folder of many backups, a name with markup and a
// folder with markup: names as they are, the suggested name whole, a scroll bar while the list
// overflows, backups first, and the next dialog where the last backup went.
TEST(OnboardingScreens, TheBackupDialogsShowNamesAsTheyAreAndStartWhereTheLastBackupWent) {
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    const QString documents = home.path() + "/Documents";
    QDir().mkpath(documents + "/<i>folder");
    QDir().mkpath(home.path() + "/backups");
    for (const QString& name : {QStringLiteral("<b>bold.qmbackup"), QStringLiteral("notes.txt")}) {
        QFile(documents + "/" + name).open(QIODevice::WriteOnly);
    }
    for (int i = 0; i < 40; ++i) {
        QFile(documents + QStringLiteral("/old-%1.qmbackup").arg(i, 2, 10, QChar('0')))
            .open(QIODevice::WriteOnly);
    }
    Screens s;
    ASSERT_TRUE(s.window && s.exposed);
    qm::test::runTask(s.state.createWallet(AppStateFixture::abandonPhrase(), "password 1"));
    s.state.stopBackgroundTasks();
    QMetaObject::invokeMethod(s.find("exportBackupAction"), "trigger");
    s.type("exportPasswordField", "password 1");
    s.click("exportBackupButton");
    QObject* save = openedDialog(s, "saveBackupDialog");
    ASSERT_TRUE(save);
    auto* shown = save->property("shown").value<QObject*>();
    EXPECT_EQ(save->property("nameFilters").toStringList(),
              QStringList({"Quillmark backups (*.qmbackup)", "All Files (*)"}));
    auto* list = shown->findChild<QQuickItem*>(QStringLiteral("fileDialogListView"));
    ASSERT_TRUE(list);
    // The backups and the folder, not the text file; from the top, the bar on screen.
    ASSERT_TRUE(waitFor([&] { return list->property("count").toInt() == 42; }))
        << list->property("count").toInt();
    QTest::qWait(100);
    EXPECT_EQ(list->property("contentY").toReal(), list->property("originY").toReal());
    QQuickItem* bar = nullptr;
    for (QQuickItem* child : list->findChildren<QQuickItem*>()) {
        bar = child->inherits("QQuickScrollBar") ? child : bar;
    }
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->property("policy").toInt(), 2); // always on while it overflows
    EXPECT_TRUE(bar->isVisible());
    auto* name = shown->findChild<QQuickItem*>(QStringLiteral("fileNameTextField"));
    ASSERT_TRUE(name);
    EXPECT_EQ(name->property("text").toString(),
              "Quillmark-" + QDate::currentDate().toString(Qt::ISODate) + ".qmbackup");
    EXPECT_LE(name->property("contentWidth").toReal(), name->width() -
                                                           name->property("leftPadding").toReal() -
                                                           name->property("rightPadding").toReal());
    expectPlainNames(shown, 2);
    // Saved elsewhere: that folder is where the next dialog starts.
    const QString target = home.path() + "/backups/mine.qmbackup";
    name->forceActiveFocus();
    QTest::keyClick(s.window, Qt::Key_A, Qt::ControlModifier);
    for (const QChar c : target) {
        QTest::keyClick(s.window, c.toLatin1());
    }
    QMetaObject::invokeMethod(shown, "accept"); // "Save"
    ASSERT_TRUE(waitFor([&] { return QFile::exists(target); }));
    QMetaObject::invokeMethod(s.find("BackupExportSheet"), "close");

    QMetaObject::invokeMethod(s.find("restoreBackupAction"), "trigger");
    s.click("browseButton");
    QObject* open = openedDialog(s, "openBackupDialog");
    ASSERT_TRUE(open);
    EXPECT_EQ(open->property("currentFolder").toUrl(),
              QUrl::fromLocalFile(home.path() + "/backups"));
    // A folder's name in the path above the list, as it is.
    open->setProperty("currentFolder", QUrl::fromLocalFile(documents + "/<i>folder"));
    QTest::qWait(200);
    expectPlainNames(open->property("shown").value<QObject*>(), 1);
    QMetaObject::invokeMethod(open, "reject");
}

// The shown row of `name` in the dialog's file list.
QQuickItem* rowNamed(QObject* shown, const QString& name) {
    auto* list = shown->findChild<QQuickItem*>(QStringLiteral("fileDialogListView"));
    auto* rows = list ? list->property("contentItem").value<QQuickItem*>() : nullptr;
    for (QQuickItem* row : rows ? rows->childItems() : QList<QQuickItem*>()) {
        if (row->objectName() == "fileRow_" + name && row->isVisible()) {
            return row;
        }
    }
    return nullptr;
}

// The button under `item` that reads `text`.
QQuickItem* buttonNamed(QQuickItem* item, const QString& text) {
    if (item->inherits("QQuickAbstractButton") && item->property("text").toString() == text) {
        return item;
    }
    for (QQuickItem* child : item->childItems()) {
        if (QQuickItem* found = buttonNamed(child, text)) {
            return found;
        }
    }
    return nullptr;
}

QPoint centreOf(QQuickItem* item) {
    return item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint();
}

// The export sheet's save dialog, opened by the menu, the password and "Export Backup".
QObject* openSaveDialog(Screens& s) {
    QMetaObject::invokeMethod(s.find("exportBackupAction"), "trigger");
    s.type("exportPasswordField", "password 1");
    s.click("exportBackupButton");
    return openedDialog(s, "saveBackupDialog");
}

// The save dialog driven by clicks: into a folder and Save, up and Save, a bare name, a name
// that is a folder and one in a missing folder (refused, saying why), Return; then the open
// dialog's Open with the row it shows highlighted.
TEST(OnboardingScreens, TheSaveDialogKeepsItsNameAndOpenTakesTheHighlightedRow) {
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    const QString documents = home.path() + "/Documents";
    QDir().mkpath(documents + "/sub");
    QDir().mkpath(documents + "/taken.qmbackup");
    QFile(documents + "/sub/old.qmbackup").open(QIODevice::WriteOnly);
    const QString suggested =
        "Quillmark-" + QDate::currentDate().toString(Qt::ISODate) + ".qmbackup";
    Screens s;
    ASSERT_TRUE(s.window && s.exposed);
    qm::test::runTask(s.state.createWallet(AppStateFixture::abandonPhrase(), "password 1"));
    s.state.stopBackgroundTasks();

    QObject* save = openSaveDialog(s);
    ASSERT_TRUE(save);
    auto* shown = save->property("shown").value<QObject*>();
    auto* name = shown->findChild<QQuickItem*>(QStringLiteral("fileNameTextField"));
    auto* footer = shown->property("footer").value<QQuickItem*>();
    ASSERT_TRUE(name && footer);
    QQuickItem* row = nullptr;
    ASSERT_TRUE(waitFor([&] { return (row = rowNamed(shown, "sub")); }));
    QTest::mouseDClick(s.window, Qt::LeftButton, Qt::NoModifier, centreOf(row));
    ASSERT_TRUE(waitFor([&] {
        return save->property("currentFolder").toUrl() == QUrl::fromLocalFile(documents + "/sub") &&
               rowNamed(shown, "old.qmbackup");
    }));
    QTest::qWait(100); // the dialog settles its selection once the folder is listed
    EXPECT_EQ(name->property("text").toString(), suggested);
    QQuickItem* saveButton = buttonNamed(footer, "Save");
    ASSERT_TRUE(saveButton);
    EXPECT_TRUE(saveButton->isEnabled());
    QTest::mouseClick(s.window, Qt::LeftButton, Qt::NoModifier, centreOf(saveButton));
    ASSERT_TRUE(waitFor([&] { return QFile::exists(documents + "/sub/" + suggested); }));
    ASSERT_TRUE(waitFor([&] { return s.text("savedFileName") == suggested; }));
    QMetaObject::invokeMethod(s.find("BackupExportSheet"), "close");

    // Up from there (where the last backup went): the name stays, a bare one gets the suffix.
    save = openSaveDialog(s);
    ASSERT_TRUE(save);
    shown = save->property("shown").value<QObject*>();
    name = shown->findChild<QQuickItem*>(QStringLiteral("fileNameTextField"));
    footer = shown->property("footer").value<QQuickItem*>();
    ASSERT_TRUE(name && footer);
    EXPECT_EQ(save->property("currentFolder").toUrl(), QUrl::fromLocalFile(documents + "/sub"));
    QQuickItem* bar = nullptr;
    for (QQuickItem* item : shown->findChildren<QQuickItem*>()) {
        bar = item->inherits("QQuickFolderBreadcrumbBar") ? item : bar;
    }
    auto* up = bar ? bar->property("upButton").value<QQuickItem*>() : nullptr;
    ASSERT_TRUE(up);
    QTest::mouseClick(s.window, Qt::LeftButton, Qt::NoModifier, centreOf(up));
    ASSERT_TRUE(waitFor([&] {
        return save->property("currentFolder").toUrl() == QUrl::fromLocalFile(documents) &&
               rowNamed(shown, "sub");
    }));
    QTest::qWait(100);
    EXPECT_EQ(name->property("text").toString(), suggested);
    // A click on a folder's row selects it in the list, not as the name.
    QTest::mouseClick(s.window, Qt::LeftButton, Qt::NoModifier, centreOf(rowNamed(shown, "sub")));
    EXPECT_EQ(name->property("text").toString(), suggested);
    const auto typeName = [&](const QString& text) {
        QTest::mouseClick(s.window, Qt::LeftButton, Qt::NoModifier, centreOf(name));
        QTest::keyClick(s.window, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(s.window, Qt::Key_Backspace);
        for (const QChar c : text) {
            QTest::keyClick(s.window, c.toLatin1());
        }
    };
    // A name that is a folder, a name in a folder that is not there: refused, with the reason.
    typeName("taken.qmbackup");
    EXPECT_EQ(save->property("notice").toString(),
              "\"taken.qmbackup\" is a folder. Choose another name.");
    saveButton = buttonNamed(footer, "Save");
    EXPECT_FALSE(saveButton->isEnabled());
    QTest::keyClick(s.window, Qt::Key_Return); // nothing: still open, Save still off
    EXPECT_TRUE(save->property("visible").toBool());
    EXPECT_FALSE(saveButton->isEnabled());
    typeName("missing/x");
    EXPECT_EQ(save->property("notice").toString(),
              QStringLiteral("The folder \"%1\" does not exist. Choose another folder.")
                  .arg(documents + "/missing"));
    EXPECT_FALSE(saveButton->isEnabled());
    EXPECT_TRUE(save->property("visible").toBool());
    typeName("bare");
    EXPECT_EQ(save->property("notice").toString(), "");
    EXPECT_TRUE(saveButton->isEnabled());
    QTest::keyClick(s.window, Qt::Key_Return);
    ASSERT_TRUE(waitFor([&] { return QFile::exists(documents + "/bare.qmbackup"); }));
    EXPECT_FALSE(QFile::exists(documents + "/bare"));
    QMetaObject::invokeMethod(s.find("BackupExportSheet"), "close");

    // A path typed in the location bar (Ctrl+L) is saved as typed, with the suffix.
    ASSERT_TRUE(openSaveDialog(s));
    QTest::keyClick(s.window, Qt::Key_L, Qt::ControlModifier);
    QTest::keyClick(s.window, Qt::Key_A, Qt::ControlModifier);
    for (const QChar c : documents + "/sub/typed") {
        QTest::keyClick(s.window, c.toLatin1());
    }
    QTest::keyClick(s.window, Qt::Key_Return);
    ASSERT_TRUE(waitFor([&] { return QFile::exists(documents + "/sub/typed.qmbackup"); }));
    QMetaObject::invokeMethod(s.find("BackupExportSheet"), "close");

    // The open dialog shows its first row highlighted: Open takes it.
    QMetaObject::invokeMethod(s.find("restoreBackupAction"), "trigger");
    s.click("browseButton");
    QObject* open = openedDialog(s, "openBackupDialog");
    ASSERT_TRUE(open);
    shown = open->property("shown").value<QObject*>();
    auto* list = shown->findChild<QQuickItem*>(QStringLiteral("fileDialogListView"));
    ASSERT_TRUE(waitFor([&] { return rowNamed(shown, "typed.qmbackup"); }));
    QTest::qWait(100);
    auto* highlighted = list->property("currentItem").value<QQuickItem*>();
    ASSERT_TRUE(highlighted);
    EXPECT_TRUE(highlighted->property("highlighted").toBool());
    const QString rowName = highlighted->property("fileName").toString();
    QQuickItem* openButton = buttonNamed(shown->property("footer").value<QQuickItem*>(), "Open");
    ASSERT_TRUE(openButton);
    QTest::mouseClick(s.window, Qt::LeftButton, Qt::NoModifier, centreOf(openButton));
    ASSERT_TRUE(waitFor([&] { return s.text("chosenFileName") == rowName; }))
        << rowName.toStdString();
}

// A copied phrase leaves the clipboard after the interval, or when asked (at lock and quit),
// only while it is still there: what the user copied since stays.
TEST(SecretClipboard, TheCopiedPhraseLeavesTheClipboardUnlessSomethingElseWasCopiedSince) {
    using namespace std::chrono_literals;
    EXPECT_EQ(SecretClipboard::shared().clearAfter(), 60s);
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QString phrase = QStringLiteral("abandon ").repeated(11) + "about";
    SecretClipboard guard(10ms);
    guard.put(phrase);
    EXPECT_TRUE(guard.holdsSecret());
    EXPECT_EQ(clipboard->text(), phrase);
    // Clipboard managers keep it out of their history.
    EXPECT_EQ(clipboard->mimeData()->data("x-kde-passwordManagerHint"), "secret");
    ASSERT_TRUE(waitFor([&] { return !guard.holdsSecret(); }));
    EXPECT_EQ(clipboard->text(), "");

    guard.put(phrase);
    clipboard->setText("the user's own");
    guard.clearIfHeld();
    EXPECT_FALSE(guard.holdsSecret());
    EXPECT_EQ(clipboard->text(), "the user's own");
    // Copied again over the phrase: the same text is the phrase still.
    guard.put(phrase);
    clipboard->setText(phrase);
    guard.clearIfHeld();
    EXPECT_EQ(clipboard->text(), "");
}

TEST(OnboardingScreens, EachScreenReachesItsModelAndShowsItsText) {
    Screens s;
    ASSERT_TRUE(s.window && s.exposed);
    s.expectAllRead("the welcome screen");
    s.click("createNewWalletButton");
    ASSERT_TRUE(waitFor([&] { return s.find("createWalletView"); }));
    s.expectAllRead("the new phrase");
    auto* vm = qobject_cast<OnboardingViewModel*>(
        s.find("createWalletView")->property("vm").value<QObject*>());
    ASSERT_TRUE(vm);
    // The word is drawn from the model; the item has no text for QML to read.
    QObject* lastWord = s.find("phraseWord11");
    ASSERT_TRUE(lastWord);
    EXPECT_FALSE(lastWord->property("text").isValid());
    EXPECT_GT(lastWord->property("implicitWidth").toReal(), 0);
    // Copied, with the note of when it leaves the clipboard.
    EXPECT_FALSE(s.find("clipboardNote"));
    s.click("copyPhraseButton");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), vm->joinedMnemonic());
    EXPECT_TRUE(s.find("clipboardNote"));
    s.click("writtenDownButton");
    s.expectAllRead("the password step");
    // Typed, then back and on again: the fields are made anew, empty, and so is the pair.
    s.type("passwordField", password);
    s.type("confirmPasswordField", password);
    EXPECT_TRUE(vm->isPasswordValid());
    s.click("backButton");
    s.click("writtenDownButton");
    ASSERT_TRUE(waitFor([&] {
        QObject* steps = s.find("onboardingSteps");
        return steps && !steps->property("busy").toBool() && !s.find("createWalletView");
    }));
    EXPECT_TRUE(s.text("passwordField").isEmpty());
    EXPECT_TRUE(s.text("confirmPasswordField").isEmpty());
    EXPECT_FALSE(vm->passwordEntry()->hasPassword());
    EXPECT_FALSE(vm->isPasswordValid());
    for (int slot = 0; slot < 3; ++slot) {
        const int position = vm->verificationIndices()[static_cast<size_t>(slot)];
        s.type(QStringLiteral("verifyWordField%1").arg(slot),
               vm->mnemonic()[static_cast<size_t>(position)].toUpper());
    }
    s.type("passwordField", password);
    s.type("confirmPasswordField", password);
    EXPECT_EQ(vm->passwordEntry()->utf8(), password.toStdString());
    // Return in the pair's fields starts nothing: the button does.
    QTest::keyClick(s.window, Qt::Key_Return);
    EXPECT_FALSE(vm->isCreating());
    EXPECT_TRUE(s.state.isOnboarding());
    // A wrong word: the error line shows and nothing on the screen moves for it.
    const auto sceneY = [&](const char* name) {
        auto* item = qobject_cast<QQuickItem*>(s.find(name));
        return item ? item->mapToScene(QPointF(0, 0)).y() : -1.0;
    };
    const double buttonY = sceneY("verifyAndCreateButton");
    const double fieldY = sceneY("verifyWordField0");
    const QString rightWord = s.text("verifyWordField0");
    s.type("verifyWordField0", "zzz");
    s.click("verifyAndCreateButton");
    ASSERT_TRUE(waitFor(
        [&] { return s.text("verifyErrorLine").endsWith("is incorrect. Please try again."); }));
    EXPECT_EQ(sceneY("verifyAndCreateButton"), buttonY);
    EXPECT_EQ(sceneY("verifyWordField0"), fieldY);
    s.expectAllRead("the verification with its error");
    s.type("verifyWordField0", rightWord);
    s.click("verifyAndCreateButton");
    ASSERT_TRUE(waitFor([&] { return !s.state.isOnboarding() && !s.state.isLocked(); }));
    s.state.stopBackgroundTasks();

    // The menu's export sheet, then its restore sheet.
    QMetaObject::invokeMethod(s.find("exportBackupAction"), "trigger");
    s.type("exportPasswordField", "wrong password");
    QTest::keyClick(s.window, Qt::Key_Return);
    ASSERT_TRUE(waitFor([&] {
        QObject* model = s.find("backupExportViewModel");
        return model && model->property("errorMessage").toString() == "Incorrect password";
    }));
    s.expectDialog("BackupExportSheet", "Export Backup");
    QMetaObject::invokeMethod(s.find("BackupExportSheet"), "close");

    const QUrl golden = QUrl::fromLocalFile(QStringLiteral(QM_SOURCE_DIR) +
                                            "/tests/peers/golden/wallet-v1.qmbackup");
    QMetaObject::invokeMethod(s.find("restoreBackupAction"), "trigger");
    ASSERT_TRUE(waitFor([&] { return s.find("backupRestoreViewModel"); }));
    QObject* sheet = s.find("backupRestoreViewModel");
    QMetaObject::invokeMethod(sheet, "selectFile", Q_ARG(QUrl, golden));
    // With its error line the form still fits: the button stays inside the sheet.
    s.type("restoreSheetPasswordField", "wrong password");
    QTest::keyClick(s.window, Qt::Key_Return);
    ASSERT_TRUE(waitFor(
        [&] { return sheet->property("errorMessage").toString() == "Incorrect password"; }));
    QTest::qWait(50);
    {
        auto* panel = qobject_cast<QQuickItem*>(
            s.find("BackupRestoreSheet")->property("contentItem").value<QObject*>());
        auto* button = qobject_cast<QQuickItem*>(s.find("restoreWalletButton"));
        ASSERT_TRUE(panel && button);
        const QRectF inside = panel->mapRectToScene(panel->boundingRect());
        const QRectF shown = button->mapRectToScene(button->boundingRect());
        EXPECT_LE(shown.bottom(), inside.bottom() - 16) << "button below the sheet's edge";
    }
    s.expectDialog("BackupRestoreSheet", "Restore Backup");
    s.type("restoreSheetPasswordField", goldenPassword);
    QTest::keyClick(s.window, Qt::Key_Return);
    ASSERT_TRUE(waitFor([&] { return sheet->property("restoreSuccess").toBool(); }));
    EXPECT_TRUE(s.state.isLocked());
    EXPECT_FALSE(qm::test::runTask(s.state.signer().holdsMasterKey()));
    EXPECT_TRUE(s.state.bitcoinAccounts().empty());
    s.click("doneButton");

    // A wrong password through Return shows the line and empties the field.
    s.type("lockPasswordField", "wrong password");
    QTest::keyClick(s.window, Qt::Key_Return);
    ASSERT_TRUE(waitFor([&] { return s.text("lockErrorLine") == "Incorrect password"; }));
    EXPECT_TRUE(s.text("lockPasswordField").isEmpty());
    s.expectAllRead("the lock screen with its error");
    s.type("lockPasswordField", goldenPassword);
    s.click("unlockButton");
    ASSERT_TRUE(waitFor([&] { return !s.state.isLocked(); }));
    s.state.stopBackgroundTasks();
    s.state.lock(); // the forgotten password: the alert's confirm deletes the wallet
    s.click("newWalletButton");
    s.expectDialog("newWalletConfirm", "Crea nuovo wallet");
    s.click("confirmNewWalletButton");
    ASSERT_TRUE(waitFor([&] { return s.state.isOnboarding(); }));

    // A phrase pasted into the first import field spreads over all twelve, whether it
    // arrives at once or key by key (as some paste tools deliver it).
    s.click("importWalletButton");
    s.expectAllRead("the import screen");
    const QString phrase = QStringLiteral("abandon ").repeated(11) + "about";
    QGuiApplication::clipboard()->setText(phrase);
    s.click("importWordField0");
    QTest::keyClick(s.window, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(s.text("importWordField0"), "abandon");
    EXPECT_EQ(s.text("importWordField11"), "about");
    s.click("wordCount12");
    s.click("importWordField0");
    for (const QChar c : phrase) {
        QTest::keyClick(s.window, c.toLatin1());
    }
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(s.text(QStringLiteral("importWordField%1").arg(i)), i < 11 ? "abandon" : "about")
            << i;
    }
    s.click("backButton");

    s.click("restoreFromBackupButton");
    ASSERT_TRUE(waitFor([&] { return s.find("restoreBackupViewModel"); }));
    QMetaObject::invokeMethod(s.find("restoreBackupViewModel"), "selectFile", Q_ARG(QUrl, golden));
    ASSERT_TRUE(waitFor([&] { return s.text("chosenFileName") == "wallet-v1.qmbackup"; }));
    s.expectAllRead("the restore screen with its file");
    s.type("restorePasswordField", goldenPassword);
    s.click("restoreWalletButton");
    ASSERT_TRUE(waitFor([&] { return !s.state.isOnboarding() && !s.state.isLocked(); }));
    s.state.stopBackgroundTasks();
}

// The keyring that holds the wallet is not running: beside "Try Again" its face offers a
// restore into files, whose screen says what it does and what it leaves, offers only the
// phrase and a backup, and goes back to the face. The import then opens the wallet in files,
// the password pair saying on the way why its button is greyed out; the keyring's wallet stays.
TEST(OnboardingScreens, AGoneKeyringOffersARestoreIntoFiles) {
    std::string inKeyring;
    Screens s([&](AppStateFixture& env) {
        env.state().loadStoredState();
        qm::test::runTask(
            env.state().createWallet(AppStateFixture::abandonPhrase(), password.toStdString()));
        inKeyring = env.state().wallet()->id;
        env.keychain().setAbsent(true);
        env.restart();
    });
    ASSERT_TRUE(s.window && s.exposed);
    ASSERT_TRUE(waitFor([&] { return s.find("keyringLockedView"); }));
    EXPECT_FALSE(s.find("unlockKeyringButton"));
    s.expectAllRead("the gone keyring");
    s.click("restoreIntoFilesButton");
    ASSERT_TRUE(waitFor([&] { return s.find("restoreIntoFilesNotice"); }));
    s.expectAllRead("the restore into files");
    EXPECT_TRUE(s.text("restoreIntoFilesNotice")
                    .startsWith("The wallet in the keyring is left untouched: nothing of it is "
                                "deleted."));
    EXPECT_FALSE(s.find("createNewWalletButton"));
    EXPECT_TRUE(s.find("restoreFromBackupButton"));
    s.click("backToKeyringButton");
    ASSERT_TRUE(waitFor([&] { return s.find("keyringLockedView"); }));
    EXPECT_TRUE(s.state.isKeyringAbsent());

    s.click("restoreIntoFilesButton");
    s.click("importWalletButton");
    QGuiApplication::clipboard()->setText(QStringLiteral("abandon ").repeated(11) + "about");
    s.click("importWordField0");
    QTest::keyClick(s.window, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(s.text("importWordField11"), "about");
    EXPECT_EQ(s.text("passwordPairHint"), "");
    s.type("passwordField", "short");
    EXPECT_EQ(s.text("passwordPairHint"), "Password must be at least 8 characters.");
    s.type("passwordField", password);
    EXPECT_EQ(s.text("passwordPairHint"), "Passwords do not match.");
    s.expectAllRead("the import with its hint");
    EXPECT_FALSE(qobject_cast<QQuickItem*>(s.find("importButton"))->isEnabled());
    s.type("confirmPasswordField", password);
    EXPECT_EQ(s.text("passwordPairHint"), "");
    s.click("importButton");
    ASSERT_TRUE(waitFor([&] { return !s.state.isOnboarding() && !s.state.isLocked(); }));
    s.state.stopBackgroundTasks();
    const std::filesystem::path folder = s.env.dataLocation() / "Quillmark";
    const std::string inFiles = s.state.wallet()->id;
    EXPECT_NE(inFiles, inKeyring);
    EXPECT_TRUE(std::filesystem::exists(folder / ("seed-" + inFiles)));
    EXPECT_EQ(WalletNoteFile(folder / KeychainManager::keyringMarkerFile).read(),
              (WalletNote{inFiles, ItemPlace::files}));
    EXPECT_TRUE(s.env.storedItems().load("com.quillmark.wallet", "seed-" + inKeyring));
}

} // namespace
} // namespace qm

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QTemporaryDir config; // the theme lives in the user defaults: not the user's own
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName("QuillmarkTests");
    QApplication::setApplicationName("QuillmarkTests");
    qm::BRFont::loadBundledFonts();
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    qm::configureWindowRendering(); // drawn as the program draws it
    qm::test::readLikeAScreenReader();
    return RUN_ALL_TESTS();
}
