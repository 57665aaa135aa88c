#include "services/bitcoin/ElectrumReply.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace qm {

bool ElectrumReply::succeed(AnyCodable value) {
    if (done_) {
        return false;
    }
    done_ = true;
    value_ = std::move(value);
    resumeLater();
    return true;
}

bool ElectrumReply::fail(std::exception_ptr error) {
    if (done_) {
        return false;
    }
    done_ = true;
    error_ = std::move(error);
    resumeLater();
    return true;
}

void ElectrumReply::resumeLater() {
    if (!waiter_) {
        return; // completed before anyone waited: await_ready sees it
    }
    const auto handle = std::exchange(waiter_, {});
    // The application object outlives every client, so the posted call always runs.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [handle] { handle.resume(); }, Qt::QueuedConnection);
}

AnyCodable ElectrumReply::Awaiter::await_resume() {
    if (reply->error_) {
        std::rethrow_exception(reply->error_);
    }
    return std::move(*reply->value_);
}

} // namespace qm
