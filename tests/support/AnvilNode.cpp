#include "AnvilNode.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QThread>
#include <array>
#include <cctype>
#include <cstdio>
#include <memory>
#include <stdexcept>

namespace qm::test {
namespace {

// anvil's default accounts, from its well-known test mnemonic.
constexpr std::array<const char*, 3> devAccounts = {"0xf39Fd6e51aad88F6F4ce6aB8827279cffFb92266",
                                                    "0x70997970C51812dc3A010C7d01b50e0d17dc79C8",
                                                    "0x3C44CdDdB6a900fa2b585dd299e03d12FA4293BC"};
// Generous: a loaded CI machine may take a while to start the node.
constexpr int startupLimitMs = 60'000;
constexpr int requestLimitMs = 120'000;

const QString binaryPath = QStringLiteral(QM_SOURCE_DIR) +
                           "/tests/peers/node_modules/@foundry-rs/anvil-linux-amd64/bin/anvil";

} // namespace

bool AnvilNode::isAvailable() {
    return QFileInfo(binaryPath).isExecutable();
}

std::string AnvilNode::devAccount(int index) {
    return devAccounts.at(static_cast<std::size_t>(index));
}

AnvilNode::AnvilNode(std::uint64_t chainID) {
    m_process.setProgram(binaryPath);
    m_process.setArguments(
        {"--host", "127.0.0.1", "--port", "0", "--chain-id", QString::number(chainID)});
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start();
    if (!m_process.waitForStarted(startupLimitMs)) {
        throw std::runtime_error("AnvilNode: cannot start " + binaryPath.toStdString());
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

nlohmann::json AnvilNode::rpc(const std::string& method, const nlohmann::json& params) {
    const nlohmann::json request = {
        {"jsonrpc", "2.0"}, {"id", 1}, {"method", method}, {"params", params}};
    QNetworkAccessManager manager;
    QNetworkRequest httpRequest(url());
    httpRequest.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    httpRequest.setTransferTimeout(requestLimitMs);
    const std::unique_ptr<QNetworkReply> reply(
        manager.post(httpRequest, QByteArray::fromStdString(request.dump())));
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished()) {
        loop.exec();
    }
    const auto json = nlohmann::json::parse(reply->readAll().toStdString(), nullptr, false);
    if (reply->error() != QNetworkReply::NoError || !json.is_object() ||
        !json.value("error", nlohmann::json()).is_null()) {
        throw std::runtime_error("AnvilNode: " + method + ": " +
                                 reply->errorString().toStdString() + " " + json.dump());
    }
    return json.value("result", nlohmann::json());
}

void AnvilNode::setCode(const std::string& address, const std::string& code) {
    rpc("anvil_setCode", {address, code});
}

void AnvilNode::setBalance(const std::string& address, const std::string& weiHex) {
    rpc("anvil_setBalance", {address, weiHex});
}

void AnvilNode::mine() {
    rpc("anvil_mine", {"0x1"});
}

std::vector<nlohmann::json> AnvilNode::minedTransactionsFrom(const std::string& address) {
    const auto lower = [](std::string text) {
        for (char& c : text) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        return text;
    };
    std::vector<nlohmann::json> sent;
    const std::uint64_t latest = std::stoull(
        rpc("eth_blockNumber", nlohmann::json::array()).get<std::string>(), nullptr, 16);
    for (std::uint64_t number = 0; number <= latest; ++number) {
        char tag[24];
        std::snprintf(tag, sizeof tag, "0x%llx", static_cast<unsigned long long>(number));
        const nlohmann::json block =
            rpc("eth_getBlockByNumber", nlohmann::json::array({std::string(tag), true}));
        for (const nlohmann::json& transaction : block.at("transactions")) {
            if (lower(transaction.at("from").get<std::string>()) == lower(address)) {
                sent.push_back(transaction);
            }
        }
    }
    return sent;
}

void AnvilNode::mineWithBaseFee(const std::string& weiHex) {
    rpc("anvil_setNextBlockBaseFeePerGas", nlohmann::json::array({weiHex}));
    mine();
}

void AnvilNode::setAutomine(bool enabled) {
    rpc("evm_setAutomine", nlohmann::json::array({enabled}));
    m_automine = enabled;
}

void AnvilNode::setIntervalMining(int seconds) {
    rpc("evm_setAutomine", nlohmann::json::array({false}));
    rpc("evm_setIntervalMining", nlohmann::json::array({seconds}));
    m_automine = false;
}

std::string AnvilNode::send(const std::string& from, const std::string& to, const std::string& data,
                            const std::string& valueHex) {
    nlohmann::json transaction = {{"from", from}, {"to", to}, {"data", data}, {"value", valueHex}};
    std::string hash =
        rpc("eth_sendTransaction", nlohmann::json::array({transaction})).get<std::string>();
    if (m_automine) {
        minedReceipt(hash);
    }
    return hash;
}

std::string AnvilNode::deploy(const std::string& from, const std::string& creationCode) {
    nlohmann::json transaction = {{"from", from}, {"data", creationCode}, {"gas", "0x1c9c380"}};
    const std::string hash =
        rpc("eth_sendTransaction", nlohmann::json::array({transaction})).get<std::string>();
    const nlohmann::json receipt = minedReceipt(hash);
    if (receipt.at("status") != "0x1" || !receipt.at("contractAddress").is_string()) {
        throw std::runtime_error("AnvilNode: the creation reverted: " + receipt.dump());
    }
    return receipt.at("contractAddress").get<std::string>();
}

void AnvilNode::copyContract(const std::string& source, const std::string& target, int slotCount) {
    setCode(target, rpc("eth_getCode", {source, "latest"}).get<std::string>());
    for (int slot = 0; slot < slotCount; ++slot) {
        char key[67];
        std::snprintf(key, sizeof key, "0x%064x", slot);
        rpc("anvil_setStorageAt",
            {target, key, rpc("eth_getStorageAt", {source, key, "latest"}).get<std::string>()});
    }
}

nlohmann::json AnvilNode::minedReceipt(const std::string& transactionHash) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        nlohmann::json found =
            rpc("eth_getTransactionReceipt", nlohmann::json::array({transactionHash}));
        if (!found.is_null()) {
            return found;
        }
        if (clock.elapsed() > 20000) {
            throw std::runtime_error("no receipt for " + transactionHash);
        }
        QThread::msleep(20);
    }
}

} // namespace qm::test
