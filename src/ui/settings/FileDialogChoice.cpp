#include "ui/settings/FileDialogChoice.h"

#include "ui/settings/BackupExportViewModel.h"

#include <QDir>
#include <QFileInfo>
#include <QMetaMethod>
#include <QQmlContext>
#include <QQmlProperty>
#include <QQuickItem>
#include <cerrno>

namespace qm {
namespace {

// FileDialog.SaveFile.
constexpr int saveFileMode = 2;
// DialogButtonBox.AcceptRole.
constexpr int acceptRole = 0;
// The longest file name the file systems take, in bytes.
constexpr int longestName = 255;

QQuickItem* findAcceptButton(QQuickItem* item) {
    if (item->inherits("QQuickAbstractButton") &&
        QQmlProperty(item, QStringLiteral("DialogButtonBox.buttonRole"), qmlContext(item))
                .read()
                .toInt() == acceptRole) {
        return item;
    }
    for (QQuickItem* child : item->childItems()) {
        if (QQuickItem* found = findAcceptButton(child)) {
            return found;
        }
    }
    return nullptr;
}

} // namespace

void connectSignalNamed(QObject* sender, const char* signal, QObject* receiver, const char* slot) {
    if (!sender) {
        return;
    }
    const QMetaObject* meta = sender->metaObject();
    const QMetaMethod target =
        receiver->metaObject()->method(receiver->metaObject()->indexOfSlot(slot));
    for (int i = 0; i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        if (method.methodType() == QMetaMethod::Signal && method.name() == signal) {
            QObject::connect(sender, method, receiver, target);
            return;
        }
    }
}

FileDialogChoice::FileDialogChoice(QObject* dialog, QObject* impl, QQuickItem* folderBar)
    : QObject(impl), m_dialog(dialog), m_impl(impl), m_folderBar(folderBar) {
    m_field = impl->findChild<QQuickItem*>(QStringLiteral("fileNameTextField"));
    m_list = impl->findChild<QQuickItem*>(QStringLiteral("fileDialogListView"));
    connectSignalNamed(impl, "selectedFileChanged", this, "selectionChanged()");
    connectSignalNamed(impl, "currentFolderChanged", this, "folderChanged()");
    connectSignalNamed(m_field, "textEdited", this, "nameEdited()");
    connectSignalNamed(m_field, "accepted", this, "nameAccepted()");
    connectSignalNamed(m_list, "currentItemChanged", this, "listChanged()");
    connectSignalNamed(m_list, "countChanged", this, "listChanged()");
}

QString FileDialogChoice::saveTarget(const QString& folder, const QString& name,
                                     const QString& suffix) {
    QString path = QDir::cleanPath(QDir::isAbsolutePath(name) ? name : QDir(folder).filePath(name));
    const QFileInfo file(path);
    // An existing folder keeps its name: it is refused, not saved beside under another one.
    if (!suffix.isEmpty() && file.suffix().isEmpty() && !file.isDir()) {
        path += (path.endsWith(QLatin1Char('.')) ? QString() : QStringLiteral(".")) + suffix;
    }
    return path;
}

QString FileDialogChoice::saveRefusal(const QString& target) {
    const QFileInfo file(target);
    if (file.isDir()) {
        return BackupExportViewModel::saveFailureText(EISDIR, target);
    }
    if (file.fileName().toLocal8Bit().size() > longestName) {
        return BackupExportViewModel::saveFailureText(ENAMETOOLONG, target);
    }
    const QFileInfo folder(file.absolutePath());
    if (!folder.isDir()) {
        return BackupExportViewModel::saveFailureText(ENOENT, target);
    }
    if (!folder.isWritable()) {
        return BackupExportViewModel::saveFailureText(EACCES, target);
    }
    return {};
}

bool FileDialogChoice::saving() const {
    return m_dialog && m_dialog->property("fileMode").toInt() == saveFileMode;
}

bool FileDialogChoice::pathTyped() const {
    auto* typed = m_folderBar ? m_folderBar->property("textField").value<QQuickItem*>() : nullptr;
    return typed && typed->isVisible();
}

QString FileDialogChoice::folderPath() const {
    return m_impl->property("currentFolder").toUrl().toLocalFile();
}

QUrl FileDialogChoice::selectedFile() const {
    return m_impl->property("selectedFile").toUrl();
}

void FileDialogChoice::setSelectedFile(const QUrl& file) {
    m_impl->setProperty("selectedFile", file);
}

void FileDialogChoice::begin() {
    m_picked.clear();
    if (!saving()) {
        followHighlight();
        return;
    }
    const QUrl given = selectedFile();
    m_name = given.isLocalFile() ? QFileInfo(given.toLocalFile()).fileName() : QString();
    if (m_field) {
        // Qt binds the field to its selected file's name, which each folder change replaces;
        // written here, the binding goes and the field is the user's.
        QQmlProperty(m_field, QStringLiteral("text")).write(m_name);
    }
    applyName();
}

void FileDialogChoice::setName(const QString& name) {
    m_name = name;
    if (m_field && m_field->property("text").toString() != name) {
        m_field->setProperty("text", name);
    }
}

void FileDialogChoice::nameEdited() {
    if (m_field && saving()) {
        m_name = m_field->property("text").toString();
        applyName();
    }
}

void FileDialogChoice::selectionChanged() {
    if (m_applying) {
        return;
    }
    if (!saving()) {
        if (selectedFile().isEmpty()) {
            followHighlight();
        }
        return;
    }
    const QUrl chosen = selectedFile();
    // The user's own choice: a path typed in the location bar (Return saves it), an existing
    // file's row pressed (a double click saves over it). Anything else the dialog selects (a
    // folder, the first file of a folder it entered) leaves the name alone.
    const QFileInfo file(chosen.toLocalFile());
    if (chosen.isLocalFile() && !file.isDir() && (pathTyped() || chosen == m_picked)) {
        m_picked.clear();
        setName(file.absolutePath() == QFileInfo(folderPath()).absoluteFilePath()
                    ? file.fileName()
                    : file.absoluteFilePath());
    }
    applyName();
}

void FileDialogChoice::folderChanged() {
    if (saving()) {
        applyName();
    }
}

void FileDialogChoice::listChanged() {
    if (!saving()) {
        followHighlight();
    }
}

void FileDialogChoice::nameAccepted() {
    if (!saving() || !selectedFile().isValid()) {
        return;
    }
    QMetaObject::invokeMethod(m_impl, "accept");
}

void FileDialogChoice::applyName() {
    if (m_applying || !m_dialog) {
        return;
    }
    m_applying = true;
    QString refusal;
    QUrl file;
    if (!m_name.isEmpty()) {
        const QString target =
            saveTarget(folderPath(), m_name, m_dialog->property("defaultSuffix").toString());
        refusal = saveRefusal(target);
        file = refusal.isEmpty() ? QUrl::fromLocalFile(target) : QUrl();
    }
    setName(m_name);
    if (selectedFile() != file) {
        setSelectedFile(file);
    }
    m_dialog->setProperty("notice", refusal);
    if (QQuickItem* button = acceptButton()) {
        button->setEnabled(file.isValid());
    }
    m_applying = false;
}

void FileDialogChoice::followHighlight() {
    if (!m_list || m_applying) {
        return;
    }
    auto* row = m_list->property("currentItem").value<QQuickItem*>();
    if (!row) {
        // An index left over from the last folder: the new folder's first row.
        const int count = m_list->property("count").toInt();
        const int index = m_list->property("currentIndex").toInt();
        if (count > 0 && (index < 0 || index >= count)) {
            m_list->setProperty("currentIndex", 0);
        }
        return;
    }
    const QUrl file = row->property("file").toUrl();
    if (file.isValid() && file != selectedFile()) {
        m_applying = true;
        setSelectedFile(file);
        m_applying = false;
    }
}

QQuickItem* FileDialogChoice::acceptButton() const {
    auto* footer = m_impl->property("footer").value<QQuickItem*>();
    return footer ? findAcceptButton(footer) : nullptr;
}

} // namespace qm
