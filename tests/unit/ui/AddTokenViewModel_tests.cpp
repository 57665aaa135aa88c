// The add-token sheet's model against anvil: real token contracts answer the lookups through a
// loopback relay that can hold a reply back, so a slow earlier lookup can be made to finish
// after a later one; the token file is read back as the next launch would.

#include "AnvilNode.h"
#include "RefreshFixture.h"
#include "TestContracts.h"
#include "core/storage/TokenStore.h"
#include "state/AppState.h"
#include "ui/portfolio/AddTokenViewModel.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>

namespace qm {
namespace {

using test::AnvilNode;
using test::RefreshFixture;

// An HTTP relay on 127.0.0.1 in front of a JSON-RPC node: each POST is forwarded, and its answer
// goes back at once, or, while `holdText` is set and occurs in the request, only at release().
class HoldingRelay : public QObject {
public:
    explicit HoldingRelay(QUrl target) : m_target(std::move(target)) {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    QUrl url() const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(m_server.serverPort()));
    }
    void hold(QByteArray text) { m_holdText = std::move(text); }
    int held() const { return static_cast<int>(m_held.size()); }
    int requests() const { return m_requests; }
    // Sends every held answer and stops holding.
    void release() {
        m_holdText.clear();
        for (const auto& [socket, answer] : m_held) {
            if (socket) {
                respond(socket, answer);
            }
        }
        m_held.clear();
    }

private:
    void read(QTcpSocket* socket) {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0) {
            return;
        }
        qsizetype length = 0;
        for (const QByteArray& line : buffer.left(end).split('\n')) {
            if (line.trimmed().toLower().startsWith("content-length:")) {
                length = line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
            }
        }
        if (buffer.size() < end + 4 + length) {
            return;
        }
        const QByteArray body = buffer.mid(end + 4, length);
        m_buffers.erase(socket);
        ++m_requests;
        QNetworkRequest request(m_target);
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        QNetworkReply* reply = m_network.post(request, body);
        const bool holdIt = !m_holdText.isEmpty() && body.contains(m_holdText);
        QPointer<QTcpSocket> target(socket);
        connect(reply, &QNetworkReply::finished, this, [this, reply, target, holdIt] {
            const QByteArray answer = reply->readAll();
            reply->deleteLater();
            if (holdIt) {
                m_held.emplace_back(target, answer);
            } else if (target) {
                respond(target, answer);
            }
        });
    }
    static void respond(QTcpSocket* socket, const QByteArray& body) {
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                      QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    QUrl m_target;
    QTcpServer m_server;
    QNetworkAccessManager m_network;
    QByteArray m_holdText;
    int m_requests = 0;
    std::map<QTcpSocket*, QByteArray> m_buffers;
    std::vector<std::pair<QPointer<QTcpSocket>, QByteArray>> m_held;
};

const std::string standard = "0x00000000000000000000000000000000000a0001";
const std::string bytes32 = "0x00000000000000000000000000000000000a0002";
const std::string revertingName = "0x00000000000000000000000000000000000a0003";
const std::string plainAccount = "0x00000000000000000000000000000000000a0004";

class AddTokenTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!AnvilNode::isAvailable()) {
            GTEST_SKIP() << "anvil is not available";
        }
        m_anvil = std::make_unique<AnvilNode>(42161);
        const auto& contracts = test::TestContracts::shared();
        m_anvil->setCode(standard, contracts.deployedBytecode("StandardToken"));
        m_anvil->setCode(bytes32, contracts.deployedBytecode("Bytes32Token"));
        m_anvil->setCode(revertingName, contracts.deployedBytecode("RevertingNameToken"));
        m_relay = std::make_unique<HoldingRelay>(m_anvil->url());
        RefreshFixture::Setup setup;
        setup.arbitrum = m_relay->url();
        m_env = std::make_unique<RefreshFixture>(setup);
        // Adding a token starts a refresh: tested on its own elsewhere.
        m_env->refresh().setSuspendedForTesting(true);
        m_model = std::make_unique<AddTokenViewModel>(&m_env->state(), nullptr);
        m_model->setChain(static_cast<int>(Chain::arbitrum));
    }

    AddTokenViewModel& model() { return *m_model; }
    TokenStore& store() { return m_env->tokens(); }
    // Types `text` and waits for its lookup to end.
    void lookUp(const std::string& text) {
        model().setContractAddress(QString::fromStdString(text));
        ASSERT_TRUE(model().isResolving());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !model().isResolving(); }, 15'000));
    }
    // The tokens of Arbitrum in the file, as the next launch reads them.
    std::vector<Token> storedTokens() {
        TokenStore reread(store().fileURL());
        reread.load();
        return reread.tokens(Chain::arbitrum);
    }

    std::unique_ptr<AnvilNode> m_anvil;
    std::unique_ptr<HoldingRelay> m_relay;
    std::unique_ptr<RefreshFixture> m_env;
    std::unique_ptr<AddTokenViewModel> m_model;
};

TEST_F(AddTokenTest, TokensOfEveryKindAndTheFileReadBack) {
    EXPECT_EQ(model().chainLabel(), "on Arbitrum");
    EXPECT_EQ(model().addButtonText(), "Add Token");
    EXPECT_FALSE(model().canAdd());

    // A pasted address with white space around it is looked up, and stored, trimmed.
    lookUp("  " + standard + "\n");
    EXPECT_EQ(model().errorMessage(), "");
    EXPECT_EQ(model().resolvedName(), "Test Token");
    EXPECT_EQ(model().resolvedSymbol(), "TST");
    EXPECT_EQ(model().resolvedDecimals(), "6");
    EXPECT_EQ(model().addButtonText(), "Add TST");
    EXPECT_TRUE(model().canAdd());
    QSignalSpy added(&model(), &AddTokenViewModel::added);
    model().addToken();
    EXPECT_EQ(added.count(), 1);
    const std::vector<Token> expected{{standard, "TST", "Test Token", 6, Chain::arbitrum}};
    EXPECT_EQ(store().tokens(Chain::arbitrum), expected);
    EXPECT_EQ(storedTokens(), expected);

    // The same contract in other letters: the sheet closes, nothing is added twice.
    AddTokenViewModel again(&m_env->state(), nullptr);
    again.setChain(static_cast<int>(Chain::arbitrum));
    std::string upper = standard;
    upper[37] = 'A';
    again.setContractAddress(QString::fromStdString(upper));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !again.isResolving(); }, 15'000));
    QSignalSpy closed(&again, &AddTokenViewModel::added);
    again.addToken();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(storedTokens(), expected);

    // The older form: name and symbol as bytes32.
    lookUp(bytes32);
    EXPECT_EQ(model().resolvedName(), "Maker");
    EXPECT_EQ(model().resolvedSymbol(), "MKR");
    EXPECT_EQ(model().resolvedDecimals(), "18");

    // A reverting name(): the node's error, and nothing to add.
    lookUp(revertingName);
    EXPECT_FALSE(model().hasResolvedToken());
    EXPECT_FALSE(model().canAdd());
    EXPECT_EQ(model().errorMessage(),
              "JSONRPCClient: JSON-RPC error 3: execution reverted: no name");
    EXPECT_EQ(model().addButtonText(), "Add Token");

    // An account without code answers nothing readable.
    lookUp(plainAccount);
    EXPECT_EQ(model().errorMessage(), "Cannot read token name");
    model().addToken(); // nothing to add: nothing happens
    EXPECT_EQ(storedTokens(), expected);

    // Editing away from the address shape clears the message; "0X" and other lengths ask
    // nothing.
    const int before = m_relay->requests();
    model().setContractAddress(QString::fromStdString(plainAccount.substr(0, 41)));
    EXPECT_EQ(model().errorMessage(), "");
    EXPECT_FALSE(model().isResolving());
    model().setContractAddress(QString::fromStdString("0X" + standard.substr(2)));
    EXPECT_FALSE(model().isResolving());
    model().setContractAddress(QString::fromStdString(standard + "0"));
    EXPECT_FALSE(model().isResolving());
    QTest::qWait(100);
    EXPECT_EQ(m_relay->requests(), before);
}

TEST_F(AddTokenTest, ALateAnswerNeverFillsInAnotherAddress) {
    // The standard token's lookup is slow; the user moves on to the bytes32 token.
    m_relay->hold(QByteArray::fromStdString(standard.substr(2)));
    model().setContractAddress(QString::fromStdString(standard));
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_relay->held() == 3; }, 15'000));
    lookUp(bytes32);
    ASSERT_EQ(model().resolvedSymbol(), "MKR");
    m_relay->release();
    QTest::qWait(300);
    EXPECT_EQ(model().resolvedSymbol(), "MKR");
    EXPECT_EQ(model().addButtonText(), "Add MKR");
    EXPECT_FALSE(model().isResolving());

    // Slow again, and the text loses the address shape meanwhile: no progress, no preview,
    // and nothing to add when the answer comes.
    m_relay->hold(QByteArray::fromStdString(standard.substr(2)));
    model().setContractAddress(QString::fromStdString(standard));
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_relay->held() == 3; }, 15'000));
    EXPECT_TRUE(model().isResolving());
    model().setContractAddress(QString::fromStdString(standard.substr(0, 41)));
    EXPECT_FALSE(model().isResolving());
    m_relay->release();
    QTest::qWait(300);
    EXPECT_FALSE(model().hasResolvedToken());
    EXPECT_FALSE(model().canAdd());
    EXPECT_EQ(model().errorMessage(), "");
}

TEST_F(AddTokenTest, ClosingTheSheetMidLookup) {
    m_relay->hold(QByteArray::fromStdString(standard.substr(2)));
    model().setContractAddress(QString::fromStdString(standard));
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_relay->held() == 3; }, 15'000));
    m_model.reset(); // the sheet closes: its model goes while the lookup waits
    m_relay->release();
    QTest::qWait(300);
    RefreshFixture::settle();
    // The address sanitizer reports any late write to the destroyed model.
    EXPECT_TRUE(store().tokens(Chain::arbitrum).empty());
}

TEST_F(AddTokenTest, ATokenFileThatCannotBeWrittenKeepsTheSheetOpen) {
    lookUp(standard);
    ASSERT_TRUE(model().canAdd());
    // The data folder becomes a plain file: no write can succeed under it.
    const std::filesystem::path folder = store().fileURL().parent_path();
    std::filesystem::remove_all(folder);
    std::ofstream(folder) << "in the way";
    QSignalSpy added(&model(), &AddTokenViewModel::added);
    model().addToken();
    EXPECT_EQ(added.count(), 0);
    EXPECT_FALSE(model().errorMessage().isEmpty());
    EXPECT_EQ(model().errorMessage().toStdString(), store().lastSaveError());
    // Not kept in memory either: the wallet shows what the next launch will read.
    EXPECT_TRUE(store().tokens(Chain::arbitrum).empty());
    EXPECT_TRUE(model().canAdd());

    // Once the folder is back, "Add" again stores it.
    std::filesystem::remove(folder);
    std::filesystem::create_directories(folder);
    model().addToken();
    EXPECT_EQ(added.count(), 1);
    EXPECT_EQ(storedTokens().size(), 1u);
}

} // namespace
} // namespace qm
