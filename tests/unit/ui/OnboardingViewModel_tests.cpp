// The onboarding and lock models over a real application state (the screens: OnboardingScreens).

#include "AppStateFixture.h"
#include "RunTask.h"
#include "core/crypto/BIP39.h"
#include "core/storage/KeychainManager.h"
#include "platform/AtomicFile.h"
#include "ui/onboarding/LockViewModel.h"
#include "ui/onboarding/OnboardingViewModel.h"
#include "ui/onboarding/SecretText.h"
#include "ui/theme/PasswordEntry.h"

#include <QMetaMethod>
#include <QMetaProperty>
#include <QSignalSpy>
#include <QStringList>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <thread>
#include <tuple>

namespace qm {
namespace {

using test::AppStateFixture;
using Step = OnboardingViewModel::OnboardingStep;

const QString password = QStringLiteral("correct horse 1");
const QString abandon = QStringLiteral("abandon ").repeated(11) + "about";

TEST(OnboardingViewModel, PasswordRulesCountCharactersAsPeopleDoAndTestLengthFirst) {
    const QString composedE = QString(QChar(0x00E9));
    const QString decomposedE = QStringLiteral("e") + QChar(0x0301);
    const QString flag = QString::fromUtf8("\xF0\x9F\x87\xAE\xF0\x9F\x87\xB9"); // two code points
    const QString shortText = QStringLiteral("Password must be at least 8 characters.");
    const std::vector<std::tuple<QString, QString, QString>> cases = {
        {"1234567", "different", shortText}, // length is tested before the match
        {"12345678", "12345678 ", "Passwords do not match."},
        {flag.repeated(7), flag.repeated(7), shortText}, // 28 code units, 7 chars
        {flag.repeated(8), flag.repeated(8), ""},
        {composedE.repeated(8), decomposedE.repeated(8), ""}, // canonically equivalent
    };
    for (const auto& [typed, confirm, problem] : cases) {
        EXPECT_EQ(passwordPairProblem(typed, confirm), problem) << typed.toStdString();
        OnboardingViewModel vm;
        vm.setPassword(typed);
        vm.setConfirmPassword(confirm);
        EXPECT_EQ(vm.isPasswordValid(), problem.isEmpty());
        // The greyed-out button's reason, under the fields, as it is typed.
        EXPECT_EQ(vm.pairHint(), problem) << typed.toStdString();
        if (!problem.isEmpty()) { // creation refuses with the same text, never busy
            QSignalSpy busy(&vm, &OnboardingViewModel::isCreatingChanged);
            qm::test::runTask(vm.createWallet());
            EXPECT_EQ(vm.errorText(), problem);
            EXPECT_EQ(busy.count(), 0);
        }
    }
}

// The reason under the password pair follows the typing, says nothing before anything is
// typed, and goes once the pair passes or the fields are emptied.
TEST(OnboardingViewModel, ThePairSaysWhyItDoesNotPassYet) {
    OnboardingViewModel vm;
    QSignalSpy changed(&vm, &OnboardingViewModel::passwordValidityChanged);
    EXPECT_EQ(vm.pairHint(), "");
    vm.setConfirmPassword("x");
    EXPECT_EQ(vm.pairHint(), "Password must be at least 8 characters.");
    vm.setPassword(password);
    EXPECT_EQ(vm.pairHint(), "Passwords do not match.");
    vm.setConfirmPassword(password);
    EXPECT_EQ(vm.pairHint(), "");
    EXPECT_TRUE(vm.isPasswordValid());
    vm.setPassword(password.left(7));
    EXPECT_EQ(vm.pairHint(), "Password must be at least 8 characters.");
    EXPECT_EQ(changed.count(), 4);
    vm.clearPasswords();
    EXPECT_EQ(vm.pairHint(), "");
    EXPECT_EQ(changed.count(), 5);
}

// QML strings can outlive the screen in the JavaScript heap, so nothing callable from QML
// hands a phrase word or a password back; the words are drawn by SecretWordText, and the
// password pair's steps (reachable from QML) hand nothing back either.
TEST(OnboardingViewModel, NoPhraseWordOrPasswordIsReadableFromQml) {
    const auto secretName = [](QString name) {
        name = name.toLower();
        return name.contains("word") || name.contains("answer") || name.contains("phrase") ||
               name.contains("mnemonic") || name.contains("password");
    };
    const QMetaType entryType = QMetaType::fromType<PasswordEntry*>();
    for (const QMetaObject* meta :
         {&OnboardingViewModel::staticMetaObject, &PasswordEntry::staticMetaObject}) {
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            const QMetaMethod method = meta->method(i);
            if (method.access() == QMetaMethod::Public && method.returnType() != QMetaType::Void &&
                method.returnType() != QMetaType::Bool) {
                EXPECT_FALSE(secretName(QString::fromLatin1(method.name())))
                    << method.name().data();
            }
        }
        for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
            const QMetaProperty property = meta->property(i);
            if (property.metaType().id() != QMetaType::Int &&
                property.metaType().id() != QMetaType::Bool && property.metaType() != entryType) {
                EXPECT_FALSE(secretName(QString::fromLatin1(property.name()))) << property.name();
            }
        }
    }
}

TEST(OnboardingViewModel, PastedWordsSpreadOverTheFieldsFromTheOneTheyLandIn) {
    const QString separators = QStringLiteral("one") + QChar(0x2028) + "Two" + QChar(0x00A0) + "3";
    // The field pasted into, the text, and fields 0 to 3 and 10 to 11 afterwards.
    const std::vector<std::tuple<int, QString, QString>> cases = {
        {0, "Abandon  ability\nable", "abandon ability able keep | keep keep"},
        {10, separators, "keep keep keep keep | one two"},  // the rest dropped
        {2, " Word ", "keep keep  Word  keep | keep keep"}, // one word stays as typed
    };
    for (const auto& [field, text, expected] : cases) {
        OnboardingViewModel vm;
        vm.setImportWord(0, QStringLiteral("keep ").repeated(12));
        vm.setImportWord(field, text);
        const std::vector<QString> w = vm.importWords();
        EXPECT_EQ(QStringList({w[0], w[1], w[2], w[3], "|", w[10], w[11]}).join(' '), expected);
    }
    OnboardingViewModel vm; // the length choice empties every field and carries to creation
    vm.setImportWord(0, abandon);
    vm.chooseWordCount(24);
    EXPECT_EQ(vm.importWords(), std::vector<QString>(24));
    ASSERT_TRUE(vm.startCreate());
    EXPECT_EQ(vm.mnemonicLength(), 24);
}

TEST(OnboardingViewModel, TheCreateFlowAsksThreeWordsThenStoresTheShownPhrase) {
    AppStateFixture env;
    AppState& state = env.state();
    state.loadStoredState();
    OnboardingViewModel vm;
    vm.setAppState(&state);
    vm.setVerificationAnswer(0, "left over");
    std::set<int> seen;
    std::set<QString> phrases;
    for (int call = 0; call < 300; ++call) {
        ASSERT_TRUE(vm.startCreate());
        const std::vector<int>& at = vm.verificationIndices();
        ASSERT_EQ(at.size(), 3u);
        EXPECT_TRUE(0 <= at[0] && at[0] < at[1] && at[1] < at[2] && at[2] < 12);
        seen.insert(at.begin(), at.end());
        phrases.insert(vm.joinedMnemonic());
    }
    EXPECT_EQ(seen.size(), 12u);
    EXPECT_EQ(phrases.size(), 300u);
    EXPECT_EQ(vm.verificationAnswers(), std::vector<QString>(3)); // the old answer is gone
    std::vector<std::string> shown;
    for (const QString& word : vm.mnemonic()) {
        shown.push_back(word.toStdString());
    }
    EXPECT_TRUE(BIP39::isValidMnemonic(shown));
    vm.showStep(Step::CreateVerify);
    vm.setPassword(password);
    vm.setConfirmPassword(password);
    const std::vector<int> at = vm.verificationIndices();
    const auto word = [&](int slot) {
        return vm.mnemonic()[static_cast<size_t>(at[static_cast<size_t>(slot)])];
    };
    vm.setVerificationAnswer(0, "x"); // the first wrong word is named by its place
    vm.setVerificationAnswer(1, word(1));
    vm.setVerificationAnswer(2, "y");
    QSignalSpy finished(&vm, &OnboardingViewModel::finished);
    vm.submitVerifyAndCreate();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(vm.errorText(),
              QStringLiteral("Word #%1 is incorrect. Please try again.").arg(at[0] + 1));
    EXPECT_EQ(vm.currentStep(), Step::CreateVerify);
    EXPECT_FALSE(state.wallet());
    vm.setVerificationAnswer(0, "  " + word(0).toUpper()); // blanks and capitals still match
    vm.setVerificationAnswer(2, "\t" + word(2) + " \r\n");
    vm.submitVerifyAndCreate();
    EXPECT_TRUE(vm.isCreating()); // set before the work, so the window can show it
    EXPECT_FALSE(vm.errorMessage());
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_FALSE(vm.isCreating());
    EXPECT_EQ(vm.currentStep(), Step::Complete);
    ASSERT_TRUE(state.wallet());
    EXPECT_EQ(env.keychainManager().loadMnemonic(state.wallet()->id, password.toStdString()),
              shown);
    // Stored: the pair is no longer needed and goes at once.
    EXPECT_FALSE(vm.passwordEntry()->hasPassword());
    EXPECT_FALSE(vm.confirmPasswordEntry()->hasPassword());
    vm.wipeSecrets(); // leaving the flow wipes what it held
    EXPECT_TRUE(vm.mnemonic().empty());
    EXPECT_EQ(vm.verificationAnswers(), std::vector<QString>(3));
    EXPECT_FALSE(vm.isPasswordValid());
    AppStateFixture::settle();
}

TEST(OnboardingViewModel, ImportFailuresShowTheirTextKeepTheTypingThenTheLowerCaseIsStored) {
    AppStateFixture env;
    AppState& state = env.state();
    state.loadStoredState();
    env.keychain().failSaves(-25308); // and the folder the files would go to is a file
    const std::filesystem::path folder = env.keychainManager().storageDir();
    std::filesystem::remove_all(folder);
    writeFileAtomically(folder, utf8View("not a folder"));
    OnboardingViewModel vm;
    vm.setAppState(&state);
    vm.showStep(Step::ImportSeed);
    vm.setPassword(password);
    vm.setConfirmPassword(password);
    vm.setImportWord(0, QStringLiteral("abandon ").repeated(12)); // a wrong checksum
    qm::test::runTask(vm.importWallet());
    EXPECT_EQ(vm.errorText(), "Invalid mnemonic phrase. Please check your words.");
    vm.setImportWord(0, abandon.toUpper().replace(" ", "  "));
    qm::test::runTask(vm.importWallet());
    EXPECT_TRUE(vm.errorText().startsWith("Failed to import wallet: "))
        << vm.errorText().toStdString();
    EXPECT_FALSE(vm.isCreating());
    EXPECT_EQ(vm.currentStep(), Step::ImportSeed);
    EXPECT_EQ(vm.importWords()[11], "about"); // typing stays
    EXPECT_TRUE(vm.isPasswordValid());
    EXPECT_EQ(vm.passwordEntry()->utf8(), password.toStdString()); // kept for another try
    EXPECT_TRUE(state.isOnboarding());
    ASSERT_TRUE(vm.startCreate());
    qm::test::runTask(vm.createWallet());
    EXPECT_TRUE(vm.errorText().startsWith("Failed to create wallet: "));
    EXPECT_EQ(vm.currentStep(), Step::CreateShowSeed);
    env.keychain().failSaves(0);
    std::filesystem::remove(folder);
    vm.showStep(Step::ImportSeed);
    qm::test::runTask(vm.importWallet());
    EXPECT_FALSE(vm.errorMessage()) << vm.errorText().toStdString();
    EXPECT_EQ(vm.currentStep(), Step::Complete);
    EXPECT_EQ(env.keychainManager().loadMnemonic(state.wallet()->id, password.toStdString()),
              AppStateFixture::abandonPhrase());
    EXPECT_FALSE(vm.passwordEntry()->hasPassword());
    EXPECT_FALSE(vm.confirmPasswordEntry()->hasPassword());
    AppStateFixture::settle();
}

TEST(LockViewModel, FailuresShowTheirTextAndTheButtonShowsBusyFirstAndOnlyOnce) {
    AppStateFixture env;
    AppState& state = env.state();
    state.loadStoredState();
    LockViewModel vm;
    vm.setAppState(&state);
    qm::test::runTask(state.createWallet(AppStateFixture::abandonPhrase(), password.toStdString()));
    state.lock();
    env.keychain().failLoads(-25293);
    vm.setPassword(password);
    qm::test::runTask(vm.unlock());
    EXPECT_TRUE(vm.errorText().startsWith("Keychain load failed: "))
        << vm.errorText().toStdString();
    EXPECT_FALSE(vm.hasPassword());
    EXPECT_TRUE(state.isLocked());
    env.keychain().failLoads(0);
    vm.setPassword(password); // typing leaves the line until the next attempt
    EXPECT_TRUE(vm.errorMessage());
    QSignalSpy finished(&vm, &LockViewModel::finished);
    vm.submit();
    EXPECT_TRUE(vm.isUnlocking()); // before the key derivation, the old line gone by then
    EXPECT_FALSE(vm.errorMessage());
    EXPECT_TRUE(state.isLocked());
    vm.submit(); // a second press while busy starts nothing
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(vm.isUnlocking());
    EXPECT_FALSE(state.isLocked());
    AppStateFixture::settle();
}

// A keyring locked since the wallet was read (a screen locker) keeps the seed out of reach
// once its prompt is dismissed: the line says that the keyring is locked and offers its
// unlock, never "Item not found in keychain", which invites the reset. The reset too asks
// the keyring to unlock first and deletes nothing while it stays locked.
TEST(LockViewModel, AKeyringLockedMeanwhileIsSaidAndItsUnlockOffered) {
    AppStateFixture env;
    AppState& state = env.state();
    state.loadStoredState();
    LockViewModel vm;
    vm.setAppState(&state);
    qm::test::runTask(state.createWallet(AppStateFixture::abandonPhrase(), password.toStdString()));
    state.lock();
    env.keychain().setLocked(true);
    vm.setPassword(password);
    qm::test::runTask(vm.unlock());
    EXPECT_EQ(vm.errorText(), "The keyring is locked. Unlock it, then enter your password again.");
    EXPECT_TRUE(vm.keyringLocked());
    EXPECT_TRUE(state.isLocked());
    {
        const std::jthread user = env.keychain().answerWhenPrompted(false);
        qm::test::runTask(vm.openKeyring());
    }
    EXPECT_EQ(vm.errorText(), "The keyring is still locked.");
    EXPECT_TRUE(vm.keyringLocked());
    {
        const std::jthread user = env.keychain().answerWhenPrompted(true);
        qm::test::runTask(vm.openKeyring());
    }
    EXPECT_FALSE(vm.keyringLocked());
    EXPECT_FALSE(vm.errorMessage());
    vm.setPassword(password);
    qm::test::runTask(vm.unlock());
    EXPECT_FALSE(state.isLocked());

    state.lock();
    env.keychain().setLocked(true);
    const auto items = [&] { return env.storedItems().accounts("com.quillmark.wallet").size(); };
    {
        const std::jthread user = env.keychain().answerWhenPrompted(false);
        qm::test::runTask(vm.reset());
    }
    EXPECT_EQ(vm.errorText(),
              "The keyring is locked, so nothing was deleted. Unlock it, then try again.");
    EXPECT_TRUE(vm.keyringLocked()); // its unlock offered here too
    EXPECT_FALSE(state.isOnboarding());
    EXPECT_EQ(items(), 5u);
    {
        const std::jthread user = env.keychain().answerWhenPrompted(true);
        qm::test::runTask(vm.reset());
    }
    EXPECT_TRUE(state.isOnboarding());
    EXPECT_EQ(items(), 0u);
    AppStateFixture::settle();
}

} // namespace
} // namespace qm
