#pragma once
// A node behind a load balancer, as an RPCProxy plays it in front of a real node (anvil, the
// litesvm server): every transaction sent reaches the real node, which keeps it, yet the wallet
// hears `refusal` (a JSON-RPC error object; an empty one: the answer is lost, a gateway's 504);
// and for `lag` after a transaction first arrived (or until catchUp), the backend that answers
// lookups has not seen it. EVM: eth_getTransactionByHash and eth_getTransactionReceipt answer
// null for it, and so does eth_getBlockByNumber for a block that holds it; the "latest"
// transaction count leaves it out (one sender), unless the backend that counts is ahead
// (Count::ahead: every count is the node's own). Solana: getSignatureStatuses answers null for
// it, speaking for a slot before the one it landed at (that backend's index stops there),
// however far the node's blocks have moved on.

#include "RPCProxy.h"

#include <QDateTime>
#include <QUrl>
#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace qm::test {

class LaggingBackend {
public:
    enum class Family { evm, solana };
    // Whether the EVM backend that counts the sender's mined transactions lags with the lookups
    // or is ahead of them.
    enum class Count { lagging, ahead };

    // Sets `proxy`'s overrides; they refer to this object, which must outlive them
    // (RPCProxy::clearOverrides ends them).
    LaggingBackend(RPCProxy& proxy, QUrl node, Family family, std::string refusal,
                   std::chrono::milliseconds lag = std::chrono::seconds(5),
                   Count count = Count::lagging);
    LaggingBackend(const LaggingBackend&) = delete;
    LaggingBackend& operator=(const LaggingBackend&) = delete;

    // The ids of the transactions kept, in the order they first arrived.
    const std::vector<std::string>& kept() const { return m_order; }
    // Every backend has seen every transaction from now on.
    void catchUp() { m_caughtUp = true; }
    // A transaction that first arrives from now on is the node's to answer, and every backend
    // sees it; those kept so far still lag.
    void answerNewOnes() { m_answersNew = true; }

private:
    bool lags(const std::string& id) const;
    std::optional<HttpFixtureResponse> keep(const std::string& id, const nlohmann::json& params,
                                            const std::string& method);
    std::optional<HttpFixtureResponse> evmCount(const nlohmann::json& params);
    std::optional<HttpFixtureResponse> evmBlock(const nlohmann::json& params);
    std::optional<HttpFixtureResponse> solanaStatuses(const nlohmann::json& params);

    QUrl m_node;
    Family m_family;
    std::string m_refusal;
    std::chrono::milliseconds m_lag;
    bool m_caughtUp = false;
    bool m_answersNew = false;
    std::map<std::string, QDateTime> m_firstSeen;
    std::vector<std::string> m_order;
};

} // namespace qm::test
