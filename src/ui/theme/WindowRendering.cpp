#include "ui/theme/WindowRendering.h"

#include <QQuickWindow>
#include <QSGRendererInterface>

namespace qm {

void configureWindowRendering() {
    // Under a software GL driver (virtual machines, remote sessions) the GL scene graph drew
    // every frame of the window in full: a refresh's busy mark cost a core or more.
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    // Distance-field text would build a glyph cache per font and weight before the first
    // frame, for the same look at these sizes.
    QQuickWindow::setTextRenderType(QQuickWindow::NativeTextRendering);
}

} // namespace qm
