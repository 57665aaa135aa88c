#include "state/signing/SigningWorker.h"

namespace qm {

SigningWorker::SigningWorker() : m_context(new QObject) {
    m_thread.setObjectName(QStringLiteral("signing"));
    m_context->moveToThread(&m_thread);
    m_thread.start();
}

SigningWorker::~SigningWorker() {
    // Jobs run in order: once this empty one has run, every job posted before it has too,
    // and their completions are queued on the GUI thread.
    postBlocking([] {});
    m_thread.quit();
    m_thread.wait();
    delete m_context;
}

bool SigningWorker::isWorkerThread() const {
    return QThread::currentThread() == &m_thread;
}

void SigningWorker::postBlocking(const std::function<void()>& work) {
    if (isWorkerThread()) {
        work();
        return;
    }
    QMetaObject::invokeMethod(m_context, work, Qt::BlockingQueuedConnection);
}

} // namespace qm
