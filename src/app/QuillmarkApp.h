#pragma once
// The program: the one application state, the "main" window, the tray icon where the desktop
// has a tray, and re-opening the window when the program is launched again. Closing the
// window keeps the process and its refresh running; Quit ends it.

#include <QObject>
#include <QPointer>
#include <memory>

class QApplication;
class QQmlApplicationEngine;
class QQuickWindow;
class QSystemTrayIcon;

namespace qm {

class AppState;
class FlowService;
class SingleInstance;

class QuillmarkApp : public QObject {
    Q_OBJECT

public:
    QuillmarkApp(QApplication& application, SingleInstance& instance);
    ~QuillmarkApp() override;

    // Before the QApplication exists: what the platform loads at start-up.
    static void prepareEnvironment();
    // Right after it: names, fonts and the controls' style.
    static void configure(QApplication& application);

    // Loads the window; false when it could not be built.
    bool start();
    QQuickWindow* window() const;

public slots:
    // Shows the window again (or brings it forward).
    void showMainWindow();

private:
    void installTrayIcon();

    QApplication& m_application;
    std::unique_ptr<AppState> m_state;
    // The money-moving flows: they outlive the sheets that start them.
    std::unique_ptr<FlowService> m_flows;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
    QPointer<QQuickWindow> m_window;
    QSystemTrayIcon* m_tray = nullptr;
};

} // namespace qm
