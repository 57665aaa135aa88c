#pragma once
// A local Ethereum node for tests: anvil from tests/peers (npm @foundry-rs/anvil-linux-amd64),
// started on a free loopback port with a chosen chain id, stopped when the object goes away.
//
//     if (!qm::test::AnvilNode::isAvailable()) GTEST_SKIP() << "anvil is not installed";
//     qm::test::AnvilNode node(42161);                  // Arbitrum's chain id
//     auto client = std::make_shared<qm::JSONRPCClient>(node.url());
//     node.setCode(address, contracts.deployedBytecode("StandardToken"));
//     node.send(AnvilNode::devAccount(0), address, calldata);   // mined at once (automine)
//     node.mine(50'001);
//
// The node starts with anvil's ten funded, unlocked development accounts (10,000 ETH each, from
// its well-known test mnemonic); devAccount(i) and devPrivateKey(i) give them. Blocks are mined
// per transaction unless setAutomine(false). rpc() is a blocking JSON-RPC call for test setup
// (it spins a local event loop) and throws AnvilError for an error reply; the code under test
// talks to url() with its own client. All helpers throw std::runtime_error on failure.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>

namespace qm::test {

class AnvilError : public std::runtime_error {
public:
    AnvilError(std::int64_t code, const std::string& message)
        : std::runtime_error("anvil error " + std::to_string(code) + ": " + message), code(code) {}
    std::int64_t code;
};

class AnvilNode {
public:
    // The anvil binary of tests/peers.
    static QString binaryPath();
    // Whether that binary exists (installed by scripts/install-deps through npm ci).
    static bool isAvailable();

    // Address ("0x" + 40 hex, checksummed) and private key ("0x" + 64 hex) of dev account 0-9.
    static std::string devAccount(int index);
    static std::string devPrivateKey(int index);

    // `extraArguments` go to anvil as given, e.g. {"--hardfork", "london", "--prune-history"}:
    // with those two, anvil_mine of 50,000 blocks takes about a second instead of many minutes.
    explicit AnvilNode(std::uint64_t chainID, const QStringList& extraArguments = {});
    ~AnvilNode();
    AnvilNode(const AnvilNode&) = delete;
    AnvilNode& operator=(const AnvilNode&) = delete;

    std::uint64_t chainID() const { return m_chainID; }
    quint16 port() const { return m_port; }
    QUrl url() const;

    // One JSON-RPC request; returns "result", throws AnvilError for an "error" member.
    nlohmann::json rpc(const std::string& method, nlohmann::json params = nlohmann::json::array());

    // anvil_setCode: `code` is "0x" hex runtime bytecode.
    void setCode(const std::string& address, const std::string& code);
    // anvil_setBalance in wei ("0x" quantity).
    void setBalance(const std::string& address, const std::string& weiHex);
    // anvil_mine `blocks` blocks (one request).
    void mine(std::uint64_t blocks = 1);
    // evm_setAutomine.
    void setAutomine(bool enabled);
    std::uint64_t blockNumber();
    // eth_sendTransaction from an unlocked account; returns the transaction hash. With automine
    // the transaction is mined before this returns.
    std::string send(const std::string& from, const std::string& to, const std::string& data,
                     const std::string& valueHex = "0x0");
    // eth_getTransactionReceipt (null while pending).
    nlohmann::json receipt(const std::string& transactionHash);
    // The receipt once the transaction is mined: even with automine, a loaded machine can
    // answer the receipt query before the block is sealed. Throws after `timeoutMs`.
    nlohmann::json minedReceipt(const std::string& transactionHash, int timeoutMs = 20000);

private:
    std::uint64_t m_chainID;
    QProcess m_process;
    quint16 m_port = 0;
    bool m_automine = true;
};

} // namespace qm::test
