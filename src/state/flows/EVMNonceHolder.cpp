#include "state/flows/EVMNonceHolder.h"

#include "core/encoding/Hex.h"
#include "services/evm/BlockExplorerClient.h"
#include "services/evm/JSONRPCClient.h"
#include "state/flows/EVMNonceEvidence.h"

#include <algorithm>
#include <exception>
#include <utility>
#include <vector>

namespace qm {
namespace {

// The counts only steer the search (backends behind one address may disagree on them): what it
// concludes rests on the block it ends at, which must list the sender's one transaction with the
// nonce, signed by it.

// The explorer's pages read for the nonce (50 transactions each), and the most transactions it
// lists with the nonce that are asked of the node.
constexpr int kExplorerPages = 4;
constexpr std::size_t kMostListed = 8;

// One search: the node, the explorer, whose count it is, and the nonce.
struct Search {
    std::shared_ptr<JSONRPCClient> client;
    QPointer<BlockExplorerClient> explorer;
    Chain chain = Chain::ethereum;
    std::string sender;
    Bytes senderBytes;
    std::uint64_t nonce = 0;
    Bytes ourHash;
    CancellationToken cancel;

    // Whether the sender's count at `block` is past the nonce.
    QCoro::Task<bool> pastAt(std::uint64_t block) const {
        QCoro::Task<std::uint64_t> counting = client->transactionCountAt(sender, block, cancel);
        co_return co_await std::move(counting) > nonce;
    }

    // The hash of `transaction` when it proves itself the sender's with the nonce.
    std::optional<Bytes> proven(const ETHNodeTransaction& transaction) const {
        return provenHash(transaction, evmChainID(chain), senderBytes, nonce);
    }
};

// Blocks around the one where the count passed the nonce: not past at `notPast`, past at
// `past` (taken to be at the latest block).
struct Bracket {
    std::uint64_t notPast = 0;
    std::uint64_t past = 0;
};

// A bracket below `latest` (its count taken to be past the nonce): from `fromBlock` when its
// count is not past, else going back from the lowest block known past in doubling steps, so
// that a nonce taken recently is found asking only about recent blocks (all a node that prunes
// old state can answer). None when even block 0's count is past the nonce.
QCoro::Task<std::optional<Bracket>> bracketOf(const Search& search, std::uint64_t latest,
                                              std::optional<std::uint64_t> fromBlock) {
    std::uint64_t past = latest;
    if (fromBlock && *fromBlock < past) {
        QCoro::Task<bool> checking = search.pastAt(*fromBlock);
        if (!co_await std::move(checking)) {
            co_return Bracket{*fromBlock, past};
        }
        past = *fromBlock;
    }
    for (std::uint64_t step = 1; past > 0; step = step > past / 2 ? past : step * 2) {
        const std::uint64_t block = past - std::min(step, past);
        QCoro::Task<bool> checking = search.pastAt(block);
        if (!co_await std::move(checking)) {
            co_return Bracket{block, past};
        }
        past = block;
    }
    co_return std::nullopt;
}

// The first block of `bracket` past its `notPast` whose count is past the nonce (a binary
// search).
QCoro::Task<std::uint64_t> firstBlockPast(const Search& search, Bracket bracket) {
    while (bracket.past - bracket.notPast > 1) {
        const std::uint64_t middle = bracket.notPast + (bracket.past - bracket.notPast) / 2;
        QCoro::Task<bool> checking = search.pastAt(middle);
        if (co_await std::move(checking)) {
            bracket.past = middle;
        } else {
            bracket.notPast = middle;
        }
    }
    co_return bracket.past;
}

// Whose is the sender's one transaction with the nonce in block `number`; unknown when the node
// does not have the block, it lists none or several, or the one it lists is not proven the
// sender's.
QCoro::Task<NonceHolder> holderInBlock(const Search& search, std::uint64_t number) {
    QCoro::Task<std::optional<ETHBlockTransactions>> reading =
        search.client->blockWithTransactions(number, search.cancel);
    const std::optional<ETHBlockTransactions> block = co_await std::move(reading);
    if (!block || block->number != number) {
        co_return NonceHolder::unknown;
    }
    const ETHNodeTransaction* holder = nullptr;
    for (const ETHNodeTransaction& transaction : block->transactions) {
        if (transaction.from == search.senderBytes && transaction.nonce == search.nonce) {
            if (holder) {
                co_return NonceHolder::unknown;
            }
            holder = &transaction;
        }
    }
    const std::optional<Bytes> hash = holder ? search.proven(*holder) : std::nullopt;
    if (!hash) {
        co_return NonceHolder::unknown;
    }
    co_return *hash == search.ourHash ? NonceHolder::ours : NonceHolder::another;
}

// The holder from the block where the count passed the nonce, the count at the latest block
// being past it.
QCoro::Task<NonceHolder> holderFromBlocks(const Search& search,
                                          std::optional<std::uint64_t> fromBlock) {
    // The latest block may come from a backend behind the one that counted (its count not past
    // the nonce): the block the search ends at then lacks the transaction.
    QCoro::Task<std::uint64_t> numbering = search.client->blockNumber(search.cancel);
    const std::uint64_t latest = co_await std::move(numbering);
    QCoro::Task<std::optional<Bracket>> bounding = bracketOf(search, latest, fromBlock);
    const std::optional<Bracket> bracket = co_await std::move(bounding);
    if (!bracket) {
        co_return NonceHolder::unknown;
    }
    QCoro::Task<std::uint64_t> narrowing = firstBlockPast(search, *bracket);
    const std::uint64_t block = co_await std::move(narrowing);
    QCoro::Task<NonceHolder> reading = holderInBlock(search, block);
    co_return co_await std::move(reading);
}

// The node's word on the transaction of hash `listed` ("0x" hex): its proven hash when it is
// in a block; none when it is not, or its lookup fails.
QCoro::Task<std::optional<Bytes>> provenInBlock(const Search& search, std::string listed) {
    const std::optional<Bytes> asked = hexToBytes(listed);
    if (!asked || asked->size() != 32) {
        co_return std::nullopt;
    }
    std::optional<ETHNodeTransaction> transaction;
    try {
        QCoro::Task<std::optional<ETHNodeTransaction>> looking =
            search.client->transactionByHash(bytesToHex(*asked), search.cancel);
        transaction = co_await std::move(looking);
    } catch (const std::exception&) {
        // Says nothing of this one; the others may.
        co_return std::nullopt;
    }
    std::optional<Bytes> hash =
        transaction && transaction->blockNumber ? search.proven(*transaction) : std::nullopt;
    if (!hash || *hash != *asked) {
        co_return std::nullopt;
    }
    co_return hash;
}

// The holder among the transactions the explorer lists as the sender's with the nonce, each
// asked of the node: ours or another's when the node proves one of them in a block; unknown
// when it proves none, or both (one of them must be false).
QCoro::Task<NonceHolder> holderFromExplorer(const Search& search) {
    if (!search.explorer) {
        co_return NonceHolder::unknown;
    }
    QCoro::Task<std::vector<std::string>> listing = search.explorer->sentWithNonce(
        search.sender, search.chain, search.nonce, kExplorerPages, search.cancel);
    const std::vector<std::string> listed = co_await std::move(listing);
    bool ours = false;
    bool another = false;
    for (std::size_t i = 0; i < std::min(listed.size(), kMostListed); ++i) {
        QCoro::Task<std::optional<Bytes>> asking = provenInBlock(search, listed[i]);
        if (const std::optional<Bytes> hash = co_await std::move(asking)) {
            (*hash == search.ourHash ? ours : another) = true;
        }
        if (search.cancel.isCancelled()) {
            co_return NonceHolder::unknown;
        }
    }
    if (ours == another) {
        co_return NonceHolder::unknown;
    }
    co_return ours ? NonceHolder::ours : NonceHolder::another;
}

QCoro::Task<NonceHolder> searchHolder(Search search, std::optional<std::uint64_t> fromBlock) {
    QCoro::Task<std::uint64_t> counting =
        search.client->minedTransactionCount(search.sender, search.cancel);
    if (co_await std::move(counting) <= search.nonce) {
        co_return NonceHolder::free;
    }
    NonceHolder found = NonceHolder::unknown;
    try {
        QCoro::Task<NonceHolder> searching = holderFromBlocks(search, fromBlock);
        found = co_await std::move(searching);
    } catch (const std::exception&) {
        // A node without old state refuses counts at old blocks: the explorer may point.
    }
    if (found != NonceHolder::unknown || search.cancel.isCancelled()) {
        co_return found;
    }
    QCoro::Task<NonceHolder> listing = holderFromExplorer(search);
    co_return co_await std::move(listing);
}

} // namespace

QCoro::Task<NonceHolder> findNonceHolder(std::shared_ptr<JSONRPCClient> node,
                                         QPointer<BlockExplorerClient> explorer,
                                         NonceHolderQuery query, CancellationToken cancel) {
    const std::optional<Bytes> senderBytes = hexToBytes(query.sender);
    const std::optional<Bytes> hashBytes = hexToBytes(query.ourHash);
    if (!node || !isEVMChain(query.chain) || !senderBytes || senderBytes->size() != 20 ||
        !hashBytes || hashBytes->size() != 32) {
        co_return NonceHolder::unknown;
    }
    try {
        QCoro::Task<NonceHolder> searching = searchHolder(
            Search{std::move(node), std::move(explorer), query.chain, bytesToHex(*senderBytes),
                   *senderBytes, query.nonce, *hashBytes, std::move(cancel)},
            query.fromBlock);
        co_return co_await std::move(searching);
    } catch (const std::exception&) {
        // An error proves nothing either way.
    }
    co_return NonceHolder::unknown;
}

} // namespace qm
