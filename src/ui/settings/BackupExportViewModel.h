#pragma once
// The export of an encrypted backup: the typed password (kept here, never in QML), the file
// bytes between the export and the save dialog, the busy flag, the error line and the saved
// file's name. It reads no state of the running wallet, so it works locked or unlocked.

#include "platform/Bytes.h"
#include "ui/onboarding/PasswordFormModel.h"

#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>
#include <optional>
#include <qcoro/qcorotask.h>

namespace qm {

class Settings;

class BackupExportViewModel : public PasswordFormModel {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool isExporting READ isBusy NOTIFY busyChanged)
    Q_PROPERTY(bool exportSuccess READ exportSuccess NOTIFY exportSuccessChanged)
    Q_PROPERTY(QString savedPath READ savedPath NOTIFY exportSuccessChanged)
    // The name the save dialog suggests ("Quillmark-yyyy-MM-dd.qmbackup").
    Q_PROPERTY(QString defaultFileName READ defaultFileName CONSTANT)
    // Where the save dialog starts: the folder of the last backup saved or opened, else the
    // user's documents folder, or the home folder when there is none.
    Q_PROPERTY(QUrl defaultFolderUrl READ defaultFolderUrl NOTIFY exportSuccessChanged)
    // The suggested name in that folder.
    Q_PROPERTY(QUrl defaultFileUrl READ defaultFileUrl NOTIFY exportSuccessChanged)

public:
    explicit BackupExportViewModel(QObject* parent = nullptr);
    ~BackupExportViewModel() override;

    // The user defaults whose theme goes into the backup; unset, the user's own.
    void setSettings(Settings* settings) { m_settings = settings; }

    bool isExporting() const { return isBusy(); }
    bool exportSuccess() const { return m_exportSuccess; }
    QString savedPath() const { return m_savedPath; }
    QString defaultFileName() const;
    QUrl defaultFolderUrl() const;
    QUrl defaultFileUrl() const;

    // The file the save dialog's answer names. The dialog joins its folder and the typed
    // name as text: a typed absolute path comes back as "<folder>//<path>" and is that path;
    // a bare name belongs in `folder` (the dialog's), never the working directory.
    static QString resolveSavePath(const QString& chosen, const QString& folder);
    // What a failed write of `path` (errno `errorNumber`) tells the user: what is wrong with
    // the place chosen, and what to do about it.
    static QString saveFailureText(int errorNumber, const QString& path);

    // The export itself: busy and error cleared at once, the backup's bytes made on the
    // signing worker and kept for the save. False (busy off, error shown) when it fails.
    QCoro::Task<bool> exportBackup();
    // "Export Backup" and Return: the export above; on success `saveLocationNeeded` asks the
    // view for the save dialog, else `finished`.
    Q_INVOKABLE void submit();
    // The save dialog's answer and the folder it showed: an empty URL is a cancel (no
    // message, no file). Writes atomically; a failed write says what to do instead.
    Q_INVOKABLE void saveTo(const QUrl& url, const QUrl& folder = QUrl());
    // The save dialog could not be shown (a missing Qt module): the error line says so and
    // the form is usable again; nothing is written.
    Q_INVOKABLE void reportDialogUnavailable();
    void saveToPath(const QString& path);

signals:
    void exportSuccessChanged();
    void saveLocationNeeded();

private:
    QCoro::Task<void> runSubmit();
    void dropBytes();

    Settings* m_settings = nullptr;
    std::optional<Bytes> m_fileBytes;
    bool m_exportSuccess = false;
    QString m_savedPath;
};

} // namespace qm
