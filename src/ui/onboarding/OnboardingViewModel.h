#pragma once
// The state of one pass through the onboarding flow: the step on screen, the phrase made for
// a new wallet and the three words the user types back, the words of the import screen, the
// password pair, the error line and the busy flag; and its four decisions (make a phrase,
// check the typed words, create from the made phrase, create from typed words).
//
// The phrase, the typed words and the passwords stay in this object: the screens draw the
// phrase's words with SecretWordText and hand every keystroke in, and nothing hands a word or
// password back to QML; they are wiped when the flow's screen (and with it this model) goes.
// The password pair lives in two password steps (PasswordEntry), read by C++ from their
// fields into wiping storage; both are wiped once the wallet is stored.

#include "ui/onboarding/StateBoundModel.h"
#include "ui/settings/SecretWordSource.h"
#include "ui/theme/PasswordEntry.h"

#include <QList>
#include <QString>
#include <QtQml/qqmlregistration.h>
#include <optional>
#include <qcoro/qcorotask.h>
#include <string>
#include <vector>

namespace qm {

class OnboardingViewModel : public StateBoundModel, public SecretWordSource {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(
        qm::OnboardingViewModel::OnboardingStep step READ currentStep NOTIFY currentStepChanged)
    Q_PROPERTY(int wordCount READ wordCount NOTIFY wordCountChanged)
    Q_PROPERTY(int mnemonicLength READ mnemonicLength NOTIFY mnemonicChanged)
    Q_PROPERTY(int importWordCount READ importWordCount NOTIFY importWordsChanged)
    Q_PROPERTY(QList<int> verificationIndices READ verificationIndicesList NOTIFY
                   verificationIndicesChanged)
    Q_PROPERTY(QString errorMessage READ errorText NOTIFY errorMessageChanged)
    Q_PROPERTY(bool hasError READ hasError NOTIFY errorMessageChanged)
    Q_PROPERTY(bool isCreating READ isCreating NOTIFY isCreatingChanged)
    Q_PROPERTY(bool isPasswordValid READ isPasswordValid NOTIFY passwordValidityChanged)
    // Why the pair does not pass yet, in the rules' own words, once something is typed;
    // empty for a pair that passes (or two empty fields).
    Q_PROPERTY(QString pairHint READ pairHint NOTIFY passwordValidityChanged)
    // The "Password" and "Confirm Password" fields' steps (PasswordField shows them).
    Q_PROPERTY(qm::PasswordEntry* passwordEntry READ passwordEntry CONSTANT)
    Q_PROPERTY(qm::PasswordEntry* confirmPasswordEntry READ confirmPasswordEntry CONSTANT)

public:
    // Capitalised: QML reaches only capitalised enumerators (OnboardingViewModel.Welcome).
    enum class OnboardingStep {
        Welcome,
        CreateShowSeed,
        CreateVerify,
        ImportSeed,
        RestoreBackup,
        Complete
    };
    Q_ENUM(OnboardingStep)

    explicit OnboardingViewModel(QObject* parent = nullptr);
    ~OnboardingViewModel() override;

    OnboardingStep currentStep() const { return m_currentStep; }
    void setCurrentStep(OnboardingStep step);
    // The screens' back and forward buttons.
    Q_INVOKABLE void showStep(qm::OnboardingViewModel::OnboardingStep step) {
        setCurrentStep(step);
    }

    int wordCount() const { return m_wordCount; }
    // The import screen's 12/24 choice: sets the count, then empties that many word fields.
    Q_INVOKABLE void chooseWordCount(int count);

    const std::vector<QString>& mnemonic() const { return m_mnemonic; }
    int mnemonicLength() const { return static_cast<int>(m_mnemonic.size()); }
    QString wordText(int index) const override;
    const char* wordsChangedSignal() const override { return SIGNAL(mnemonicChanged()); }
    // The words joined by single spaces (what the copy button puts on the clipboard).
    QString joinedMnemonic() const;
    // Clears the clipboard and puts the phrase there (copying is the user's choice), to be
    // cleared again by SecretClipboard.
    Q_INVOKABLE void copyMnemonic() const;

    const std::vector<QString>& importWords() const { return m_importWords; }
    int importWordCount() const { return static_cast<int>(m_importWords.size()); }
    // Field `index` now holds `text`. Two or more words (a pasted phrase) spread over this
    // field and the ones after it, in lower case; a single word is kept exactly as typed.
    Q_INVOKABLE void setImportWord(int index, const QString& text);

    const std::vector<int>& verificationIndices() const { return m_verificationIndices; }
    QList<int> verificationIndicesList() const;
    const std::vector<QString>& verificationAnswers() const { return m_verificationAnswers; }
    Q_INVOKABLE void setVerificationAnswer(int slot, const QString& text);

    PasswordEntry* passwordEntry() const { return m_passwordEntry; }
    PasswordEntry* confirmPasswordEntry() const { return m_confirmPasswordEntry; }
    // The typed texts, as the fields' edits would give them (tests; the screens type into
    // the fields).
    void setPassword(const QString& password) { m_passwordEntry->setText(password); }
    void setConfirmPassword(const QString& confirmPassword) {
        m_confirmPasswordEntry->setText(confirmPassword);
    }
    // Empties both passwords, here and in their fields: fields made anew start empty, so what
    // is shown and what is used agree.
    Q_INVOKABLE void clearPasswords();
    bool isPasswordValid() const;
    QString pairHint() const { return m_pairHint; }

    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    QString errorText() const { return m_errorMessage.value_or(QString()); }
    bool hasError() const { return m_errorMessage.has_value(); }
    bool isCreating() const { return m_isCreating; }

    // A new phrase of wordCount words and three new positions to check, then the phrase
    // step. On failure only the error line changes. False on failure.
    Q_INVOKABLE bool startCreate();
    // Compares the answers with the phrase; the error line names the first wrong word.
    Q_INVOKABLE bool verify();
    // Create from the made phrase / from the typed words: busy at once, the key derivation
    // and the storing on the signing worker.
    QCoro::Task<void> createWallet();
    QCoro::Task<void> importWallet();
    // The buttons: "Verify & Create Wallet" (check the words, then create) and "Import":
    // the same work, then `finished`.
    Q_INVOKABLE void submitVerifyAndCreate();
    Q_INVOKABLE void submitImport();

    // Overwrites the phrase, the typed words and the passwords (also done on destruction).
    Q_INVOKABLE void wipeSecrets();
    // "Back" of a restore into files: the keyring that is not running is asked for again, and
    // its face shows while it still is not (this flow, and this model, go then).
    Q_INVOKABLE void backToKeyring();

signals:
    void currentStepChanged();
    void wordCountChanged();
    void mnemonicChanged();
    void importWordsChanged();
    void verificationIndicesChanged();
    void verificationAnswersChanged();
    void errorMessageChanged();
    void isCreatingChanged();
    void passwordValidityChanged();
    // A creation or import started by a submit call has ended (either way).
    void finished();

private:
    void setErrorMessage(std::optional<QString> message);
    void setIsCreating(bool creating);
    void updatePasswordValidity();
    // The password rules' message for the typed pair; empty when it is acceptable.
    QString passwordProblem() const;
    // The password rules; on a failure the error line says which (busy flag untouched).
    bool passwordAcceptable();
    // The password rules, then the busy flag on and the error line cleared; false when the
    // rules fail.
    bool beginCreation();
    // Checks the typed phrase, then creates from it.
    QCoro::Task<void> finishImport();
    // Creates the wallet from `words` (wiped afterwards); the error line gets `prefix` and
    // the failure's text. Ends the busy state.
    QCoro::Task<void> createFromWords(std::vector<std::string> words, QString failurePrefix);
    std::vector<std::string> importedWordList() const;
    std::vector<std::string> mnemonicWordList() const;

    std::vector<QString> m_mnemonic;
    std::vector<QString> m_importWords;
    int m_wordCount = 12;
    OnboardingStep m_currentStep = OnboardingStep::Welcome;
    std::vector<int> m_verificationIndices;
    std::vector<QString> m_verificationAnswers;
    PasswordEntry* m_passwordEntry;        // a child
    PasswordEntry* m_confirmPasswordEntry; // a child
    std::optional<QString> m_errorMessage;
    bool m_isCreating = false;
    bool m_lastPasswordValidity = false;
    QString m_pairHint;
};

} // namespace qm
