#pragma once
// What a send body is given: a prepared send (what the review showed), the password that opens
// the seed for its one signing, and where to hand a send prepared again. A body is a plain
// function over a FlowRun:
//
//     QCoro::Task<void> runEVMSend(FlowRun run, EVMSendRequest request);
//
// It checks the prepared send against the chain of the moment. When the chain has moved (a
// higher rate or gas price, a coin spent meanwhile) it prepares the send again, hands the new
// one to `revised` (the review shows it, the next press sends it) and fails before signing
// with the new figure; otherwise it signs exactly the prepared send (the request's password
// is wiped once the signer has used it), broadcasts it and ends the run as TransactionFlow
// says. The send view model builds the requests from its review; tests build their own.

#include "platform/SecureBytes.h"
#include "state/send/BitcoinPreparedSend.h"
#include "state/send/EVMPreparedSend.h"
#include "state/send/SolanaPreparedSend.h"

#include <QPointer>
#include <functional>
#include <string>

namespace qm {

class AppState;

template <typename Prepared> struct PreparedSendRequest {
    // The state whose wallet, accounts, signer and network the send uses; a send whose state
    // has gone fails before anything leaves.
    QPointer<AppState> state;
    std::string walletID;
    SecureBytes password;
    Prepared prepared;
    // Told the send prepared again when the chain moved (none: nobody is told).
    std::function<void(const Prepared&)> revised;
};

using BitcoinSendRequest = PreparedSendRequest<BitcoinPreparedSend>;
using EVMSendRequest = PreparedSendRequest<EVMPreparedSend>;
using SolanaSendRequest = PreparedSendRequest<SolanaPreparedSend>;

} // namespace qm
