#pragma once
// What a send body is given: everything the user confirmed, exact, and the password that
// opens the seed for its one signing. A body is a plain function over a FlowRun:
//
//     QCoro::Task<void> runEVMSend(FlowRun run, EVMSendRequest request);
//
// It moves the flow's steps and progress, signs through the signer (the request's password
// is wiped when the request goes, right after the signing), broadcasts, and ends the run as
// TransactionFlow says. The send view model builds the requests; tests build their own.

#include "core/crypto/UInt256.h"
#include "core/model/Chain.h"
#include "core/model/Token.h"
#include "platform/SecureBytes.h"
#include "services/bitcoin/BTCFeeRate.h"

#include <QPointer>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace qm {

class AppState;

// The fee level the user picked: "Economy", "Normal", "Priority".
enum class SendFeeLevel { slow, normal, fast };

// Bitcoin's level for the estimate: slow is economy (6 blocks), normal 3, fast 1.
BTCFeeLevel btcFeeLevel(SendFeeLevel level);

struct SendRequest {
    // The state whose wallet, accounts, signer and network the send uses; a send whose state
    // has gone fails before anything leaves.
    QPointer<AppState> state;
    std::string walletID;
    SecureBytes password;
    std::string recipient; // as typed
    // Base units of what is sent: satoshis, wei, token units or lamports; above zero.
    UInt256 amount;
    SendFeeLevel feeLevel = SendFeeLevel::normal;
};

struct BitcoinSendRequest : SendRequest {
    // The rate and fee the user saw (the fee estimate for a one-input, two-output
    // transaction). The transaction is signed at this rate; when it needs a higher fee
    // (more inputs, or the estimate rose since), nothing is signed and the send fails with
    // SendError::feeAboveShown after `feeRevised` was told the fee it needs.
    std::uint64_t shownSatPerVByte = 0;
    std::uint64_t shownFeeSats = 0;
    std::function<void(std::uint64_t satPerVByte, std::uint64_t feeSats)> feeRevised;
    // Send everything ("Max"): every coin to the one payment output, no change. Signed only
    // when `amount` and the fee shown spend exactly every coin at no less than the rate of
    // the moment; otherwise nothing is signed and the send fails with
    // SendError::everythingRevised after `everythingRevised` was told what it would send.
    bool sendEverything = false;
    std::function<void(std::uint64_t amountSats, std::uint64_t satPerVByte, std::uint64_t feeSats)>
        everythingRevised;
};

struct EVMSendRequest : SendRequest {
    Chain chain = Chain::ethereum;
    // None: the native coin (amount in wei); else the ERC-20 token (amount in its units).
    std::optional<Token> token;
};

struct SolanaSendRequest : SendRequest {};

} // namespace qm
