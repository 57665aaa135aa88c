#include "ui/theme/AccessibleStates.h"

#include <QAccessible>
#include <QQuickItem>
#include <QtQuick/private/qaccessiblequickitem_p.h>
#include <QtQuick/private/qquickitem_p.h>

namespace qm {
namespace {

class AccessibleQuickItem : public QAccessibleQuickItem {
public:
    explicit AccessibleQuickItem(QQuickItem* item) : QAccessibleQuickItem(item) {
        // The interface lives as long as the item; the connection goes with the item.
        QObject::connect(item, &QQuickItem::enabledChanged, item, [item] {
            QAccessible::State changed;
            changed.disabled = true;
            changed.focusable = true;
            QAccessibleStateChangeEvent event(item, changed);
            QAccessible::updateAccessibility(&event);
        });
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleQuickItem::state();
        if (!item()->isEnabled()) {
            state.disabled = true;
            state.focusable = false;
        }
        return state;
    }
};

// Consulted for each class of an object from the most derived one up, so it answers for a
// Qt Quick item before Qt's own factory, which waits for the class name "QQuickItem".
QAccessibleInterface* accessibleFactory(const QString&, QObject* object) {
    auto* item = qobject_cast<QQuickItem*>(object);
    if (!item || !QQuickItemPrivate::get(item)->isAccessible) {
        return nullptr;
    }
    return new AccessibleQuickItem(item);
}

} // namespace

void installAccessibleStates() {
    static bool installed = false;
    if (!installed) {
        installed = true;
        QAccessible::installFactory(accessibleFactory);
    }
}

} // namespace qm
