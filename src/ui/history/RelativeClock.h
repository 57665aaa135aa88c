#pragma once
// The one clock behind every "5 min ago" on screen: a single timer moves `now` on, and each
// row's text is a binding on it, so the texts age without the lists being rebuilt.

#include <QObject>
#include <QString>
#include <QTimer>
#include <QtQml/qqmlregistration.h>
#include <functional>

class QQmlEngine;
class QJSEngine;

namespace qm {

class RelativeClock : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    // Seconds since 1970, moved on by the timer.
    Q_PROPERTY(double now READ now NOTIFY nowChanged)

public:
    // The texts change by the minute at the finest: half a minute keeps them at most that late.
    static constexpr int tickMilliseconds = 30'000;

    // `clock` gives seconds since 1970 (tests pass their own).
    explicit RelativeClock(std::function<double()> clock = {}, QObject* parent = nullptr);
    static RelativeClock* create(QQmlEngine* engine, QJSEngine* script);

    double now() const { return m_now; }
    // Reads the clock again (the timer's action).
    void tick();

    // relativeTimeText of the time from `unixSeconds` to `now`.
    Q_INVOKABLE QString since(double unixSeconds, double now) const;

signals:
    void nowChanged();

private:
    std::function<double()> m_clock;
    double m_now = 0;
    QTimer m_timer;
};

} // namespace qm
