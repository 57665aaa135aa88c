#include "ui/settings/BackupRestoreViewModel.h"

#include "core/storage/TokenStore.h"
#include "core/storage/WalletBackup.h"
#include "platform/SecureBytes.h"
#include "platform/Settings.h"
#include "state/AppState.h"
#include "state/signing/Signer.h"
#include "state/walletconnect/WalletConnectService.h"
#include "ui/onboarding/KeyringRefusal.h"
#include "ui/settings/BackupStores.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <exception>
#include <stdexcept>
#include <string>
#include <utility>

namespace qm {

BackupRestoreViewModel::BackupRestoreViewModel(QObject* parent) : PasswordFormModel(parent) {}

BackupRestoreViewModel::~BackupRestoreViewModel() {
    m_stop.request_stop();
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
    rememberBackupFolder(QFileInfo(path).absolutePath());
    emit fileChanged();
    setErrorMessage(std::nullopt);
}

void BackupRestoreViewModel::reportDialogUnavailable() {
    setErrorMessage(QStringLiteral("The file dialog could not be opened."));
}

void BackupRestoreViewModel::addCarried(AppState& state, const RestoredBackup& restored) {
    // The worker wrote the token file; the store takes what it wrote, keeping any token it
    // gained meanwhile (a refresh may have found one), which then costs one more write.
    TokenStore& store = state.tokenStore();
    std::vector<Token> held;
    for (const auto& [chain, tokens] : store.tokensByChain) {
        held.insert(held.end(), tokens.begin(), tokens.end());
    }
    store.tokensByChain = restored.tokens;
    (void)store.addAll(held);
    if (restored.theme) {
        Settings& settings = m_settings ? *m_settings : Settings::standard();
        settings.setString(WalletBackup::themeKey, *restored.theme);
        settings.sync();
    }
}

QCoro::Task<void> BackupRestoreViewModel::restore() {
    if (!m_fileData) {
        co_return;
    }
    beginAttempt();
    const QPointer<BackupRestoreViewModel> self(this);
    const QPointer<AppState> state(appState());
    std::string password = passwordUtf8();
    std::optional<QString> failure;
    try {
        if (!state) {
            throw std::runtime_error("No application state");
        }
        // Into the keyring that holds the wallet, opened first, or not at all: in files beside
        // it, the backup would be shadowed by the wallet it holds.
        QCoro::Task<void> opening = state->openKeyringForWalletItems(m_stop.get_token());
        co_await std::move(opening);
        if (!self || !state) {
            wipe(password);
            co_return;
        }
        TokenFileSnapshot tokens;
        tokens.file = state->tokenStore().fileURL();
        tokens.tokens = state->tokenStore().tokensByChain;
        QCoro::Task<RestoredBackup> restoring =
            state->signer().restoreBackup(*m_fileData, password, std::move(tokens));
        const RestoredBackup restored = co_await std::move(restoring);
        if (!self || !state) {
            wipe(password);
            co_return;
        }
        addCarried(*state, restored);
        state->wcViewModel().endAllSessions();
        state->showRestoredWallet(restored.wallet);
        if (m_unlocksAfterRestore) {
            try {
                QCoro::Task<void> unlocking = state->unlock(password);
                co_await std::move(unlocking);
            } catch (...) {
                // Left as it is, the window would show the main view of a wallet that was
                // never opened; the lock screen offers the unlock again.
                if (state) {
                    state->lock();
                }
                throw;
            }
        } else {
            m_restoreSuccess = true;
            emit restoreSuccessChanged();
        }
    } catch (const std::exception& error) {
        failure = keyringRefusalText(error, QStringLiteral("nothing was restored"))
                      .value_or(QString::fromUtf8(error.what()));
    }
    wipe(password);
    if (!self) {
        co_return;
    }
    if (failure) {
        setErrorMessage(std::move(failure));
    } else {
        wipePassword(); // used
    }
    setBusy(false);
}

void BackupRestoreViewModel::submit() {
    if (!m_fileData || isBusy()) {
        return;
    }
    afterStep(restore(), [this] { emit finished(); });
}

} // namespace qm
