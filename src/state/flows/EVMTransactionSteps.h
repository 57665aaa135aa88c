#pragma once
// The steps an EVM flow takes with one transaction, shared by the flows that send, swap, buy
// or approve: what the node says the transaction needs, the transaction built from it, signing
// it through the signer seam, and the chain's answer read from its receipt. GUI thread only.

#include "core/crypto/UInt256.h"
#include "core/model/Chain.h"
#include "platform/Bytes.h"
#include "platform/SecureBytes.h"
#include "platform/async/CancellationToken.h"
#include "services/evm/ETHSigner.h"
#include "state/flows/SignedBroadcast.h"

#include <QPointer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <string>

namespace qm {

class AppState;
class BlockExplorerClient;
class JSONRPCClient;

// The node's figures for a transaction about to be signed.
struct EVMNodeFigures {
    std::uint64_t nonce = 0;
    UInt256 gasPrice;
    UInt256 priorityFee;
    std::uint64_t gasEstimate = 0;
    // The latest block's gas limit and number; none when the node did not say.
    std::optional<std::uint64_t> blockGasLimit;
    std::optional<std::uint64_t> latestBlock;
};

// Asks, one request after the other: the sender's next nonce, the gas price, the priority fee,
// the gas estimate of {from, to, value (left out when zero), data}, and the latest block's gas
// limit and number. Throws the client's errors (but for the block's: its failure leaves them
// unknown).
QCoro::Task<EVMNodeFigures> askNodeForTransaction(std::shared_ptr<JSONRPCClient> client,
                                                  std::string from, std::string to, Bytes data,
                                                  CancellationToken cancel, UInt256 value = {});

// Throws UnbelievableFees (EVMFeeBounds.h) when the node's gas price, priority fee or estimate
// is past the bounds, before any fee is worked out from them.
void requireBelievableNodeFigures(const EVMNodeFigures& figures);

// Throws UnbelievableFees when a prepared transaction's fee cap, tip or gas limit is past the
// bounds (the gas limit also past `blockGasLimit`).
void requireBelievableFees(const UInt256& maxFeePerGas, const UInt256& maxPriorityFeePerGas,
                           std::uint64_t gasLimit, std::optional<std::uint64_t> blockGasLimit);

// The priority fee, at most `maxFeePerGas`: a tip above the fee cap makes the transaction
// invalid, and nodes may answer one above the gas price.
UInt256 cappedPriorityFee(const UInt256& priorityFee, const UInt256& maxFeePerGas);

// `gasPrice` times `factor`; throws when it does not fit 256 bits.
UInt256 scaledGasPrice(const UInt256& gasPrice, std::uint64_t factor);

// The gas limit of a contract call: g + floor(g / 5) with g the larger of `estimate` and
// `floor`. Throws std::range_error when it does not fit 64 bits.
std::uint64_t gasLimitWithMargin(std::uint64_t estimate, std::uint64_t floor);

// A type-2 transaction on `chain` to `to`: the node's nonce, a fee cap of the gas price times
// `feeFactor`, the node's tip capped at it, and `gasLimit`.
ETHTransaction buildEVMTransaction(Chain chain, Bytes to, UInt256 value, Bytes data,
                                   const EVMNodeFigures& figures, std::uint64_t gasLimit,
                                   std::uint64_t feeFactor);

// `transaction` signed as EVM account 0 of the state's wallet with the password (the seed is
// opened once, on the signing worker): the bytes for eth_sendRawTransaction. Throws the
// signer's errors (a wrong password), and when the state has no wallet.
QCoro::Task<Bytes> signWithWallet(QPointer<AppState> state,
                                  std::shared_ptr<const SecureBytes> password,
                                  ETHTransaction transaction);

// A transaction signed for the wallet, with what a later one must share with it (the sender and
// its nonce, on its chain) and where the chain stood when it was signed: everything its
// SignedBroadcast is made from, so a stored one makes the same again.
struct EVMSigned {
    Bytes bytes;
    std::string sender;
    std::uint64_t nonce = 0;
    // The latest block read before the signing (EVMNodeFigures::latestBlock), where a search for
    // the nonce's holder starts (findNonceHolder's `fromBlock`); none when the node did not say.
    std::optional<std::uint64_t> signingBlock;
    Chain chain = Chain::ethereum;
};

// `signedTransaction` as broadcastSigned sends it through `client`: its id the keccak-256 of the
// signed bytes ("0x" hex, any case in the node's answer), eth_sendRawTransaction to send; the
// client's refusals (isRefusal) are refusals. Known to the chain when eth_getTransactionByHash
// has it or when it holds its nonce in a block (a lookup backend behind the others may not have
// indexed it yet); lapsed only when another transaction signed by the sender holds that nonce in
// a block (findNonceHolder, with `explorer` pointing where the node's blocks cannot tell). Kept
// in `slot` with its nonce as its conflict. `isRunsOwn` false for an approval before the run's
// own transaction.
SignedBroadcast evmBroadcast(std::shared_ptr<JSONRPCClient> client,
                             QPointer<BlockExplorerClient> explorer,
                             const EVMSigned& signedTransaction, std::string slot = {},
                             bool isRunsOwn = true);

// The state's block explorer, for evmBroadcast; none once the state is gone.
QPointer<BlockExplorerClient> explorerOf(const QPointer<AppState>& state);

// A stored attempt (UnsettledAttempt) of an EVM chain made sendable again through `client`: named,
// looked up and settled by its stored id. Its bytes are sent only when they are that transaction
// (namedEVMBytes): others are never sent, their send failing as a lost answer does.
SignedBroadcast evmAttempt(std::shared_ptr<JSONRPCClient> client,
                           QPointer<BlockExplorerClient> explorer, const UnsettledAttempt& stored);

// The earlier attempts of the wallet's account `sender` on `chain`, as an EVM flow asks about
// them before it signs; followed in `followedIn` of its flow.
AttemptScope evmAttemptScope(std::shared_ptr<JSONRPCClient> client,
                             QPointer<BlockExplorerClient> explorer, Chain chain,
                             const std::string& sender,
                             std::vector<std::string> followedIn = {std::string()});

// The nonce a new signing takes: that of the earlier attempts which may still land while the
// chain has not mined past it (a node's pool holding one of them uses nothing: the new one
// replaces it there, so at most one of them can land), else `pendingNonce` (the node's next,
// counting its pool). Once the mined ("latest") count is past that nonce, its holder is searched
// for again, since the chain may have moved since the attempts were asked about: the attempt
// itself throws EarlierAttemptError::wentThrough; no transaction signed by the key proven to
// hold it throws mayHaveGoneThrough, which only the user's choice to send anyway overrules;
// another's (or a count that now says free) gives the nonce all the same (a signing the chain
// refuses then finds the attempt lapsed). Throws the client's errors.
QCoro::Task<std::uint64_t> conflictingNonce(std::shared_ptr<JSONRPCClient> client,
                                            QPointer<BlockExplorerClient> explorer,
                                            EarlierAttempts earlier, std::uint64_t pendingNonce,
                                            CancellationToken cancel);

// The chain's answer on a sent transaction, as FlowRun::awaitChain asks for it: true for a
// receipt of status 1, false for status 0, none while there is no receipt (or it has no
// status).
std::function<QCoro::Task<std::optional<bool>>(CancellationToken)>
receiptProbe(std::shared_ptr<JSONRPCClient> client, std::string transactionHash);

} // namespace qm
