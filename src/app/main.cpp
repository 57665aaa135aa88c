// Quillmark: starts the one instance of the wallet's window, or shows the running one's.

#include "app/GraphicalSession.h"
#include "app/QuillmarkApp.h"
#include "app/SingleInstance.h"

#include <QApplication>
#include <QtQml/qqmlextensionplugin.h>
#include <cstdio>
#include <memory>

Q_IMPORT_QML_PLUGIN(Quillmark_UiPlugin)

int main(int argc, char** argv) {
    if (const auto missing = qm::missingGraphicalSession(argc, argv)) {
        std::fprintf(stderr, "%s\n", missing->c_str());
        return 1;
    }
    qm::QuillmarkApp::prepareEnvironment();
    auto guard = std::make_unique<qm::GraphicalSessionGuard>();
    // Qt Charts' QML types need a QApplication.
    QApplication application(argc, argv);
    guard.reset();
    qm::QuillmarkApp::configure(application);

    qm::SingleInstance instance(qm::SingleInstance::defaultName());
    if (!instance.becomePrimary()) {
        std::puts("[App] Quillmark is already running: showing its window");
        return 0;
    }

    qm::QuillmarkApp app(application, instance);
    if (!app.start()) {
        std::fputs("[App] The window could not be built\n", stderr);
        return 1;
    }
    return application.exec();
}
