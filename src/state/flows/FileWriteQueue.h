#pragma once
// The thread on which the unsettled transactions' file is written (AttemptLedger): serialising
// the record of a send of a thousand coins and syncing it to disk takes longer than a frame, and
// far longer on a busy disk, so it never runs on the GUI thread. One job at a time, in the order
// they were handed over: the file ends up holding the last list handed over.
//
//     QFuture<std::exception_ptr> writing = FileWriteQueue::append([=] { write(file, list); });
//     const std::exception_ptr failure = co_await writing; // none: written

#include <QFuture>
#include <exception>
#include <functional>

namespace qm {

class FileWriteQueue {
public:
    // Runs `job` once every job appended before it has ended. The future holds what it threw
    // (none once it has run through).
    static QFuture<std::exception_ptr> append(std::function<void()> job);
    // Blocks until every job appended so far has ended: before the file is read, removed, or
    // left behind by the program's end.
    static void waitForAll();
};

} // namespace qm
