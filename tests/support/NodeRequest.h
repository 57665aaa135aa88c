#pragma once
// One JSON-RPC request to a test's node (anvil, the litesvm server), awaited in a nested event
// loop: for a test's own look at the chain, or a proxy passing a request on.

#include <QUrl>
#include <nlohmann/json.hpp>
#include <string>

namespace qm::test {

// The node's whole answer (an object with "result" or "error"); null when none came within
// 10 seconds or it was no JSON object.
nlohmann::json nodeRequest(const QUrl& node, const std::string& method,
                           const nlohmann::json& params);

} // namespace qm::test
