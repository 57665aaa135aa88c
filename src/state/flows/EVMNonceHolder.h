#pragma once
// Who holds an EVM sender's nonce on the chain. A transaction can never land once another one of
// its sender with its nonce is in a block, and only that proves it: a mined count past the nonce
// with our hash unknown proves nothing, since the backend that answers lookups may lag the one
// that counts while ours is mined. So the block where the sender's count passed the nonce is
// found (the count at a block, searched between a block where it was at most the nonce and the
// latest one) and that block's transaction from the sender with the nonce is read. A node that
// keeps no old state cannot answer counts at old blocks: then the transactions the chain's
// block explorer lists as sent with the nonce are asked of the node by their hashes. Either
// way a transaction counts only when signed by the sender's key for the chain
// (EVMNonceEvidence.h); the explorer only points. GUI thread only.

#include "core/model/Chain.h"
#include "platform/async/CancellationToken.h"

#include <QPointer>
#include <cstdint>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <string>

namespace qm {

class BlockExplorerClient;
class JSONRPCClient;

enum class NonceHolder {
    // The sender's mined ("latest") count is not past the nonce: a transaction of it may still
    // land.
    free,
    // Our transaction is in a block.
    ours,
    // Another transaction of the sender with the nonce is in a block: ours can never land.
    another,
    // The chain could not say: an error, a block it does not have, answers that disagree, a
    // transaction whose signature does not prove it the sender's. Never to be read as ours or
    // another's.
    unknown,
};

// A sent transaction whose nonce's holder is asked for.
struct NonceHolderQuery {
    Chain chain = Chain::ethereum;
    // "0x" hex; hashes and addresses compare in any case.
    std::string sender;
    std::uint64_t nonce = 0;
    // Ours: the hash of the transaction sent.
    std::string ourHash;
    // A block at which the sender's count was at most `nonce`, such as the latest block read
    // before the nonce was signed: the search starts there when the node's count there agrees;
    // else it goes back in doubling steps from there (none given: from the latest block).
    std::optional<std::uint64_t> fromBlock;
};

// The holder of the query's nonce, asked of `node` and, where the blocks cannot tell, pointed
// at by `explorer` (none: the blocks only). About log2(n) counts at blocks for a nonce taken n
// blocks after `fromBlock`, 2 log2(n) for one taken n blocks ago, one block read and two more
// requests; one request while the nonce is free; then, when that cannot conclude, a few pages of
// the explorer and a lookup of each transaction it lists with the nonce. Never throws: any
// failure, and a cancelled `cancel`, give unknown.
QCoro::Task<NonceHolder> findNonceHolder(std::shared_ptr<JSONRPCClient> node,
                                         QPointer<BlockExplorerClient> explorer,
                                         NonceHolderQuery query, CancellationToken cancel);

} // namespace qm
