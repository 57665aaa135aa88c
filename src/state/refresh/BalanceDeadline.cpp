#include "state/refresh/BalanceDeadline.h"

#include <set>
#include <string>

namespace qm {
namespace {

// Marks the balance of every account of `chain`'s live list as not loaded, except those of the
// accounts in `ended`.
void markBalancesFailed(AppState& state, Chain chain, const std::set<std::string>& ended) {
    const auto fail = [](auto& account) { account.balanceLoad.end(true); };
    switch (chain) {
    case Chain::bitcoin:
        forEachUnended(state.bitcoinAccounts(), ended, [&](std::size_t i, const std::string& id) {
            state.updateBitcoinAccount(i, id, fail);
        });
        break;
    case Chain::solana:
        forEachUnended(state.solanaAccounts(), ended, [&](std::size_t i, const std::string& id) {
            state.updateSolanaAccount(i, id, fail);
        });
        break;
    default:
        forEachUnended(state.evmAccounts(chain), ended, [&](std::size_t i, const std::string& id) {
            state.updateEVMAccount(chain, i, id, fail);
        });
        break;
    }
}

} // namespace

ListDeadline balanceDeadline(const RefreshJob& job, Chain chain) {
    return ListDeadline(listLoadLimit(*job.state),
                        [job, chain](const std::set<std::string>& ended) {
                            if (!job.shouldStop()) {
                                markBalancesFailed(*job.state, chain, ended);
                            }
                        });
}

} // namespace qm
