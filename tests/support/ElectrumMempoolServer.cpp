#include "ElectrumMempoolServer.h"

#include "AppStateFixture.h"
#include "ChildProcess.h"

#include <QStandardPaths>
#include <stdexcept>

namespace qm::test {

ElectrumMempoolServer::ElectrumMempoolServer(const std::string& address, std::uint64_t sats,
                                             int count) {
    m_process.start(QStandardPaths::findExecutable("node"),
                    {QString(QM_SOURCE_DIR) + "/tests/peers/electrum_mempool_server.mjs",
                     QString::fromStdString(address), QString::number(sats),
                     QString::number(count)});
    if (!m_process.waitForStarted()) {
        return;
    }
    while (!m_process.canReadLine() && m_process.waitForReadyRead(30'000)) {
    }
    const auto ready = nlohmann::json::parse(m_process.readLine().toStdString(), nullptr, false);
    if (!ready.is_object() || !ready.contains("port")) {
        return;
    }
    m_socket.connectToHost(QStringLiteral("127.0.0.1"), ready["port"].get<quint16>());
    m_socket.waitForConnected(10'000);
}

ElectrumMempoolServer::~ElectrumMempoolServer() {
    m_socket.abort();
    stopChildProcess(m_process);
}

void ElectrumMempoolServer::serve(ElectrumFixture& front) {
    for (const char* method :
         {"server.version", "server.ping", "blockchain.headers.subscribe",
          "blockchain.scripthash.subscribe", "blockchain.scripthash.get_history",
          "blockchain.scripthash.get_balance", "blockchain.scripthash.listunspent",
          "blockchain.estimatefee", "blockchain.relayfee", "blockchain.transaction.get",
          "blockchain.transaction.broadcast"}) {
        front.answerRaw(method, [this](const nlohmann::json& request) {
            try {
                return std::optional<std::string>(exchange(request));
            } catch (const std::exception& error) {
                // The wallet sees a server error; the test sees why in its output.
                const nlohmann::json failed{
                    {"jsonrpc", "2.0"},
                    {"id", request.value("id", nlohmann::json())},
                    {"error", {{"code", -32603}, {"message", error.what()}}}};
                return std::optional<std::string>(failed.dump() + "\n");
            }
        });
    }
}

std::string ElectrumMempoolServer::exchange(const nlohmann::json& request) {
    if (!isRunning()) {
        throw std::runtime_error("the Electrum mempool server is not running");
    }
    m_socket.write(QByteArray::fromStdString(request.dump() + "\n"));
    m_socket.flush();
    while (!m_socket.canReadLine()) {
        if (!m_socket.waitForReadyRead(10'000)) {
            throw std::runtime_error("the Electrum mempool server did not answer");
        }
    }
    return m_socket.readLine().toStdString();
}

nlohmann::json ElectrumMempoolServer::call(const std::string& method,
                                           const nlohmann::json& params) {
    const nlohmann::json request{
        {"jsonrpc", "2.0"}, {"id", 1}, {"method", method}, {"params", params}};
    const auto answer = nlohmann::json::parse(exchange(request), nullptr, false);
    if (!answer.is_object() || answer.contains("error") || !answer.contains("result")) {
        throw std::runtime_error("Electrum " + method + ": " + answer.dump());
    }
    return answer["result"];
}

std::string ElectrumMempoolServer::spendElsewhere(const std::vector<std::string>& outpoints) {
    std::string phrase;
    for (const std::string& word : AppStateFixture::abandonPhrase()) {
        phrase += (phrase.empty() ? "" : " ") + word;
    }
    return call("test.spendElsewhere", {outpoints, phrase}).get<std::string>();
}

} // namespace qm::test
