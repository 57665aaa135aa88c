#pragma once
// The restore of an encrypted backup file, shared by the onboarding step (which then opens
// the restored wallet with the same password) and the menu's sheet (which then locks, so the
// lock screen asks for it): the chosen file's bytes, the typed password (kept here, never in
// QML), the busy flag, the error line and the success flag.

#include "platform/Bytes.h"
#include "ui/onboarding/PasswordFormModel.h"

#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>
#include <optional>
#include <qcoro/qcorotask.h>
#include <stop_token>

namespace qm {

class AppState;
class Settings;
struct RestoredBackup;

class BackupRestoreViewModel : public PasswordFormModel {
    Q_OBJECT
    QML_ELEMENT
    // True for the onboarding step: unlock after the restore; false for the sheet: lock.
    Q_PROPERTY(bool unlocksAfterRestore READ unlocksAfterRestore WRITE setUnlocksAfterRestore NOTIFY
                   modeChanged)
    Q_PROPERTY(bool hasFile READ hasFile NOTIFY fileChanged)
    // The chosen file's name (last path component); empty while none is chosen.
    Q_PROPERTY(QString fileName READ fileName NOTIFY fileChanged)
    Q_PROPERTY(bool isRestoring READ isBusy NOTIFY busyChanged)
    Q_PROPERTY(bool restoreSuccess READ restoreSuccess NOTIFY restoreSuccessChanged)
    // Where the open dialog starts: the folder of the last backup saved or opened, else the
    // documents folder, or the home folder.
    Q_PROPERTY(QUrl defaultFolderUrl READ defaultFolderUrl NOTIFY fileChanged)

public:
    // A backup is a few kilobytes. A larger file is not one: it is not read whole (that would
    // stall the window and fill memory) and restores as an invalid file.
    static constexpr qint64 maximumFileSize = 16 * 1024 * 1024;

    explicit BackupRestoreViewModel(QObject* parent = nullptr);
    ~BackupRestoreViewModel() override;

    bool unlocksAfterRestore() const { return m_unlocksAfterRestore; }
    void setUnlocksAfterRestore(bool unlocks);
    // The user defaults the restore writes the theme to; unset, the user's own.
    void setSettings(Settings* settings) { m_settings = settings; }

    bool hasFile() const { return m_fileData.has_value(); }
    QString fileName() const { return m_fileName; }
    bool isRestoring() const { return isBusy(); }
    bool restoreSuccess() const { return m_restoreSuccess; }
    QUrl defaultFolderUrl() const;

    // The file the open dialog returned: read whole now. A file that cannot be read keeps
    // the earlier choice and shows why; an empty URL (a cancelled dialog) changes nothing.
    Q_INVOKABLE void selectFile(const QUrl& url);
    void selectFilePath(const QString& path);
    // The open dialog could not be shown (a missing Qt module): the error line says so.
    Q_INVOKABLE void reportDialogUnavailable();

    // Restores: busy at once; a keyring that holds (or may hold) the stored wallet is asked
    // to unlock first, and a refusal restores nothing; the backup format checks and writes
    // on the signing worker; then the carried tokens and theme are added, the record
    // installed, onboarding left, and the wallet unlocked or locked.
    QCoro::Task<void> restore();
    // "Restore Wallet" and Return: the restore above, then `finished`.
    Q_INVOKABLE void submit();

signals:
    void modeChanged();
    void fileChanged();
    void restoreSuccessChanged();

private:
    void addCarried(AppState& state, const RestoredBackup& restored);

    bool m_unlocksAfterRestore = true;
    Settings* m_settings = nullptr;
    QString m_fileName;
    std::optional<Bytes> m_fileData;
    bool m_restoreSuccess = false;
    // Dismisses the keyring's unlock prompt when the form goes.
    std::stop_source m_stop;
};

} // namespace qm
