#pragma once
// The loopback swap aggregator of tests/peers (aggregator_fixture.mjs) over a litesvm runtime:
// its API origin, the JSON-RPC URL of the runtime behind it, and its test controls. Stopped
// when the object goes.

#include <QProcess>
#include <QUrl>
#include <nlohmann/json.hpp>
#include <string>

namespace qm::test {

class AggregatorFixture {
public:
    // The USDC mint its pool trades against SOL (1 SOL = 150 USDC).
    static constexpr const char* usdcMint = "EPjFWdd5AufqSSqeM2qN1xzybapC8G4wEGGkZwyTDt1v";

    // Requests to the API must carry `apiKey` as "x-api-key" (else 401).
    explicit AggregatorFixture(const std::string& apiKey);
    ~AggregatorFixture();
    AggregatorFixture(const AggregatorFixture&) = delete;
    AggregatorFixture& operator=(const AggregatorFixture&) = delete;

    bool isRunning() const { return !m_aggregator.isEmpty(); }
    // "http://127.0.0.1:<port>", no path.
    const QUrl& aggregatorURL() const { return m_aggregator; }
    const QUrl& rpcURL() const { return m_rpc; }

    // The cases of the next order and execute answers, in order (see the fixture's header).
    void script(const nlohmann::json& cases);
    // Every API request so far: [{method, path, query, rawQuery, apiKey, body}].
    nlohmann::json requests();
    // Lamports to `owner` on the runtime.
    void airdrop(const std::string& owner, std::uint64_t lamports);

private:
    nlohmann::json control(const QByteArray& method, const QString& path, const QByteArray& body);

    QProcess m_process;
    QUrl m_aggregator;
    QUrl m_rpc;
};

} // namespace qm::test
