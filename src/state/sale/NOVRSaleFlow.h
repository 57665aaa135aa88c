#pragma once
// A prepared buy or sale of NOVR on Arbitrum One as a flow: the node asked again, the approval
// of the token spent when the allowance is short (in a block before going on), then the buy or
// sell transaction, signed with the prepared fees (EVMPreparedCallSigning) by the wallet's
// first EVM key and followed until its receipt. The run belongs to a TransactionFlow of the
// FlowService, so it ends the same way whether or not the sheet that started it is still
// open. GUI thread only.

#include "platform/SecureBytes.h"
#include "state/flows/TransactionFlow.h"
#include "state/sale/NOVRPreparedSale.h"

#include <QPointer>
#include <functional>
#include <memory>
#include <qcoro/qcorotask.h>

namespace qm {

class AppState;

// What the run is given: the buy or sale as reviewed, the wallet's password, and where one
// prepared again goes (the review shows it, the next press signs it).
struct NOVRSaleRequest {
    QPointer<AppState> state;
    SecureBytes password;
    NOVRPreparedSale prepared;
    std::function<void(const NOVRPreparedSale&)> revised;
};

// Starts the run on `flow` at checkingAllowance. False, and nothing started, while the flow
// runs: a second press never makes a second transaction. The password is wiped when the run
// ends; after a buy or sale in a block, or one left without an answer, the state refreshes.
bool startNOVRSale(TransactionFlow& flow, NOVRSaleRequest request);

// The run itself (startNOVRSale gives it to the flow). A wrong password fails while the
// allowance is checked, before any approval or signing step shows.
QCoro::Task<void> runNOVRSale(FlowRun run, QPointer<AppState> state, NOVRPreparedSale prepared,
                              std::shared_ptr<const SecureBytes> password,
                              std::function<void(const NOVRPreparedSale&)> revised);

} // namespace qm
