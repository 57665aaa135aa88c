#include "state/send/BitcoinSend.h"

#include "core/crypto/Bech32.h"
#include "core/encoding/Hex.h"
#include "platform/async/TaskHandle.h"
#include "services/bitcoin/BTCSigner.h"
#include "services/bitcoin/CoinSelection.h"
#include "services/bitcoin/ElectrumClient.h"
#include "services/bitcoin/ElectrumScriptHash.h"
#include "services/connections/NetworkManager.h"
#include "state/AppState.h"
#include "state/send/SendError.h"
#include "state/signing/Signer.h"

#include <algorithm>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qm {
namespace {

using Step = TransactionFlow::Step;

// The P2WPKH output script of a compressed public key: 0x00 0x14 hash160(key).
Bytes p2wpkhScript(ByteView publicKey) {
    Bytes script{0x00, 0x14};
    const Bytes keyHash = hash160(publicKey);
    script.insert(script.end(), keyHash.begin(), keyHash.end());
    return script;
}

// The output script paying a mainnet segwit address ("bc1..."): P2WPKH, P2WSH or P2TR. Any
// other network, version or program length is refused: coins sent there would be lost.
Bytes recipientScript(const std::string& address) {
    const std::optional<SegwitAddress> decoded = segwitAddressDecode(address);
    if (!decoded || decoded->hrp != "bc") {
        throw SendError(SendError::Code::invalidAddress);
    }
    const std::size_t length = decoded->program.size();
    Bytes script;
    if (decoded->version == 0 && (length == 20 || length == 32)) {
        script = {0x00, static_cast<std::uint8_t>(length)};
    } else if (decoded->version == 1 && length == 32) {
        script = {0x51, 0x20};
    } else {
        throw SendError(SendError::Code::invalidAddress);
    }
    script.insert(script.end(), decoded->program.begin(), decoded->program.end());
    return script;
}

// The wire order of a displayed transaction id; none unless it is 32 bytes of hex.
std::optional<Bytes> wireTxHash(const std::string& displayed) {
    std::optional<Bytes> bytes = hexToBytes(displayed);
    if (!bytes || bytes->size() != 32) {
        return std::nullopt;
    }
    std::reverse(bytes->begin(), bytes->end());
    return bytes;
}

// The coins of every address of the account, in list order, each with its address's
// derivation index; a listing that fails fails the send. The first address's script is the
// change script.

struct AccountCoins {
    std::vector<BTCSpend> spends;
    Bytes changeScript;
};

QCoro::Task<AccountCoins> listCoins(FlowRun run, std::shared_ptr<ElectrumClient> client,
                                    std::vector<BTCAddressInfo> addresses) {
    AccountCoins coins;
    for (const BTCAddressInfo& address : addresses) {
        const Bytes script = p2wpkhScript(address.compressedPublicKey);
        if (coins.changeScript.empty()) {
            coins.changeScript = script;
        }
        QCoro::Task<std::vector<ElectrumUTXO>> listing = client->listUnspent(address.scriptHash);
        const std::vector<ElectrumUTXO> found = co_await std::move(listing);
        if (!run.isActive()) {
            co_return coins;
        }
        for (const ElectrumUTXO& entry : found) {
            UTXO utxo{entry.tx_hash, entry.tx_pos, entry.value, entry.height, script};
            coins.spends.push_back({std::move(utxo), address.derivationIndex});
        }
    }
    co_return coins;
}

// The fee a transaction pays: what its inputs bring beyond its outputs.
std::uint64_t feeOf(const CoinSelectionResult& selection, std::uint64_t amount) {
    std::uint64_t total = 0;
    for (const UTXO& coin : selection.utxos) {
        total += coin.value; // the selection has checked the sum
    }
    return total - amount - selection.change.value_or(0);
}

BTCUnsignedTransaction buildTransaction(const CoinSelectionResult& selection,
                                        const std::vector<BTCSpend>& coins,
                                        std::vector<BTCSpend>& spends, Bytes recipient,
                                        std::uint64_t amount, const Bytes& changeScript) {
    // The first record of each coin, by "txid:vout": a wallet may hold thousands.
    std::unordered_map<std::string, const BTCSpend*> held;
    for (const BTCSpend& spend : coins) {
        held.emplace(spend.utxo.id(), &spend);
    }
    BTCUnsignedTransaction transaction;
    for (const UTXO& coin : selection.utxos) {
        const std::optional<Bytes> hash = wireTxHash(coin.txHash);
        if (!hash || coin.outputIndex < 0 || coin.outputIndex > 0xFFFFFFFF) {
            throw SendError(SendError::Code::insufficientFunds);
        }
        transaction.inputs.push_back(
            {*hash, static_cast<std::uint32_t>(coin.outputIndex), 0xFFFFFFFD, {}});
        spends.push_back(*held.at(coin.id()));
    }
    transaction.outputs.push_back({amount, std::move(recipient)});
    if (selection.change) {
        transaction.outputs.push_back({*selection.change, changeScript});
    }
    return transaction;
}

std::vector<UTXO> utxosOf(const std::vector<BTCSpend>& spends) {
    std::vector<UTXO> utxos;
    utxos.reserve(spends.size());
    for (const BTCSpend& spend : spends) {
        utxos.push_back(spend.utxo);
    }
    return utxos;
}

// Stops before signing when the transaction needs more than the user saw: a higher rate
// now, or more inputs (or a remainder left to the fee) than the estimate assumed.
void checkFeeShown(const BitcoinSendRequest& request, const std::vector<UTXO>& utxos,
                   std::uint64_t amount, std::uint64_t paymentVBytes, std::uint64_t currentRate,
                   std::uint64_t fee) {
    std::uint64_t neededRate = request.shownSatPerVByte;
    std::uint64_t neededFee = fee;
    if (currentRate > request.shownSatPerVByte) {
        neededRate = currentRate;
        neededFee = feeOf(CoinSelection::select(utxos, amount, currentRate, paymentVBytes), amount);
    } else if (fee <= request.shownFeeSats) {
        return;
    }
    if (request.feeRevised) {
        request.feeRevised(neededRate, neededFee);
    }
    throw SendError::feeAboveShown(neededFee, neededRate);
}

// Every coin to the payment: the selection to build when what was shown is what every coin
// pays at no less than the rate of the moment, else (nothing signed) the amount and fee it
// would be, told to the form.
CoinSelectionResult spendEverything(const BitcoinSendRequest& request,
                                    const std::vector<UTXO>& utxos, std::uint64_t amount,
                                    std::uint64_t paymentVBytes, std::uint64_t currentRate) {
    const std::uint64_t rate = std::max(request.shownSatPerVByte, currentRate);
    const SpendAllResult all = CoinSelection::spendAll(utxos, rate, paymentVBytes);
    const bool spendsAll = amount <= all.total && all.total - amount == request.shownFeeSats;
    if (spendsAll && request.shownFeeSats >= all.fee && amount > CoinSelection::kDustLimit) {
        return {all.utxos, request.shownFeeSats, std::nullopt};
    }
    if (request.everythingRevised) {
        request.everythingRevised(all.amount, rate, all.fee);
    }
    throw SendError::everythingRevised(all.amount, all.fee, rate);
}

} // namespace

QCoro::Task<void> runBitcoinSend(FlowRun run, BitcoinSendRequest request) {
    const QPointer<AppState> state = request.state;
    if (!state || request.walletID.empty() || state->bitcoinAccounts().empty()) {
        throw SendError(SendError::Code::noAccount);
    }
    const std::vector<BTCAddressInfo> addresses = state->bitcoinAccounts().front().addresses;
    QCoro::Task<void> pacing = run.animateProgress(0.1, 0.3);
    co_await std::move(pacing);

    QCoro::Task<std::shared_ptr<ElectrumClient>> connecting =
        state->networkManager().connectedElectrumClient(run.token());
    const std::shared_ptr<ElectrumClient> client = co_await std::move(connecting);
    if (!run.isActive() || !state) {
        co_return;
    }
    if (!client) {
        throw SendError::networkUnavailable("Cannot connect to Electrum");
    }
    QCoro::Task<AccountCoins> listing = listCoins(run, client, addresses);
    const AccountCoins coins = co_await std::move(listing);
    if (!run.isActive()) {
        co_return;
    }
    if (coins.spends.empty()) {
        throw SendError(SendError::Code::insufficientFunds);
    }
    pacing = run.animateProgress(0.2, 0.3);
    co_await std::move(pacing);

    // The estimate of the moment only checks the rate shown: the transaction is signed at
    // the rate the user saw, or not at all.
    const BTCFeeLevel level = btcFeeLevel(request.feeLevel);
    QCoro::Task<double> estimating = client->estimateFee(feeTargetBlocks(level));
    const double estimate = co_await std::move(estimating);
    if (!run.isActive()) {
        co_return;
    }
    const std::uint64_t currentRate = BTCFeeRate::fromEstimate(level, estimate).satPerVByte;
    const std::optional<std::uint64_t> amount = request.amount.toUInt64();
    if (!amount || *amount == 0) {
        throw SendError(SendError::Code::invalidAmount);
    }
    const std::uint64_t rate = request.shownSatPerVByte;
    const std::vector<UTXO> utxos = utxosOf(coins.spends);
    Bytes payment = recipientScript(request.recipient);
    const std::uint64_t paymentVBytes = CoinSelection::outputVBytes(payment.size());
    const CoinSelectionResult selection =
        request.sendEverything
            ? spendEverything(request, utxos, *amount, paymentVBytes, currentRate)
            : CoinSelection::select(utxos, *amount, rate, paymentVBytes);
    pacing = run.animateProgress(0.3, 0.2);
    co_await std::move(pacing);

    std::vector<BTCSpend> spends;
    BTCUnsignedTransaction transaction = buildTransaction(
        selection, coins.spends, spends, std::move(payment), *amount, coins.changeScript);
    if (!request.sendEverything) {
        checkFeeShown(request, utxos, *amount, paymentVBytes, currentRate,
                      feeOf(selection, *amount));
    }
    pacing = run.animateProgress(0.4, 0.2);
    co_await std::move(pacing);
    if (!run.isActive() || !state) {
        co_return;
    }

    const std::string_view password(reinterpret_cast<const char*>(request.password.data()),
                                    request.password.size());
    QCoro::Task<BTCUnsignedTransaction> signing = state->signer().signBitcoinTransaction(
        request.walletID, password, std::move(transaction), std::move(spends));
    const BTCUnsignedTransaction signedTransaction = co_await std::move(signing);
    request.password.clear();
    if (!run.isActive()) {
        co_return;
    }
    pacing = run.animateProgress(0.6, 0.3);
    co_await std::move(pacing);

    run.setStep(Step::Broadcasting);
    const Bytes raw =
        BTCSigner::serialize(true, signedTransaction.version, signedTransaction.inputs,
                             signedTransaction.outputs, signedTransaction.lockTime);
    QCoro::Task<std::string> broadcasting = client->broadcast(bytesToPlainHex(raw));
    const std::string id = co_await std::move(broadcasting);
    run.broadcasted(id);
    if (!run.isActive()) {
        co_return;
    }
    if (AppState* owner = state.data()) {
        // Balances and history catch up in the background; the send does not wait for them.
        TaskHandle::spawn(owner, [owner](CancellationToken token) {
            return owner->refreshAll(std::move(token));
        });
    }
    pacing = run.animateProgress(1.0, 0.8);
    co_await std::move(pacing);
    // Nothing here watches the chain: the honest end is "submitted", with the id.
    run.submitted();
}

} // namespace qm
