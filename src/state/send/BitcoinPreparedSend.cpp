#include "state/send/BitcoinPreparedSend.h"

#include "core/encoding/Hex.h"
#include "services/bitcoin/CoinSelection.h"
#include "services/bitcoin/ElectrumClient.h"
#include "services/bitcoin/ElectrumScriptHash.h"
#include "services/connections/NetworkManager.h"
#include "state/AppState.h"
#include "state/send/SendError.h"
#include "state/send/SendRecipients.h"

#include <algorithm>
#include <iterator>
#include <unordered_map>
#include <unordered_set>

namespace qm {
namespace {

// The P2WPKH output script of a compressed public key: 0x00 0x14 hash160(key).
Bytes p2wpkhScript(ByteView publicKey) {
    Bytes script{0x00, 0x14};
    const Bytes keyHash = hash160(publicKey);
    script.insert(script.end(), keyHash.begin(), keyHash.end());
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

bool spendable(const UTXO& coin) {
    return wireTxHash(coin.txHash) && coin.outputIndex >= 0 && coin.outputIndex <= 0xFFFFFFFF;
}

std::vector<UTXO> utxosOf(const std::vector<BTCSpend>& spends) {
    std::vector<UTXO> utxos;
    utxos.reserve(spends.size());
    for (const BTCSpend& spend : spends) {
        utxos.push_back(spend.utxo);
    }
    return utxos;
}

} // namespace

BTCUnsignedTransaction BitcoinPreparedSend::transaction() const {
    BTCUnsignedTransaction transaction;
    for (const BTCSpend& spend : spends) {
        const std::optional<Bytes> hash = wireTxHash(spend.utxo.txHash);
        if (!hash || !spendable(spend.utxo)) {
            throw CoinSelectionError::impossibleCoins("the coin " + spend.utxo.id() +
                                                      " has no valid outpoint");
        }
        transaction.inputs.push_back(
            {*hash, static_cast<std::uint32_t>(spend.utxo.outputIndex), 0xFFFFFFFD, {}});
    }
    transaction.outputs.push_back({amount, paymentScript});
    if (change) {
        transaction.outputs.push_back({*change, changeScript});
    }
    return transaction;
}

bool showsTheSame(const BitcoinPreparedSend& a, const BitcoinPreparedSend& b) {
    return a.form.recipient == b.form.recipient && a.amount == b.amount && a.fee == b.fee &&
           a.satPerVByte == b.satPerVByte;
}

Bytes checkBitcoinForm(const BitcoinSendForm& form) {
    std::optional<Bytes> payment = bitcoinPaymentScript(form.recipient);
    if (!payment) {
        throw SendError(SendError::Code::invalidAddress);
    }
    if (!form.sendEverything && form.amount == 0) {
        throw SendError(SendError::Code::invalidAmount);
    }
    if (!form.sendEverything && form.amount < CoinSelection::kDustLimit) {
        throw SendError(SendError::Code::belowDust);
    }
    return std::move(*payment);
}

BitcoinPreparedSend prepareBitcoinPayment(BitcoinSendForm form, const BitcoinAccountCoins& coins,
                                          std::uint64_t satPerVByte,
                                          const std::vector<BTCSpend>& required) {
    std::optional<Bytes> payment = checkBitcoinForm(form);
    if (coins.spends.empty()) {
        throw SendError(SendError::Code::insufficientFunds);
    }
    const std::vector<UTXO> utxos = utxosOf(coins.spends);
    CoinSelection::checkCoins(utxos);
    // The required coins first, in their order: selection takes them whatever their size.
    std::vector<UTXO> selectable = utxosOf(required);
    std::unordered_set<std::string> requiredIDs;
    for (const BTCSpend& spend : required) {
        requiredIDs.insert(spend.utxo.id());
    }
    std::copy_if(utxos.begin(), utxos.end(), std::back_inserter(selectable),
                 [&](const UTXO& coin) { return !requiredIDs.contains(coin.id()); });
    const std::uint64_t paymentVBytes = CoinSelection::outputVBytes(payment->size());

    BitcoinPreparedSend prepared;
    prepared.paymentScript = std::move(*payment);
    prepared.satPerVByte = satPerVByte;
    prepared.changeScript = coins.changeScript;
    if (form.sendEverything) {
        const SpendAllResult all = CoinSelection::spendAll(utxos, satPerVByte, paymentVBytes);
        prepared.amount = all.amount;
        prepared.fee = all.fee;
        prepared.spends = coins.spends;
    } else {
        const CoinSelectionResult selection = CoinSelection::select(
            selectable, form.amount, satPerVByte, paymentVBytes, required.size());
        // The first record of each coin, by "txid:vout": a wallet may hold thousands.
        std::unordered_map<std::string, const BTCSpend*> held;
        for (const BTCSpend& spend : coins.spends) {
            held.emplace(spend.utxo.id(), &spend);
        }
        std::uint64_t total = 0;
        for (const UTXO& coin : selection.utxos) {
            prepared.spends.push_back(*held.at(coin.id()));
            total += coin.value; // checked: at most every bitcoin there is
        }
        prepared.amount = form.amount;
        prepared.change = selection.change;
        // What the inputs leave over the outputs (a remainder of dust included).
        prepared.fee = total - form.amount - selection.change.value_or(0);
    }
    prepared.form = std::move(form);
    return prepared;
}

QCoro::Task<BitcoinAccountCoins> listBitcoinCoins(std::shared_ptr<ElectrumClient> client,
                                                  std::vector<BTCAddressInfo> addresses) {
    BitcoinAccountCoins coins;
    for (const BTCAddressInfo& address : addresses) {
        const Bytes script = p2wpkhScript(address.compressedPublicKey);
        if (coins.changeScript.empty()) {
            coins.changeScript = script;
        }
        QCoro::Task<std::vector<ElectrumUTXO>> listing = client->listUnspent(address.scriptHash);
        const std::vector<ElectrumUTXO> found = co_await std::move(listing);
        for (const ElectrumUTXO& entry : found) {
            UTXO utxo{entry.tx_hash, entry.tx_pos, entry.value, entry.height, script};
            coins.spends.push_back({std::move(utxo), address.derivationIndex});
        }
    }
    for (const BTCSpend& spend : coins.spends) {
        if (!spendable(spend.utxo)) {
            throw CoinSelectionError::impossibleCoins("the coin " + spend.utxo.id() +
                                                      " has no valid outpoint");
        }
    }
    CoinSelection::checkCoins(utxosOf(coins.spends));
    co_return coins;
}

QCoro::Task<std::uint64_t> bitcoinFeeRate(std::shared_ptr<ElectrumClient> client,
                                          SendFeeLevel level) {
    const BTCFeeLevel btcLevel = btcFeeLevel(level);
    QCoro::Task<double> estimating = client->estimateFee(feeTargetBlocks(btcLevel));
    const double estimate = co_await std::move(estimating);
    co_return BTCFeeRate::fromEstimate(btcLevel, estimate).satPerVByte;
}

QCoro::Task<std::shared_ptr<ElectrumClient>> bitcoinClient(QPointer<AppState> state,
                                                           CancellationToken token) {
    if (!state) {
        throw SendError(SendError::Code::noAccount);
    }
    QCoro::Task<std::shared_ptr<ElectrumClient>> connecting =
        state->networkManager().connectedElectrumClient(std::move(token));
    std::shared_ptr<ElectrumClient> client = co_await std::move(connecting);
    if (!state) {
        throw SendError(SendError::Code::noAccount);
    }
    if (!client) {
        throw SendError::networkUnavailable("Cannot connect to Electrum");
    }
    co_return client;
}

QCoro::Task<BitcoinPreparedSend> prepareBitcoinSend(QPointer<AppState> state, BitcoinSendForm form,
                                                    CancellationToken token) {
    if (!state || state->bitcoinAccounts().empty()) {
        throw SendError(SendError::Code::noAccount);
    }
    // The form's own checks first: nothing goes to the network for a recipient or amount
    // that cannot be paid.
    checkBitcoinForm(form);
    std::vector<BTCAddressInfo> addresses = state->bitcoinAccounts().front().addresses;
    QCoro::Task<std::shared_ptr<ElectrumClient>> connecting = bitcoinClient(state, token);
    const std::shared_ptr<ElectrumClient> client = co_await std::move(connecting);
    QCoro::Task<BitcoinAccountCoins> listing = listBitcoinCoins(client, std::move(addresses));
    const BitcoinAccountCoins coins = co_await std::move(listing);
    QCoro::Task<std::uint64_t> estimating = bitcoinFeeRate(client, form.feeLevel);
    const std::uint64_t rate = co_await std::move(estimating);
    co_return prepareBitcoinPayment(std::move(form), coins, rate);
}

} // namespace qm
