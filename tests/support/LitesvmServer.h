#pragma once
// The litesvm JSON-RPC server of tests/peers (a real Solana runtime behind the wallet's RPC
// methods) with one funded wallet account and its SPL token accounts, on a free loopback port,
// stopped when the object goes away.
//
//     LitesvmServer server(owner, 3'500'000'000, {{usdcMint, usdcAccount, 1'250'000, 6}});
//     if (!server.isRunning()) GTEST_SKIP() << server.failure();
//     SolanaRPCClient client(server.url());

#include <QProcess>
#include <QUrl>
#include <cstdint>
#include <string>
#include <vector>

namespace qm::test {

class LitesvmServer {
public:
    struct Holding {
        std::string mint;
        std::string tokenAccount;
        std::uint64_t amount = 0;
        int decimals = 0;
    };

    LitesvmServer(const std::string& owner, std::uint64_t lamports,
                  const std::vector<Holding>& holdings);
    ~LitesvmServer();
    LitesvmServer(const LitesvmServer&) = delete;
    LitesvmServer& operator=(const LitesvmServer&) = delete;

    bool isRunning() const { return !m_url.isEmpty(); }
    // Why it is not running (node missing, the script failed).
    const std::string& failure() const { return m_failure; }
    const QUrl& url() const { return m_url; }

private:
    QProcess m_process;
    QUrl m_url;
    std::string m_failure;
};

} // namespace qm::test
