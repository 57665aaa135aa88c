#pragma once
// What our backup dialogs change in Qt Quick's own file dialog once it is open (it builds its
// shown part then): the window's colours instead of the default light palette, file and
// folder names drawn as plain text (Qt's delegates take markup in a name for rich text), a
// dialog large enough for its list and a name field that holds a suggested name, the list's
// scroll bar shown while it overflows, the list at its top whenever it fills anew, a line
// under the buttons that says why Save cannot save, and what Save and Open take
// (FileDialogChoice).

#include <QObject>
#include <QQmlComponent>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

class QQmlEngine;
class QJSEngine;

namespace qm {

class FileDialogSetup : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;
    static FileDialogSetup* create(QQmlEngine* engine, QJSEngine* script);

    // Sets up the open dialog's shown part: each palette role named in `colours` ("window",
    // "base", "text", ...); `files` as the delegate of its file list (a FileDialogDelegate);
    // `notice` (an item showing the dialog's `notice`) under its buttons; its size. Returns
    // the shown dialog (what a file delegate's `dialog` is), or null when there is none.
    Q_INVOKABLE QObject* apply(QObject* dialog, const QVariantMap& colours, QQmlComponent* files,
                               QQmlComponent* notice, qreal width, qreal height);
    // The user pressed the row of `file` in `shown` (what apply() returned).
    Q_INVOKABLE void pick(QObject* shown, const QUrl& file);

private slots:
    void showScrollBarWhileOverflowing();
    void makeFolderPathPlain();

private:
    void setUpList(QObject* impl, QQmlComponent* files);
    void addNotice(QObject* impl, QQmlComponent* notice);
};

} // namespace qm
