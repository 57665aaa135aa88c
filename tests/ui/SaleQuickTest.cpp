// Qt Quick Test of the NOVR sale sheet and its confirmation over a created wallet whose Arbitrum
// endpoint is anvil with the Solidity stand-in of the sale (tests/ui/sale); the tests reach the
// chain and the screenshots through `fixture`.

#include "NOVRSaleWallet.h"
#include "services/sale/NOVRSaleContract.h"
#include "state/AppState.h"
#include "state/flows/FlowService.h"
#include "ui/shell/WalletShell.h"
#include "ui/theme/BRFont.h"

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

class Fixture : public QObject {
    Q_OBJECT

public:
    Fixture() {
        qm::FlowLimits limits;
        limits.pace = 0.2;
        limits.pollInterval = std::chrono::milliseconds(50);
        m_flows = std::make_unique<qm::FlowService>(limits);
        qm::FlowService::install(m_flows.get());
    }
    ~Fixture() override { qm::FlowService::install(nullptr); }

    qm::AppState& state() { return m_sale.state(); }

    // NOVR held by the wallet: base units in decimal digits.
    Q_INVOKABLE QString novrBalance() {
        return QString::fromStdString(
            m_sale.chain().balanceOf(qm::novrTokenAddress, m_sale.address()).decimalString());
    }
    // floorPrice() answering (0), answering 31 bytes (1) or reverting (2).
    Q_INVOKABLE void setFloorMode(int mode) { m_sale.chain().setFloorMode(mode); }
    // Transactions the wallet has sent and that are mined.
    Q_INVOKABLE int sentCount() {
        return static_cast<int>(m_sale.chain().minedNonce(m_sale.address()));
    }
    Q_INVOKABLE QString screenshotPath(const QString& name) const {
        const QString folder = qEnvironmentVariable("QM_BUILD_DIR") + "/tests/ui/screenshots";
        QDir().mkpath(folder);
        return folder + '/' + name;
    }

private:
    qm::test::NOVRSaleWallet m_sale;
    std::unique_ptr<qm::FlowService> m_flows;
};

class Setup : public QObject {
    Q_OBJECT

public:
    Setup() { qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8()); }

public slots:
    void applicationAvailable() {
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
        qm::BRFont::loadBundledFonts();
        m_fixture = std::make_unique<Fixture>();
        qm::WalletShell::install(&m_fixture->state());
    }
    void qmlEngineAvailable(QQmlEngine* engine) {
        engine->addImportPath(QStringLiteral("qrc:/"));
        engine->rootContext()->setContextProperty(QStringLiteral("fixture"), m_fixture.get());
    }
    void cleanupTestCase() {
        qm::WalletShell::install(nullptr);
        m_fixture.reset();
    }

private:
    QTemporaryDir m_config;
    std::unique_ptr<Fixture> m_fixture;
};

} // namespace

QUICK_TEST_MAIN_WITH_SETUP(sale, Setup)

#include "SaleQuickTest.moc"
