#include "ui/theme/BusySteps.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

namespace qm {
namespace {

// The shared clock: ticks while at least one mark holds it.
class BusyClock : public QObject {
    Q_OBJECT

public:
    explicit BusyClock(QObject* parent) : QObject(parent) {
        m_timer.setInterval(BusySteps::tickMilliseconds);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            m_step = (m_step + 1) % BusySteps::count;
            emit ticked();
        });
    }

    // The one of this application, made on first use; none once the application is gone.
    static BusyClock* instance(bool make = true) {
        static QPointer<BusyClock> clock;
        if (!clock && make && QCoreApplication::instance()) {
            clock = new BusyClock(QCoreApplication::instance());
        }
        return clock;
    }

    int step() const { return m_step; }
    int holders() const { return m_holders; }
    void hold() {
        if (m_holders++ == 0) {
            m_timer.start();
        }
    }
    void release() {
        if (--m_holders == 0) {
            m_timer.stop();
        }
    }

signals:
    void ticked();

private:
    QTimer m_timer;
    int m_step = 0;
    int m_holders = 0;
};

} // namespace

BusySteps::BusySteps(QObject* parent) : QObject(parent) {}

BusySteps::~BusySteps() {
    setRunning(false);
}

void BusySteps::setRunning(bool running) {
    if (m_running == running) {
        return;
    }
    m_running = running;
    if (BusyClock* clock = BusyClock::instance(running)) {
        if (running) {
            connect(clock, &BusyClock::ticked, this, &BusySteps::stepChanged);
            clock->hold();
        } else {
            disconnect(clock, &BusyClock::ticked, this, &BusySteps::stepChanged);
            clock->release();
        }
    }
    emit runningChanged();
    emit stepChanged();
}

int BusySteps::step() const {
    const BusyClock* clock = BusyClock::instance(false);
    return m_running && clock ? clock->step() : 0;
}

int BusySteps::runningCount() {
    const BusyClock* clock = BusyClock::instance(false);
    return clock ? clock->holders() : 0;
}

} // namespace qm

#include "BusySteps.moc"
