#include "PrunedNode.h"

#include "core/encoding/Hex.h"

namespace qm::test {

void keepOnlyRecentState(RPCProxy& proxy, AnvilNode& node, std::uint64_t keptBlocks) {
    proxy.setOverride(
        "eth_getTransactionCount",
        [&node, keptBlocks](const nlohmann::json& params) -> std::optional<HttpFixtureResponse> {
            const std::optional<std::uint64_t> block = hexToUInt64(params.at(1).get<std::string>());
            const std::optional<std::uint64_t> latest = hexToUInt64(
                node.rpc("eth_blockNumber", nlohmann::json::array()).get<std::string>());
            if (block && latest && *block + keptBlocks < *latest) {
                return HttpFixtureResponse::json(
                    R"({"jsonrpc":"2.0","id":1,"error":{"code":-32000,"message":"missing trie node"}})");
            }
            return std::nullopt;
        });
}

} // namespace qm::test
