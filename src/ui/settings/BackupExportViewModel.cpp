#include "ui/settings/BackupExportViewModel.h"

#include "core/storage/WalletBackup.h"
#include "platform/AtomicFile.h"
#include "platform/SecureBytes.h"
#include "ui/settings/BackupStores.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <exception>
#include <filesystem>
#include <string>
#include <utility>

namespace qm {

BackupExportViewModel::BackupExportViewModel(QObject* parent) : PasswordFormModel(parent) {}

BackupExportViewModel::~BackupExportViewModel() {
    dropBytes();
}

QString BackupExportViewModel::defaultFileName() const {
    return QString::fromStdString(WalletBackup::defaultFileName());
}

QUrl BackupExportViewModel::defaultFileUrl() const {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QUrl::fromLocalFile(folder + QLatin1Char('/') + defaultFileName());
}

void BackupExportViewModel::dropBytes() {
    if (m_fileBytes) {
        wipe(*m_fileBytes);
        m_fileBytes.reset();
    }
}

bool BackupExportViewModel::exportBackup() {
    beginAttempt();
    dropBytes();
    std::string password = passwordUtf8();
    try {
        m_fileBytes = WalletBackup::exportBackup(password, backupStores(appState(), m_settings));
    } catch (const std::exception& error) {
        setErrorMessage(QString::fromUtf8(error.what()));
        setBusy(false);
    }
    wipe(password);
    return m_fileBytes.has_value();
}

void BackupExportViewModel::submit() {
    if (isBusy()) {
        return;
    }
    beginAttempt();
    runAfterPaint([this] {
        if (exportBackup()) {
            emit saveLocationNeeded();
        } else {
            emit finished();
        }
    });
}

void BackupExportViewModel::saveTo(const QUrl& url) {
    if (url.isEmpty()) {
        saveToPath(QString());
        return;
    }
    saveToPath(url.isLocalFile() ? url.toLocalFile() : url.toString());
}

void BackupExportViewModel::saveToPath(const QString& path) {
    if (!m_fileBytes) {
        return;
    }
    if (path.isEmpty()) {
        dropBytes();
        setBusy(false);
        emit finished();
        return;
    }
    try {
        writeFileAtomically(std::filesystem::path(path.toStdString()), *m_fileBytes);
        m_savedPath = QFileInfo(path).fileName();
        m_exportSuccess = true;
        emit exportSuccessChanged();
    } catch (const std::exception& error) {
        setErrorMessage(QString::fromUtf8(error.what()));
    }
    dropBytes();
    setBusy(false);
    emit finished();
}

} // namespace qm
