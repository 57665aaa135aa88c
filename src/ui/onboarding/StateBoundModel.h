#pragma once
// The base of the onboarding, lock and backup view models: the application state they act
// on, and the way their long steps start so that the window shows progress first.

#include <QObject>
#include <QPointer>
#include <functional>

namespace qm {

class AppState;

class StateBoundModel : public QObject {
    Q_OBJECT
    // The state to act on; unset, the window's installed state.
    Q_PROPERTY(QObject* appState READ appStateObject WRITE setAppStateObject NOTIFY appStateChanged)

public:
    explicit StateBoundModel(QObject* parent = nullptr);

    QObject* appStateObject() const;
    void setAppStateObject(QObject* state);
    void setAppState(AppState* state);
    // The state, or none when neither one was set nor one is installed.
    AppState* appState() const;

signals:
    void appStateChanged();

protected:
    // Runs `step` once the window has had time to draw the busy state that was just set: the
    // key derivations take a tenth of a second on the GUI thread, and must not start before
    // the progress indicator is on screen. Dropped if the model goes first.
    void runAfterPaint(std::function<void()> step);

private:
    QPointer<AppState> m_state;
};

} // namespace qm
