#pragma once
// The requests a connection has sent and not yet seen answered, by id, each with a time-out of
// its own: an unanswered request on a half-open connection must not stall its caller for good.
//
//     PendingRequests<Reply> pending([] { return std::make_exception_ptr(MyError::timeout()); });
//     OneShot<Reply> reply = pending.add(id, 30s);
//     ...                                // the receive path: pending.succeed(id, reply);
//     co_return co_await reply.take();
//
// A request leaves the table when it is answered, failed or timed out; answers for an id not
// in the table (late, unknown) are ignored. Destroying the table stops its timers; results
// still awaited stay pending unless failAll() ran first. GUI thread only.

#include "platform/async/OneShot.h"

#include <QTimer>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>

namespace qm {

template <typename T> class PendingRequests {
public:
    using ID = std::int64_t;

    // `timeoutError` makes the error a request that times out fails with.
    explicit PendingRequests(std::function<std::exception_ptr()> timeoutError)
        : m_timeoutError(std::move(timeoutError)) {}
    PendingRequests(const PendingRequests&) = delete;
    PendingRequests& operator=(const PendingRequests&) = delete;

    // Adds request `id` and starts its time-out. Ids are fresh (a counter); one still in the
    // table fails the new request at once with the time-out's error, never the older one.
    OneShot<T> add(ID id, std::chrono::milliseconds timeout) {
        OneShot<T> result;
        if (m_entries.contains(id)) {
            result.fail(m_timeoutError());
            return result;
        }
        auto timer = std::make_unique<QTimer>();
        timer->setSingleShot(true);
        // The table owns the timer: no signal of it outlives the table.
        QObject::connect(timer.get(), &QTimer::timeout, [this, id] { fail(id, m_timeoutError()); });
        timer->start(timeout);
        m_entries.emplace(id, Entry{result, std::move(timer)});
        return result;
    }

    // Completes request `id`; false when it is not (or no longer) in the table.
    bool succeed(ID id, T value) {
        auto entry = remove(id);
        return entry && entry->succeed(std::move(value));
    }
    bool fail(ID id, std::exception_ptr error) {
        auto entry = remove(id);
        return entry && entry->fail(std::move(error));
    }
    // Fails every request in the table (the connection ended).
    void failAll(std::exception_ptr error) {
        auto entries = std::exchange(m_entries, {});
        for (auto& [id, entry] : entries) {
            entry.result.fail(error);
        }
    }

    bool contains(ID id) const { return m_entries.contains(id); }
    std::size_t size() const { return m_entries.size(); }

private:
    struct Entry {
        OneShot<T> result;
        std::unique_ptr<QTimer> timer;
    };

    std::optional<OneShot<T>> remove(ID id) {
        const auto it = m_entries.find(id);
        if (it == m_entries.end()) {
            return std::nullopt;
        }
        OneShot<T> result = it->second.result;
        // Deleted later: this may run inside the timer's own timeout signal.
        std::unique_ptr<QTimer> timer = std::move(it->second.timer);
        m_entries.erase(it);
        timer->stop();
        timer.release()->deleteLater();
        return result;
    }

    std::function<std::exception_ptr()> m_timeoutError;
    std::map<ID, Entry> m_entries;
};

} // namespace qm
