#pragma once
// How long a refresh job may leave a list of its accounts (tokens, history, balances) without
// an outcome. A job's requests go one after another, each with a time-out of its own, behind a
// connection that may try every server of its pool in turn: against servers that accept and
// never answer, its lists would read as loading (or as current) for minutes. Once the limit has
// passed since the job began, every list the job has not yet written is marked as not loaded,
// its rows kept. The job goes on; an answer that comes later replaces the mark.

#include <QTimer>
#include <chrono>
#include <cstddef>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace qm {

class AppState;

// The limit of every list: as long as one JSON-RPC request may take in all.
std::chrono::milliseconds listLoadLimit(const AppState& state);

// Calls `fail(index, id)` for each account of the live list `accounts` whose id is not in
// `ended`; the ids are read first, as `fail` changes the list's elements.
template <typename AccountState, typename Fail>
void forEachUnended(const std::vector<AccountState>& accounts, const std::set<std::string>& ended,
                    Fail fail) {
    std::vector<std::string> ids;
    for (const AccountState& account : accounts) {
        ids.push_back(account.id());
    }
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (!ended.contains(ids[i])) {
            fail(i, ids[i]);
        }
    }
}

class ListDeadline {
public:
    // Gets the ids of the accounts whose list the job ended before the limit.
    using Expire = std::function<void(const std::set<std::string>& ended)>;

    // Calls `expire` once, `limit` from now, unless the deadline is destroyed first (the job
    // ended: a local of the job's coroutine).
    ListDeadline(std::chrono::milliseconds limit, Expire expire);

    ListDeadline(const ListDeadline&) = delete;
    ListDeadline& operator=(const ListDeadline&) = delete;

    // The job wrote an outcome (rows, none, or a failure) for the list of `accountID`.
    void ended(const std::string& accountID) { m_ended.insert(accountID); }
    // The job gives up before the limit: `expire` is called now, and not again.
    void expireNow();

private:
    std::set<std::string> m_ended;
    Expire m_expire;
    QTimer m_timer;
};

} // namespace qm
