#pragma once
// The aggregator builds the whole Solana swap transaction; the wallet checks what it would do
// before the password is used. The wallet's own Solana node runs it unsigned (a simulation),
// and the wallet compares its accounts after it with the same node's view of them now: the
// wallet's own account (SOL) and its SPL token accounts that the transaction names or that
// hold the input token. Signed only when, at most:
//   - the input token's accounts lose the order's inAmount;
//   - SOL (the account, and the lamports of those token accounts: wrapped SOL, rent) drops by
//     the order's inAmount when SOL is the input, plus the signature fees, the priority fee the
//     compute-budget instructions allow (itself bounded), and the rent of the associated token
//     account for the output when the transaction creates it for the wallet;
//   - no other token account of the wallet loses anything;
//   - every such account keeps its owners and authorities (only a token amount may change).
// A transaction the node reports failing, or a node that cannot run the check, is refused.

#include "platform/Bytes.h"
#include "platform/async/CancellationToken.h"

#include <cstdint>
#include <memory>
#include <qcoro/qcorotask.h>
#include <string>

namespace qm {

class SolanaRPCClient;

// What the order states and what the aggregator built for it.
struct SolanaSwapTerms {
    std::string wallet;     // the taker, Base58
    std::string inputMint;  // the wrapped-SOL mint when SOL goes in
    std::string outputMint; // likewise when SOL comes out
    std::uint64_t inAmount = 0;
    std::string transaction; // standard Base64, as built (unsigned)
    Bytes message;           // the bytes the wallet would sign
};

// The highest priority fee a swap may set: busy times call for a few thousandths of a SOL, and
// the fee is lost to the wallet whatever the swap gives, so a transaction that would burn more
// is refused rather than trusted.
inline constexpr std::uint64_t maxSwapPriorityFee = 10'000'000; // 0.01 SOL
// The rent-exempt balance of an SPL token account (165 bytes): what creating the output's
// associated token account costs the wallet.
inline constexpr std::uint64_t tokenAccountRent = 2'039'280;

// Returns when the transaction may be signed. Throws SwapError transactionFailed with the reason
// otherwise ("Invalid TX format" for a message it cannot read), and HttpTransportError (aborted)
// when `cancel` is cancelled.
QCoro::Task<void> checkSolanaSwap(std::shared_ptr<SolanaRPCClient> node, SolanaSwapTerms terms,
                                  CancellationToken cancel);

} // namespace qm
