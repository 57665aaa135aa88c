// The backup export and restore models: the exported file restores, the independently written
// golden file restores, and failures show their text and write nothing.

#include "AppStateFixture.h"
#include "core/storage/KeychainManager.h"
#include "core/storage/WalletBackup.h"
#include "platform/AtomicFile.h"
#include "platform/Settings.h"
#include "ui/onboarding/LockViewModel.h"
#include "ui/settings/BackupExportViewModel.h"
#include "ui/settings/BackupRestoreViewModel.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace qm {
namespace {

using test::AppStateFixture;

constexpr const char* password = "correct horse 1";
constexpr const char* goldenPassword = "correct horse battery staple";
constexpr const char* goldenWalletID = "5B0F4E5A-3C2D-4E1F-9A8B-7C6D5E4F3A2B";

// Written by the independent Python writer of the backup peer.
const QString golden = QStringLiteral(QM_SOURCE_DIR "/tests/peers/golden/wallet-v1.qmbackup");

Bytes goldenBytes() {
    return readFileIfExists(golden.toStdString()).value_or(Bytes{});
}

QString write(const QTemporaryDir& dir, const char* name, const Bytes& bytes) {
    const std::filesystem::path path = std::filesystem::path(dir.path().toStdString()) / name;
    writeFileAtomically(path, bytes);
    return QString::fromStdString(path.string());
}

// A wallet-less state, a folder for files, and user defaults of the test's own.
struct RestoreEnv {
    AppStateFixture env;
    QTemporaryDir files;
    Settings settings{std::filesystem::path(files.path().toStdString()) / "defaults.ini"};

    RestoreEnv() { env.state().loadStoredState(); }

    void attach(BackupRestoreViewModel& vm, bool unlocks) {
        vm.setAppState(&env.state());
        vm.setSettings(&settings);
        vm.setUnlocksAfterRestore(unlocks);
    }
};

TEST(BackupRestoreViewModel, FilesThatDoNotRestoreShowWhyAndWriteNothing) {
    Bytes version2 = goldenBytes();
    version2[4] = 2;
    struct Case {
        const char* name;
        Bytes file;
        const char* password;
        const char* message;
    };
    // Which bytes fail how is the file reader's business (WalletBackup_tests); here: one case
    // per text the model shows.
    const std::vector<Case> cases = {
        // Far larger than any backup: not read whole, restores as no backup.
        {"huge", goldenBytes(), goldenPassword, "Not a valid Quillmark backup file"},
        {"version 2", version2, goldenPassword, "Unsupported backup version"},
        {"a wrong password", goldenBytes(), "correct horse battery stapler", "Incorrect password"},
    };
    for (const Case& c : cases) {
        RestoreEnv r;
        BackupRestoreViewModel vm;
        r.attach(vm, true);
        const QString path = write(r.files, "chosen.qmbackup", c.file);
        if (c.name == std::string("huge")) {
            std::filesystem::resize_file(path.toStdString(),
                                         BackupRestoreViewModel::maximumFileSize + 1);
        }
        vm.selectFilePath(path);
        ASSERT_TRUE(vm.hasFile()) << c.name; // any file can be chosen
        EXPECT_EQ(vm.fileName(), "chosen.qmbackup");
        vm.setPassword(QString::fromUtf8(c.password));
        vm.restore();
        EXPECT_EQ(vm.errorText(), c.message) << c.name;
        EXPECT_FALSE(vm.isRestoring());
        EXPECT_FALSE(vm.restoreSuccess());
        // The choice and the password stay for another try; nothing was written.
        EXPECT_TRUE(vm.hasFile());
        EXPECT_TRUE(vm.hasPassword());
        EXPECT_FALSE(r.env.keychainManager().loadWalletMetadata()) << c.name;
        EXPECT_FALSE(r.settings.string("app_theme"));
        EXPECT_TRUE(r.env.state().isOnboarding());
        EXPECT_FALSE(r.env.state().wallet());
    }
}

TEST(BackupRestoreViewModel, ChoosingFiles) {
    RestoreEnv r;
    BackupRestoreViewModel step;
    r.attach(step, true);
    BackupRestoreViewModel sheet;
    r.attach(sheet, false);
    const QString missing = r.files.path() + "/missing.qmbackup";

    // Nothing chosen: restore does nothing at all.
    step.restore();
    EXPECT_FALSE(step.errorMessage());
    EXPECT_FALSE(step.hasFile());

    // A file that cannot be read: the step names the reason, the sheet does not.
    step.selectFilePath(missing);
    EXPECT_TRUE(step.errorText().startsWith("Could not read file: "))
        << step.errorText().toStdString();
    EXPECT_GT(step.errorText().size(), QString("Could not read file: ").size());
    sheet.selectFilePath(missing);
    EXPECT_EQ(sheet.errorText(), "Could not read file");
    EXPECT_FALSE(sheet.hasFile());

    // A good choice clears the line; a later unreadable one keeps it chosen.
    sheet.selectFile(QUrl::fromLocalFile(write(r.files, "first.qmbackup", goldenBytes())));
    EXPECT_FALSE(sheet.errorMessage());
    EXPECT_EQ(sheet.fileName(), "first.qmbackup");
    sheet.setPassword("typed");
    sheet.selectFilePath(missing);
    EXPECT_EQ(sheet.errorText(), "Could not read file");
    EXPECT_EQ(sheet.fileName(), "first.qmbackup");
    EXPECT_TRUE(sheet.hasFile());
    // A cancelled dialog changes nothing, the error line included.
    sheet.selectFile(QUrl());
    EXPECT_EQ(sheet.errorText(), "Could not read file");
    // Another file replaces the choice and keeps the typed password.
    sheet.selectFilePath(write(r.files, "second.qmbackup", goldenBytes()));
    EXPECT_EQ(sheet.fileName(), "second.qmbackup");
    EXPECT_TRUE(sheet.hasPassword());
}

TEST(BackupRestoreViewModel, AFailedUnlockAfterTheRestoreShowsTheLockScreenNotAnEmptyWallet) {
    RestoreEnv r;
    BackupRestoreViewModel vm;
    r.attach(vm, true);
    vm.selectFilePath(golden);
    vm.setPassword(goldenPassword);
    r.env.keychain().failLoads(-25293); // the restore writes; the unlock cannot read
    vm.restore();
    EXPECT_TRUE(vm.errorText().startsWith("Keychain load failed: "))
        << vm.errorText().toStdString();
    AppState& state = r.env.state();
    ASSERT_TRUE(state.wallet());
    EXPECT_FALSE(state.isOnboarding());
    EXPECT_TRUE(state.isLocked());
    EXPECT_TRUE(state.bitcoinAccounts().empty());
}

TEST(BackupRestoreViewModel, TheSheetLocksAndTheLockScreenOpensTheRestoredWallet) {
    RestoreEnv r;
    AppState& state = r.env.state();
    // An open wallet of another phrase is replaced.
    state.createWallet(AppStateFixture::abandonPhrase(), password);
    ASSERT_FALSE(state.isLocked());
    const std::string previous = state.bitcoinAccounts()[0].account.address;

    BackupRestoreViewModel vm;
    r.attach(vm, false);
    vm.selectFilePath(golden);
    vm.setPassword(goldenPassword);
    QSignalSpy success(&vm, &BackupRestoreViewModel::restoreSuccessChanged);
    vm.restore();
    EXPECT_FALSE(vm.errorMessage()) << vm.errorText().toStdString();
    EXPECT_TRUE(vm.restoreSuccess());
    EXPECT_EQ(success.count(), 1);
    EXPECT_EQ(state.wallet()->id, goldenWalletID);
    EXPECT_FALSE(state.isOnboarding());
    EXPECT_TRUE(state.isLocked());
    EXPECT_TRUE(state.bitcoinAccounts().empty());
    EXPECT_FALSE(state.lastDerivedMasterKey());

    LockViewModel lock;
    lock.setAppState(&state);
    lock.setPassword(password); // the old wallet's password no longer opens
    lock.unlock();
    EXPECT_EQ(lock.errorText(), "Incorrect password");
    lock.setPassword(goldenPassword);
    lock.unlock();
    EXPECT_FALSE(lock.errorMessage());
    EXPECT_FALSE(state.isLocked());
    EXPECT_NE(state.bitcoinAccounts()[0].account.address, previous);
    AppStateFixture::settle();
}

TEST(BackupExportViewModel, TheSavedFileRestoresElsewhereAndFailuresShowTheirText) {
    RestoreEnv source;
    BackupExportViewModel vm;
    vm.setAppState(&source.env.state());
    vm.setSettings(&source.settings);

    // No wallet stored yet.
    vm.setPassword(password);
    EXPECT_FALSE(vm.exportBackup());
    EXPECT_EQ(vm.errorText(), "No wallet data found to export");
    EXPECT_FALSE(vm.isExporting());

    AppState& state = source.env.state();
    state.createWallet(AppStateFixture::abandonPhrase(), password);
    state.lock(); // exporting works while locked
    source.settings.setString("app_theme", "Dollar Green");
    const Token usdc{"0xA0b86991c6218b36c1d19D4a2e9Eb0cE3606eB48", "USDC", "USD Coin", 6,
                     Chain::ethereum};
    ASSERT_EQ(source.env.tokenStore().add(usdc), TokenStore::AddResult::added);

    vm.setPassword(QStringLiteral("correct horse 2"));
    EXPECT_FALSE(vm.exportBackup());
    EXPECT_EQ(vm.errorText(), "Incorrect password");
    EXPECT_FALSE(vm.isExporting());

    // A cancelled save dialog: no message, no file, ready again.
    vm.setPassword(password);
    ASSERT_TRUE(vm.exportBackup());
    EXPECT_FALSE(vm.errorMessage()); // cleared by the new attempt
    EXPECT_TRUE(vm.isExporting());   // until the dialog answers
    QSignalSpy finished(&vm, &BackupExportViewModel::finished);
    vm.saveTo(QUrl());
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(vm.isExporting());
    EXPECT_FALSE(vm.errorMessage());
    EXPECT_FALSE(vm.exportSuccess());

    // A place that cannot be written: the file system's text.
    const std::filesystem::path folder(source.files.path().toStdString());
    writeFileAtomically(folder / "a-file", utf8View("x"));
    ASSERT_TRUE(vm.exportBackup());
    vm.saveToPath(QString::fromStdString((folder / "a-file" / "backup.qmbackup").string()));
    EXPECT_TRUE(vm.errorMessage());
    EXPECT_FALSE(vm.exportSuccess());
    EXPECT_FALSE(vm.isExporting());

    // Through the button: busy first, then the dialog is asked for, then the write.
    QSignalSpy dialog(&vm, &BackupExportViewModel::saveLocationNeeded);
    vm.submit();
    EXPECT_TRUE(vm.isExporting());
    EXPECT_FALSE(vm.errorMessage());
    ASSERT_TRUE(dialog.wait(10000));
    const std::filesystem::path target = folder / "Quillmark-test.qmbackup";
    vm.saveTo(QUrl::fromLocalFile(QString::fromStdString(target.string())));
    EXPECT_TRUE(vm.exportSuccess());
    EXPECT_EQ(vm.savedPath(), "Quillmark-test.qmbackup"); // the name only, not the folder
    EXPECT_FALSE(vm.isExporting());
    EXPECT_FALSE(vm.errorMessage());

    // The file restores into another installation through the onboarding step's button, busy
    // before the key derivation runs: the same accounts, and the custom tokens reach the open
    // token list and the theme the user defaults.
    RestoreEnv other;
    BackupRestoreViewModel restore;
    other.attach(restore, true);
    restore.selectFilePath(QString::fromStdString(target.string()));
    restore.setPassword(password);
    QSignalSpy restored(&restore, &BackupRestoreViewModel::finished);
    restore.submit();
    EXPECT_TRUE(restore.isRestoring());
    ASSERT_TRUE(restored.wait(10000));
    EXPECT_FALSE(restore.isRestoring());
    EXPECT_FALSE(restore.errorMessage()) << restore.errorText().toStdString();
    AppState& restoredState = other.env.state();
    EXPECT_FALSE(restoredState.isOnboarding());
    EXPECT_FALSE(restoredState.isLocked());
    ASSERT_EQ(restoredState.bitcoinAccounts().size(), 1u);
    EXPECT_EQ(restoredState.bitcoinAccounts()[0].account.address,
              "bc1qcr8te4kr609gcawutmrza0j4xv80jy8z306fyu");
    EXPECT_EQ(other.env.tokenStore().tokens(Chain::ethereum), std::vector<Token>{usdc});
    EXPECT_EQ(other.settings.string("app_theme"), "Dollar Green");
    AppStateFixture::settle();
}

} // namespace
} // namespace qm
