// Screenshot helper of the window tests (driven by screenshots.py under Xvfb):
//   ShellScreens grab OUT.png         saves the whole screen and prints its distinct colours
//   ShellScreens unlocked OUT_DIR     shows the window over an unlocked wallet on loopback
//                                      fixtures and saves it in both themes
// Exit status 0 on success; 2 when the window is blank or QML reported an error.

#include "AppStateFixture.h"
#include "ui/shell/WalletShell.h"
#include "ui/theme/BRFont.h"
#include "ui/theme/BRThemeManager.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QScreen>
#include <QSet>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>
#include <cstdio>

Q_IMPORT_QML_PLUGIN(Quillmark_UiPlugin)

namespace {

int qmlProblems = 0;
QtMessageHandler previousHandler = nullptr;

// Counts every warning QML reports about our files (binding errors, missing types ...).
void countQmlProblems(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtDebugMsg && type != QtInfoMsg && message.contains(QStringLiteral("qrc:/"))) {
        ++qmlProblems;
    }
    previousHandler(type, context, message);
}

int distinctColours(const QImage& image) {
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3) {
        for (int x = 0; x < image.width(); x += 3) {
            colours.insert(image.pixel(x, y));
        }
    }
    return static_cast<int>(colours.size());
}

void spin(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

int grabScreen(const QString& out) {
    const QImage image = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    if (image.isNull() || !image.save(out)) {
        std::fputs("could not grab the screen\n", stderr);
        return 1;
    }
    std::printf("colours %d\n", distinctColours(image));
    return 0;
}

// Saves the window once it has painted and settled; false when it stays blank.
bool saveWindow(QQuickWindow& window, const QString& out) {
    for (int attempt = 0; attempt < 50 && distinctColours(window.grabWindow()) <= 20; ++attempt) {
        spin(100);
    }
    spin(300); // let animations (hover, glows) come to rest
    const QImage image = window.grabWindow();
    image.save(out);
    const int colours = distinctColours(image);
    std::printf("%s colours %d\n", qPrintable(out), colours);
    return colours > 20;
}

int showUnlocked(const QDir& outDir) {
    qm::BRFont::loadBundledFonts();
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    qm::test::AppStateFixture env;
    env.state().loadStoredState();
    env.state().createWallet(qm::test::AppStateFixture::abandonPhrase(), "correct horse");
    qm::test::AppStateFixture::settle();
    qm::WalletShell::install(&env.state());

    bool shown = false;
    {
        QQmlApplicationEngine engine;
        engine.addImportPath(QStringLiteral("qrc:/"));
        engine.load(QUrl(QStringLiteral("qrc:/Quillmark/Ui/shell/QuillmarkWindow.qml")));
        auto* window = engine.rootObjects().isEmpty()
                           ? nullptr
                           : qobject_cast<QQuickWindow*>(engine.rootObjects().first());
        if (!window) {
            return 2;
        }
        window->show();
        // The appear action reloads the stored state, which locks: unlock again, as a user would.
        spin(200);
        env.state().unlock("correct horse");
        qm::BRThemeManager::shared().setCurrent(qm::BRTheme::appleBlue);
        shown = saveWindow(*window, outDir.filePath("unlocked-apple-blue.png"));
        qm::BRThemeManager::shared().setCurrent(qm::BRTheme::dollarGreen);
        shown &= saveWindow(*window, outDir.filePath("unlocked-dollar-green.png"));
        // The about sheet over the main view.
        QObject* about = window->findChild<QObject*>(QStringLiteral("aboutSheet"));
        shown &= about && QMetaObject::invokeMethod(about, "open") &&
                 saveWindow(*window, outDir.filePath("unlocked-about.png"));
        env.state().stopBackgroundTasks();
        env.state().lock();
        qm::test::AppStateFixture::settle();
    }
    qm::WalletShell::install(nullptr);
    std::printf("network requests %d\n", env.networkRequests());
    return qmlProblems > 0 || !shown ? 2 : 0;
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    previousHandler = qInstallMessageHandler(countQmlProblems);
    const QStringList args = application.arguments();
    if (args.size() == 3 && args[1] == QStringLiteral("grab")) {
        return grabScreen(args[2]);
    }
    if (args.size() == 3 && args[1] == QStringLiteral("unlocked")) {
        QDir().mkpath(args[2]);
        return showUnlocked(QDir(args[2]));
    }
    std::fputs("usage: ShellScreens grab OUT.png | unlocked OUT_DIR\n", stderr);
    return 1;
}
