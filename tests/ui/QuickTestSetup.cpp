#include "QuickTestSetup.h"

#include "ui/shell/WalletShell.h"
#include "ui/theme/BRFont.h"
#include "ui/theme/WindowRendering.h"

#include <QDir>
#include <QQmlContext>
#include <QQmlEngine>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(Quillmark_UiPlugin)

namespace qm::test {

QString QuickFixture::screenshotPath(const QString& name) const {
    const QString folder = qEnvironmentVariable("QM_BUILD_DIR") + "/tests/ui/screenshots";
    QDir().mkpath(folder);
    return folder + '/' + name;
}

QuickTestSetup::QuickTestSetup() {
    qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
}

QuickTestSetup::~QuickTestSetup() = default;

void QuickTestSetup::prepareApplication(const QLocale& locale) {
    QLocale::setDefault(locale);
    BRFont::loadBundledFonts();
    configureWindowRendering();
}

void QuickTestSetup::show(QObject* fixture, AppState& state) {
    m_fixture = fixture;
    WalletShell::install(&state);
}

void QuickTestSetup::qmlEngineAvailable(QQmlEngine* engine) {
    engine->addImportPath(QStringLiteral("qrc:/"));
    engine->rootContext()->setContextProperty(QStringLiteral("fixture"), m_fixture);
}

void QuickTestSetup::cleanupTestCase() {
    WalletShell::install(nullptr);
}

} // namespace qm::test
