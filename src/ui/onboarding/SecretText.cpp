#include "ui/onboarding/SecretText.h"

#include "platform/SecureBytes.h"

#include <QByteArray>
#include <QTextBoundaryFinder>
#include <utility>

namespace qm {

void wipeText(QString& text) {
    if (!text.isEmpty()) {
        // data() detaches: other holders of a shared buffer keep theirs, ours is overwritten.
        wipe(text.data(), static_cast<std::size_t>(text.size()) * sizeof(QChar));
    }
    text.clear();
}

void wipeTexts(std::vector<QString>& texts) {
    for (QString& text : texts) {
        wipeText(text);
    }
}

std::string secretUtf8(const QString& text) {
    QByteArray utf8 = text.toUtf8();
    std::string result(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    if (!utf8.isEmpty()) {
        wipe(utf8.data(), static_cast<std::size_t>(utf8.size()));
    }
    return result;
}

int perceivedLength(const QString& text) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (finder.toNextBoundary() != -1) {
        ++count;
    }
    return count;
}

bool canonicallyEqual(const QString& a, const QString& b) {
    if (a == b) {
        return true;
    }
    QString left = a.normalized(QString::NormalizationForm_C);
    QString right = b.normalized(QString::NormalizationForm_C);
    const bool equal = left == right;
    wipeText(left);
    wipeText(right);
    return equal;
}

QString passwordPairProblem(const QString& password, const QString& confirmPassword) {
    if (perceivedLength(password) < 8) {
        return QStringLiteral("Password must be at least 8 characters.");
    }
    if (!canonicallyEqual(password, confirmPassword)) {
        return QStringLiteral("Passwords do not match.");
    }
    return {};
}

QString normalisedWord(const QString& word) {
    return word.trimmed().toLower();
}

std::vector<QString> splitWords(const QString& text) {
    std::vector<QString> words;
    QString current;
    for (QChar c : text) {
        // QChar::isSpace covers Unicode white space and the line breaks (U+0085, U+2028, U+2029).
        if (c.isSpace()) {
            if (!current.isEmpty()) {
                words.push_back(std::move(current));
                current = QString();
            }
        } else {
            current.append(c);
        }
    }
    if (!current.isEmpty()) {
        words.push_back(std::move(current));
    }
    return words;
}

} // namespace qm
