#pragma once
// Qt Quick's Shape, safe to take out of a window and put back (a sheet closed and opened
// again, a window hidden and shown). Qt 6.4's shape renderer keeps a pointer to the node it last
// filled, which the scene graph deletes when the item leaves the window, and fills a new node's
// whole list only when the new node's address differs from it: a node allocated where the old
// one was keeps an empty list that the renderer then writes into, a crash while the scene graph
// syncs (or a shape not drawn). Every view draws its shapes with this item instead of Shape,
// with the same ShapePath children.

#include <QtQml/qqmlregistration.h>
#include <QtQuickShapes/private/qquickshape_p.h>

namespace qm {

class BRShape : public QQuickShape {
    Q_OBJECT
    QML_ELEMENT

public:
    explicit BRShape(QQuickItem* parent = nullptr);

protected:
    QSGNode* updatePaintNode(QSGNode* node, UpdatePaintNodeData* data) override;
};

} // namespace qm
