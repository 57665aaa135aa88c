#pragma once
// Helpers for the texts the onboarding and backup screens must not leave behind (passwords,
// phrase words): they live in C++ while their screen is up and are wiped when it goes.

#include <QString>
#include <string>
#include <vector>

namespace qm {

// Overwrites the characters of `text` (its own buffer) and empties it.
void wipeText(QString& text);
void wipeTexts(std::vector<QString>& texts);

// The UTF-8 bytes of `text`; the intermediate copy is wiped. The caller wipes the result.
std::string secretUtf8(const QString& text);

// The number of user-perceived characters (grapheme clusters), as a person counts them.
int perceivedLength(const QString& text);

// Equality as the user sees it: canonically equivalent texts (composed or decomposed
// accents) are equal.
bool canonicallyEqual(const QString& a, const QString& b);

// The message for a pair that is not "at least 8 characters and both the same", the length
// rule first; empty for a valid pair.
QString passwordPairProblem(const QString& password, const QString& confirmPassword);

// The text with white space and line breaks removed at both ends, then in lower case.
QString normalisedWord(const QString& word);

// The words of `text`: the runs between runs of white space or line breaks; none are empty.
std::vector<QString> splitWords(const QString& text);

} // namespace qm
