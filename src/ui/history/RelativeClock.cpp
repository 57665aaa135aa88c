#include "ui/history/RelativeClock.h"

#include "core/model/Date.h"
#include "ui/history/TransactionTexts.h"

namespace qm {

RelativeClock::RelativeClock(std::function<double()> clock, QObject* parent)
    : QObject(parent), m_clock(clock ? std::move(clock) : [] { return Date::now().unixTime(); }) {
    m_now = m_clock();
    m_timer.setInterval(tickMilliseconds);
    m_timer.setTimerType(Qt::VeryCoarseTimer);
    connect(&m_timer, &QTimer::timeout, this, &RelativeClock::tick);
    m_timer.start();
}

RelativeClock* RelativeClock::create(QQmlEngine*, QJSEngine*) {
    return new RelativeClock;
}

void RelativeClock::tick() {
    const double now = m_clock();
    if (now != m_now) {
        m_now = now;
        emit nowChanged();
    }
}

QString RelativeClock::since(double unixSeconds, double now) const {
    return relativeTimeText(now - unixSeconds);
}

} // namespace qm
