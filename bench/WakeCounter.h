#pragma once
// What wakes a window bench's child, counted rather than timed (a busy machine makes CPU
// shares noisy; the counts do not depend on it): the main thread's wakeups from its event
// loop, the frames the window painted, and the timer events delivered, by the class and name
// of the object that received them. The bench asks for them on the child's input ("count"),
// and the child answers with one line:
//   counts <wakeups> <frames> <timer events> [<class>/<name>=<events> ...]
// (the counts since the start; blanks in a receiver's name read as "_").

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QHash>
#include <QQuickWindow>
#include <QSocketNotifier>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <unistd.h>
#include <vector>

namespace qm::bench {

// One answer of the child, or the difference of two.
struct WakeCounts {
    long wakeups = 0;
    long frames = 0;
    long timerEvents = 0;
    QHash<QString, long> receivers;

    // None unless `line` is an answer.
    static std::optional<WakeCounts> parse(const QByteArray& line) {
        const QList<QByteArray> fields = line.trimmed().split(' ');
        if (fields.size() < 4 || fields[0] != "counts") {
            return std::nullopt;
        }
        WakeCounts counts{fields[1].toLong(), fields[2].toLong(), fields[3].toLong(), {}};
        for (qsizetype i = 4; i < fields.size(); ++i) {
            const qsizetype at = fields[i].lastIndexOf('=');
            counts.receivers[QString::fromLocal8Bit(fields[i].left(at))] =
                fields[i].mid(at + 1).toLong();
        }
        return counts;
    }

    WakeCounts since(const WakeCounts& earlier) const {
        WakeCounts difference{wakeups - earlier.wakeups,
                              frames - earlier.frames,
                              timerEvents - earlier.timerEvents,
                              {}};
        for (auto it = receivers.begin(); it != receivers.end(); ++it) {
            if (const long count = it.value() - earlier.receivers.value(it.key()); count > 0) {
                difference.receivers[it.key()] = count;
            }
        }
        return difference;
    }

    // The receivers, most events first.
    std::vector<std::pair<QString, long>> byReceiver() const {
        std::vector<std::pair<QString, long>> sorted;
        for (auto it = receivers.keyValueBegin(); it != receivers.keyValueEnd(); ++it) {
            sorted.emplace_back(it->first, it->second);
        }
        std::sort(sorted.begin(), sorted.end(),
                  [](const auto& a, const auto& b) { return a.second > b.second; });
        return sorted;
    }
};

class WakeCounter : public QObject {
public:
    explicit WakeCounter(QQuickWindow* window) : m_input(STDIN_FILENO, QSocketNotifier::Read) {
        connect(
            QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, this,
            [this] { ++m_wakeups; }, Qt::DirectConnection);
        connect(
            window, &QQuickWindow::frameSwapped, this, [this] { ++m_frames; },
            Qt::DirectConnection);
        QCoreApplication::instance()->installEventFilter(this);
        connect(&m_input, &QSocketNotifier::activated, this, [this] { answer(); });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Timer) {
            ++m_timerEvents;
            ++m_receivers[receiverName(watched)];
        }
        return false;
    }

private:
    // Its class and name, and its parent's when it has none (a QTimer of some object).
    static QString receiverName(const QObject* receiver) {
        QString name = QString::fromLatin1(receiver->metaObject()->className()) + QLatin1Char('/') +
                       receiver->objectName();
        if (receiver->objectName().isEmpty() && receiver->parent()) {
            name += QLatin1Char('@') + receiverName(receiver->parent());
        }
        return name.replace(QLatin1Char(' '), QLatin1Char('_'));
    }

    void answer() {
        char line[64];
        const ssize_t read = ::read(STDIN_FILENO, line, sizeof line);
        if (read <= 0) {
            m_input.setEnabled(false); // the bench is gone
            return;
        }
        const WakeCounts counts{m_wakeups, m_frames, m_timerEvents, m_receivers};
        std::printf("counts %ld %ld %ld", m_wakeups, m_frames, m_timerEvents);
        for (const auto& [name, count] : counts.byReceiver()) {
            std::printf(" %s=%ld", name.toLocal8Bit().constData(), count);
        }
        std::printf("\n");
        std::fflush(stdout);
    }

    QSocketNotifier m_input;
    long m_wakeups = 0;
    long m_frames = 0;
    long m_timerEvents = 0;
    QHash<QString, long> m_receivers;
};

} // namespace qm::bench
