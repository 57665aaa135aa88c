// Qt Quick Test of the receive and send sheets over a real application state on loopback
// fixtures; the tests in send/ fill the state through `fixture` and read QR codes back with
// zbarimg.

#include "AppStateFixture.h"
#include "ui/shell/WalletShell.h"
#include "ui/theme/BRFont.h"
#include "ui/theme/WindowRendering.h"

#include <QDir>
#include <QLocale>
#include <QProcess>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest>
#include <memory>

Q_IMPORT_QML_PLUGIN(Quillmark_UiPlugin)

namespace {

class Fixture : public QObject {
    Q_OBJECT

public:
    explicit Fixture(qm::test::AppStateFixture& env) : m_env(env) {}

    qm::AppState& state() { return m_env.state(); }

    Q_INVOKABLE bool canDecodeQR() const {
        return !QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty();
    }
    // What zbarimg reads in the image at `path`; empty when it reads nothing.
    Q_INVOKABLE QString decodeQR(const QString& path) const {
        QProcess zbar;
        zbar.start(QStringLiteral("zbarimg"),
                   {QStringLiteral("--raw"), QStringLiteral("-q"), path});
        if (!zbar.waitForFinished(30'000)) {
            return {};
        }
        return QString::fromUtf8(zbar.readAllStandardOutput()).trimmed();
    }
    // What zbarimg reads in `item` as the window draws it.
    Q_INVOKABLE QString decodeQRIn(QQuickItem* item) const {
        if (!item || !item->window()) {
            return {};
        }
        const QRectF area = item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
        const QImage drawn = item->window()->grabWindow().copy(area.toAlignedRect());
        const QString path = m_scratch.filePath(QStringLiteral("code.png"));
        return drawn.save(path) ? decodeQR(path) : QString();
    }
    // Where the screenshots of the screen go: the build's tests/ui/screenshots.
    Q_INVOKABLE QString screenshotPath(const QString& name) const {
        const QString folder = qEnvironmentVariable("QM_BUILD_DIR") + "/tests/ui/screenshots";
        QDir().mkpath(folder);
        return folder + '/' + name;
    }
    Q_INVOKABLE int networkRequests() const { return m_env.networkRequests(); }

private:
    qm::test::AppStateFixture& m_env;
    QTemporaryDir m_scratch;
};

class Setup : public QObject {
    Q_OBJECT

public:
    Setup() { qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8()); }

public slots:
    void applicationAvailable() {
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
        qm::BRFont::loadBundledFonts();
        qm::configureWindowRendering(); // drawn as the program draws it
        m_env = std::make_unique<qm::test::AppStateFixture>();
        m_fixture = std::make_unique<Fixture>(*m_env);
        qm::WalletShell::install(&m_env->state());
    }
    void qmlEngineAvailable(QQmlEngine* engine) {
        engine->addImportPath(QStringLiteral("qrc:/"));
        engine->rootContext()->setContextProperty(QStringLiteral("fixture"), m_fixture.get());
    }
    void cleanupTestCase() { qm::WalletShell::install(nullptr); }

private:
    QTemporaryDir m_config;
    std::unique_ptr<qm::test::AppStateFixture> m_env;
    std::unique_ptr<Fixture> m_fixture;
};

} // namespace

QUICK_TEST_MAIN_WITH_SETUP(send, Setup)

#include "SendQuickTest.moc"
