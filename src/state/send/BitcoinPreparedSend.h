#pragma once
// A Bitcoin payment prepared once, shown as prepared, signed as shown: the coins it spends
// (each with its address's derivation index), the payment and change outputs, the rate and the
// fee they pay. The review shows its amount, fee and total; the send signs exactly its
// transaction, after checking that the chain has not moved (runBitcoinSend).
//
//     BitcoinSendForm form{recipient, sats, SendFeeLevel::normal, false};
//     QCoro::Task<BitcoinPreparedSend> preparing = prepareBitcoinSend(state, form, token);
//     const BitcoinPreparedSend prepared = co_await std::move(preparing);

#include "platform/Bytes.h"
#include "platform/async/CancellationToken.h"
#include "services/bitcoin/BTCTransaction.h"
#include "state/send/SendFeeLevel.h"
#include "state/signing/Signer.h"

#include <QPointer>
#include <cstdint>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <string>
#include <vector>

namespace qm {

class AppState;
class ElectrumClient;
struct BTCAddressInfo;

// What the user asked for.
struct BitcoinSendForm {
    std::string recipient;    // as typed
    std::uint64_t amount = 0; // satoshis; not read when sending everything
    SendFeeLevel feeLevel = SendFeeLevel::normal;
    // "Max": every coin to the payment, no change; the amount is what they leave after the fee.
    bool sendEverything = false;
};

// Every coin of the account as the server lists it, in address order, each with its
// address's derivation index; the change goes to the first address's script.
struct BitcoinAccountCoins {
    std::vector<BTCSpend> spends;
    Bytes changeScript;
};

struct BitcoinPreparedSend {
    BitcoinSendForm form;
    Bytes paymentScript;
    std::uint64_t amount = 0; // to the recipient
    std::uint64_t satPerVByte = 0;
    std::uint64_t fee = 0;        // what the inputs leave over the outputs
    std::vector<BTCSpend> spends; // the inputs, in order
    std::optional<std::uint64_t> change;
    Bytes changeScript;

    // Amount plus fee: what leaves the wallet.
    std::uint64_t total() const { return amount + fee; }
    // Version 2, lock time 0, every input signalling replacement, the payment then the change.
    // Throws SendError::impossibleCoins for a coin whose outpoint cannot be spent.
    BTCUnsignedTransaction transaction() const;
};

// Whether two prepared payments show the user the same: recipient, amount, fee and rate.
bool showsTheSame(const BitcoinPreparedSend& a, const BitcoinPreparedSend& b);

// The payment script of the form's recipient, when its recipient and amount can be paid at
// all: throws SendError (invalidAddress, invalidAmount, belowDust).
Bytes checkBitcoinForm(const BitcoinSendForm& form);

// The payment of `form` from `coins` at `satPerVByte`: every check before anything is signed.
// The coins of `required` (each among `coins`: an earlier payment's, which this one must
// conflict with) are spent first, whatever their size. Throws SendError (invalidAddress,
// invalidAmount, belowDust, insufficientFunds) and CoinSelectionError (not enough, coins that
// cannot exist).
BitcoinPreparedSend prepareBitcoinPayment(BitcoinSendForm form, const BitcoinAccountCoins& coins,
                                          std::uint64_t satPerVByte,
                                          const std::vector<BTCSpend>& required = {});

// Every coin of `addresses`, one listing after the other; checked (CoinSelection::checkCoins).
// Throws the client's errors and CoinSelectionError.
QCoro::Task<BitcoinAccountCoins> listBitcoinCoins(std::shared_ptr<ElectrumClient> client,
                                                  std::vector<BTCAddressInfo> addresses);

// The rate of `level` now, in sat/vB (the level's fallback when the server has no estimate).
// Throws the client's errors.
QCoro::Task<std::uint64_t> bitcoinFeeRate(std::shared_ptr<ElectrumClient> client,
                                          SendFeeLevel level);

// The connected client of `state`'s network; throws SendError::networkUnavailable("Cannot
// connect to Electrum") when none answers, SendError::noAccount when the state has gone.
QCoro::Task<std::shared_ptr<ElectrumClient>> bitcoinClient(QPointer<AppState> state,
                                                           CancellationToken token);

// `form` prepared from the first Bitcoin account's coins at the rate of its level now.
// Throws SendError::noAccount without an account, and what the steps above throw.
QCoro::Task<BitcoinPreparedSend> prepareBitcoinSend(QPointer<AppState> state, BitcoinSendForm form,
                                                    CancellationToken token);

} // namespace qm
