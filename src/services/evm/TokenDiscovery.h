#pragma once
// Finds the ERC-20 tokens an EVM account holds or has received and adds them to the user's
// token list, so they need not be added by hand. Run once per EVM chain on every refresh.

#include "core/model/Chain.h"
#include "core/storage/TokenStore.h"
#include "platform/async/CancellationToken.h"

#include <map>
#include <memory>
#include <qcoro/qcorotask.h>
#include <string>
#include <vector>

namespace qm {

class JSONRPCClient;

struct KnownToken {
    std::string contractAddress; // mixed case, as listed
    std::string symbol;
    std::string name;
    int decimals = 0;
};

// The built-in tokens of Ethereum, Arbitrum and Polygon, in order; other chains have no entry.
const std::map<Chain, std::vector<KnownToken>>& knownTokensByChain();

// "0x" and the lowercase hex of Keccak-256("Transfer(address,address,uint256)").
const std::string& transferEventTopic();

// Two phases, one request after another: (1) every known token of `chain` not yet in `store`
// whose balanceOf(owner) is not zero is added with its listed fields; (2) every contract that
// sent a Transfer to `owner` in the last 50,000 blocks and is not in `store` is resolved
// (ERC20Resolver) and added, whatever its balance. Never throws; a failure skips one token or
// ends phase 2. Returns the number of tokens added to `store`. Cancelling `cancel` aborts the
// request in flight and every later one. Runs on the GUI thread.
QCoro::Task<int> discoverTokens(std::string owner, Chain chain,
                                std::shared_ptr<JSONRPCClient> client,
                                TokenStore& store = TokenStore::shared(),
                                CancellationToken cancel = {});

} // namespace qm
