// The onboarding flow's model over a real application state (memory keychain, loopback servers).

#include "AppStateFixture.h"
#include "core/crypto/BIP39.h"
#include "core/storage/KeychainManager.h"
#include "platform/AtomicFile.h"
#include "ui/onboarding/OnboardingViewModel.h"
#include "ui/onboarding/SecretText.h"

#include <QSignalSpy>
#include <QStringList>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace qm {
namespace {

using test::AppStateFixture;
using Step = OnboardingViewModel::OnboardingStep;

const QString password = QStringLiteral("correct horse 1");

QString abandonPhrase() {
    return QStringLiteral("abandon ").repeated(11) + "about";
}

QString joined(const std::vector<std::string>& words) {
    QStringList list;
    for (const std::string& word : words) {
        list << QString::fromStdString(word);
    }
    return list.join(' ');
}

TEST(OnboardingViewModel, StartCreateMakesAValidPhraseAndThreeDistinctAscendingPositions) {
    OnboardingViewModel vm;
    vm.setVerificationAnswer(0, "left over");
    ASSERT_TRUE(vm.startCreate());
    EXPECT_EQ(vm.currentStep(), Step::createShowSeed);
    ASSERT_EQ(vm.mnemonicLength(), 12);
    std::vector<std::string> words;
    for (const QString& word : vm.mnemonic()) {
        words.push_back(word.toStdString());
    }
    EXPECT_TRUE(BIP39::isValidMnemonic(words));
    EXPECT_EQ(vm.verificationAnswers(), std::vector<QString>(3)); // the old answer is gone

    // Every call: a new phrase, three distinct positions in ascending order, within the
    // phrase; over many calls every position gets asked.
    std::set<int> seen;
    std::set<QString> phrases;
    for (int call = 0; call < 300; ++call) {
        ASSERT_TRUE(vm.startCreate());
        const std::vector<int>& indices = vm.verificationIndices();
        ASSERT_EQ(indices.size(), 3u);
        EXPECT_TRUE(0 <= indices[0] && indices[0] < indices[1] && indices[1] < indices[2] &&
                    indices[2] < 12);
        seen.insert(indices.begin(), indices.end());
        phrases.insert(vm.joinedMnemonic());
    }
    EXPECT_EQ(seen.size(), 12u);
    EXPECT_EQ(phrases.size(), 300u);

    // A 24-word choice made on the import screen carries over to creation.
    vm.chooseWordCount(24);
    ASSERT_TRUE(vm.startCreate());
    EXPECT_EQ(vm.mnemonicLength(), 24);
    EXPECT_LT(vm.verificationIndices()[2], 24);
}

TEST(OnboardingViewModel, PasswordRulesCountCharactersAsPeopleDoAndTestLengthFirst) {
    const QString composedE = QString(QChar(0x00E9));
    const QString decomposedE = QStringLiteral("e") + QChar(0x0301);
    const QString flag = QString::fromUtf8("\xF0\x9F\x87\xAE\xF0\x9F\x87\xB9"); // two code points
    struct Case {
        QString password, confirm;
        QString problem; // empty: valid
    };
    const QString shortText = QStringLiteral("Password must be at least 8 characters.");
    const QString mismatch = QStringLiteral("Passwords do not match.");
    const std::vector<Case> cases = {
        {"1234567", "different", shortText}, // length is tested before the match
        {"12345678", "12345678 ", mismatch},
        {flag.repeated(7), flag.repeated(7), shortText}, // 28 code units, 7 chars
        {flag.repeated(8), flag.repeated(8), ""},
        // Canonically equivalent texts are the same password.
        {composedE.repeated(8), decomposedE.repeated(8), ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(passwordPairProblem(c.password, c.confirm), c.problem)
            << c.password.toStdString();
        OnboardingViewModel vm;
        QSignalSpy validity(&vm, &OnboardingViewModel::passwordValidityChanged);
        vm.setPassword(c.password);
        vm.setConfirmPassword(c.confirm);
        EXPECT_EQ(vm.isPasswordValid(), c.problem.isEmpty());
        EXPECT_EQ(validity.count(), c.problem.isEmpty() ? 1 : 0);
        if (!c.problem.isEmpty()) {
            // Creation refuses with the same message and never turns busy.
            QSignalSpy busy(&vm, &OnboardingViewModel::isCreatingChanged);
            vm.createWallet();
            EXPECT_EQ(vm.errorText(), c.problem);
            EXPECT_EQ(busy.count(), 0);
        }
    }
}

TEST(OnboardingViewModel, PastedWordsSpreadOverTheFieldsFromTheOneTheyLandIn) {
    const QString twentyFour = QStringLiteral("w1 w2 w3 w4 w5 w6 w7 w8 w9 w10 w11 w12 w13 w14 "
                                              "w15 w16 w17 w18 w19 w20 w21 w22 w23 W24");
    const QString separators = QStringLiteral("one") + QChar(0x2028) + "Two" + QChar(0x00A0) + "3";
    // The field pasted into, the text, and fields 0 to 3 and 10 to 11 afterwards.
    const std::vector<std::tuple<int, QString, QString>> cases = {
        {0, "Abandon  ability\nable", "abandon ability able keep | keep keep"},
        {10, twentyFour.section(' ', 0, 11), "keep keep keep keep | w1 w2"}, // the rest dropped
        {2, " Word ", "keep keep  Word  keep | keep keep"}, // one word stays as typed
        {0, separators, "one two 3 keep | keep keep"},
    };
    for (const auto& [field, text, expected] : cases) {
        OnboardingViewModel vm;
        for (int i = 0; i < 12; ++i) {
            vm.setImportWord(i, "keep");
        }
        vm.setImportWord(field, text);
        const std::vector<QString> w = vm.importWords();
        ASSERT_EQ(w.size(), 12u);
        EXPECT_EQ(QStringList({w[0], w[1], w[2], w[3], "|", w[10], w[11]}).join(' '), expected);
    }

    // The length choice empties every field, each time it is made.
    OnboardingViewModel vm;
    vm.setImportWord(0, abandonPhrase());
    vm.chooseWordCount(24);
    EXPECT_EQ(vm.wordCount(), 24);
    EXPECT_EQ(vm.importWords(), std::vector<QString>(24));
    vm.setImportWord(0, twentyFour);
    EXPECT_EQ(vm.importWord(23), "w24");
    vm.chooseWordCount(12);
    EXPECT_EQ(vm.importWords(), std::vector<QString>(12));
}

TEST(OnboardingViewModel, ImportRefusesInvalidPhrasesThenOpensTheTestPhrasesPublishedAccounts) {
    for (const int wordCount : {12, 24}) {
        AppStateFixture env;
        AppState& state = env.state();
        state.loadStoredState();
        OnboardingViewModel vm;
        vm.setAppState(&state);
        vm.showStep("importSeed");
        vm.chooseWordCount(wordCount);
        vm.importWallet(); // no password yet: an error line the next import clears
        EXPECT_EQ(vm.errorText(), "Password must be at least 8 characters.");
        vm.setPassword(password);
        vm.setConfirmPassword(password);

        // A wrong checksum; 12 good words in 24 fields (the empty ones stay words).
        vm.setImportWord(0, wordCount == 12 ? QStringLiteral("abandon ").repeated(12)
                                            : abandonPhrase());
        vm.importWallet();
        EXPECT_EQ(vm.errorText(), "Invalid mnemonic phrase. Please check your words.");
        EXPECT_FALSE(vm.isCreating());
        EXPECT_EQ(vm.currentStep(), Step::importSeed);
        EXPECT_EQ(vm.importWord(11), wordCount == 12 ? "abandon" : "about"); // typing stays
        EXPECT_TRUE(state.isOnboarding());
        EXPECT_FALSE(state.wallet());

        // 16 or 32 zero bytes of entropy: "abandon" x11 "about", "abandon" x23 "art".
        std::vector<std::string> words = BIP39::mnemonic(Bytes(wordCount == 12 ? 16 : 32, 0));
        QString typed;
        for (const std::string& word : words) {
            typed += QString::fromStdString(word).toUpper() + "  ";
        }
        vm.setImportWord(0, typed);
        QSignalSpy busy(&vm, &OnboardingViewModel::isCreatingChanged);
        vm.importWallet();
        EXPECT_FALSE(vm.errorMessage()) << vm.errorText().toStdString();
        EXPECT_EQ(vm.currentStep(), Step::complete);
        EXPECT_EQ(busy.count(), 2);
        EXPECT_FALSE(vm.isCreating());
        EXPECT_FALSE(state.isOnboarding());
        EXPECT_FALSE(state.isLocked());
        ASSERT_EQ(state.bitcoinAccounts().size(), 1u);
        ASSERT_EQ(state.ethereumAccounts().size(), 1u);
        if (wordCount == 12) {
            // Published BIP-84 and BIP-44 results for this phrase.
            EXPECT_EQ(state.bitcoinAccounts()[0].account.address,
                      "bc1qcr8te4kr609gcawutmrza0j4xv80jy8z306fyu");
            EXPECT_EQ(state.ethereumAccounts()[0].account.address,
                      "0x9858EfFD232B4033E47d90003D41EC34EcaEda94");
        }
        // The stored phrase is the lower-case one, and it opens with the password.
        EXPECT_EQ(env.keychainManager().loadMnemonic(state.wallet()->id, password.toStdString()),
                  words);
        AppStateFixture::settle();
    }
}

TEST(OnboardingViewModel, TheCreateFlowChecksThreeWordsThenStoresTheShownPhrase) {
    AppStateFixture env;
    AppState& state = env.state();
    state.loadStoredState();
    OnboardingViewModel vm;
    vm.setAppState(&state);
    ASSERT_TRUE(vm.startCreate());
    vm.showStep("createVerify");
    vm.setPassword(password);
    vm.setConfirmPassword(password);

    const std::vector<int> at = vm.verificationIndices();
    const auto word = [&](int slot) { return vm.mnemonicWord(at[static_cast<size_t>(slot)]); };

    // Two wrong words: the first is named by its place in the phrase; nothing is created.
    vm.setVerificationAnswer(0, "x");
    vm.setVerificationAnswer(1, word(1));
    vm.setVerificationAnswer(2, "y");
    QSignalSpy finished(&vm, &OnboardingViewModel::finished);
    vm.submitVerifyAndCreate();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(vm.isCreating());
    EXPECT_EQ(vm.errorText(),
              QStringLiteral("Word #%1 is incorrect. Please try again.").arg(at[0] + 1));
    EXPECT_EQ(vm.currentStep(), Step::createVerify);
    EXPECT_FALSE(state.wallet());

    // Blanks, capitals and line breaks around a word still match.
    vm.setVerificationAnswer(0, "  " + word(0).toUpper());
    vm.setVerificationAnswer(2, "\t" + word(2) + " \r\n");
    const QString shown = vm.joinedMnemonic();
    vm.submitVerifyAndCreate();
    // The busy state is set before the work, so the window can show it.
    EXPECT_TRUE(vm.isCreating());
    EXPECT_FALSE(vm.errorMessage());
    EXPECT_FALSE(state.wallet());
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_FALSE(vm.isCreating());
    EXPECT_EQ(vm.currentStep(), Step::complete);
    ASSERT_TRUE(state.wallet());
    EXPECT_FALSE(state.isOnboarding());
    EXPECT_EQ(
        joined(env.keychainManager().loadMnemonic(state.wallet()->id, password.toStdString())),
        shown);

    // Leaving the flow wipes what it held.
    vm.wipeSecrets();
    EXPECT_TRUE(vm.mnemonic().empty());
    EXPECT_EQ(vm.verificationAnswers(), std::vector<QString>(3));
    EXPECT_FALSE(vm.isPasswordValid());
    AppStateFixture::settle();
}

TEST(OnboardingViewModel, AStorageFailureIsShownWithItsPrefixAndEverythingTypedStays) {
    AppStateFixture env;
    AppState& state = env.state();
    state.loadStoredState();
    // The keychain refuses every save and the folder the files would go to is a file.
    env.keychain().failSaves(-25308);
    const std::filesystem::path folder = env.keychainManager().storageDir();
    std::filesystem::remove_all(folder);
    writeFileAtomically(folder, utf8View("not a folder"));

    OnboardingViewModel vm;
    vm.setAppState(&state);
    vm.showStep("importSeed");
    vm.setImportWord(0, abandonPhrase());
    vm.setPassword(password);
    vm.setConfirmPassword(password);
    vm.importWallet();
    EXPECT_TRUE(vm.errorText().startsWith("Failed to import wallet: "))
        << vm.errorText().toStdString();
    EXPECT_GT(vm.errorText().size(), QString("Failed to import wallet: ").size());
    EXPECT_FALSE(vm.isCreating());
    EXPECT_EQ(vm.currentStep(), Step::importSeed);
    EXPECT_EQ(vm.importWord(11), "about");
    EXPECT_TRUE(vm.isPasswordValid());
    EXPECT_TRUE(state.isOnboarding());

    ASSERT_TRUE(vm.startCreate());
    vm.createWallet();
    EXPECT_TRUE(vm.errorText().startsWith("Failed to create wallet: "));
    EXPECT_EQ(vm.currentStep(), Step::createShowSeed);
    EXPECT_FALSE(vm.isCreating());
}

} // namespace
} // namespace qm
