#include "state/refresh/BitcoinRefresh.h"

#include "core/model/CheckedArithmetic.h"
#include "services/bitcoin/ElectrumClient.h"
#include "services/connections/NetworkManager.h"
#include "state/refresh/BalanceDeadline.h"
#include "state/refresh/BitcoinHistory.h"
#include "state/refresh/ListDeadline.h"

#include <map>
#include <memory>
#include <set>

namespace qm {
namespace {

enum class PassEnd { finished, stopped, failed };

struct AddressResult {
    std::optional<std::uint64_t> confirmed;
    std::optional<std::int64_t> txCount;
};

// Writes the pass's results into the live account at `index`; false when the list has
// become shorter or holds another account there. The account's balance is the sum only when
// every address's balance came: a sum with one left out is no figure of the account, which
// then keeps its last known balance and reads as not loaded.
bool mergeBalances(AppState& state, std::size_t index, const std::string& accountID,
                   const std::map<std::string, AddressResult>& results) {
    return state.updateBitcoinAccount(index, accountID, [&results](BTCAccountState& account) {
        std::uint64_t total = 0;
        bool whole = true;
        for (BTCAddressInfo& address : account.addresses) {
            const auto result = results.find(address.scriptHash);
            if (result == results.end()) {
                continue; // added while the pass ran: the next pass fetches it
            }
            if (result->second.confirmed) {
                address.balanceSats = *result->second.confirmed;
                total = checkedAdd(total, address.balanceSats).value_or(total);
            } else {
                whole = false;
            }
            if (result->second.txCount) {
                address.txCount = *result->second.txCount;
            }
            if (result->second.confirmed && result->second.txCount) {
                address.fetched = true;
            }
        }
        if (whole) {
            account.balanceSats = total;
        }
        account.balanceLoad.end(!whole);
    });
}

// Each account written ends its balance on `balances`, the job's deadline.
QCoro::Task<PassEnd> balancePass(RefreshJob job, std::shared_ptr<ElectrumClient> client,
                                 bool tolerateFailures, ListDeadline& balances) {
    const std::size_t count = job.state->bitcoinAccounts().size();
    for (std::size_t i = 0; i < count; ++i) {
        if (job.shouldStop() || i >= job.state->bitcoinAccounts().size()) {
            co_return PassEnd::stopped;
        }
        // The addresses only: the account's history is not copied for a balance pass.
        const std::string id = job.state->bitcoinAccounts()[i].id();
        const std::vector<BTCAddressInfo> addresses = job.state->bitcoinAccounts()[i].addresses;
        std::map<std::string, AddressResult> results;
        for (const BTCAddressInfo& address : addresses) {
            if (job.shouldStop()) {
                co_return PassEnd::stopped;
            }
            AddressResult result;
            try {
                const auto balance =
                    co_await untilCancelled(client->getBalance(address.scriptHash), job.token);
                if (!balance || job.shouldStop()) {
                    co_return PassEnd::stopped;
                }
                // More than all bitcoin there is: a broken server, not a balance.
                if (balance->confirmed <= maxMoneySats) {
                    result.confirmed = balance->confirmed;
                }
            } catch (const std::exception&) {
                if (!tolerateFailures) {
                    co_return PassEnd::failed;
                }
            }
            try {
                const auto history =
                    co_await untilCancelled(client->getHistory(address.scriptHash), job.token);
                if (!history || job.shouldStop()) {
                    co_return PassEnd::stopped;
                }
                result.txCount = static_cast<std::int64_t>(history->size());
            } catch (const std::exception&) {
                if (!tolerateFailures) {
                    co_return PassEnd::failed;
                }
            }
            results[address.scriptHash] = result;
        }
        if (job.shouldStop() || !mergeBalances(*job.state, i, id, results)) {
            co_return PassEnd::stopped;
        }
        balances.ended(id);
    }
    co_return PassEnd::finished;
}

} // namespace

QCoro::Task<void> refreshBitcoinBalances(RefreshJob job) {
    if (job.shouldStop()) {
        co_return;
    }
    // The connection (along every server of the pool) and each request count against it.
    ListDeadline balances = balanceDeadline(job, Chain::bitcoin);
    std::shared_ptr<ElectrumClient> client =
        co_await job.state->networkManager().connectedElectrumClient(job.token);
    if (job.shouldStop()) {
        co_return;
    }
    if (!client) {
        balances.expireNow();
        co_return;
    }
    if (co_await balancePass(job, client, false, balances) != PassEnd::failed || job.shouldStop()) {
        co_return;
    }
    NetworkManager& network = job.state->networkManager();
    network.setElectrumConnected(false);
    client = co_await network.connectedElectrumClient(job.token);
    if (job.shouldStop()) {
        co_return;
    }
    if (!client) {
        balances.expireNow(); // the accounts the first pass wrote keep their answer
        co_return;
    }
    co_await balancePass(job, client, true, balances);
}

namespace {

QCoro::Task<std::int64_t> tipHeight(const RefreshJob& job, std::shared_ptr<ElectrumClient> client) {
    try {
        const auto header = co_await untilCancelled(client->subscribeHeaders(), job.token);
        if (header && job.state && header->height >= 0 &&
            header->height <= maxPlausibleBlockHeight) {
            job.state->setBtcBlockHeight(header->height);
            co_return header->height;
        }
    } catch (const std::exception&) {
        // The stored height stands in.
    }
    if (!job.state) {
        co_return 0;
    }
    co_return std::max<std::int64_t>(job.state->btcBlockHeight(), 0);
}

// Marks the history of every Bitcoin account as not loaded, except those of the accounts in
// `ended`; the rows stay.
void markHistoriesFailed(AppState& state, const std::set<std::string>& ended = {}) {
    forEachUnended(state.bitcoinAccounts(), ended, [&](std::size_t i, const std::string& id) {
        state.updateBitcoinAccount(i, id, [](BTCAccountState& a) { a.endHistoryLoad(true); });
    });
}

// One account's rebuilt history; none when the job is to end or an address's history did not
// come back (a list without that address's entries would drop rows the user has seen).
QCoro::Task<std::optional<std::vector<Transaction>>>
accountHistory(RefreshJob job, std::shared_ptr<ElectrumClient> client,
               std::vector<BTCAddressInfo> addresses, std::int64_t tip) {
    BitcoinHistoryReferences references;
    for (const BTCAddressInfo& address : addresses) {
        if (job.shouldStop()) {
            co_return std::nullopt;
        }
        try {
            const auto history =
                co_await untilCancelled(client->getHistory(address.scriptHash), job.token);
            if (!history) {
                co_return std::nullopt;
            }
            for (const ElectrumTxRef& reference : *history) {
                references.add(reference, address.address);
            }
        } catch (const std::exception&) {
            co_return std::nullopt; // the whole history waits for a later pass
        }
    }

    BitcoinHistoryContext context;
    context.tip = tip;
    for (const BTCAddressInfo& address : addresses) {
        context.ownAddresses.insert(address.address);
    }
    // Every raw transaction first: the inputs of one may spend the outputs of another.
    for (const std::string& hash : references.hashes) {
        if (job.shouldStop()) {
            co_return std::nullopt;
        }
        try {
            // Built outside the await: gcc 12 cannot keep an initializer list across one.
            std::vector<ElectrumJSONValue> params;
            params.push_back(ElectrumJSONValue::string(hash));
            const auto raw = co_await untilCancelled(
                client->call("blockchain.transaction.get", std::move(params)), job.token);
            if (!raw) {
                co_return std::nullopt;
            }
            if (raw->is_string()) {
                auto parsed = BitcoinRawTransaction::fromHex(raw->get_ref<const std::string&>());
                if (parsed) {
                    context.rawTransactions.emplace(hash, std::move(*parsed));
                }
            }
        } catch (const std::exception&) {
            // Listed as "? BTC".
        }
    }
    context.now = Date::now();
    std::vector<Transaction> history;
    history.reserve(references.hashes.size());
    for (const std::string& hash : references.hashes) {
        history.push_back(bitcoinTransaction(hash, references.references.at(hash),
                                             references.involvedAddresses.at(hash), context));
    }
    sortBitcoinHistory(history);
    co_return history;
}

} // namespace

QCoro::Task<void> refreshBitcoinHistory(RefreshJob job) {
    if (job.shouldStop() || job.state->bitcoinAccounts().empty()) {
        co_return;
    }
    // The connection (along every server of the pool) and each request count against it.
    ListDeadline deadline(listLoadLimit(*job.state), [job](const std::set<std::string>& ended) {
        if (!job.shouldStop()) {
            markHistoriesFailed(*job.state, ended);
        }
    });
    std::shared_ptr<ElectrumClient> client =
        co_await job.state->networkManager().connectedElectrumClient(job.token);
    if (job.shouldStop()) {
        co_return;
    }
    if (!client) {
        markHistoriesFailed(*job.state);
        co_return;
    }
    const std::int64_t tip = co_await tipHeight(job, client);
    const std::size_t count = job.shouldStop() ? 0 : job.state->bitcoinAccounts().size();
    for (std::size_t i = 0; i < count; ++i) {
        if (job.shouldStop() || i >= job.state->bitcoinAccounts().size()) {
            co_return;
        }
        const std::string id = job.state->bitcoinAccounts()[i].id();
        std::vector<BTCAddressInfo> addresses = job.state->bitcoinAccounts()[i].addresses;
        std::optional<std::vector<Transaction>> history =
            co_await accountHistory(job, client, std::move(addresses), tip);
        if (job.shouldStop()) {
            co_return;
        }
        deadline.ended(id);
        if (!history) {
            job.state->updateBitcoinAccount(
                i, id, [](BTCAccountState& live) { live.endHistoryLoad(true); });
            continue;
        }
        std::vector<Transaction>& entries = *history;
        if (!job.state->updateBitcoinAccount(i, id, [&entries](BTCAccountState& live) {
                live.transactions = std::move(entries);
                live.endHistoryLoad(false);
            })) {
            co_return;
        }
    }
}

} // namespace qm
