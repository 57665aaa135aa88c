#pragma once
// The step of a busy mark, from one clock that every busy mark shares: marks shown together
// step in the same frame (each with a clock of its own would repaint the window once for each
// of them), and the clock runs only while a mark on screen turns.

#include <QObject>
#include <QtQml/qqmlregistration.h>

namespace qm {

class BusySteps : public QObject {
    Q_OBJECT
    QML_ELEMENT
    // Whether this mark turns (it is shown and busy): only then does it hold the clock.
    Q_PROPERTY(bool running READ running WRITE setRunning NOTIFY runningChanged)
    // 0 to count - 1, one on at every tick of the clock while running.
    Q_PROPERTY(int step READ step NOTIFY stepChanged)

public:
    static constexpr int count = 8;
    // Four steps a second (a turn in two seconds): each one repaints the marks, and a refresh
    // that waits on silent servers keeps one turning for most of the time it is offline.
    static constexpr int tickMilliseconds = 250;

    explicit BusySteps(QObject* parent = nullptr);
    ~BusySteps() override;

    bool running() const { return m_running; }
    void setRunning(bool running);
    int step() const;
    // How many marks hold the clock now (for tests).
    static int runningCount();

signals:
    void runningChanged();
    void stepChanged();

private:
    bool m_running = false;
};

} // namespace qm
