#include "state/flows/EVMNonceHolder.h"

#include "core/encoding/Hex.h"
#include "services/evm/JSONRPCClient.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace qm {
namespace {

// The counts only steer the search (backends behind one address may disagree on them): what it
// concludes rests on the block it ends at, which must list the sender's one transaction with the
// nonce.

// One search: the node, whose count it is, and the nonce.
struct Search {
    std::shared_ptr<JSONRPCClient> client;
    std::string sender;
    std::uint64_t nonce = 0;
    CancellationToken cancel;

    // Whether the sender's count at `block` is past the nonce.
    QCoro::Task<bool> pastAt(std::uint64_t block) const {
        QCoro::Task<std::uint64_t> counting = client->transactionCountAt(sender, block, cancel);
        co_return co_await std::move(counting) > nonce;
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
// does not have the block or it lists none or several.
QCoro::Task<NonceHolder> holderInBlock(const Search& search, std::uint64_t number,
                                       const Bytes& sender, const Bytes& ourHash) {
    QCoro::Task<std::optional<ETHBlockTransactions>> reading =
        search.client->blockWithTransactions(number, search.cancel);
    const std::optional<ETHBlockTransactions> block = co_await std::move(reading);
    if (!block || block->number != number) {
        co_return NonceHolder::unknown;
    }
    const ETHBlockTransaction* holder = nullptr;
    for (const ETHBlockTransaction& transaction : block->transactions) {
        if (transaction.from == sender && transaction.nonce == search.nonce) {
            if (holder) {
                co_return NonceHolder::unknown;
            }
            holder = &transaction;
        }
    }
    if (!holder) {
        co_return NonceHolder::unknown;
    }
    co_return holder->hash == ourHash ? NonceHolder::ours : NonceHolder::another;
}

QCoro::Task<NonceHolder> searchHolder(Search search, Bytes sender, Bytes ourHash,
                                      std::optional<std::uint64_t> fromBlock) {
    QCoro::Task<std::uint64_t> counting =
        search.client->minedTransactionCount(search.sender, search.cancel);
    if (co_await std::move(counting) <= search.nonce) {
        co_return NonceHolder::free;
    }
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
    QCoro::Task<NonceHolder> reading = holderInBlock(search, block, sender, ourHash);
    co_return co_await std::move(reading);
}

} // namespace

QCoro::Task<NonceHolder> findNonceHolder(std::shared_ptr<JSONRPCClient> client, std::string sender,
                                         std::uint64_t nonce, std::string ourHash,
                                         std::optional<std::uint64_t> fromBlock,
                                         CancellationToken cancel) {
    const std::optional<Bytes> senderBytes = hexToBytes(sender);
    const std::optional<Bytes> hashBytes = hexToBytes(ourHash);
    if (!client || !senderBytes || senderBytes->size() != 20 || !hashBytes ||
        hashBytes->size() != 32) {
        co_return NonceHolder::unknown;
    }
    try {
        QCoro::Task<NonceHolder> searching = searchHolder(
            Search{std::move(client), bytesToHex(*senderBytes), nonce, std::move(cancel)},
            *senderBytes, *hashBytes, fromBlock);
        co_return co_await std::move(searching);
    } catch (const std::exception&) {
        // An error proves nothing either way.
    }
    co_return NonceHolder::unknown;
}

} // namespace qm
