#pragma once
// What the window says when the keyring holding the wallet refused a step (its unlock prompt
// dismissed, or it is not running): that the keyring is the reason, what was not done, and
// what to do.

#include <QString>
#include <exception>
#include <optional>

namespace qm {

// For KeychainError keyringLocked or keyringUnavailable: "The keyring is locked, so
// <nothingDone>. Unlock it, then try again." (or "... is not running ... Start it ...");
// none for any other error.
std::optional<QString> keyringRefusalText(const std::exception& error, const QString& nothingDone);

} // namespace qm
