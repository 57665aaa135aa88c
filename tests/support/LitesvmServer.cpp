#include "LitesvmServer.h"

#include "ChildProcess.h"

#include <QStandardPaths>

namespace qm::test {

LitesvmServer::LitesvmServer(const std::string& owner, std::uint64_t lamports,
                             const std::vector<Holding>& holdings) {
    QStringList arguments{QString(QM_SOURCE_DIR) + "/tests/peers/refresh_solana_server.mjs",
                          QString::fromStdString(owner), QString::number(lamports)};
    for (const Holding& holding : holdings) {
        arguments << QString::fromStdString(holding.mint)
                  << QString::fromStdString(holding.tokenAccount) << QString::number(holding.amount)
                  << QString::number(holding.decimals);
    }
    m_process.start(QStandardPaths::findExecutable("node"), arguments);
    if (!m_process.waitForStarted()) {
        return;
    }
    while (!m_process.canReadLine() && m_process.waitForReadyRead(30'000)) {
    }
    const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
    if (line.startsWith("http://127.0.0.1:")) {
        m_url = QUrl(line);
    }
}

bool LitesvmServer::command(const char* name, std::uint64_t blocks) {
    m_process.write(QStringLiteral("%1 %2\n").arg(QLatin1String(name)).arg(blocks).toUtf8());
    while (!m_process.canReadLine() && m_process.waitForReadyRead(10'000)) {
    }
    return m_process.canReadLine() && m_process.readLine().trimmed() == "ok";
}

LitesvmServer::~LitesvmServer() {
    stopChildProcess(m_process);
}

} // namespace qm::test
