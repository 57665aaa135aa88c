#pragma once
// What SecretWordText draws from: a model that keeps recovery-phrase words in C++ memory and
// hands out one short-lived copy at a time, never a QML-visible string.

#include <QString>

namespace qm {

class SecretWordSource {
public:
    // Word `index` (0-based) as a fresh copy for drawing; the caller wipes it. Empty out of range.
    virtual QString wordText(int index) const = 0;
    // The model's signal (a SIGNAL() signature) that announces other words.
    virtual const char* wordsChangedSignal() const = 0;

protected:
    ~SecretWordSource() = default;
};

} // namespace qm
