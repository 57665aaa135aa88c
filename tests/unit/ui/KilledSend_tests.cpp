// A send killed between the node's answer and the face that says it left: a real process
// (killedsend_driver, the send sheet over anvil) is SIGKILLed once the node has answered while
// its face still reads "Broadcasting". The wallet's record then says the user never heard of
// the send, and the same press after a restart follows it instead of signing the next nonce:
// one payment lands.
#include "AnvilNode.h"
#include "state/flows/AttemptLedger.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <string>

namespace qm {
namespace {

using nlohmann::json;
using test::AnvilNode;

// The test phrase's first Ethereum account, which the driver's wallet sends from.
const std::string sender = "0x9858EfFD232B4033E47d90003D41EC34EcaEda94";
const std::string recipient = "0x3535353535353535353535353535353535353535";

// One run of the driver over `folder`, killed when it goes.
class Driver {
public:
    Driver(const QString& folder, const QUrl& node, const QString& mode) {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(QM_KILLED_SEND_DRIVER), {folder, node.toString(), mode});
    }
    ~Driver() { kill(); }
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    // The first line the driver says that has `key` (or an error); an error when it ends
    // without one.
    json next(const std::string& key) {
        // Bounds a wait for the driver's state; no outcome depends on it.
        const QDeadlineTimer bound(std::chrono::minutes(3));
        while (!bound.hasExpired()) {
            while (m_process.canReadLine()) {
                const QByteArray line = m_process.readLine().trimmed();
                if (!line.startsWith("driver: ")) {
                    continue; // the program's log
                }
                json said = json::parse(line.mid(8).toStdString());
                if (said.contains(key) || said.contains("error")) {
                    return said;
                }
            }
            if (m_process.state() == QProcess::NotRunning) {
                return {{"error", "the driver ended without " + key}};
            }
            m_process.waitForReadyRead(1000);
        }
        return {{"error", "the driver never said " + key}};
    }

    // SIGKILL, as a crash or a power cut would end it.
    void kill() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

private:
    QProcess m_process;
};

// One ether, as the node gives a balance.
constexpr const char* oneEther = "0xde0b6b3a7640000";

json balanceOf(AnvilNode& node, const std::string& owner) {
    return node.rpc("eth_getBalance", {owner, "latest"});
}

TEST(KilledSend, ASendKilledBeforeItsFaceSaidItLeftIsFollowedAfterARestartAndPaysOnce) {
    if (!AnvilNode::isAvailable()) {
        GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
    }
    AnvilNode node(1);
    node.setBalance(sender, "0x56bc75e2d63100000"); // 100 ether
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());

    Driver first(folder.path(), node.url(), QStringLiteral("first"));
    const json answered = first.next("answered");
    ASSERT_TRUE(answered.contains("answered")) << answered.dump();
    first.kill();
    const std::string sent = answered.at("answered");
    // The node took it and mined it; what the killed program left says nobody heard of it.
    EXPECT_EQ(balanceOf(node, recipient), oneEther);
    AttemptLedger left(std::filesystem::path(folder.path().toStdString()) / "Quillmark" /
                       "unsettled-attempts.json");
    left.load();
    ASSERT_EQ(left.all().size(), 1u);
    EXPECT_EQ(left.all().front().id, sent);
    EXPECT_FALSE(left.all().front().told);

    Driver again(folder.path(), node.url(), QStringLiteral("again"));
    const json ended = again.next("step");
    EXPECT_EQ(ended.value("step", ""), "Confirmed") << ended.dump();
    EXPECT_EQ(ended.value("txHash", ""), sent);
    EXPECT_EQ(
        ended.value("earlierNote", ""),
        "Your earlier send of 1 ETH to 0x353535...353535 went through; nothing new was signed.");
    EXPECT_EQ(balanceOf(node, recipient), oneEther);
    EXPECT_EQ(node.rpc("eth_getTransactionCount", {sender, "latest"}), "0x1");
}

} // namespace
} // namespace qm
