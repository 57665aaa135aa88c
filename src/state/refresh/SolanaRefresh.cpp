#include "state/refresh/SolanaRefresh.h"

#include "services/connections/NetworkManager.h"
#include "services/solana/SPLToken.h"
#include "services/solana/SolanaRPCClient.h"
#include "state/refresh/BalanceDeadline.h"
#include "state/refresh/ListDeadline.h"

#include <memory>
#include <set>
#include <utility>

namespace qm {
namespace {

constexpr int signatureLimit = 20;

// Changes element `index` of the live list in place; false when it is gone or another account.
template <typename Change>
bool writeSolanaAccount(AppState& state, std::size_t index, const std::string& id,
                        Change&& change) {
    return state.updateSolanaAccount(index, id, std::forward<Change>(change));
}

// Awaits one request of the job; its result, or none after a failure. `stop` is set when the
// job is to end.
template <typename T>
QCoro::Task<std::optional<T>> attempt(const RefreshJob& job, QCoro::Task<T> request, bool& stop) {
    try {
        std::optional<T> result = co_await untilCancelled(std::move(request), job.token);
        stop = !result || job.shouldStop();
        co_return result;
    } catch (const std::exception&) {
        stop = job.shouldStop();
        co_return std::nullopt;
    }
}

// Marks the history of every Solana account as not loaded, except those of the accounts in
// `ended`; the rows stay.
void markHistoriesFailed(AppState& state, const std::set<std::string>& ended = {}) {
    forEachUnended(state.solanaAccounts(), ended, [&](std::size_t i, const std::string& id) {
        writeSolanaAccount(state, i, id, [](SolanaAccountState& a) { a.endHistoryLoad(true); });
    });
}

} // namespace

std::vector<Transaction> solanaHistory(const std::vector<SolanaTransactionInfo>& signatures,
                                       const std::string& owner) {
    std::vector<Transaction> history;
    history.reserve(signatures.size());
    for (const SolanaTransactionInfo& info : signatures) {
        Transaction entry;
        entry.id = info.signature;
        entry.txHash = info.signature;
        entry.chain = Chain::solana;
        entry.direction = TransactionDirection::received;
        entry.status = info.err ? TransactionStatus::failed : TransactionStatus::confirmed;
        entry.to = owner;
        entry.confirmations = 1;
        if (info.blockTime) {
            const Date date = Date::fromUnixTime(static_cast<double>(*info.blockTime));
            if (date.isInSupportedRange()) {
                entry.timestamp = date;
            }
        }
        history.push_back(std::move(entry));
    }
    return history;
}

QCoro::Task<void> refreshSolana(RefreshJob job) {
    if (!job.state || job.state->solanaAccounts().empty() || job.shouldStop()) {
        co_return;
    }
    // The connection, the balance and the holdings come before the history: all count.
    ListDeadline deadline(listLoadLimit(*job.state), [job](const std::set<std::string>& ended) {
        if (!job.shouldStop()) {
            markHistoriesFailed(*job.state, ended);
        }
    });
    ListDeadline balances = balanceDeadline(job, Chain::solana);
    const std::shared_ptr<SolanaRPCClient> client =
        co_await job.state->networkManager().connectedSolanaClient(job.token);
    if (job.shouldStop()) {
        co_return;
    }
    std::vector<std::pair<std::string, std::string>> accounts; // id, address
    for (const SolanaAccountState& account : job.state->solanaAccounts()) {
        accounts.emplace_back(account.id(), account.account.address);
    }
    if (!client) {
        markHistoriesFailed(*job.state);
        balances.expireNow();
        co_return;
    }

    for (std::size_t i = 0; i < accounts.size(); ++i) {
        const std::string& id = accounts[i].first;
        const std::string& address = accounts[i].second;
        if (job.shouldStop() || i >= job.state->solanaAccounts().size()) {
            co_return;
        }
        bool stop = false;
        const auto lamports = co_await attempt(job, client->getBalance(address, job.token), stop);
        if (stop) {
            co_return;
        }
        // A failed request keeps the older balance and says so.
        if (!writeSolanaAccount(*job.state, i, id, [&](SolanaAccountState& a) {
                if (lamports) {
                    a.balanceLamports = *lamports;
                }
                a.balanceLoad.end(!lamports);
            })) {
            co_return;
        }
        balances.ended(id);

        const auto tokenAccounts =
            co_await attempt(job, client->getTokenAccountsByOwner(address, job.token), stop);
        if (stop) {
            co_return;
        }
        if (tokenAccounts) {
            std::vector<SPLTokenBalance> tokens;
            for (SPLTokenAccountInfo account : *tokenAccounts) {
                // A leading "+" is still a plain amount; anything else unusual reads as 0.
                if (account.amount.starts_with('+') && account.amount.size() > 1 &&
                    account.amount[1] != '-' && account.amount[1] != '+') {
                    account.amount.erase(0, 1);
                }
                if (auto holding = SPLTokenBalance::fromAccount(account)) {
                    tokens.push_back(std::move(*holding));
                }
            }
            if (!writeSolanaAccount(*job.state, i, id,
                                    [&](SolanaAccountState& a) { a.tokens = std::move(tokens); })) {
                co_return;
            }
        }

        const auto signatures = co_await attempt(
            job, client->getSignaturesForAddress(address, signatureLimit, job.token), stop);
        if (stop) {
            co_return;
        }
        // A failed request keeps the older history and says so.
        if (!writeSolanaAccount(*job.state, i, id, [&](SolanaAccountState& a) {
                if (signatures) {
                    a.transactions = solanaHistory(*signatures, address);
                }
                a.endHistoryLoad(!signatures);
            })) {
            co_return;
        }
        deadline.ended(id);
    }
}

} // namespace qm
