#include "state/flows/EVMTransactionSteps.h"

#include "core/crypto/Keccak.h"
#include "core/encoding/AsciiCase.h"
#include "core/encoding/Hex.h"
#include "services/evm/BlockExplorerClient.h"
#include "services/evm/JSONRPCClient.h"
#include "state/AppState.h"
#include "state/flows/EVMFeeBounds.h"
#include "state/flows/EVMNonceHolder.h"
#include "state/signing/Signer.h"

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <string_view>
#include <utility>

namespace qm {
namespace {

QCoro::Task<bool> hasReceipt(std::shared_ptr<JSONRPCClient> client, std::string hash,
                             CancellationToken cancel) {
    QCoro::Task<std::optional<ETHReceipt>> asking =
        client->getTransactionReceipt(std::move(hash), std::move(cancel));
    co_return (co_await std::move(asking)).has_value();
}

QCoro::Task<std::optional<bool>> askForReceipt(std::shared_ptr<JSONRPCClient> client,
                                               std::string hash, CancellationToken attempt) {
    QCoro::Task<std::optional<ETHReceipt>> asking =
        client->getTransactionReceipt(std::move(hash), std::move(attempt));
    const std::optional<ETHReceipt> receipt = co_await std::move(asking);
    if (!receipt || !receipt->status) {
        co_return std::nullopt;
    }
    co_return *receipt->status == 1;
}

QCoro::Task<std::string> sendRaw(std::shared_ptr<JSONRPCClient> client, std::string signedHex,
                                 CancellationToken cancel) {
    QCoro::Task<std::string> sending =
        client->sendRawTransaction(std::move(signedHex), std::move(cancel));
    co_return co_await std::move(sending);
}

// What the chain is asked about a sent transaction besides its hash: who holds its nonce. A
// look (broadcastSigned's, earlierAttempts') asks `lapsed` right after a `lookup` that did not
// find the transaction; the holder that lookup found answers it, so each look searches the
// blocks once.
struct NonceQuestion {
    std::shared_ptr<JSONRPCClient> client;
    QPointer<BlockExplorerClient> explorer;
    NonceHolderQuery query;
    // What the last lookup found, until the lapse asked after it takes it.
    std::optional<NonceHolder> found;
};

QCoro::Task<NonceHolder> holderOf(const NonceQuestion& question, CancellationToken cancel) {
    return findNonceHolder(question.client, question.explorer, question.query, std::move(cancel));
}

// Whether the chain knows the transaction: the node's lookup has it, or it holds the nonce in
// a block (a mined transaction the lookup backend has not indexed yet is ours all the same).
// Throws the lookup's failure when the block does not show it either.
QCoro::Task<bool> knownOrHolding(std::shared_ptr<NonceQuestion> question,
                                 CancellationToken cancel) {
    question->found.reset();
    std::exception_ptr failure;
    try {
        QCoro::Task<bool> asking =
            question->client->hasTransaction(question->query.ourHash, cancel);
        if (co_await std::move(asking)) {
            co_return true;
        }
    } catch (const std::exception&) {
        failure = std::current_exception();
    }
    QCoro::Task<NonceHolder> finding = holderOf(*question, std::move(cancel));
    question->found = co_await std::move(finding);
    if (question->found == NonceHolder::ours) {
        co_return true;
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    co_return false;
}

QCoro::Task<bool> heldByAnother(std::shared_ptr<NonceQuestion> question, CancellationToken cancel) {
    if (const std::optional<NonceHolder> found = std::exchange(question->found, std::nullopt)) {
        co_return *found == NonceHolder::another;
    }
    QCoro::Task<NonceHolder> finding = holderOf(*question, std::move(cancel));
    co_return co_await std::move(finding) == NonceHolder::another;
}

bool isNodeRefusal(const std::exception& error) {
    const auto* failure = dynamic_cast<const JSONRPCClientError*>(&error);
    return failure && failure->isRefusal();
}

// The broadcast of `signedTransaction` as the transaction `id`, unchecked: asked about, followed
// and settled by that id.
SignedBroadcast broadcastOf(std::shared_ptr<JSONRPCClient> client,
                            QPointer<BlockExplorerClient> explorer,
                            const EVMSigned& signedTransaction, std::string id, std::string slot,
                            bool isRunsOwn) {
    SignedBroadcast tx;
    tx.id = std::move(id);
    tx.send = [client, hex = bytesToHex(signedTransaction.bytes)](CancellationToken cancel) {
        return sendRaw(client, hex, std::move(cancel));
    };
    auto question = std::make_shared<NonceQuestion>(NonceQuestion{
        client, std::move(explorer),
        NonceHolderQuery{signedTransaction.chain, signedTransaction.sender, signedTransaction.nonce,
                         tx.id, signedTransaction.signingBlock},
        std::nullopt});
    tx.lookup = [question](CancellationToken cancel) {
        return knownOrHolding(question, std::move(cancel));
    };
    tx.lapsed = [question](CancellationToken cancel) {
        return heldByAnother(question, std::move(cancel));
    };
    tx.landed = [client, hash = tx.id](CancellationToken cancel) {
        return hasReceipt(client, hash, std::move(cancel));
    };
    tx.refused = isNodeRefusal;
    tx.caseInsensitive = true;
    tx.isRunsOwn = isRunsOwn;
    tx.slot = std::move(slot);
    tx.record.chain = signedTransaction.chain;
    tx.record.account = lowercaseASCII(signedTransaction.sender);
    tx.record.id = tx.id;
    tx.record.wire = bytesToHex(signedTransaction.bytes);
    tx.record.nonce = signedTransaction.nonce;
    tx.record.signedAtBlock = signedTransaction.signingBlock;
    return tx;
}

} // namespace

QCoro::Task<EVMNodeFigures> askNodeForTransaction(std::shared_ptr<JSONRPCClient> client,
                                                  std::string from, std::string to, Bytes data,
                                                  CancellationToken cancel, UInt256 value) {
    EVMNodeFigures figures;
    QCoro::Task<std::uint64_t> counting = client->getTransactionCount(from, cancel);
    figures.nonce = co_await std::move(counting);
    QCoro::Task<UInt256> pricing = client->gasPrice(cancel);
    figures.gasPrice = co_await std::move(pricing);
    QCoro::Task<UInt256> tipping = client->maxPriorityFeePerGas(cancel);
    figures.priorityFee = co_await std::move(tipping);
    std::optional<std::string> valueText;
    if (!value.isZero()) {
        valueText = value.description();
    }
    QCoro::Task<std::uint64_t> estimating = client->estimateGas(
        std::move(from), std::move(to), std::move(valueText), bytesToHex(data), cancel);
    figures.gasEstimate = co_await std::move(estimating);
    QCoro::Task<LatestBlock> reading = readLatestBlock(std::move(client), std::move(cancel));
    const LatestBlock latest = co_await std::move(reading);
    figures.blockGasLimit = latest.gasLimit;
    figures.latestBlock = latest.number;
    co_return figures;
}

void requireBelievableNodeFigures(const EVMNodeFigures& figures) {
    requireBelievableFeePerGas(figures.gasPrice, "the gas price");
    requireBelievableFeePerGas(figures.priorityFee, "the priority fee");
    requireBelievableGas(figures.gasEstimate, "the gas estimate", figures.blockGasLimit);
}

void requireBelievableFees(const UInt256& maxFeePerGas, const UInt256& maxPriorityFeePerGas,
                           std::uint64_t gasLimit, std::optional<std::uint64_t> blockGasLimit) {
    requireBelievableFeePerGas(maxFeePerGas, "the fee cap");
    requireBelievableFeePerGas(maxPriorityFeePerGas, "the tip");
    requireBelievableGas(gasLimit, "the gas limit", blockGasLimit);
}

UInt256 cappedPriorityFee(const UInt256& priorityFee, const UInt256& maxFeePerGas) {
    return priorityFee < maxFeePerGas ? priorityFee : maxFeePerGas;
}

UInt256 scaledGasPrice(const UInt256& gasPrice, std::uint64_t factor) {
    const std::optional<UInt256> scaled = gasPrice.checkedMultiply(UInt256(0, 0, 0, factor));
    if (!scaled) {
        throw std::range_error("The node's gas price is out of range.");
    }
    return *scaled;
}

std::uint64_t gasLimitWithMargin(std::uint64_t estimate, std::uint64_t floor) {
    const std::uint64_t g = std::max(estimate, floor);
    if (g > UINT64_MAX - g / 5) {
        throw std::range_error("The node's gas estimate is out of range.");
    }
    return g + g / 5;
}

ETHTransaction buildEVMTransaction(Chain chain, Bytes to, UInt256 value, Bytes data,
                                   const EVMNodeFigures& figures, std::uint64_t gasLimit,
                                   std::uint64_t feeFactor) {
    ETHTransaction tx;
    tx.chainID = evmChainID(chain);
    tx.nonce = figures.nonce;
    tx.maxFeePerGas = scaledGasPrice(figures.gasPrice, feeFactor);
    tx.maxPriorityFeePerGas = cappedPriorityFee(figures.priorityFee, tx.maxFeePerGas);
    tx.gasLimit = gasLimit;
    tx.to = std::move(to);
    tx.value = value;
    tx.data = std::move(data);
    return tx;
}

QCoro::Task<Bytes> signWithWallet(QPointer<AppState> state,
                                  std::shared_ptr<const SecureBytes> password,
                                  ETHTransaction transaction) {
    if (!state || !state->wallet()) {
        throw std::runtime_error("No wallet found.");
    }
    const std::string_view text(reinterpret_cast<const char*>(password->data()), password->size());
    QCoro::Task<Bytes> signing =
        state->signer().signEVMTransaction(state->wallet()->id, text, 0, std::move(transaction));
    co_return co_await std::move(signing);
}

SignedBroadcast evmBroadcast(std::shared_ptr<JSONRPCClient> client,
                             QPointer<BlockExplorerClient> explorer,
                             const EVMSigned& signedTransaction, std::string slot, bool isRunsOwn) {
    return broadcastOf(std::move(client), std::move(explorer), signedTransaction,
                       bytesToHex(keccak256(signedTransaction.bytes)), std::move(slot), isRunsOwn);
}

QPointer<BlockExplorerClient> explorerOf(const QPointer<AppState>& state) {
    return state ? &state->explorerClient() : nullptr;
}

SignedBroadcast evmAttempt(std::shared_ptr<JSONRPCClient> client,
                           QPointer<BlockExplorerClient> explorer, const UnsettledAttempt& stored) {
    const std::optional<Bytes> named = namedEVMBytes(stored);
    SignedBroadcast tx =
        broadcastOf(std::move(client), std::move(explorer),
                    EVMSigned{named.value_or(Bytes()), stored.account, stored.nonce.value_or(0),
                              stored.signedAtBlock, stored.chain},
                    stored.id, {}, true);
    if (!named) {
        // Looked up by its id until the chain settles it: it neither blocks the account nor lets
        // a second payment beside it.
        sendNothing(tx);
    }
    tx.record = stored;
    return tx;
}

AttemptScope evmAttemptScope(std::shared_ptr<JSONRPCClient> client,
                             QPointer<BlockExplorerClient> explorer, Chain chain,
                             const std::string& sender, std::vector<std::string> followedIn) {
    AttemptScope scope;
    scope.chain = chain;
    scope.account = lowercaseASCII(sender);
    scope.followedIn = std::move(followedIn);
    scope.revive = [client = std::move(client),
                    explorer = std::move(explorer)](const UnsettledAttempt& stored) {
        return evmAttempt(client, explorer, stored);
    };
    return scope;
}

QCoro::Task<std::uint64_t> conflictingNonce(std::shared_ptr<JSONRPCClient> client,
                                            QPointer<BlockExplorerClient> explorer,
                                            EarlierAttempts earlier, std::uint64_t pendingNonce,
                                            CancellationToken cancel) {
    if (!earlier.conflict || !earlier.conflict->nonce) {
        co_return pendingNonce;
    }
    const UnsettledAttempt& attempt = *earlier.conflict;
    const std::uint64_t nonce = *attempt.nonce;
    QCoro::Task<std::uint64_t> counting = client->minedTransactionCount(attempt.account, cancel);
    if (co_await std::move(counting) <= nonce) {
        co_return nonce;
    }
    QCoro::Task<NonceHolder> finding = findNonceHolder(
        std::move(client), std::move(explorer),
        NonceHolderQuery{attempt.chain, attempt.account, nonce, attempt.id, attempt.signedAtBlock},
        std::move(cancel));
    const NonceHolder holder = co_await std::move(finding);
    if (holder == NonceHolder::ours) {
        throw EarlierAttemptError::wentThrough(attempt);
    }
    if (holder == NonceHolder::unknown) {
        // Signed at the nonce this would be refused; at the next one it could pay twice.
        throw EarlierAttemptError::mayHaveGoneThrough(attempt);
    }
    co_return nonce;
}

std::function<QCoro::Task<std::optional<bool>>(CancellationToken)>
receiptProbe(std::shared_ptr<JSONRPCClient> client, std::string transactionHash) {
    return
        [client = std::move(client), hash = std::move(transactionHash)](CancellationToken attempt) {
            return askForReceipt(client, hash, std::move(attempt));
        };
}

} // namespace qm
