#pragma once
// A send on Ethereum, Arbitrum or Polygon prepared once, shown as prepared, signed as shown:
// what the transaction does (to, value, data), its fee cap and tip of the chosen level (or what
// replacing an earlier attempt asks, when more) and its gas limit from the node's estimate. The
// review shows its amount and max fee (gas limit x fee cap, the most it can cost); the send signs
// exactly these figures with the nonce of the moment, after checking that the node's gas price and
// estimate still fit them (runEVMSend).

#include "core/crypto/UInt256.h"
#include "core/model/Chain.h"
#include "core/model/Token.h"
#include "platform/Bytes.h"
#include "platform/async/CancellationToken.h"
#include "services/evm/ETHSigner.h"
#include "state/flows/EVMReplacementFee.h"
#include "state/flows/EVMTransactionSteps.h"
#include "state/send/SendFeeLevel.h"

#include <QPointer>
#include <cstdint>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <string>

namespace qm {

class AppState;
class JSONRPCClient;

// What the user asked for.
struct EVMSendForm {
    Chain chain = Chain::ethereum;
    // None: the native coin (amount in wei); else the ERC-20 token (amount in its units).
    std::optional<Token> token;
    std::string recipient; // as typed
    UInt256 amount;
    SendFeeLevel feeLevel = SendFeeLevel::normal;
};

// What the transaction does, from the form alone.
struct EVMTransfer {
    Bytes to; // the recipient, or the token's contract
    UInt256 value;
    Bytes data;                 // empty, or the ERC-20 transfer call
    std::uint64_t gasFloor = 0; // 21,000 for the coin, 65,000 for a token
};

struct EVMPreparedSend {
    EVMSendForm form;
    std::string sender; // the chain's first account
    EVMTransfer transfer;
    std::uint64_t nonce = 0; // the node's when prepared; the send reads it again
    UInt256 maxFeePerGas;
    UInt256 maxPriorityFeePerGas;
    std::uint64_t gasLimit = 0;
    UInt256 maxFee; // gasLimit x maxFeePerGas

    // The type-2 transaction of these figures with `nonce`.
    ETHTransaction transaction(std::uint64_t nonce) const;
};

// The transfer of `form`: throws SendError invalidAddress (a recipient evmRecipientBytes
// refuses, a token contract that is not an address) and invalidAmount (zero).
EVMTransfer evmTransfer(const EVMSendForm& form);

// The node's figures turned into the level's fees: the gas price times the level's factor is
// the fee cap, the priority fee times its factor (at most the cap) the tip, both raised to
// `replacing` (what a pool asks to replace an earlier attempt), the larger of the floor and the
// estimate the gas limit. Throws UnbelievableFees for figures past the bounds no honest chain
// passes (EVMFeeBounds.h), std::range_error for figures out of range.
EVMPreparedSend prepareEVMFromFigures(EVMSendForm form, std::string sender, EVMTransfer transfer,
                                      const EVMNodeFigures& figures,
                                      const std::optional<EVMFeeFloor>& replacing = std::nullopt);

// "0.0042 ETH (100.0 Gwei)": the max fee, exact, in the chain's coin and the fee cap per gas.
std::string evmMaxFeeText(const EVMPreparedSend& prepared);

// The connected client of the chain; throws SendError::networkUnavailable ("Cannot connect to
// Ethereum RPC") when none answers, SendError::noAccount when the state has gone.
QCoro::Task<std::shared_ptr<JSONRPCClient>> evmClient(QPointer<AppState> state, Chain chain,
                                                      CancellationToken token);

// `form` prepared from the chain's first account with the node's figures of the moment, paying
// what a pool asks to replace the earlier attempt the review names (earlierAttemptFeeFloor).
// Throws SendError (noAccount, invalidAddress, invalidAmount, networkUnavailable), the node's
// errors (an estimate refused for want of funds) and std::range_error.
QCoro::Task<EVMPreparedSend> prepareEVMSend(QPointer<AppState> state, EVMSendForm form,
                                            CancellationToken token);

} // namespace qm
