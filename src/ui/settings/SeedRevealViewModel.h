#pragma once
// The recovery-phrase sheet's state: the typed password and the opened words live here, in
// C++, never in QML properties; the sheet draws each word with SecretWordText and calls
// clear() when it closes, which wipes both. The error line and the "Copied!" label are the
// only texts QML reads.

#include "ui/onboarding/PasswordFormModel.h"
#include "ui/settings/SecretWordSource.h"

#include <QString>
#include <QtQml/qqmlregistration.h>
#include <optional>
#include <qcoro/qcorotask.h>
#include <string>
#include <vector>

namespace qm {

class SeedRevealViewModel : public PasswordFormModel, public SecretWordSource {
    Q_OBJECT
    QML_ELEMENT
    // False: the password step; true: the words step (no way back within one opening).
    Q_PROPERTY(bool isRevealed READ isRevealed NOTIFY revealedChanged)
    Q_PROPERTY(int wordCount READ wordCount NOTIFY revealedChanged)
    Q_PROPERTY(bool copied READ copied NOTIFY copiedChanged)
    Q_PROPERTY(bool isRevealing READ isBusy NOTIFY busyChanged)

public:
    explicit SeedRevealViewModel(QObject* parent = nullptr);
    ~SeedRevealViewModel() override;

    bool isRevealed() const { return m_words.has_value(); }
    int wordCount() const { return m_words ? static_cast<int>(m_words->size()) : 0; }
    bool copied() const { return m_copied; }

    // "Reveal Seed" and Return (reveal): opens the stored phrase with the typed password on the
    // signing worker, busy meanwhile (a second call then does nothing). The password is kept
    // (a failed attempt leaves it in the field); the error line is cleared only by a success.
    QCoro::Task<void> openPhrase();
    Q_INVOKABLE void reveal() { openPhrase(); }
    // "Copy All": the words joined by single spaces onto the clipboard, to be cleared again by
    // SecretClipboard; "Copied!" for 2 s.
    Q_INVOKABLE void copyAll();
    // The sheet closes: wipes the words and the password, back to the password step.
    Q_INVOKABLE void clear();

    // Word `index` (0-based) as text for drawing; the caller wipes it. Empty out of range.
    QString wordText(int index) const override;
    const char* wordsChangedSignal() const override { return SIGNAL(revealedChanged()); }
    // How long "Copied!" stays (tests shorten it).
    void setCopiedResetMilliseconds(int milliseconds) { m_copiedResetMs = milliseconds; }

signals:
    void revealedChanged();
    void copiedChanged();

private:
    void setCopied(bool copied);
    void wipeWords();

    std::optional<std::vector<std::string>> m_words;
    bool m_copied = false;
    int m_copiedResetMs = 2000;
};

} // namespace qm
