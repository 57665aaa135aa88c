#include "AggregatorFixture.h"

#include "ChildProcess.h"
#include "RunTask.h"
#include "services/network/HttpSession.h"

#include <QStandardPaths>
#include <stdexcept>

namespace qm::test {

AggregatorFixture::AggregatorFixture(const std::string& apiKey) {
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStandardPaths::findExecutable("node"),
                    {QString(QM_SOURCE_DIR) + "/tests/peers/aggregator_fixture.mjs",
                     QString::fromStdString(apiKey)});
    if (!m_process.waitForStarted()) {
        return;
    }
    while (!m_process.canReadLine() && m_process.waitForReadyRead(30'000)) {
    }
    const auto line = nlohmann::json::parse(m_process.readLine().toStdString(), nullptr, false);
    if (line.is_object() && line.contains("aggregator") && line.contains("rpc")) {
        m_aggregator = QUrl(QString::fromStdString(line["aggregator"].get<std::string>()));
        m_rpc = QUrl(QString::fromStdString(line["rpc"].get<std::string>()));
    }
}

AggregatorFixture::~AggregatorFixture() {
    stopChildProcess(m_process);
}

nlohmann::json AggregatorFixture::control(const QByteArray& method, const QString& path,
                                          const QByteArray& body) {
    HttpSession session(m_aggregator);
    QUrl url = m_aggregator;
    url.setPath(path);
    const HttpResponse response =
        runTask(method == "GET" ? session.get(url) : session.post(url, body, "application/json"));
    if (response.status != 200) {
        throw std::runtime_error("fixture control failed: " + response.body.toStdString());
    }
    return nlohmann::json::parse(response.body.toStdString());
}

void AggregatorFixture::script(const nlohmann::json& cases) {
    control("POST", "/fixture/script", QByteArray::fromStdString(cases.dump()));
}

nlohmann::json AggregatorFixture::requests() {
    return control("GET", "/fixture/requests", {});
}

void AggregatorFixture::airdrop(const std::string& owner, std::uint64_t lamports) {
    control("POST", "/fixture/airdrop",
            QByteArray::fromStdString(
                nlohmann::json{{"owner", owner}, {"lamports", std::to_string(lamports)}}.dump()));
}

} // namespace qm::test
