// Quillmark: starts the one instance of the wallet's window, or shows the running one's.

#include "app/QuillmarkApp.h"
#include "app/SingleInstance.h"
#include "ui/theme/BRFont.h"

#include <QApplication>
#include <QQuickStyle>
#include <QtQml/qqmlextensionplugin.h>
#include <cstdio>

Q_IMPORT_QML_PLUGIN(Quillmark_UiPlugin)

int main(int argc, char** argv) {
    // Qt Charts' QML types need a QApplication.
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quillmark"));
    QApplication::setApplicationName(QStringLiteral("Quillmark"));
    QApplication::setApplicationVersion(QStringLiteral(QM_VERSION));
    // Closing the window keeps the wallet (and its refresh) running; Quit ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    qm::SingleInstance instance(qm::SingleInstance::defaultName());
    if (!instance.becomePrimary()) {
        std::puts("[App] Quillmark is already running: showing its window");
        return 0;
    }

    if (!qm::BRFont::loadBundledFonts()) {
        std::puts("[App] A bundled font could not be loaded; the system font stands in");
    }
    QApplication::setFont(qm::BRFont::system(13, QFont::Normal));
    QQuickStyle::setStyle(QStringLiteral("Basic"));

    qm::QuillmarkApp app(application, instance);
    if (!app.start()) {
        std::fputs("[App] The window could not be built\n", stderr);
        return 1;
    }
    return application.exec();
}
