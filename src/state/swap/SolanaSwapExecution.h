#pragma once
// The run of a Solana swap inside a TransactionFlow: the aggregator's order carries the whole
// transaction built for the wallet; the run reads it (the wallet must be its first signer,
// with exactly the slots its message asks for), has the wallet's own node check what it would
// take from the wallet (SolanaSwapCheck) and bound the last valid height of its blockhash
// (blockhashLastValidBound: a blockhash the node does not hold as valid is not signed for), and
// only then has the signer sign its message, writes that signature into the first slot only, and
// hands it back to the aggregator, which submits it. Then it follows the transaction's signature
// on the wallet's own Solana node: confirmed only when the node reports it confirmed, reverted
// when the node reports it failed or proves that its blockhash has expired without it landing,
// submitted when neither came in time.

#include "platform/SecureBytes.h"
#include "services/solana/SolanaRPCTypes.h"
#include "services/swap/SwapQuote.h"
#include "state/flows/SolanaSignatureWatch.h"
#include "state/flows/TransactionFlow.h"

#include <QPointer>
#include <cstdint>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <string>

namespace qm {

class AggregatorClient;
class AppState;

// What the run signs, fixed when it starts.
struct SolanaSwapOrder {
    SolanaSwapQuote quote;
    std::string walletID;
    std::string taker; // the Solana account's address (Base58); empty: none
};

// The body of the flow (started at Signing). Steps: Signing, Broadcasting, WaitingConfirmation,
// then Confirmed, Reverted or Submitted. Before the aggregator has the transaction a failure
// (a transaction that must not be signed or could not be checked, then a wrong password, an
// aggregator refusal) ends at Failed with its text. A lost answer of the execute request counts as
// sent: the run follows the signature. An earlier press's swap that the node knows now is sent
// again and followed instead; while one may still land, only the same transaction goes again
// (another order's fails before signing). The password is the wallet's; its holder wipes it.
QCoro::Task<void> runSolanaSwap(FlowRun run, QPointer<AppState> state,
                                std::shared_ptr<AggregatorClient> aggregator, SolanaSwapOrder order,
                                std::shared_ptr<const SecureBytes> password);

} // namespace qm
