// The backup models; the file itself is checked by WalletBackup_tests and the backup peer.

#include "AppStateFixture.h"
#include "HandMadeDapp.h"
#include "RelayFixture.h"
#include "RunTask.h"
#include "core/storage/KeychainManager.h"
#include "platform/AtomicFile.h"
#include "platform/Settings.h"
#include "services/walletconnect/WCSessionMessages.h"
#include "state/walletconnect/WalletConnectService.h"
#include "ui/settings/BackupExportViewModel.h"
#include "ui/settings/BackupRestoreViewModel.h"
#include "ui/settings/FileDialogChoice.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <thread>
#include <tuple>
#include <unistd.h>

namespace qm {
namespace {

using test::AppStateFixture;

constexpr const char* password = "correct horse 1";
constexpr const char* goldenPassword = "correct horse battery staple";
const QString golden = QStringLiteral(QM_SOURCE_DIR "/tests/peers/golden/wallet-v1.qmbackup");

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
    QString write(const char* name, const Bytes& bytes) {
        const std::string path = files.path().toStdString() + "/" + name;
        writeFileAtomically(path, bytes);
        return QString::fromStdString(path);
    }
};

TEST(BackupRestoreViewModel, FilesThatDoNotRestoreShowWhyKeepTheChoiceAndWriteNothing) {
    const Bytes good = readFileIfExists(golden.toStdString()).value_or(Bytes{});
    // The model's own size limit, and one of the reader's refusals (its texts are its own).
    const std::vector<std::tuple<Bytes, const char*, const char*>> cases = {
        {{}, goldenPassword, "Not a valid Quillmark backup file"}, // far larger than a backup
        {good, "correct horse battery stapler", "Incorrect password"},
    };
    for (const auto& [file, typed, message] : cases) {
        RestoreEnv r;
        BackupRestoreViewModel vm;
        r.attach(vm, true);
        const QString path = r.write("chosen.qmbackup", file.empty() ? good : file);
        if (file.empty()) {
            std::filesystem::resize_file(path.toStdString(),
                                         BackupRestoreViewModel::maximumFileSize + 1);
        }
        vm.selectFilePath(path);
        vm.setPassword(QString::fromUtf8(typed));
        qm::test::runTask(vm.restore());
        EXPECT_EQ(vm.errorText(), message);
        EXPECT_FALSE(vm.isRestoring());
        EXPECT_FALSE(vm.restoreSuccess());
        EXPECT_TRUE(vm.hasFile()); // the choice and the password stay for another try
        EXPECT_TRUE(vm.hasPassword());
        EXPECT_FALSE(r.env.keychainManager().loadWalletMetadata()) << message;
        EXPECT_TRUE(r.env.state().isOnboarding());
    }
}

TEST(BackupRestoreViewModel, AnUnreadableChoiceKeepsTheEarlierOneAndOnlyTheStepNamesWhy) {
    RestoreEnv r;
    BackupRestoreViewModel step, sheet;
    r.attach(step, true);
    r.attach(sheet, false);
    const QString missing = r.files.path() + "/missing.qmbackup";
    step.selectFilePath(missing);
    EXPECT_TRUE(step.errorText().startsWith("Could not read file: "));
    sheet.selectFile(QUrl::fromLocalFile(r.write("first.qmbackup", Bytes{1})));
    sheet.setPassword("typed");
    sheet.selectFilePath(missing);
    EXPECT_EQ(sheet.errorText(), "Could not read file");
    EXPECT_EQ(sheet.fileName(), "first.qmbackup");
    EXPECT_TRUE(sheet.hasPassword());
    sheet.selectFile(QUrl()); // a cancelled dialog changes nothing, the line included
    EXPECT_EQ(sheet.errorText(), "Could not read file");
}

TEST(BackupExportViewModel, TheSavedFileRestoresElsewhereAndFailuresShowTheirText) {
    RestoreEnv source;
    AppState& state = source.env.state();
    BackupExportViewModel vm;
    vm.setAppState(&state);
    vm.setSettings(&source.settings);
    qm::test::runTask(state.createWallet(AppStateFixture::abandonPhrase(), password));
    state.lock(); // exporting works while locked
    vm.setPassword(QStringLiteral("correct horse 2"));
    EXPECT_FALSE(qm::test::runTask(vm.exportBackup()));
    EXPECT_EQ(vm.errorText(), "Incorrect password");
    vm.setPassword(password); // a cancelled save dialog: no message, ready again
    ASSERT_TRUE(qm::test::runTask(vm.exportBackup()));
    vm.saveTo(QUrl());
    EXPECT_FALSE(vm.isExporting());
    EXPECT_FALSE(vm.errorMessage());
    // Places that cannot be written: the line says what is wrong and what to do, never the
    // system call's own words.
    const QString blocker = source.write("a-file", Bytes{1});
    for (const QString& folder : {blocker, source.files.path() + "/gone"}) {
        ASSERT_TRUE(qm::test::runTask(vm.exportBackup()));
        vm.saveToPath(folder + "/backup.qmbackup");
        EXPECT_EQ(vm.errorText(),
                  "The folder \"" + folder + "\" does not exist. Choose another folder.");
        EXPECT_FALSE(vm.exportSuccess());
        EXPECT_FALSE(vm.isExporting());
    }
    EXPECT_EQ(BackupExportViewModel::saveFailureText(EROFS, "/media/cd/b.qmbackup"),
              "The folder \"/media/cd\" cannot be written. Choose another folder.");
    EXPECT_EQ(BackupExportViewModel::saveFailureText(ENOSPC, "/full/b.qmbackup"),
              "There is not enough space in \"/full\". Free some space or choose another "
              "folder.");
    // Through the button: busy first, then the dialog is asked for, then the write.
    QSignalSpy dialog(&vm, &BackupExportViewModel::saveLocationNeeded);
    vm.submit();
    EXPECT_TRUE(vm.isExporting());
    ASSERT_TRUE(dialog.wait(10000));
    const QString target = source.files.path() + "/Quillmark-test.qmbackup";
    vm.saveTo(QUrl::fromLocalFile(target));
    EXPECT_TRUE(vm.exportSuccess());
    EXPECT_EQ(vm.savedPath(), "Quillmark-test.qmbackup"); // the name only, not the folder
    // Restored elsewhere, where the unlock after it fails: the lock screen, not an empty wallet.
    RestoreEnv other;
    BackupRestoreViewModel restore;
    other.attach(restore, true);
    restore.selectFilePath(target);
    restore.setPassword(password);
    // The keyring locks once the restore has written: the unlock after it cannot read.
    other.env.keychain().failLoadsAfterSaving("wallet-metadata", -25293);
    qm::test::runTask(restore.restore());
    EXPECT_TRUE(restore.errorText().startsWith("Keychain load failed: "))
        << restore.errorText().toStdString();
    EXPECT_FALSE(other.env.state().isOnboarding());
    EXPECT_TRUE(other.env.state().isLocked());
    other.env.keychain().failLoads(0);
    qm::test::runTask(other.env.state().unlock(password));
    ASSERT_EQ(other.env.state().bitcoinAccounts().size(), 1u);
    EXPECT_EQ(other.env.state().bitcoinAccounts()[0].account.address,
              "bc1qcr8te4kr609gcawutmrza0j4xv80jy8z306fyu");
    AppStateFixture::settle();
}

// A wallet in the keyring, which is locked (or not running) when the program starts: a
// restore from the menu opens the keyring first and writes there, or, refused, writes
// nothing; never a second wallet in files, which the keyring's would shadow.
TEST(BackupRestoreViewModel, ARestoreGoesIntoTheKeyringThatHoldsTheWalletOrNowhere) {
    RestoreEnv r;
    qm::test::runTask(r.env.state().createWallet(AppStateFixture::abandonPhrase(), password));
    const Wallet first = *r.env.state().wallet();
    const std::filesystem::path folder = r.env.dataLocation() / "Quillmark";
    const auto sealedFiles = [&] {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            count += entry.path().filename().string().starts_with("seed-");
        }
        return count;
    };
    const auto items = [&] { return r.env.storedItems().accounts("com.quillmark.wallet"); };
    r.env.keychain().setLocked(true);
    r.env.restart();
    AppState& state = r.env.state();
    state.loadStoredState();
    ASSERT_TRUE(state.isKeyringLocked());
    BackupRestoreViewModel sheet;
    r.attach(sheet, false);
    sheet.selectFilePath(golden);
    sheet.setPassword(goldenPassword);
    {
        const std::jthread user = r.env.keychain().answerWhenPrompted(false);
        qm::test::runTask(sheet.restore());
    }
    EXPECT_EQ(sheet.errorText(),
              "The keyring is locked, so nothing was restored. Unlock it, then try again.");
    EXPECT_EQ(sealedFiles(), 0);
    EXPECT_EQ(items().size(), 5u);
    EXPECT_TRUE(state.isKeyringLocked());
    {
        const std::jthread user = r.env.keychain().answerWhenPrompted(true);
        qm::test::runTask(sheet.restore());
    }
    ASSERT_TRUE(sheet.restoreSuccess()) << sheet.errorText().toStdString();
    EXPECT_EQ(sealedFiles(), 0);
    const Wallet restored = *state.wallet();
    EXPECT_NE(restored.id, first.id);
    EXPECT_TRUE(r.env.storedItems().load("com.quillmark.wallet", "seed-" + restored.id));
    EXPECT_FALSE(state.isKeyringLocked());
    EXPECT_TRUE(state.isLocked());
    qm::test::runTask(state.unlock(goldenPassword));
    EXPECT_FALSE(state.isLocked());

    // Not running: refused in its own words.
    r.env.keychain().setAbsent(true);
    r.env.restart();
    r.env.state().loadStoredState();
    ASSERT_TRUE(r.env.state().isKeyringAbsent());
    BackupRestoreViewModel again;
    r.attach(again, true);
    again.selectFilePath(golden);
    again.setPassword(goldenPassword);
    qm::test::runTask(again.restore());
    EXPECT_EQ(again.errorText(), "The keyring that holds the wallet is not running, so nothing "
                                 "was restored. Start it, then try again.");
    EXPECT_EQ(sealedFiles(), 0);
    AppStateFixture::settle();
}

// The keyring that holds the wallet is not running, maybe never again (another desktop): its
// face's way out restores the backup into files, leaves every item of the keyring as it was,
// and the marker then names the wallet in files, which the next starts open, keyring or not.
TEST(BackupRestoreViewModel, TheWayOutOfAGoneKeyringRestoresIntoFilesAndLeavesItsWallet) {
    RestoreEnv r;
    qm::test::runTask(r.env.state().createWallet(AppStateFixture::abandonPhrase(), password));
    r.env.state().stopBackgroundTasks();
    const auto items = [&] { return r.env.storedItems().accounts("com.quillmark.wallet"); };
    const std::vector<std::string> before = items();
    r.env.keychain().setAbsent(true);
    r.env.restart();
    AppState& state = r.env.state();
    state.loadStoredState();
    ASSERT_TRUE(state.isKeyringAbsent());
    state.restoreIntoFiles();
    EXPECT_TRUE(state.isOnboarding());
    EXPECT_TRUE(state.isRestoringIntoFiles());
    EXPECT_FALSE(state.isKeyringLocked());
    // Back before anything was restored: the keyring's face again.
    state.retryLockedKeyring();
    EXPECT_TRUE(state.isKeyringAbsent());
    EXPECT_FALSE(state.isRestoringIntoFiles());
    state.restoreIntoFiles();
    BackupRestoreViewModel step;
    r.attach(step, true);
    step.selectFilePath(golden);
    step.setPassword(goldenPassword);
    qm::test::runTask(step.restore());
    EXPECT_FALSE(step.hasError()) << step.errorText().toStdString();
    ASSERT_TRUE(state.wallet());
    const Wallet restored = *state.wallet();
    state.stopBackgroundTasks();
    EXPECT_FALSE(state.isLocked() || state.isOnboarding() || state.isRestoringIntoFiles());
    const std::filesystem::path folder = r.env.dataLocation() / "Quillmark";
    EXPECT_TRUE(std::filesystem::exists(folder / ("seed-" + restored.id)));
    EXPECT_EQ(WalletNoteFile(folder / KeychainManager::keyringMarkerFile).read(),
              (WalletNote{restored.id, ItemPlace::files}));
    EXPECT_EQ(items(), before);

    for (const bool absent : {true, false}) {
        r.env.keychain().setAbsent(absent);
        r.env.restart();
        AppState& next = r.env.state();
        next.loadStoredState();
        EXPECT_FALSE(next.isKeyringLocked()) << absent;
        EXPECT_EQ(next.wallet(), restored) << absent;
        qm::test::runTask(next.unlock(goldenPassword));
        EXPECT_FALSE(next.isLocked()) << absent;
        next.lock();
    }
    EXPECT_EQ(items(), before);
    AppStateFixture::settle();
}

// Counts the files renamed into a folder under one name: each atomic write is one rename.
class RenameCounter {
public:
    RenameCounter(const std::filesystem::path& folder, std::string name)
        : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)), name_(std::move(name)) {
        ::inotify_add_watch(fd_, folder.c_str(), IN_MOVED_TO);
    }
    ~RenameCounter() { ::close(fd_); }
    int count() {
        alignas(inotify_event) char buffer[64 * 1024];
        for (ssize_t got; (got = ::read(fd_, buffer, sizeof buffer)) > 0;) {
            for (char* at = buffer; at < buffer + got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                count_ += event->len > 0 && name_ == event->name ? 1 : 0;
                at += sizeof(inotify_event) + event->len;
            }
        }
        return count_;
    }

private:
    int fd_;
    std::string name_;
    int count_ = 0;
};

// The backup's tokens reach the token file in one write, beside the tokens held before,
// before the sheet says done.
TEST(BackupRestoreViewModel, RestoredTokensAreWrittenOnceBesideTheHeldOnes) {
    RestoreEnv source;
    AppState& state = source.env.state();
    qm::test::runTask(state.createWallet(AppStateFixture::abandonPhrase(), password));
    std::vector<Token> tokens;
    for (int i = 1; i <= 300; ++i) {
        char address[43];
        std::snprintf(address, sizeof address, "0x%040x", i);
        tokens.push_back(Token{address, "T", "Token", 18, Chain::polygon});
    }
    ASSERT_EQ(state.tokenStore().addAll(tokens), TokenStore::AddResult::added);
    BackupExportViewModel exporter;
    exporter.setAppState(&state);
    exporter.setSettings(&source.settings);
    exporter.setPassword(password);
    ASSERT_TRUE(qm::test::runTask(exporter.exportBackup()));
    const QString target = source.files.path() + "/tokens.qmbackup";
    exporter.saveTo(QUrl::fromLocalFile(target));
    ASSERT_TRUE(exporter.exportSuccess());

    RestoreEnv other;
    TokenStore& store = other.env.state().tokenStore();
    ASSERT_EQ(store.add(Token{"0xheld", "H", "Held", 6, Chain::ethereum}),
              TokenStore::AddResult::added);
    BackupRestoreViewModel restore;
    other.attach(restore, false);
    restore.selectFilePath(target);
    restore.setPassword(password);
    RenameCounter writes(store.fileURL().parent_path(), "tokens.json");
    qm::test::runTask(restore.restore());
    ASSERT_TRUE(restore.restoreSuccess()) << restore.errorText().toStdString();
    EXPECT_EQ(writes.count(), 1);
    EXPECT_EQ(store.tokens(Chain::polygon), tokens);
    EXPECT_EQ(store.tokens(Chain::ethereum).size(), 1u);
    EXPECT_EQ(TokenStore::decodeFile(*readFileIfExists(store.fileURL())), store.tokensByChain);
}

TEST(BackupExportViewModel, TheChosenPathIsThePathAndTheDialogStartsInAFolderThatExists) {
    // What the save dialog hands back (its folder and the typed name joined as text), the
    // folder it showed, and the file meant.
    const std::vector<std::tuple<QString, QString, QString>> answers = {
        {"/home/u/Documents/a.qmbackup", "/home/u/Documents", "/home/u/Documents/a.qmbackup"},
        {"/home/u/Documents//tmp/b.qmbackup", "/home/u/Documents", "/tmp/b.qmbackup"},
        {"/home/u/Documents///tmp//c.qmbackup", "/home/u/Documents/", "/tmp/c.qmbackup"},
        {"d.qmbackup", "/home/u", "/home/u/d.qmbackup"},
        {"sub/../e.qmbackup", "/home/u", "/home/u/e.qmbackup"},
        {"//f.qmbackup", "/", "/f.qmbackup"},
        {"/elsewhere/g.qmbackup", "/home/u", "/elsewhere/g.qmbackup"},
    };
    for (const auto& [chosen, folder, meant] : answers) {
        EXPECT_EQ(BackupExportViewModel::resolveSavePath(chosen, folder), meant)
            << chosen.toStdString();
    }

    // No documents folder: the home folder, where a bare name then lands.
    QTemporaryDir home;
    const QByteArray savedHome = qgetenv("HOME"), savedConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
    BackupExportViewModel vm;
    EXPECT_EQ(vm.defaultFolderUrl(), QUrl::fromLocalFile(home.path()));
    EXPECT_EQ(vm.defaultFileUrl(), QUrl::fromLocalFile(home.path() + "/" + vm.defaultFileName()));
    ASSERT_TRUE(QDir(home.path()).mkdir("Documents"));
    EXPECT_EQ(vm.defaultFolderUrl(), QUrl::fromLocalFile(home.path() + "/Documents"));

    RestoreEnv source;
    vm.setAppState(&source.env.state());
    vm.setSettings(&source.settings);
    qm::test::runTask(source.env.state().createWallet(AppStateFixture::abandonPhrase(), password));
    vm.setPassword(password);
    ASSERT_TRUE(qm::test::runTask(vm.exportBackup()));
    vm.saveTo(QUrl(QStringLiteral("bare.qmbackup")), QUrl::fromLocalFile(home.path()));
    EXPECT_TRUE(vm.exportSuccess());
    EXPECT_TRUE(QFileInfo::exists(home.path() + "/bare.qmbackup"));
    EXPECT_FALSE(QFileInfo::exists("bare.qmbackup")); // not the working directory
    qputenv("HOME", savedHome);
    qputenv("XDG_CONFIG_HOME", savedConfig);
    AppStateFixture::settle();
}

TEST(FileDialogChoice, SaveTakesTheNameInTheShownFolderWithTheSuffixOrSaysWhyNot) {
    QTemporaryDir folder;
    const QString here = folder.path();
    ASSERT_TRUE(QDir(here).mkpath("sub"));
    ASSERT_TRUE(QDir(here).mkpath("kept.qmbackup"));
    // The name typed, and the file Save writes for it while `here` is shown.
    const std::vector<std::pair<QString, QString>> names = {
        {"bare", here + "/bare.qmbackup"},
        {"bare.", here + "/bare.qmbackup"},
        {"notes.txt", here + "/notes.txt"},
        {"a.qmbackup", here + "/a.qmbackup"},
        {"sub/b", here + "/sub/b.qmbackup"},
        {"/elsewhere/c", "/elsewhere/c.qmbackup"},
        {"sub", here + "/sub"}, // a folder keeps its name: refused below
        {"kept.qmbackup", here + "/kept.qmbackup"},
    };
    for (const auto& [name, file] : names) {
        EXPECT_EQ(FileDialogChoice::saveTarget(here, name, "qmbackup"), file) << name.toStdString();
    }
    EXPECT_EQ(FileDialogChoice::saveTarget(here, "bare", ""), here + "/bare");

    EXPECT_EQ(FileDialogChoice::saveRefusal(here + "/bare.qmbackup"), "");
    EXPECT_EQ(FileDialogChoice::saveRefusal(here + "/sub"),
              "\"sub\" is a folder. Choose another name.");
    EXPECT_EQ(FileDialogChoice::saveRefusal(here + "/missing/b.qmbackup"),
              "The folder \"" + here + "/missing\" does not exist. Choose another folder.");
    EXPECT_EQ(FileDialogChoice::saveRefusal(here + "/" + QString(256, 'x')),
              "The file name is too long. Choose a shorter name.");
}

TEST(BackupSheets, ADialogThatCannotOpenSaysSoAndLeavesTheFormUsable) {
    RestoreEnv source;
    BackupExportViewModel vm;
    vm.setAppState(&source.env.state());
    vm.setSettings(&source.settings);
    qm::test::runTask(source.env.state().createWallet(AppStateFixture::abandonPhrase(), password));
    vm.setPassword(password);
    ASSERT_TRUE(qm::test::runTask(vm.exportBackup()));
    EXPECT_TRUE(vm.isExporting()); // waiting for the dialog
    vm.reportDialogUnavailable();
    EXPECT_FALSE(vm.isExporting());
    EXPECT_EQ(vm.errorText(), "The file dialog could not be opened.");
    EXPECT_FALSE(vm.exportSuccess());

    BackupRestoreViewModel restore;
    source.attach(restore, false);
    restore.reportDialogUnavailable();
    EXPECT_EQ(restore.errorText(), "The file dialog could not be opened.");
    EXPECT_FALSE(restore.isRestoring());
    AppStateFixture::settle();
}

TEST(BackupRestoreViewModel, ARestoreEndsTheWalletConnectSessionsOfTheWalletItReplaces) {
    if (!test::RelayFixture::isAvailable()) {
        GTEST_SKIP() << "node and tests/peers are not installed (scripts/install-deps)";
    }
    test::RelayFixture relay;
    QTemporaryDir files;
    const std::filesystem::path sessions =
        std::filesystem::path(files.path().toStdString()) / "wc_sessions_v2.json";
    WalletConnectService::Options options;
    options.manager.endpoint = WCRelayEndpoint{relay.url(), "quillmark-tests"};
    options.manager.sessionsFile = sessions;
    AppStateFixture env(options);
    env.state().loadStoredState();
    test::runTask(env.state().createWallet(AppStateFixture::abandonPhrase(), password));
    env.state().stopBackgroundTasks();
    WalletConnectService& walletConnect = env.walletConnectService();
    test::runTask(walletConnect.setup());
    test::HandMadeDapp dapp(relay);
    test::runTask(walletConnect.pair(dapp.pairingURI()));
    dapp.propose(1);
    ASSERT_TRUE(test::waitUntil([&] { return !walletConnect.proposals().empty(); }));
    test::runTask(walletConnect.approveProposal(1));
    dapp.readAnswer();
    ASSERT_TRUE(std::filesystem::exists(sessions));

    Settings settings{std::filesystem::path(files.path().toStdString()) / "defaults.ini"};
    BackupRestoreViewModel vm;
    vm.setAppState(&env.state());
    vm.setSettings(&settings);
    vm.setUnlocksAfterRestore(false);
    vm.selectFilePath(golden);
    vm.setPassword(QString::fromUtf8(goldenPassword));
    test::runTask(vm.restore());
    ASSERT_TRUE(vm.restoreSuccess()) << vm.errorText().toStdString();
    EXPECT_TRUE(walletConnect.sessions().empty());
    EXPECT_FALSE(std::filesystem::exists(sessions));
    EXPECT_TRUE(dapp.waitForPublished(dapp.sessionTopic, kWCTagDeletion, dapp.sessionKey, 1));
}

} // namespace
} // namespace qm
