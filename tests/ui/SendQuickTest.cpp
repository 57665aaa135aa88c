// Qt Quick Test of the receive and send sheets over a real application state on loopback
// fixtures; the tests in send/ fill the state through `fixture`, read QR codes back with
// zbarimg and send on Bitcoin through the loopback Electrum server.

#include "AppStateFixture.h"
#include "RunTask.h"
#include "state/flows/FlowService.h"
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

constexpr const char* walletPassword = "correct horse 1";

class Fixture : public QObject {
    Q_OBJECT

public:
    explicit Fixture(qm::test::AppStateFixture& env) : m_env(env) {}

    qm::AppState& state() { return m_env.state(); }

    Q_INVOKABLE QString password() const { return QString::fromLatin1(walletPassword); }
    Q_INVOKABLE void createWallet() {
        if (state().wallet()) {
            return;
        }
        state().loadStoredState();
        qm::test::runTask(
            state().createWallet(qm::test::AppStateFixture::abandonPhrase(), walletPassword));
        state().stopBackgroundTasks();
    }
    // One coin of `sats` at the first Bitcoin address; broadcasts are counted and answered
    // with a transaction id.
    Q_INVOKABLE void fundBitcoin(int sats) {
        std::vector<qm::BTCAccountState> accounts = state().bitcoinAccounts();
        for (qm::BTCAddressInfo& address : accounts.at(0).addresses) {
            address.fetched = true;
        }
        const std::string scriptHash = accounts.at(0).addresses.at(0).scriptHash;
        state().setBitcoinAccounts(std::move(accounts));
        const nlohmann::json coin{
            {"tx_hash", std::string(64, 'a')}, {"tx_pos", 0}, {"height", 800'000}, {"value", sats}};
        auto line = [](const nlohmann::json& id, nlohmann::json result) {
            return std::optional<std::string>(
                nlohmann::json{{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}}
                    .dump() +
                "\n");
        };
        m_env.electrum().answerRaw(
            "blockchain.scripthash.listunspent", [scriptHash, coin, line](const nlohmann::json& r) {
                const bool ours = r.at("params").at(0).get<std::string>() == scriptHash;
                return line(r.at("id"),
                            ours ? nlohmann::json::array({coin}) : nlohmann::json::array());
            });
        m_env.electrum().answerRaw("blockchain.transaction.broadcast",
                                   [this, line](const nlohmann::json& r) {
                                       ++m_broadcasts;
                                       return line(r.at("id"), std::string(64, 'b'));
                                   });
    }
    Q_INVOKABLE int bitcoinBroadcasts() const { return m_broadcasts; }
    // Bitcoin estimates of 50, 20 and 5 sat/vB for 1, 3 and 6 blocks, and a balance.
    Q_INVOKABLE void setBitcoinFees() {
        m_env.electrum().answerRaw("blockchain.estimatefee", [](const nlohmann::json& request) {
            const int blocks = request.at("params").at(0).get<int>();
            const double btcPerKB = blocks <= 1 ? 0.0005 : blocks <= 3 ? 0.0002 : 0.00005;
            return std::optional<std::string>(
                nlohmann::json{{"jsonrpc", "2.0"}, {"id", request.at("id")}, {"result", btcPerKB}}
                    .dump() +
                "\n");
        });
        state().updateBitcoinAccount(0, "btc-0",
                                     [](qm::BTCAccountState& a) { a.balanceSats = 150'000; });
    }

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
    int m_broadcasts = 0;
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
        // Steps paced at a fifth of the program's; a receipt waited for at most 2 s.
        qm::FlowLimits limits;
        limits.pollInterval = std::chrono::milliseconds(20);
        limits.confirmationTimeout = std::chrono::seconds(2);
        limits.pace = 0.2;
        m_flows = std::make_unique<qm::FlowService>(limits);
        qm::FlowService::install(m_flows.get());
    }
    void qmlEngineAvailable(QQmlEngine* engine) {
        engine->addImportPath(QStringLiteral("qrc:/"));
        engine->rootContext()->setContextProperty(QStringLiteral("fixture"), m_fixture.get());
    }
    void cleanupTestCase() {
        qm::FlowService::install(nullptr);
        qm::WalletShell::install(nullptr);
    }

private:
    QTemporaryDir m_config;
    std::unique_ptr<qm::FlowService> m_flows;
    std::unique_ptr<qm::test::AppStateFixture> m_env;
    std::unique_ptr<Fixture> m_fixture;
};

} // namespace

QUICK_TEST_MAIN_WITH_SETUP(send, Setup)

#include "SendQuickTest.moc"
