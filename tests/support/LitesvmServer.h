#pragma once
// The litesvm JSON-RPC server of tests/peers (a real Solana runtime) with one funded wallet
// account and its SPL token accounts, on a free loopback port, stopped when the object goes.

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
    const QUrl& url() const { return m_url; }

    // `blocks` blocks pass at once (without transactions; the runtime's blockhash is a new one).
    // False when the server did not say it was done.
    bool advance(std::uint64_t blocks) { return command("advance", blocks); }
    // From now on `blocks` blocks pass at every look at the height (getEpochInfo); 0: none.
    bool setAging(std::uint64_t blocks) { return command("aging", blocks); }

private:
    bool command(const char* name, std::uint64_t blocks);

    QProcess m_process;
    QUrl m_url;
};

} // namespace qm::test
