#pragma once
// What every Qt Quick Test of the window's screens does around its own fixture: user defaults
// in a folder of its own, the locale and the bundled fonts, the window drawn as the program
// draws it, and the test's fixture reachable from QML as `fixture` over a state in the shell.

#include <QLocale>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

class QQmlEngine;
class QQuickItem;

namespace qm {
class AppState;
}

namespace qm::test {

// The base of a screen test's fixture: what the QML tests of every screen call on it.
class QuickFixture : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Where the screenshots of the screens go: the build's tests/ui/screenshots.
    Q_INVOKABLE QString screenshotPath(const QString& name) const;
    // What a screen reader is told of `object` (an item, or a popup through its item) through
    // its accessible interface: { name, role, enabled, showing, text (of its text interface),
    // value, actions }; empty when it has none.
    Q_INVOKABLE QVariantMap accessibility(QObject* object) const;
    // The controls (buttons, tabs, fields, switches) shown under `root`, in its window's
    // popups too, that a screen reader would read without a name: their object names, or
    // their class names where they have none.
    Q_INVOKABLE QStringList unnamedControls(QQuickItem* root) const;
    // The texts shown in `item`'s window that a screen reader would not read, then those it
    // would read as showing that are not drawn (TextExposure.h); empty when it reads what is
    // shown and only that.
    Q_INVOKABLE QStringList unexposedTexts(QQuickItem* item) const;
};

// The set-up object of QUICK_TEST_MAIN_WITH_SETUP, derived by each screen test: its slot
// applicationAvailable() calls prepareApplication(), builds its state and fixture, then show().
class QuickTestSetup : public QObject {
    Q_OBJECT

public:
    // Before the application: the user defaults (the theme among them) kept out of the user's.
    QuickTestSetup();
    ~QuickTestSetup() override;

protected:
    // `locale` as the default, the bundled fonts, and the window drawn as the program draws it
    // and taking its keys as the program's does.
    static void prepareApplication(const QLocale& locale);
    // `fixture` becomes QML's `fixture` and `state` the shell's; both outlive the test cases.
    void show(QObject* fixture, AppState& state);
    // The folder that holds the user defaults of this run.
    QString configPath() const { return m_config.path(); }

public slots:
    void qmlEngineAvailable(QQmlEngine* engine);
    // Takes the state out of the shell; a test that installed more undoes it after this.
    virtual void cleanupTestCase();

private:
    QTemporaryDir m_config;
    QObject* m_fixture = nullptr;
};

} // namespace qm::test
