#pragma once
// A JSON-RPC endpoint on 127.0.0.1 that hands each request to a real node (anvil, the litesvm
// server) and its answer back, unless the test answers a method itself: a node that fails or
// answers oddly at one chosen step, in front of a node that does everything else for real.
// The node's answer is awaited on the event loop, never in a nested one.

#include "HttpFixture.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QUrl>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace qm::test {

class RPCProxy {
public:
    // The test's own answer to a request of a method, given its params; none: the node's.
    using Override =
        std::function<std::optional<HttpFixtureResponse>(const nlohmann::json& params)>;

    RPCProxy();

    QUrl url() const { return m_server.url("/"); }
    // Where requests go; until set, every request gets HTTP 502.
    void setTarget(QUrl target) { m_target = std::move(target); }
    void setOverride(const std::string& method, Override answer) {
        m_overrides[method] = std::move(answer);
    }
    void clearOverrides() { m_overrides.clear(); }

    // The last "result" the node gave for `method` (null before one).
    nlohmann::json lastResult(const std::string& method) const;
    // How many requests of `method` arrived (all methods when empty).
    int requestCount(const std::string& method = {}) const;

private:
    void answer(const HttpFixtureRequest& request, const HttpFixture::Responder& respond);

    HttpFixture m_server;
    QNetworkAccessManager m_manager;
    QUrl m_target;
    std::map<std::string, Override> m_overrides;
    std::map<std::string, nlohmann::json> m_results;
    std::map<std::string, int> m_counts;
    // Receives the node's answers; destroyed first, so a reply still on its way answers nobody.
    QObject m_context;
};

} // namespace qm::test
