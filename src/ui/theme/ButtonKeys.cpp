#include "ui/theme/ButtonKeys.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QObject>

namespace qm {
namespace {

class ButtonKeys : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) {
            return false;
        }
        auto* key = static_cast<QKeyEvent*>(event);
        // Only the bare key (Enter is on the keypad): a modified one stays a shortcut's.
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
            (key->modifiers() & ~Qt::KeypadModifier) ||
            !watched->inherits("QQuickAbstractButton")) {
            return false;
        }
        QKeyEvent space(key->type(), Qt::Key_Space, key->modifiers(), QStringLiteral(" "),
                        key->isAutoRepeat(), key->count());
        QCoreApplication::sendEvent(watched, &space);
        // A button that takes no Space leaves Return to the items around it.
        key->setAccepted(space.isAccepted());
        return space.isAccepted();
    }
};

} // namespace

void installButtonKeys() {
    static ButtonKeys* keys = nullptr;
    if (!keys) {
        keys = new ButtonKeys(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(keys);
    }
}

} // namespace qm
