#include "ui/settings/BackupExportViewModel.h"

#include "core/storage/TokenStore.h"
#include "core/storage/WalletBackup.h"
#include "platform/AtomicFile.h"
#include "platform/SecureBytes.h"
#include "platform/Settings.h"
#include "state/AppState.h"
#include "state/signing/Signer.h"
#include "ui/settings/BackupStores.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <stdexcept>
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

QUrl BackupExportViewModel::defaultFolderUrl() const {
    return backupFolderUrl();
}

QUrl BackupExportViewModel::defaultFileUrl() const {
    return QUrl::fromLocalFile(QDir(defaultFolderUrl().toLocalFile()).filePath(defaultFileName()));
}

QString BackupExportViewModel::resolveSavePath(const QString& chosen, const QString& folder) {
    if (chosen.isEmpty()) {
        return {};
    }
    QString base = folder.isEmpty() ? QDir::homePath() : QDir::cleanPath(folder);
    if (base != QStringLiteral("/")) {
        // "<folder>//<typed absolute path>": the typed path, as typed.
        const QString joined = base + QStringLiteral("//");
        if (chosen.startsWith(joined)) {
            return QDir::cleanPath(chosen.mid(joined.size() - 1));
        }
    }
    if (QDir::isRelativePath(chosen)) {
        return QDir::cleanPath(QDir(base).filePath(chosen));
    }
    return QDir::cleanPath(chosen);
}

void BackupExportViewModel::dropBytes() {
    if (m_fileBytes) {
        wipe(*m_fileBytes);
        m_fileBytes.reset();
    }
}

QCoro::Task<bool> BackupExportViewModel::exportBackup() {
    beginAttempt();
    dropBytes();
    const QPointer<BackupExportViewModel> self(this);
    std::string password = passwordUtf8();
    std::optional<Bytes> bytes;
    std::optional<QString> failure;
    try {
        AppState* state = appState();
        if (!state) {
            throw std::runtime_error("No application state");
        }
        // The stores are the GUI thread's: the worker gets copies of what the backup carries.
        TokenMap tokens = state->tokenStore().tokensByChain;
        const Settings& settings = m_settings ? *m_settings : Settings::standard();
        std::optional<std::string> theme = settings.string(WalletBackup::themeKey);
        QCoro::Task<Bytes> exporting =
            state->signer().exportBackup(password, std::move(tokens), std::move(theme));
        wipe(password);
        bytes = co_await std::move(exporting);
    } catch (const std::exception& error) {
        failure = QString::fromUtf8(error.what());
    }
    wipe(password);
    if (!self) {
        if (bytes) {
            wipe(*bytes);
        }
        co_return false;
    }
    if (failure) {
        setErrorMessage(std::move(failure));
        setBusy(false);
        co_return false;
    }
    m_fileBytes = std::move(bytes);
    co_return true;
}

QCoro::Task<void> BackupExportViewModel::runSubmit() {
    const QPointer<BackupExportViewModel> self(this);
    QCoro::Task<bool> exporting = exportBackup();
    const bool exported = co_await std::move(exporting);
    if (!self) {
        co_return;
    }
    if (exported) {
        emit saveLocationNeeded();
    } else {
        emit finished();
    }
}

void BackupExportViewModel::submit() {
    if (isBusy()) {
        return;
    }
    runSubmit();
}

namespace {

// The local path a dialog's URL names; a URL without a scheme is a path as it stands.
QString localPath(const QUrl& url) {
    if (url.isLocalFile()) {
        return url.toLocalFile();
    }
    return url.scheme().isEmpty() ? url.path() : url.toString();
}

} // namespace

void BackupExportViewModel::saveTo(const QUrl& url, const QUrl& folder) {
    if (url.isEmpty()) {
        saveToPath(QString());
        return;
    }
    const QString base = folder.isEmpty() ? defaultFolderUrl().toLocalFile() : localPath(folder);
    saveToPath(resolveSavePath(localPath(url), base));
}

QString BackupExportViewModel::saveFailureText(int errorNumber, const QString& path) {
    const QFileInfo file(path);
    const QString folder = QDir::toNativeSeparators(file.absolutePath());
    switch (errorNumber) {
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("The folder \"%1\" does not exist. Choose another folder.")
            .arg(folder);
    case EACCES:
    case EPERM:
    case EROFS:
        return QStringLiteral("The folder \"%1\" cannot be written. Choose another folder.")
            .arg(folder);
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("There is not enough space in \"%1\". Free some space or choose "
                              "another folder.")
            .arg(folder);
    case EISDIR:
        return QStringLiteral("\"%1\" is a folder. Choose another name.").arg(file.fileName());
    case ENAMETOOLONG:
        return QStringLiteral("The file name is too long. Choose a shorter name.");
    default:
        return QStringLiteral("The backup could not be saved in \"%1\" (%2). Choose another "
                              "folder.")
            .arg(folder, QString::fromLocal8Bit(std::strerror(errorNumber)));
    }
}

void BackupExportViewModel::reportDialogUnavailable() {
    dropBytes();
    setErrorMessage(QStringLiteral("The file dialog could not be opened."));
    setBusy(false);
    emit finished();
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
        rememberBackupFolder(QFileInfo(path).absolutePath());
        m_exportSuccess = true;
        wipePassword(); // used
        emit exportSuccessChanged();
    } catch (const FileError& error) {
        setErrorMessage(saveFailureText(error.errorNumber(), path));
    } catch (const std::exception& error) {
        setErrorMessage(QString::fromUtf8(error.what()));
    }
    dropBytes();
    setBusy(false);
    emit finished();
}

} // namespace qm
