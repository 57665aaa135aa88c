#pragma once
// A local Ethereum node for tests: anvil from tests/peers (npm @foundry-rs/anvil-linux-amd64) on a
// free loopback port with a chosen chain id, stopped when the object goes away. It starts with
// anvil's funded, unlocked development accounts; blocks are mined per transaction unless
// setAutomine(false) or setIntervalMining(seconds). Helpers block on a local event loop and
// throw std::runtime_error.

#include <QProcess>
#include <QUrl>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace qm::test {

class AnvilNode {
public:
    static bool isAvailable();
    // "0x" + 40 hex, checksummed, of dev account 0-2.
    static std::string devAccount(int index);

    explicit AnvilNode(std::uint64_t chainID);
    ~AnvilNode();
    AnvilNode(const AnvilNode&) = delete;
    AnvilNode& operator=(const AnvilNode&) = delete;

    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_port)); }
    void setCode(const std::string& address, const std::string& code);
    void setBalance(const std::string& address, const std::string& weiHex);
    void mine();
    // Mines an empty block whose base fee is `weiHex`: the node's gas price follows (the next
    // block's base fee, 7/8 of it, and the tip).
    void mineWithBaseFee(const std::string& weiHex);
    void setAutomine(bool enabled);
    // A block every `seconds` and none in between, as `anvil --block-time` mines.
    void setIntervalMining(int seconds);
    // eth_sendTransaction from an unlocked account; with automine, returns once it is mined.
    std::string send(const std::string& from, const std::string& to, const std::string& data,
                     const std::string& valueHex = "0x0");
    // The transactions `address` sent that are mined, in the order of their blocks (and so of
    // their nonces), as eth_getBlockByNumber lists them.
    std::vector<nlohmann::json> minedTransactionsFrom(const std::string& address);
    // The receipt once the transaction is mined (anvil may answer before the block is sealed).
    nlohmann::json minedReceipt(const std::string& transactionHash);
    // Sends a contract creation from an unlocked account and returns the new contract's address
    // once mined; throws when the creation reverted.
    std::string deploy(const std::string& from, const std::string& creationCode);
    // Puts the runtime code and the first `slotCount` storage slots of `source` at `target`.
    void copyContract(const std::string& source, const std::string& target, int slotCount = 8);
    // One JSON-RPC request; returns "result", throws for an "error" member.
    nlohmann::json rpc(const std::string& method, const nlohmann::json& params);

private:
    QProcess m_process;
    quint16 m_port = 0;
    bool m_automine = true;
};

} // namespace qm::test
