#include "ui/settings/BackupRestoreViewModel.h"

#include "core/storage/TokenStore.h"
#include "core/storage/WalletBackup.h"
#include "platform/SecureBytes.h"
#include "state/AppState.h"
#include "ui/settings/BackupStores.h"

#include <QFile>
#include <QFileInfo>
#include <exception>
#include <string>
#include <utility>

namespace qm {

BackupRestoreViewModel::BackupRestoreViewModel(QObject* parent) : PasswordFormModel(parent) {}

BackupRestoreViewModel::~BackupRestoreViewModel() {
    if (m_fileData) {
        wipe(*m_fileData);
    }
}

void BackupRestoreViewModel::setUnlocksAfterRestore(bool unlocks) {
    if (m_unlocksAfterRestore == unlocks) {
        return;
    }
    m_unlocksAfterRestore = unlocks;
    emit modeChanged();
}

QUrl BackupRestoreViewModel::defaultFolderUrl() const {
    return backupFolderUrl();
}

void BackupRestoreViewModel::selectFile(const QUrl& url) {
    if (url.isEmpty()) {
        return;
    }
    selectFilePath(url.isLocalFile() ? url.toLocalFile() : url.toString());
}

void BackupRestoreViewModel::selectFilePath(const QString& path) {
    QFile file(path);
    Bytes bytes;
    // The onboarding step names the reason; the sheet does not.
    const auto readFailed = [&] {
        setErrorMessage(m_unlocksAfterRestore
                            ? QStringLiteral("Could not read file: ") + file.errorString()
                            : QStringLiteral("Could not read file"));
    };
    if (!file.open(QIODevice::ReadOnly)) {
        readFailed();
        return;
    }
    if (file.size() <= maximumFileSize) {
        const QByteArray content = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            readFailed();
            return;
        }
        bytes.assign(content.begin(), content.end());
    }
    if (m_fileData) {
        wipe(*m_fileData);
    }
    m_fileName = QFileInfo(path).fileName();
    m_fileData = std::move(bytes);
    emit fileChanged();
    setErrorMessage(std::nullopt);
}

void BackupRestoreViewModel::reportDialogUnavailable() {
    setErrorMessage(QStringLiteral("The file dialog could not be opened."));
}

void BackupRestoreViewModel::reloadTokens() {
    TokenStore& tokens = appState()->tokenStore();
    // A file that cannot be read or decoded leaves no custom tokens; no file leaves them as
    // they are.
    if (tokens.load() == TokenStore::LoadResult::unreadable) {
        tokens.tokensByChain = {};
    }
}

void BackupRestoreViewModel::finishRestore() {
    AppState* state = appState();
    std::string password = passwordUtf8();
    try {
        Wallet restored =
            WalletBackup::restore(*m_fileData, password, backupStores(state, m_settings));
        reloadTokens();
        state->setWallet(std::move(restored));
        state->setIsOnboarding(false);
        if (m_unlocksAfterRestore) {
            try {
                state->unlock(password);
            } catch (...) {
                // Left as it is, the window would show the main view of a wallet that was
                // never opened; the lock screen offers the unlock again.
                state->lock();
                throw;
            }
        } else {
            state->lock();
            m_restoreSuccess = true;
            emit restoreSuccessChanged();
        }
    } catch (const std::exception& error) {
        setErrorMessage(QString::fromUtf8(error.what()));
    }
    wipe(password);
    setBusy(false);
}

void BackupRestoreViewModel::restore() {
    if (!m_fileData) {
        return;
    }
    beginAttempt();
    finishRestore();
}

void BackupRestoreViewModel::submit() {
    if (!m_fileData || isBusy()) {
        return;
    }
    beginAttempt();
    runAfterPaint([this] {
        finishRestore();
        emit finished();
    });
}

} // namespace qm
