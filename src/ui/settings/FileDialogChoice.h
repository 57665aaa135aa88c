#pragma once
// What Save and Open take in our file dialogs. Qt Quick's own dialog keeps one selected file
// for both the name field and the list, so a folder change empties the name (Save then does
// nothing), going up puts the folder's name in it, and the row it shows highlighted is not
// what Open opens. Here the save dialog's name field is the user's alone: it keeps its name
// through folder changes, a click on a file's row takes that file's name, and the selected
// file always is that name in the shown folder (the suffix added to a bare name), or none
// while nothing can be saved there, with the reason shown. The open dialog's selected file
// follows the highlighted row.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

class QQuickItem;

namespace qm {

// Connects `sender`'s signal named `signal`, whatever its arguments, to `receiver`'s `slot`
// (given as "name()"): Qt's dialog types are private, their signals known by name only.
void connectSignalNamed(QObject* sender, const char* signal, QObject* receiver, const char* slot);

class FileDialogChoice : public QObject {
    Q_OBJECT

public:
    // For `dialog` (the FileDialog) and `impl`, its shown part (this object's parent), with
    // its location bar `folderBar` (its path buttons, or a typed path).
    FileDialogChoice(QObject* dialog, QObject* impl, QQuickItem* folderBar);

    // Each time the dialog opens: the save dialog takes the name it was given, the open
    // dialog the highlighted row.
    void begin();
    // The user pressed the row of `file`: a selection of it is theirs, not the dialog's.
    void pick(const QUrl& file) { m_picked = file; }

    // The file Save writes for `name` typed while `folder` is shown: a typed absolute path as
    // it is, anything else inside the folder; `suffix` added to a name that has none.
    static QString saveTarget(const QString& folder, const QString& name, const QString& suffix);
    // Why nothing can be saved as `target` (a folder, a missing or read-only folder); empty
    // when it can.
    static QString saveRefusal(const QString& target);

private slots:
    void nameEdited();
    void selectionChanged();
    void folderChanged();
    void listChanged();
    void nameAccepted();

private:
    bool saving() const;
    bool pathTyped() const;
    QString folderPath() const;
    QUrl selectedFile() const;
    void setSelectedFile(const QUrl& file);
    void setName(const QString& name);
    // The save dialog's state from the name and folder: selected file, notice, Save button.
    void applyName();
    // The open dialog's selected file from the highlighted row.
    void followHighlight();
    QQuickItem* acceptButton() const;

    QPointer<QObject> m_dialog;
    QObject* m_impl;
    QPointer<QQuickItem> m_folderBar;
    QPointer<QQuickItem> m_field;
    QPointer<QQuickItem> m_list;
    QString m_name;
    QUrl m_picked;
    bool m_applying = false;
};

} // namespace qm
