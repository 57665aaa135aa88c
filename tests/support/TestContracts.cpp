#include "TestContracts.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <nlohmann/json.hpp>
#include <stdexcept>

namespace qm::test {

const TestContracts& TestContracts::shared() {
    static const TestContracts contracts = [] {
        QTemporaryDir directory;
        const QString out = directory.filePath("contracts.json");
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStandardPaths::findExecutable("node"),
                      {QStringLiteral(QM_SOURCE_DIR) + "/tests/peers/compile_contracts.mjs", out});
        if (!process.waitForFinished(300'000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0) {
            throw std::runtime_error("TestContracts: node or compile_contracts.mjs failed");
        }
        QFile file(out);
        if (!file.open(QIODevice::ReadOnly)) {
            throw std::runtime_error("TestContracts: no output from compile_contracts.mjs");
        }
        const auto json = nlohmann::json::parse(file.readAll().toStdString());
        TestContracts result;
        for (const auto& [name, code] : json.items()) {
            result.m_contracts[name] = {code.at("bytecode").get<std::string>(),
                                        code.at("deployedBytecode").get<std::string>()};
        }
        return result;
    }();
    return contracts;
}

const std::string& TestContracts::bytecode(const std::string& contract) const {
    return m_contracts.at(contract).bytecode;
}

const std::string& TestContracts::deployedBytecode(const std::string& contract) const {
    return m_contracts.at(contract).deployedBytecode;
}

} // namespace qm::test
