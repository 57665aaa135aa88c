// Qt Quick Test of the WalletConnect sheets over a real application state whose WalletConnect
// service talks to the loopback relay, with a dApp made by hand (HandMadeDapp); the tests in
// walletconnect/ drive the sheets and ask `fixture` what the dApp received.

#include "AnvilNode.h"
#include "AppStateFixture.h"
#include "HandMadeDapp.h"
#include "HttpFixture.h"
#include "QuickTestSetup.h"
#include "RelayFixture.h"
#include "RunTask.h"
#include "services/walletconnect/WCSessionMessages.h"
#include "state/AppState.h"
#include "state/walletconnect/WalletConnectService.h"
#include "ui/walletconnect/DAppIcon.h"

#include <QBuffer>
#include <QDateTime>
#include <QImage>
#include <QPainter>
#include <QtQuickTest>
#include <filesystem>
#include <memory>

namespace {

using nlohmann::json;

// A small round logo, as a dApp's icon.
QByteArray iconPNG() {
    QImage image(64, 64, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(255, 0, 122));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(4, 4, 56, 56);
    painter.setBrush(Qt::white);
    painter.drawEllipse(22, 22, 20, 20);
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

class Fixture : public qm::test::QuickFixture {
    Q_OBJECT

public:
    Fixture(qm::test::AppStateFixture& env, qm::test::RelayFixture& relay,
            qm::test::HttpFixture& web, std::filesystem::path sessionsFile)
        : m_env(env), m_relay(relay), m_web(web), m_sessionsFile(std::move(sessionsFile)) {
        m_web.setHandler([](const qm::test::HttpFixtureRequest& request) {
            qm::test::HttpFixtureResponse response;
            if (request.target == "/icon.png") {
                response.contentType = "image/png";
                response.body = iconPNG();
            } else if (request.target == "/big.png") {
                // A real image, padded past the size limit.
                response.contentType = "image/png";
                response.body = iconPNG() + QByteArray(600 * 1024, '\0');
            } else if (request.target == "/stall.png") {
                response = qm::test::HttpFixtureResponse::stalling();
            } else if (request.target == "/page.html") {
                response.contentType = "text/html";
                response.body = "<html><body>not an image</body></html>";
            } else if (request.target == "/icon.svg") {
                response.contentType = "image/svg+xml";
                response.body = R"(<svg xmlns="http://www.w3.org/2000/svg" width="8" height="8">)"
                                R"(<rect width="8" height="8"/></svg>)";
            } else {
                response.status = 404;
            }
            return response;
        });
        newDapp(QStringLiteral("Uniswap Interface"), true);
    }

    qm::WalletConnectService& service() { return m_env.walletConnectService(); }

    Q_INVOKABLE void setup() { qm::test::runTask(service().setup()); }
    Q_INVOKABLE bool relayConnected() { return service().isRelayConnected(); }
    Q_INVOKABLE QString pairingURI() const { return QString::fromStdString(m_dapp->pairingURI()); }
    // The same pairing, offered until a minute ago.
    Q_INVOKABLE QString expiredPairingURI() const {
        return pairingURI() + QStringLiteral("&expiryTimestamp=") +
               QString::number(QDateTime::currentSecsSinceEpoch() - 60);
    }
    // A fresh dApp: another pairing.
    Q_INVOKABLE void newDapp(const QString& name, bool withIcon) {
        m_dapp = std::make_unique<qm::test::HandMadeDapp>(m_relay);
        m_dapp->name = name.toStdString();
        m_dapp->icons = {withIcon ? m_web.url("/icon.png").toString().toStdString()
                                  : std::string("not a url")};
    }
    Q_INVOKABLE void propose(int id) { m_dapp->propose(id); }
    Q_INVOKABLE void readAnswer() { m_dapp->readAnswer(); }
    Q_INVOKABLE void request(int id, const QString& method, const QString& paramsJSON,
                             const QString& chain) {
        m_dapp->request(id, method.toStdString(), json::parse(paramsJSON.toStdString()),
                        chain.toStdString());
    }
    Q_INVOKABLE int answerCount() const { return static_cast<int>(m_dapp->answers().size()); }
    Q_INVOKABLE QString answer(int index) const {
        return QString::fromStdString(m_dapp->answers().at(static_cast<std::size_t>(index)).dump());
    }
    Q_INVOKABLE int proposalAnswerCount() const {
        return static_cast<int>(
            m_dapp->published(m_dapp->pairingTopic, qm::kWCTagProposalAnswer, m_dapp->pairingKey)
                .size());
    }
    Q_INVOKABLE QString proposalAnswer(int index) const {
        return QString::fromStdString(
            m_dapp->published(m_dapp->pairingTopic, qm::kWCTagProposalAnswer, m_dapp->pairingKey)
                .at(static_cast<std::size_t>(index))
                .dump());
    }
    Q_INVOKABLE int sessionCount() { return static_cast<int>(service().sessions().size()); }
    // The max network fee and total of the transaction prepared for request `id` ("" until).
    Q_INVOKABLE QString preparedMaxFee(int id) { return prepared(id, false); }
    Q_INVOKABLE QString preparedTotal(int id) { return prepared(id, true); }
    // Ethereum's node takes requests and never answers them.
    Q_INVOKABLE void stallEthereum() {
        m_env.rpc().setHandler([](const qm::test::HttpFixtureRequest&) {
            return qm::test::HttpFixtureResponse::stalling();
        });
    }
    Q_INVOKABLE void deleteWallet() { qm::test::runTask(m_env.state().resetWallet()); }
    // The relay goes, as a crash or a lost network takes it.
    Q_INVOKABLE void killRelay() { m_relay.kill(); }
    // The last dApp heard from the wallet that its session ended.
    Q_INVOKABLE bool dappToldOfTheEnd() const {
        return m_dapp->waitForPublished(m_dapp->sessionTopic, qm::kWCTagDeletion,
                                        m_dapp->sessionKey, 1);
    }
    Q_INVOKABLE bool sessionsFileExists() const { return std::filesystem::exists(m_sessionsFile); }
    Q_INVOKABLE QString iconURL(const QString& path) const { return m_web.url(path).toString(); }
    Q_INVOKABLE void setIconLimits(int maxBytes, int timeoutMs) {
        qm::DAppIcon::Limits limits;
        limits.allowLoopbackHTTP = true;
        limits.maxBytes = maxBytes;
        limits.timeout = std::chrono::milliseconds(timeoutMs);
        qm::DAppIcon::setLimitsForTesting(limits);
    }
    Q_INVOKABLE int webRequests() const { return static_cast<int>(m_web.requests().size()); }
    Q_INVOKABLE int iconRequests() const {
        return static_cast<int>(std::count_if(
            m_web.requests().begin(), m_web.requests().end(),
            [](const qm::test::HttpFixtureRequest& r) { return r.target == "/icon.png"; }));
    }

private:
    QString prepared(int id, bool total) {
        const qm::WCTransactionReview* review =
            service().transactionReview(m_dapp->sessionTopic, id);
        if (!review || !review->prepared) {
            return {};
        }
        return QString::fromStdString(qm::exactCoinText(
            total ? review->prepared->total : review->prepared->maxFee, qm::Chain::polygon));
    }

    qm::test::AppStateFixture& m_env;
    qm::test::RelayFixture& m_relay;
    qm::test::HttpFixture& m_web;
    std::filesystem::path m_sessionsFile;
    std::unique_ptr<qm::test::HandMadeDapp> m_dapp;
};

class Setup : public qm::test::QuickTestSetup {
    Q_OBJECT

public slots:
    void applicationAvailable() {
        prepareApplication(QLocale(QStringLiteral("en_US")));
        if (!qm::test::RelayFixture::isAvailable() || !qm::test::AnvilNode::isAvailable()) {
            qFatal("node, anvil and tests/peers are not installed (scripts/install-deps)");
        }
        m_relay = std::make_unique<qm::test::RelayFixture>();
        // Polygon's node, which prepares the transactions that dApps ask for.
        m_polygon = std::make_unique<qm::test::AnvilNode>(137);
        m_polygon->setBalance("0x9858EfFD232B4033E47d90003D41EC34EcaEda94",
                              "0x56bc75e2d63100000"); // 100 POL
        m_web = std::make_unique<qm::test::HttpFixture>();
        qm::DAppIcon::Limits limits;
        limits.allowLoopbackHTTP = true; // the icon server of the test is plain http
        qm::DAppIcon::setLimitsForTesting(limits);
        qm::WalletConnectService::Options options;
        options.manager.endpoint = qm::WCRelayEndpoint{m_relay->url(), "quillmark-tests"};
        options.manager.sessionsFile =
            std::filesystem::path(configPath().toStdString()) / "wc_sessions_v2.json";
        options.endingWait = std::chrono::milliseconds(2'000);
        m_env = std::make_unique<qm::test::AppStateFixture>(
            options, std::array<std::optional<QUrl>, 4>{std::nullopt, std::nullopt,
                                                        m_polygon->url(), std::nullopt});
        m_env->state().loadStoredState();
        qm::test::runTask(m_env->state().createWallet(qm::test::AppStateFixture::abandonPhrase(),
                                                      "correct horse"));
        m_env->state().stopBackgroundTasks();
        m_fixture =
            std::make_unique<Fixture>(*m_env, *m_relay, *m_web, options.manager.sessionsFile);
        show(m_fixture.get(), m_env->state());
    }

private:
    std::unique_ptr<qm::test::RelayFixture> m_relay;
    std::unique_ptr<qm::test::AnvilNode> m_polygon;
    std::unique_ptr<qm::test::HttpFixture> m_web;
    std::unique_ptr<qm::test::AppStateFixture> m_env;
    std::unique_ptr<Fixture> m_fixture;
};

} // namespace

QUICK_TEST_MAIN_WITH_SETUP(walletconnect, Setup)

#include "WalletConnectQuickTest.moc"
