#include "platform/async/CancellableSleep.h"

#include "platform/async/NextTurn.h"

#include <QTimer>
#include <coroutine>
#include <memory>

namespace qm {
namespace {

// The timer and the token race; whichever comes first resumes the coroutine, once.
class SleepAwaiter {
public:
    SleepAwaiter(std::chrono::milliseconds duration, CancellationToken token)
        : m_duration(duration), m_token(std::move(token)) {}

    bool await_ready() const noexcept { return m_token.isCancelled(); }

    void await_suspend(std::coroutine_handle<> coroutine) {
        auto race = std::make_shared<Race>();
        race->coroutine = coroutine;
        race->token = m_token;
        race->timer = new QTimer();
        race->timer->setSingleShot(true);
        race->timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(race->timer, &QTimer::timeout, [race] { finish(race, true); });
        race->callback = m_token.onCancel([race] {
            // Cancel is often called from inside the owner; resume on a later turn.
            QMetaObject::invokeMethod(
                race->timer, [race] { finish(race, false); }, Qt::QueuedConnection);
        });
        m_race = race;
        race->timer->start(m_duration);
    }

    bool await_resume() const noexcept { return m_race && m_race->elapsed; }

private:
    struct Race {
        std::coroutine_handle<> coroutine;
        CancellationToken token;
        CancellationToken::CallbackID callback = 0;
        QTimer* timer = nullptr;
        bool done = false;
        bool elapsed = false;
    };

    static void finish(const std::shared_ptr<Race>& race, bool elapsed) {
        if (race->done) {
            return;
        }
        race->done = true;
        race->elapsed = elapsed;
        race->timer->stop();
        race->timer->deleteLater();
        race->token.removeCallback(race->callback);
        race->coroutine.resume();
    }

    std::chrono::milliseconds m_duration;
    CancellationToken m_token;
    std::shared_ptr<Race> m_race;
};

} // namespace

QCoro::Task<bool> cancellableSleep(std::chrono::milliseconds duration, CancellationToken token) {
    co_return co_await SleepAwaiter(duration, std::move(token));
}

} // namespace qm
