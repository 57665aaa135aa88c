#pragma once
// Asking again until an answer comes, within a deadline: the wait for a transaction's receipt
// or a signature's status.
//
//     const auto receipt = co_await pollUntil<ETHReceipt>(
//         [client, hash](CancellationToken attempt) { return client->receipt(hash, attempt); },
//         PollLimits{2s, 90s}, token);
//     if (!receipt) ... // no answer within 90 s, or cancelled
//
// GUI thread only, like the tokens and the clients.

#include "platform/async/CancellableSleep.h"
#include "platform/async/CancellationToken.h"

#include <QTimer>
#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>

namespace qm {

struct PollLimits {
    PollLimits(std::chrono::milliseconds pause, std::chrono::milliseconds bound)
        : interval(pause), timeout(bound) {}

    std::chrono::milliseconds interval; // between the end of one probe and the next
    std::chrono::milliseconds timeout;  // from the start of the first probe
};

// Calls `probe` until it gives a value; between calls it waits `limits.interval`. Absent when
// `limits.timeout` passes or `token` is cancelled first: the probe's own token (`attempt`) is
// cancelled then, so a request in flight is aborted rather than waited for. A probe that
// throws ends the wait with its exception, unless the attempt was cancelled by then.
template <typename T>
QCoro::Task<std::optional<T>>
pollUntil(std::function<QCoro::Task<std::optional<T>>(CancellationToken attempt)> probe,
          PollLimits limits, CancellationToken token) {
    const CancellationToken attempt;
    const CancellationToken::CallbackID link = token.onCancel([attempt] { attempt.cancel(); });
    // Owned here and stopped on every way out, so it never fires into a finished wait.
    const auto deadline = std::make_shared<QTimer>();
    deadline->setSingleShot(true);
    QObject::connect(deadline.get(), &QTimer::timeout, [attempt] { attempt.cancel(); });
    deadline->start(limits.timeout);
    const auto finish = [&] {
        deadline->stop();
        token.removeCallback(link);
    };

    std::optional<T> answer;
    try {
        while (!attempt.isCancelled()) {
            QCoro::Task<std::optional<T>> asking = probe(attempt);
            answer = co_await std::move(asking);
            if (answer || attempt.isCancelled()) {
                break;
            }
            const std::chrono::milliseconds left(std::max(deadline->remainingTime(), 0));
            QCoro::Task<bool> pause = cancellableSleep(std::min(limits.interval, left), attempt);
            co_await std::move(pause);
        }
    } catch (...) {
        if (!attempt.isCancelled()) {
            finish();
            throw;
        }
    }
    finish();
    if (attempt.isCancelled() && !answer) {
        co_return std::nullopt;
    }
    co_return answer;
}

} // namespace qm
