#pragma once
// A node that keeps no old state, as most full nodes run: `proxy` answers counts at blocks more
// than `keptBlocks` behind `node`'s latest with the error such a node gives ("missing trie
// node"); everything else is the node's. Replaces the proxy's eth_getTransactionCount override.

#include "AnvilNode.h"
#include "RPCProxy.h"

#include <cstdint>

namespace qm::test {

void keepOnlyRecentState(RPCProxy& proxy, AnvilNode& node, std::uint64_t keptBlocks = 128);

} // namespace qm::test
