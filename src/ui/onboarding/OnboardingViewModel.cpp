#include "ui/onboarding/OnboardingViewModel.h"

#include "core/crypto/BIP39.h"
#include "platform/SecureBytes.h"
#include "state/AppState.h"
#include "ui/onboarding/SecretText.h"
#include "ui/theme/SecretClipboard.h"

#include <QPointer>
#include <QRandomGenerator>
#include <algorithm>
#include <exception>
#include <set>
#include <stdexcept>
#include <utility>

namespace qm {

namespace {

void wipeWords(std::vector<std::string>& words) {
    for (std::string& word : words) {
        wipe(word);
    }
    words.clear();
}

QString describe(const std::exception& error) {
    return QString::fromUtf8(error.what());
}

} // namespace

OnboardingViewModel::OnboardingViewModel(QObject* parent)
    : StateBoundModel(parent), m_importWords(12), m_verificationAnswers(3),
      m_passwordEntry(new PasswordEntry(this)), m_confirmPasswordEntry(new PasswordEntry(this)) {
    for (PasswordEntry* entry : {m_passwordEntry, m_confirmPasswordEntry}) {
        connect(entry, &PasswordEntry::textChanged, this,
                &OnboardingViewModel::updatePasswordValidity);
    }
}

OnboardingViewModel::~OnboardingViewModel() {
    // Nothing is told of the wipe: the screens go with this model.
    m_passwordEntry->disconnect(this);
    m_confirmPasswordEntry->disconnect(this);
    wipeSecrets();
}

void OnboardingViewModel::wipeSecrets() {
    wipeTexts(m_mnemonic);
    wipeTexts(m_importWords);
    wipeTexts(m_verificationAnswers);
    clearPasswords();
    m_importWords.resize(static_cast<std::size_t>(m_wordCount));
    m_verificationAnswers.resize(3);
    m_mnemonic.clear();
    m_verificationIndices.clear();
}

void OnboardingViewModel::setCurrentStep(OnboardingStep step) {
    if (m_currentStep == step) {
        return;
    }
    m_currentStep = step;
    emit currentStepChanged();
}

void OnboardingViewModel::chooseWordCount(int count) {
    if (count != 12 && count != 24) {
        return;
    }
    if (m_wordCount != count) {
        m_wordCount = count;
        emit wordCountChanged();
    }
    wipeTexts(m_importWords);
    m_importWords.assign(static_cast<std::size_t>(count), QString());
    emit importWordsChanged();
}

QString OnboardingViewModel::joinedMnemonic() const {
    QString joined;
    for (const QString& word : m_mnemonic) {
        if (!joined.isEmpty()) {
            joined.append(QLatin1Char(' '));
        }
        joined.append(word);
    }
    return joined;
}

void OnboardingViewModel::copyMnemonic() const {
    QString text = joinedMnemonic();
    SecretClipboard::shared().put(text);
    wipeText(text);
}

void OnboardingViewModel::setImportWord(int index, const QString& text) {
    if (index < 0 || index >= importWordCount()) {
        return;
    }
    std::vector<QString> typed = splitWords(text);
    if (typed.size() < 2) {
        QString& field = m_importWords[static_cast<std::size_t>(index)];
        if (field != text) {
            wipeText(field);
            field = text;
            emit importWordsChanged();
        }
        wipeTexts(typed);
        return;
    }
    // A pasted phrase: field `index` takes the first word, the next fields the following
    // ones; words beyond the last field (or beyond wordCount words) are dropped.
    const std::size_t kept = std::min(typed.size(), static_cast<std::size_t>(m_wordCount));
    for (std::size_t k = 0; k < kept; ++k) {
        const std::size_t target = static_cast<std::size_t>(index) + k;
        if (target < m_importWords.size()) {
            wipeText(m_importWords[target]);
            m_importWords[target] = typed[k].toLower();
        }
    }
    wipeTexts(typed);
    emit importWordsChanged();
}

QList<int> OnboardingViewModel::verificationIndicesList() const {
    return QList<int>(m_verificationIndices.begin(), m_verificationIndices.end());
}

void OnboardingViewModel::setVerificationAnswer(int slot, const QString& text) {
    if (slot < 0 || slot >= static_cast<int>(m_verificationAnswers.size())) {
        return;
    }
    QString& answer = m_verificationAnswers[static_cast<std::size_t>(slot)];
    if (answer == text) {
        return;
    }
    wipeText(answer);
    answer = text;
    emit verificationAnswersChanged();
}

void OnboardingViewModel::clearPasswords() {
    m_passwordEntry->wipe();
    m_confirmPasswordEntry->wipe();
}

QString OnboardingViewModel::passwordProblem() const {
    const auto text = [](const PasswordEntry* entry) {
        const std::string_view utf8 = entry->utf8();
        return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    };
    QString password = text(m_passwordEntry);
    QString confirmPassword = text(m_confirmPasswordEntry);
    QString problem = passwordPairProblem(password, confirmPassword);
    wipeText(password);
    wipeText(confirmPassword);
    return problem;
}

bool OnboardingViewModel::isPasswordValid() const {
    return passwordProblem().isEmpty();
}

void OnboardingViewModel::updatePasswordValidity() {
    const QString problem = passwordProblem();
    const bool valid = problem.isEmpty();
    // Nothing typed yet is no mistake to point at.
    const bool typed = m_passwordEntry->hasPassword() || m_confirmPasswordEntry->hasPassword();
    const QString hint = typed ? problem : QString();
    if (valid != m_lastPasswordValidity || hint != m_pairHint) {
        m_lastPasswordValidity = valid;
        m_pairHint = hint;
        emit passwordValidityChanged();
    }
}

void OnboardingViewModel::setErrorMessage(std::optional<QString> message) {
    if (m_errorMessage == message) {
        return;
    }
    m_errorMessage = std::move(message);
    emit errorMessageChanged();
}

void OnboardingViewModel::setIsCreating(bool creating) {
    if (m_isCreating == creating) {
        return;
    }
    m_isCreating = creating;
    emit isCreatingChanged();
}

bool OnboardingViewModel::startCreate() {
    std::vector<std::string> generated;
    try {
        generated = BIP39::generateMnemonic(m_wordCount);
    } catch (const std::exception& error) {
        setErrorMessage(QStringLiteral("Failed to generate mnemonic: ") + describe(error));
        return false;
    }
    wipeTexts(m_mnemonic);
    m_mnemonic.clear();
    for (std::string& word : generated) {
        m_mnemonic.push_back(QString::fromStdString(word));
    }
    wipeWords(generated);
    emit mnemonicChanged();

    // Three distinct positions, each drawn uniformly by the system generator.
    std::set<int> chosen;
    const auto count = static_cast<quint32>(m_mnemonic.size());
    while (chosen.size() < 3 && count >= 3) {
        chosen.insert(static_cast<int>(QRandomGenerator::system()->bounded(count)));
    }
    m_verificationIndices.assign(chosen.begin(), chosen.end());
    emit verificationIndicesChanged();

    wipeTexts(m_verificationAnswers);
    m_verificationAnswers.assign(3, QString());
    emit verificationAnswersChanged();

    setCurrentStep(OnboardingStep::CreateShowSeed);
    return true;
}

bool OnboardingViewModel::verify() {
    for (std::size_t slot = 0; slot < m_verificationIndices.size(); ++slot) {
        const int position = m_verificationIndices[slot];
        QString answer = slot < m_verificationAnswers.size()
                             ? normalisedWord(m_verificationAnswers[slot])
                             : QString();
        const bool matches = position >= 0 && position < mnemonicLength() &&
                             answer == m_mnemonic[static_cast<std::size_t>(position)];
        wipeText(answer);
        if (!matches) {
            setErrorMessage(
                QStringLiteral("Word #%1 is incorrect. Please try again.").arg(position + 1));
            return false;
        }
    }
    setErrorMessage(std::nullopt);
    return true;
}

bool OnboardingViewModel::passwordAcceptable() {
    const QString problem = passwordProblem();
    if (problem.isEmpty()) {
        return true;
    }
    setErrorMessage(problem);
    return false;
}

std::vector<std::string> OnboardingViewModel::mnemonicWordList() const {
    std::vector<std::string> words;
    words.reserve(m_mnemonic.size());
    for (const QString& word : m_mnemonic) {
        words.push_back(secretUtf8(word));
    }
    return words;
}

std::vector<std::string> OnboardingViewModel::importedWordList() const {
    // Neither split nor dropped: an empty field stays an empty word, so the count holds.
    std::vector<std::string> words;
    words.reserve(m_importWords.size());
    for (const QString& field : m_importWords) {
        QString word = normalisedWord(field);
        words.push_back(secretUtf8(word));
        wipeText(word);
    }
    return words;
}

QCoro::Task<void> OnboardingViewModel::createFromWords(std::vector<std::string> words,
                                                       QString failurePrefix) {
    const QPointer<OnboardingViewModel> self(this);
    std::string password = m_passwordEntry->utf8Copy();
    AppState* state = appState();
    std::optional<QString> failure;
    try {
        if (!state) {
            throw std::runtime_error("No application state");
        }
        QCoro::Task<void> creating = state->createWallet(words, password);
        // Both were copied before the creation's first suspension.
        wipe(password);
        wipeWords(words);
        co_await std::move(creating);
    } catch (const std::exception& error) {
        failure = failurePrefix + describe(error);
    }
    wipe(password);
    wipeWords(words);
    if (!self) {
        co_return;
    }
    if (failure) {
        // Kept for another try.
        setErrorMessage(std::move(failure));
    } else {
        // Stored: no longer needed, gone from the fields too before the flow moves on.
        clearPasswords();
        setCurrentStep(OnboardingStep::Complete);
    }
    setIsCreating(false);
}

bool OnboardingViewModel::beginCreation() {
    if (!passwordAcceptable()) {
        return false;
    }
    setIsCreating(true);
    setErrorMessage(std::nullopt);
    return true;
}

QCoro::Task<void> OnboardingViewModel::finishImport() {
    std::vector<std::string> words = importedWordList();
    if (!BIP39::isValidMnemonic(words)) {
        wipeWords(words);
        setErrorMessage(QStringLiteral("Invalid mnemonic phrase. Please check your words."));
        setIsCreating(false);
        co_return;
    }
    QCoro::Task<void> creating =
        createFromWords(std::move(words), QStringLiteral("Failed to import wallet: "));
    co_await std::move(creating);
}

QCoro::Task<void> OnboardingViewModel::createWallet() {
    if (beginCreation()) {
        QCoro::Task<void> creating =
            createFromWords(mnemonicWordList(), QStringLiteral("Failed to create wallet: "));
        co_await std::move(creating);
    }
}

QCoro::Task<void> OnboardingViewModel::importWallet() {
    if (beginCreation()) {
        QCoro::Task<void> importing = finishImport();
        co_await std::move(importing);
    }
}

void OnboardingViewModel::submitVerifyAndCreate() {
    if (m_isCreating) {
        return;
    }
    // The words are compared before anything is created.
    if (!verify() || !beginCreation()) {
        emit finished();
        return;
    }
    afterStep(createFromWords(mnemonicWordList(), QStringLiteral("Failed to create wallet: ")),
              [this] { emit finished(); });
}

void OnboardingViewModel::backToKeyring() {
    AppState* state = appState();
    if (m_isCreating || !state || !state->isRestoringIntoFiles()) {
        return;
    }
    state->retryLockedKeyring();
}

void OnboardingViewModel::submitImport() {
    if (m_isCreating) {
        return;
    }
    if (!beginCreation()) {
        emit finished();
        return;
    }
    afterStep(finishImport(), [this] { emit finished(); });
}

} // namespace qm

namespace qm {

QString OnboardingViewModel::wordText(int index) const {
    if (index < 0 || index >= mnemonicLength()) {
        return {};
    }
    // A deep copy, so wiping it leaves the model's word alone.
    const QString& stored = m_mnemonic[static_cast<std::size_t>(index)];
    return QString(stored.constData(), stored.size());
}

} // namespace qm
