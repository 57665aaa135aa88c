#pragma once
// A buy or a sale of NOVR on Arbitrum One as a flow: the allowance the sale contract needs
// (an unlimited approval, in a block before going on, when it is short), then the buy or sell
// transaction, signed with the wallet's first EVM key and followed until its receipt. The run
// belongs to a TransactionFlow of the FlowService, so it ends the same way whether or not the
// sheet that started it is still open. GUI thread only.

#include "core/crypto/UInt256.h"
#include "platform/SecureBytes.h"
#include "state/flows/TransactionFlow.h"

#include <QPointer>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>

namespace qm {

class AppState;

// What the user confirmed: a buy of `amount` NOVR base units for at most `maxCost` USDC base
// units, or a sale of `amount`.
struct NOVRSaleOrder {
    enum class Direction { buy, sell };
    Direction direction = Direction::buy;
    UInt256 amount;
    std::optional<UInt256> maxCost; // buys only: without one a buy fails with "Invalid amount"
};

// Starts the run on `flow` at checkingAllowance. False, and nothing started, while the flow
// runs: a second press never makes a second transaction. The password is wiped when the run
// ends; after a buy or sale in a block, or one left without an answer, the state refreshes.
bool startNOVRSale(TransactionFlow& flow, QPointer<AppState> state, NOVRSaleOrder order,
                   SecureBytes password);

// The run itself (startNOVRSale gives it to the flow).
QCoro::Task<void> runNOVRSale(FlowRun run, QPointer<AppState> state, NOVRSaleOrder order,
                              std::shared_ptr<const SecureBytes> password);

} // namespace qm
