#include "AnvilNode.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>
#include <array>
#include <stdexcept>

namespace qm::test {
namespace {

// anvil's default accounts, from its well-known test mnemonic.
constexpr std::array<const char*, 10> devAccounts = {
    "0xf39Fd6e51aad88F6F4ce6aB8827279cffFb92266", "0x70997970C51812dc3A010C7d01b50e0d17dc79C8",
    "0x3C44CdDdB6a900fa2b585dd299e03d12FA4293BC", "0x90F79bf6EB2c4f870365E785982E1f101E93b906",
    "0x15d34AAf54267DB7D7c367839AAf71A00a2C6A65", "0x9965507D1a55bcC2695C58ba16FB37d819B0A4dc",
    "0x976EA74026E726554dB657fA54763abd0C3a0aa9", "0x14dC79964da2C08b23698B3D3cc7Ca32193d9955",
    "0x23618e81E3f5cdF7f54C3d65f7FBc0aBf5B21E8f", "0xa0Ee7A142d267C1f36714E4a8F75612F20a79720",
};
constexpr std::array<const char*, 10> devPrivateKeys = {
    "0xac0974bec39a17e36ba4a6b4d238ff944bacb478cbed5efcae784d7bf4f2ff80",
    "0x59c6995e998f97a5a0044966f0945389dc9e86dae88c7a8412f4603b6b78690d",
    "0x5de4111afa1a4b94908f83103eb1f1706367c2e68ca870fc3fb9a804cdab365a",
    "0x7c852118294e51e653712a81e05800f419141751be58f605c371e15141b007a6",
    "0x47e179ec197488593b187f80a00eb0da91f1b9d0b13f8733639f19c30a34926a",
    "0x8b3a350cf5c34c9194ca85829a2df0ec3153be0318b5e2d3348e872092edffba",
    "0x92db14e403b83dfe3df233f83dfa3a0d7096f21ca9b0d6d6b8d88b2b4ec1564e",
    "0x4bbbf85ce3377467afe5d46f804f221813b2bb87f24d81f60f1fcdbf7cbf4356",
    "0xdbda1821b80551c9d65939329250298aa3472ba22feea921c0cf5d620ea67b97",
    "0x2a871d0798f97d79848a013d4936a73bf4cc922c825d33c1cf7073dff6d409c6",
};

// Generous: a loaded CI machine may take a while to start the node.
constexpr int startupLimitMs = 60'000;
constexpr int requestLimitMs = 120'000;

std::string quantity(std::uint64_t value) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "0x%llx", static_cast<unsigned long long>(value));
    return buffer;
}

} // namespace

QString AnvilNode::binaryPath() {
    return QStringLiteral(QM_SOURCE_DIR) +
           "/tests/peers/node_modules/@foundry-rs/anvil-linux-amd64/bin/anvil";
}

bool AnvilNode::isAvailable() {
    return QFileInfo(binaryPath()).isExecutable();
}

std::string AnvilNode::devAccount(int index) {
    return devAccounts.at(static_cast<std::size_t>(index));
}

std::string AnvilNode::devPrivateKey(int index) {
    return devPrivateKeys.at(static_cast<std::size_t>(index));
}

AnvilNode::AnvilNode(std::uint64_t chainID, const QStringList& extraArguments)
    : m_chainID(chainID) {
    m_process.setProgram(binaryPath());
    m_process.setArguments(
        QStringList{"--host", "127.0.0.1", "--port", "0", "--chain-id", QString::number(chainID)} +
        extraArguments);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start();
    if (!m_process.waitForStarted(startupLimitMs)) {
        throw std::runtime_error("AnvilNode: cannot start " + binaryPath().toStdString());
    }
    // anvil prints "Listening on 127.0.0.1:<port>" once it accepts requests.
    const QRegularExpression listening(R"(Listening on 127\.0\.0\.1:(\d+))");
    QByteArray output;
    while (m_port == 0) {
        if (!m_process.waitForReadyRead(startupLimitMs)) {
            m_process.kill();
            m_process.waitForFinished();
            throw std::runtime_error("AnvilNode: anvil did not start: " + output.toStdString());
        }
        output += m_process.readAll();
        const auto match = listening.match(QString::fromUtf8(output));
        if (match.hasMatch()) {
            m_port = static_cast<quint16>(match.captured(1).toUInt());
        }
    }
    // Its further output is not needed; keep the pipe from filling up.
    QObject::connect(&m_process, &QProcess::readyRead, &m_process, [this] { m_process.readAll(); });
}

AnvilNode::~AnvilNode() {
    m_process.disconnect();
    m_process.kill();
    m_process.waitForFinished(startupLimitMs);
}

QUrl AnvilNode::url() const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_port));
}

nlohmann::json AnvilNode::rpc(const std::string& method, nlohmann::json params) {
    nlohmann::json request = {{"jsonrpc", "2.0"}, {"id", 1}, {"method", method}};
    request["params"] = std::move(params);

    QNetworkAccessManager manager;
    QNetworkRequest httpRequest(url());
    httpRequest.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    httpRequest.setTransferTimeout(requestLimitMs);
    QNetworkReply* reply = manager.post(httpRequest, QByteArray::fromStdString(request.dump()));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished()) {
        loop.exec();
    }
    const QByteArray body = reply->readAll();
    const auto error = reply->error();
    const QString errorText = reply->errorString();
    delete reply;
    if (error != QNetworkReply::NoError) {
        throw std::runtime_error("AnvilNode: " + method + ": " + errorText.toStdString());
    }
    const auto json = nlohmann::json::parse(body.toStdString());
    if (json.contains("error") && !json["error"].is_null()) {
        throw AnvilError(json["error"].value("code", 0), json["error"].value("message", ""));
    }
    return json.value("result", nlohmann::json());
}

void AnvilNode::setCode(const std::string& address, const std::string& code) {
    rpc("anvil_setCode", {address, code});
}

void AnvilNode::setBalance(const std::string& address, const std::string& weiHex) {
    rpc("anvil_setBalance", {address, weiHex});
}

void AnvilNode::mine(std::uint64_t blocks) {
    rpc("anvil_mine", {quantity(blocks)});
}

void AnvilNode::setAutomine(bool enabled) {
    rpc("evm_setAutomine", {enabled});
    m_automine = enabled;
}

std::uint64_t AnvilNode::blockNumber() {
    return std::stoull(rpc("eth_blockNumber").get<std::string>(), nullptr, 16);
}

std::string AnvilNode::send(const std::string& from, const std::string& to, const std::string& data,
                            const std::string& valueHex) {
    nlohmann::json transaction = {{"from", from}, {"to", to}, {"data", data}, {"value", valueHex}};
    std::string hash =
        rpc("eth_sendTransaction", nlohmann::json::array({transaction})).get<std::string>();
    // anvil can answer before the block is sealed; callers count blocks right after this.
    if (m_automine) {
        minedReceipt(hash);
    }
    return hash;
}

nlohmann::json AnvilNode::receipt(const std::string& transactionHash) {
    return rpc("eth_getTransactionReceipt", {transactionHash});
}

nlohmann::json AnvilNode::minedReceipt(const std::string& transactionHash, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        nlohmann::json found = receipt(transactionHash);
        if (!found.is_null()) {
            return found;
        }
        if (clock.elapsed() > timeoutMs) {
            throw std::runtime_error("no receipt for " + transactionHash);
        }
        QThread::msleep(20);
    }
}

} // namespace qm::test
