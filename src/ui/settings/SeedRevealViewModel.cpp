#include "ui/settings/SeedRevealViewModel.h"

#include "core/storage/KeychainManager.h"
#include "platform/SecureBytes.h"
#include "state/AppState.h"
#include "state/signing/Signer.h"
#include "ui/onboarding/SecretText.h"
#include "ui/theme/SecretClipboard.h"

#include <QPointer>
#include <QTimer>
#include <exception>
#include <utility>

namespace qm {

SeedRevealViewModel::SeedRevealViewModel(QObject* parent) : PasswordFormModel(parent) {}

SeedRevealViewModel::~SeedRevealViewModel() {
    wipeWords();
}

QCoro::Task<void> SeedRevealViewModel::openPhrase() {
    AppState* state = appState();
    if (!state || !state->wallet()) {
        setErrorMessage(QStringLiteral("No wallet found."));
        co_return;
    }
    if (isBusy()) {
        co_return;
    }
    setBusy(true);
    const QPointer<SeedRevealViewModel> self(this);
    std::string password = passwordUtf8();
    std::optional<QString> failure;
    SecretWords words;
    try {
        QCoro::Task<SecretWords> opening =
            state->signer().openPhrase(state->wallet()->id, password);
        wipe(password);
        words = co_await std::move(opening);
    } catch (const KeychainError& error) {
        switch (error.code()) {
        case KeychainError::Code::itemNotFound:
            failure = QStringLiteral(
                "Seed phrase not stored. This wallet was created before this feature.");
            break;
        case KeychainError::Code::wrongPassword:
            failure = QStringLiteral("Wrong password.");
            break;
        default:
            failure = QString::fromUtf8(error.what());
            break;
        }
    } catch (const std::exception& error) {
        failure = QString::fromUtf8(error.what());
    }
    wipe(password);
    if (!self) {
        co_return;
    }
    setBusy(false);
    if (failure) {
        setErrorMessage(std::move(failure));
        co_return;
    }
    wipeWords();
    m_words = std::move(words.words);
    wipePassword(); // used
    emit revealedChanged();
    setErrorMessage(std::nullopt);
}

void SeedRevealViewModel::copyAll() {
    if (!m_words) {
        return;
    }
    QString joined;
    for (const std::string& word : *m_words) {
        if (!joined.isEmpty()) {
            joined.append(QLatin1Char(' '));
        }
        joined.append(QString::fromStdString(word));
    }
    SecretClipboard::shared().put(joined);
    // The clipboard holds its own copy from here on; ours is wiped.
    wipeText(joined);
    setCopied(true);
    // Every press schedules its own reset: the label returns 2 s after the first one.
    QTimer::singleShot(m_copiedResetMs, this, [this] { setCopied(false); });
}

void SeedRevealViewModel::clear() {
    const bool wasRevealed = isRevealed();
    wipeWords();
    if (wasRevealed) {
        emit revealedChanged();
    }
    wipePassword();
    setErrorMessage(std::nullopt);
    setCopied(false);
}

QString SeedRevealViewModel::wordText(int index) const {
    if (!m_words || index < 0 || index >= static_cast<int>(m_words->size())) {
        return {};
    }
    return QString::fromStdString((*m_words)[static_cast<std::size_t>(index)]);
}

void SeedRevealViewModel::setCopied(bool copied) {
    if (m_copied == copied) {
        return;
    }
    m_copied = copied;
    emit copiedChanged();
}

void SeedRevealViewModel::wipeWords() {
    if (m_words) {
        for (std::string& word : *m_words) {
            wipe(word);
        }
        m_words.reset();
    }
}

} // namespace qm
