#include "app/QuillmarkApp.h"

#include "app/CursorBlinkRest.h"
#include "app/SingleInstance.h"
#include "state/AppState.h"
#include "state/flows/FlowService.h"
#include "ui/shell/WalletShell.h"
#include "ui/theme/AccessibleStates.h"
#include "ui/theme/BRFont.h"
#include "ui/theme/BRPalette.h"
#include "ui/theme/BRThemeManager.h"
#include "ui/theme/ButtonKeys.h"
#include "ui/theme/KeyboardFocus.h"
#include "ui/theme/WindowRendering.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMetaObject>
#include <QPainter>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QSystemTrayIcon>
#include <cstdio>

namespace qm {
namespace {

// The tray's icon: the logo's tile in the accent colour with a "Q".
QIcon trayIcon() {
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const ThemeColors& colors = themeColors(BRThemeManager::shared().current());
    painter.setBrush(colors.accent);
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(2, 2, 60, 60), 13, 13);
    QFont font(QStringLiteral("Inter"));
    font.setPixelSize(38);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(colors.background);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, QStringLiteral("Q"));
    return QIcon(pixmap);
}

} // namespace

void QuillmarkApp::prepareEnvironment() {
    // The window draws its own theme: the desktop's platform theme would only add start-up
    // time (the GTK one loads GTK and cairo) and native dialogs in another look. A theme the
    // user names stays theirs.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORMTHEME")) {
        qputenv("QT_QPA_PLATFORMTHEME", "generic");
    }
}

void QuillmarkApp::configure(QApplication& application) {
    QApplication::setOrganizationName(QStringLiteral("Quillmark"));
    QApplication::setApplicationName(QStringLiteral("Quillmark"));
    QApplication::setApplicationVersion(QStringLiteral(QM_VERSION));
    // Closing the window keeps the wallet (and its refresh) running; Quit ends it.
    application.setQuitOnLastWindowClosed(false);
    if (!BRFont::loadBundledFonts()) {
        std::puts("[App] A bundled font could not be loaded; the system font stands in");
    }
    QApplication::setFont(BRFont::system(13, QFont::Normal));
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    configureWindowRendering();
    installAccessibleStates();
    installButtonKeys();
    KeyboardFocus::shared(); // watching every press from the first window on
}

QuillmarkApp::QuillmarkApp(QApplication& application, SingleInstance& instance)
    : m_application(application) {
    connect(&instance, &SingleInstance::activationRequested, this, &QuillmarkApp::showMainWindow);
}

QuillmarkApp::~QuillmarkApp() {
    // The views go before the state they read.
    m_engine.reset();
    FlowService::install(nullptr);
    m_flows.reset();
    WalletShell::install(nullptr);
}

bool QuillmarkApp::start() {
    m_state = std::make_unique<AppState>();
    WalletShell::install(m_state.get());
    m_flows = std::make_unique<FlowService>();
    FlowService::install(m_flows.get());

    m_engine = std::make_unique<QQmlApplicationEngine>();
    m_engine->addImportPath(QStringLiteral("qrc:/"));
    m_engine->load(QUrl(QStringLiteral("qrc:/Quillmark/Ui/shell/QuillmarkWindow.qml")));
    const auto roots = m_engine->rootObjects();
    m_window = roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(roots.first());
    if (!m_window) {
        return false;
    }
    installTrayIcon();
    new CursorBlinkRest(10000, this);
    m_window->show();
    return true;
}

QQuickWindow* QuillmarkApp::window() const {
    return m_window;
}

void QuillmarkApp::showMainWindow() {
    if (m_window) {
        QMetaObject::invokeMethod(m_window, "showMain");
    }
}

void QuillmarkApp::installTrayIcon() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return;
    }
    m_tray = new QSystemTrayIcon(trayIcon(), this);
    m_tray->setToolTip(QStringLiteral("Quillmark"));
    auto* menu = new QMenu;
    connect(this, &QObject::destroyed, menu, &QObject::deleteLater);
    connect(menu->addAction(QStringLiteral("Show Quillmark")), &QAction::triggered, this,
            &QuillmarkApp::showMainWindow);
    connect(menu->addAction(QStringLiteral("Quit")), &QAction::triggered, &m_application,
            &QApplication::quit);
    m_tray->setContextMenu(menu);
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger) {
                    showMainWindow();
                }
            });
    m_tray->show();
}

} // namespace qm
