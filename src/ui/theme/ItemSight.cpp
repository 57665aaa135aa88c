#include "ui/theme/ItemSight.h"

#include <QQuickItem>
#include <QQuickWindow>
#include <QtQuick/private/qquickitem_p.h>
#include <QtQuickTemplates2/private/qquickoverlay_p.h>
#include <QtQuickTemplates2/private/qquickpopup_p.h>
#include <QtQuickTemplates2/private/qquickpopupitem_p_p.h>

namespace qm {

bool coveredByModalPopup(const QQuickItem* item) {
    // The overlay is looked up where Qt keeps it, so that asking never makes one for a window
    // that has none.
    QQuickWindow* window = item->window();
    auto* overlay = window ? window->property("_q_QQuickOverlay").value<QQuickOverlay*>() : nullptr;
    if (!overlay || !overlay->isVisible()) {
        return false;
    }
    const QList<QQuickItem*> stacked = QQuickItemPrivate::get(overlay)->paintOrderChildItems();
    for (auto it = stacked.crbegin(); it != stacked.crend(); ++it) {
        auto* popupItem = qobject_cast<QQuickPopupItem*>(*it);
        if (!popupItem || !popupItem->isVisible()) {
            continue;
        }
        if (popupItem == item || popupItem->isAncestorOf(item)) {
            return false;
        }
        const QQuickPopup* popup =
            static_cast<QQuickPopupItemPrivate*>(QQuickItemPrivate::get(popupItem))->popup;
        if (popup && popup->isModal()) {
            return true;
        }
    }
    return false;
}

bool outOfSight(const QQuickItem* item) {
    // A point for an item without an area: a zero-sized holder of a row still has its place.
    const QRectF box(0, 0, qMax<qreal>(item->width(), 1), qMax<qreal>(item->height(), 1));
    for (const QQuickItem* at = item; at; at = at->parentItem()) {
        // A list's row it no longer draws (kept for reuse after its entry left, or made ahead
        // of the view's edge) is culled while it stays visible in its place.
        if (at->opacity() <= 0 || QQuickItemPrivate::get(at)->culled) {
            return true;
        }
        if (at != item && at->clip() &&
            !item->mapRectToItem(at, box).intersects(QRectF(0, 0, at->width(), at->height()))) {
            return true;
        }
    }
    const QQuickWindow* window = item->window();
    return window &&
           !item->mapRectToScene(box).intersects(QRectF(0, 0, window->width(), window->height()));
}

} // namespace qm
