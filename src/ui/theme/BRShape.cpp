#include "ui/theme/BRShape.h"

#include <QtQuickShapes/private/qquickshape_p_p.h>

namespace qm {

BRShape::BRShape(QQuickItem* parent) : QQuickShape(parent) {}

QSGNode* BRShape::updatePaintNode(QSGNode* node, UpdatePaintNodeData* data) {
    QQuickShapePrivate* shape = QQuickShapePrivate::get(this);
    if (!node && shape->renderer) {
        // The node is about to be made anew. A change of the path count is what makes the
        // renderer fill a node's whole list: two changes that end on the same count (one of
        // them differs from the count it has) keep every path's data as it is.
        const auto count = static_cast<int>(shape->sp.size());
        bool countChanged = false;
        shape->renderer->beginSync(count + 1, &countChanged);
        shape->renderer->beginSync(count, &countChanged);
        shape->renderer->endSync(false);
    }
    return QQuickShape::updatePaintNode(node, data);
}

} // namespace qm
