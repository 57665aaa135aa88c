#include "platform/async/NextTurn.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace qm {

void resumeOnNextTurn(std::coroutine_handle<> coroutine) {
    // A queued call is a posted event: posted events run in the order they were posted.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [coroutine] { coroutine.resume(); }, Qt::QueuedConnection);
}

void NextTurn::await_suspend(std::coroutine_handle<> coroutine) const {
    resumeOnNextTurn(coroutine);
}

} // namespace qm
