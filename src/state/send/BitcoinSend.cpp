#include "state/send/BitcoinSend.h"

#include "platform/async/TaskHandle.h"
#include "services/bitcoin/ElectrumClient.h"
#include "state/AppState.h"
#include "state/send/BitcoinBroadcast.h"
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

// The prepared send, checked against what the server lists now: itself while every coin it
// spends is still there (same outpoint, same value) and the rate of its level is not above its
// own. Otherwise the send is prepared again from the coins of the moment (at no lower rate than
// the user accepted): one that shows the same figures is signed in its place; any other is
// handed to `revised` and nothing is signed, the failure naming what changed.
BitcoinPreparedSend checkedAgainstChain(const BitcoinSendRequest& request,
                                        const BitcoinAccountCoins& coins, std::uint64_t rate) {
    const BitcoinPreparedSend& prepared = request.prepared;
    std::unordered_map<std::string, std::uint64_t> listed;
    for (const BTCSpend& spend : coins.spends) {
        listed.emplace(spend.utxo.id(), spend.utxo.value);
    }
    const bool unspent =
        std::all_of(prepared.spends.begin(), prepared.spends.end(), [&](const BTCSpend& spend) {
            const auto found = listed.find(spend.utxo.id());
            return found != listed.end() && found->second == spend.utxo.value;
        });
    if (unspent && rate <= prepared.satPerVByte) {
        return prepared;
    }
    BitcoinPreparedSend fresh =
        prepareBitcoinPayment(prepared.form, coins, std::max(rate, prepared.satPerVByte));
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

} // namespace

QCoro::Task<void> runBitcoinSend(FlowRun run, BitcoinSendRequest request) {
    const QPointer<AppState> state = request.state;
    if (!state || request.walletID.empty() || state->bitcoinAccounts().empty()) {
        throw SendError(SendError::Code::noAccount);
    }
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

    QCoro::Task<std::uint64_t> estimating = bitcoinFeeRate(client, request.prepared.form.feeLevel);
    const std::uint64_t rate = co_await std::move(estimating);
    if (!run.isActive()) {
        co_return;
    }
    const BitcoinPreparedSend prepared = checkedAgainstChain(request, coins, rate);
    pacing = run.animateProgress(0.3, 0.2);
    co_await std::move(pacing);

    BTCUnsignedTransaction transaction = prepared.transaction();
    std::vector<BTCSpend> spends = prepared.spends;
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
    QCoro::Task<bool> broadcasting =
        broadcastSigned(run, bitcoinBroadcast(state, client, signedTransaction));
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
