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
// Why "Delete Wallet" or the lock screen's reset did not delete the wallet: the keyring's
// refusal above, else the removal's failure, with "Try again." (the next try removes the rest).
QString walletDeletionFailureText(const std::exception& error);

} // namespace qm
