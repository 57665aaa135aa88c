#pragma once
// The text cursor blinks for a while after the last input, then stays on without blinking
// until the next one (the desktop toolkits' habit, GTK's ten seconds): every blink redraws the
// whole window, which costs a software-rendered window a few per cent of a core for as long
// as a field has the focus, also when nobody is there.

#include <QObject>
#include <QTimer>

namespace qm {

class CursorBlinkRest : public QObject {
    Q_OBJECT

public:
    // Watches the application's input from now on; `blinkMs` of blinking after each input.
    explicit CursorBlinkRest(int blinkMs = 10000, QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void rest();

    int m_flashTime;
    QTimer m_timer;
};

} // namespace qm
