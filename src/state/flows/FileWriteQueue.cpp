#include "state/flows/FileWriteQueue.h"

#include <QGlobalStatic>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

namespace qm {
namespace {

// A pool of one thread runs its jobs in the order they were started. Gone with the program,
// once its jobs have ended.
struct WritingThread : QThreadPool {
    WritingThread() { setMaxThreadCount(1); }
};
Q_GLOBAL_STATIC(WritingThread, writingThread)

} // namespace

QFuture<std::exception_ptr> FileWriteQueue::append(std::function<void()> job) {
    return QtConcurrent::run(static_cast<QThreadPool*>(writingThread()),
                             [job = std::move(job)]() -> std::exception_ptr {
                                 try {
                                     job();
                                 } catch (...) {
                                     // Handed back whole: the caller rethrows the very error (a
                                     // FileError's number too).
                                     return std::current_exception();
                                 }
                                 return nullptr;
                             });
}

void FileWriteQueue::waitForAll() {
    writingThread()->waitForDone();
}

} // namespace qm
