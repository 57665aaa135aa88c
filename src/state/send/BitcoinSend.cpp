#include "state/send/BitcoinSend.h"

#include "core/encoding/Hex.h"
#include "platform/async/TaskHandle.h"
#include "services/bitcoin/BTCSigner.h"
#include "services/bitcoin/ElectrumClient.h"
#include "state/AppState.h"
#include "state/flows/AttemptLedger.h"
#include "state/send/BitcoinBroadcast.h"
#include "state/send/SendError.h"
#include "state/signing/Signer.h"

#include <algorithm>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace qm {
namespace {

using Step = TransactionFlow::Step;

// The prepared send, checked against what the server lists now and the coins of the earlier
// attempts that may still land (`earlier`, which the server no longer lists once one of them is
// in its pool): itself while every coin it spends is there (same outpoint, same value), it
// spends every coin of `earlier`, and the rate of its level is not above its own. Otherwise the
// send is prepared again from those coins, spending every coin of `earlier` (so at most one of
// the payments can land), at no lower rate than the user accepted: one that shows the same
// figures is signed in its place; any other is handed to `revised` and nothing is signed, the
// failure naming what changed.
BitcoinPreparedSend checkedAgainstChain(const BitcoinSendRequest& request,
                                        BitcoinAccountCoins coins, std::uint64_t rate,
                                        const std::vector<BTCSpend>& earlier) {
    const BitcoinPreparedSend& prepared = request.prepared;
    std::unordered_map<std::string, std::uint64_t> listed;
    for (const BTCSpend& spend : coins.spends) {
        listed.emplace(spend.utxo.id(), spend.utxo.value);
    }
    for (const BTCSpend& spend : earlier) {
        if (listed.emplace(spend.utxo.id(), spend.utxo.value).second) {
            coins.spends.push_back(spend);
        }
    }
    const bool unspent =
        std::all_of(prepared.spends.begin(), prepared.spends.end(), [&](const BTCSpend& spend) {
            const auto found = listed.find(spend.utxo.id());
            return found != listed.end() && found->second == spend.utxo.value;
        });
    // By outpoint, once: both lists may hold thousands of coins.
    std::unordered_set<std::string> spent;
    for (const BTCSpend& spend : prepared.spends) {
        spent.insert(spend.utxo.id());
    }
    const bool conflicts = std::all_of(earlier.begin(), earlier.end(), [&](const BTCSpend& coin) {
        return spent.contains(coin.utxo.id());
    });
    if (unspent && conflicts && rate <= prepared.satPerVByte) {
        return prepared;
    }
    BitcoinPreparedSend fresh =
        prepareBitcoinPayment(prepared.form, coins, std::max(rate, prepared.satPerVByte), earlier);
    if (request.revised) {
        request.revised(fresh);
    }
    if (showsTheSame(fresh, prepared)) {
        return fresh;
    }
    if (prepared.form.sendEverything) {
        throw SendError::everythingRevised(fresh.amount, fresh.fee, fresh.satPerVByte);
    }
    if (fresh.fee > prepared.fee) {
        throw SendError::feeAboveShown(fresh.fee, fresh.satPerVByte);
    }
    throw SendError::coinsRevised(fresh.fee, fresh.satPerVByte);
}

// The prepared send checked against the chain (with the coins of the earlier attempts that may
// still land) and signed.
QCoro::Task<SignedBroadcast> signBitcoinSend(FlowRun run, std::shared_ptr<ElectrumClient> client,
                                             BitcoinSendRequest& request, std::string accountID,
                                             BitcoinAccountCoins coins,
                                             std::vector<BTCSpend> earlier) {
    const QPointer<AppState> state = request.state;
    QCoro::Task<std::uint64_t> estimating = bitcoinFeeRate(client, request.prepared.form.feeLevel);
    const std::uint64_t rate = co_await std::move(estimating);
    if (!run.isActive()) {
        co_return SignedBroadcast{};
    }
    const BitcoinPreparedSend prepared =
        checkedAgainstChain(request, std::move(coins), rate, earlier);
    QCoro::Task<void> pacing = run.animateProgress(0.3, 0.2);
    co_await std::move(pacing);

    BTCUnsignedTransaction transaction = prepared.transaction();
    std::vector<BTCSpend> spends = prepared.spends;
    pacing = run.animateProgress(0.4, 0.2);
    co_await std::move(pacing);
    if (!run.isActive() || !state) {
        co_return SignedBroadcast{};
    }

    const std::string_view password(reinterpret_cast<const char*>(request.password.data()),
                                    request.password.size());
    QCoro::Task<BTCUnsignedTransaction> signing = state->signer().signBitcoinTransaction(
        request.walletID, password, std::move(transaction), std::move(spends));
    BTCUnsignedTransaction signedTransaction = co_await std::move(signing);
    request.password.clear();
    if (!run.isActive()) {
        co_return SignedBroadcast{};
    }
    pacing = run.animateProgress(0.6, 0.3);
    co_await std::move(pacing);
    QCoro::Task<SignedBroadcast> encoding =
        bitcoinBroadcast(state, client, std::move(signedTransaction), prepared.spends);
    SignedBroadcast tx = co_await std::move(encoding);
    if (!run.isActive()) {
        co_return SignedBroadcast{};
    }
    tx.record.account = accountID;
    tx.record.counterparty = prepared.form.recipient;
    co_return tx;
}

} // namespace

QCoro::Task<void> runBitcoinSend(FlowRun run, BitcoinSendRequest request) {
    const QPointer<AppState> state = request.state;
    if (!state || request.walletID.empty() || state->bitcoinAccounts().empty()) {
        throw SendError(SendError::Code::noAccount);
    }
    run.useLedger(state->attemptLedger());
    const std::vector<BTCAddressInfo> addresses = state->bitcoinAccounts().front().addresses;
    QCoro::Task<void> pacing = run.animateProgress(0.1, 0.3);
    co_await std::move(pacing);

    if (!run.isActive()) {
        co_return;
    }
    QCoro::Task<std::shared_ptr<ElectrumClient>> connecting = bitcoinClient(state, run.token());
    const std::shared_ptr<ElectrumClient> client = co_await std::move(connecting);
    if (!run.isActive()) {
        co_return;
    }
    QCoro::Task<BitcoinAccountCoins> listing = listBitcoinCoins(client, addresses);
    const BitcoinAccountCoins coins = co_await std::move(listing);
    if (!run.isActive()) {
        co_return;
    }
    pacing = run.animateProgress(0.2, 0.3);
    co_await std::move(pacing);

    // A transaction of an earlier press that the chain knows now is the one this send is.
    const std::string accountID = state->bitcoinAccounts().front().id();
    QCoro::Task<std::optional<SignedBroadcast>> signing = earlierOrSigned(
        run, bitcoinAttemptScope(state, client, accountID), [&](EarlierAttempts earlier) {
            return signBitcoinSend(run, client, request, accountID, coins,
                                   earlier.conflict ? earlier.conflict->coins
                                                    : std::vector<BTCSpend>());
        });
    std::optional<SignedBroadcast> tx = co_await std::move(signing);
    if (!tx || !state) {
        co_return;
    }
    run.setStep(Step::Broadcasting);
    QCoro::Task<bool> broadcasting = broadcastSigned(run, std::move(*tx));
    const bool sent = co_await std::move(broadcasting);
    if (!run.isActive()) {
        co_return;
    }
    if (AppState* owner = state.data()) {
        // Balances and history catch up in the background; the send does not wait for them.
        TaskHandle::spawn(owner, [owner](CancellationToken token) {
            return owner->refreshAll(std::move(token));
        });
    }
    if (!sent) {
        co_return;
    }
    pacing = run.animateProgress(1.0, 0.8);
    co_await std::move(pacing);
    // Nothing here watches the chain: the honest end is "submitted", with the id.
    run.submitted();
}

} // namespace qm
