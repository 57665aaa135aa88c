#pragma once
// The longest stall of the GUI thread's event loop while a coroutine runs: the largest gap
// between the ticks of a 1 ms timer.

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <exception>
#include <functional>
#include <qcoro/qcorotask.h>

namespace qm::bench {

class StallMeter {
public:
    StallMeter() {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
    }
    void start() {
        m_worst = 0;
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }
    // The worst gap in milliseconds since start().
    double stop() {
        tick();
        m_timer.stop();
        return static_cast<double>(m_worst) / 1e6;
    }

private:
    void tick() {
        const qint64 now = m_clock.nsecsElapsed();
        m_worst = std::max(m_worst, now - m_last);
        m_last = now;
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_worst = 0;
};

inline QCoro::Task<void> finishInto(QCoro::Task<void> task, QEventLoop& loop,
                                    std::exception_ptr& error) {
    try {
        co_await std::move(task);
    } catch (...) {
        error = std::current_exception();
    }
    loop.quit();
}

// The stall while `start()` runs to its end in the event loop; the meter ticks meanwhile.
inline double stallOf(StallMeter& meter, const std::function<QCoro::Task<void>()>& start) {
    // A few ticks first, so a stall at the very start is seen.
    QEventLoop warm;
    QTimer::singleShot(5, &warm, &QEventLoop::quit);
    meter.start();
    warm.exec();
    QEventLoop loop;
    std::exception_ptr error;
    QCoro::Task<void> runner = finishInto(start(), loop, error);
    if (!runner.isReady()) {
        loop.exec();
    }
    const double worst = meter.stop();
    if (error) {
        std::rethrow_exception(error);
    }
    return worst;
}

} // namespace qm::bench
