// Qt Quick Test of the swap screens over an open wallet's state, through the real QML: the
// token picker.

#include "RefreshFixture.h"
#include "services/swap/SwapToken.h"
#include "state/AppState.h"
#include "ui/shell/WalletShell.h"
#include "ui/swap/SwapTokenVariant.h"
#include "ui/swap/SwapViewModel.h"
#include "ui/theme/BRFont.h"
#include "ui/theme/WindowRendering.h"

#include <QDir>
#include <QLocale>
#include <QQmlContext>
#include <QQmlEngine>
#include <QTemporaryDir>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest>
#include <memory>

Q_IMPORT_QML_PLUGIN(Quillmark_UiPlugin)

namespace {

using namespace qm;

class Fixture : public QObject {
    Q_OBJECT

public:
    explicit Fixture(test::RefreshFixture& env) : m_env(env) {}

    // The tokens offered on `chain` (a raw chain index), as the swap screen hands them over.
    Q_INVOKABLE QVariantList tokens(int chain) const {
        QVariantList list;
        for (const SwapToken& token : SwapViewModel::availableTokens(
                 allChains()[static_cast<std::size_t>(chain)], m_env.state())) {
            list.push_back(swapTokenToVariant(token));
        }
        return list;
    }
    Q_INVOKABLE QString screenshotPath(const QString& name) const {
        const QString folder = qEnvironmentVariable("QM_BUILD_DIR") + "/tests/ui/screenshots";
        QDir().mkpath(folder);
        return folder + '/' + name;
    }

private:
    test::RefreshFixture& m_env;
};

class Setup : public QObject {
    Q_OBJECT

public:
    Setup() { qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8()); }

public slots:
    void applicationAvailable() {
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
        BRFont::loadBundledFonts();
        configureWindowRendering();
        m_env = std::make_unique<test::RefreshFixture>();
        m_env->refresh().setSuspendedForTesting(true);
        m_fixture = std::make_unique<Fixture>(*m_env);
        WalletShell::install(&m_env->state());
    }
    void qmlEngineAvailable(QQmlEngine* engine) {
        engine->addImportPath(QStringLiteral("qrc:/"));
        engine->rootContext()->setContextProperty(QStringLiteral("fixture"), m_fixture.get());
    }
    void cleanupTestCase() { WalletShell::install(nullptr); }

private:
    QTemporaryDir m_config;
    std::unique_ptr<test::RefreshFixture> m_env;
    std::unique_ptr<Fixture> m_fixture;
};

} // namespace

QUICK_TEST_MAIN_WITH_SETUP(swap, Setup)

#include "SwapQuickTest.moc"
