#include "ui/onboarding/KeyringRefusal.h"

#include "core/storage/KeychainManager.h"

namespace qm {

std::optional<QString> keyringRefusalText(const std::exception& error, const QString& nothingDone) {
    const auto* keychain = dynamic_cast<const KeychainError*>(&error);
    if (keychain == nullptr) {
        return std::nullopt;
    }
    switch (keychain->code()) {
    case KeychainError::Code::keyringLocked:
        return QStringLiteral("The keyring is locked, so ") + nothingDone +
               QStringLiteral(". Unlock it, then try again.");
    case KeychainError::Code::keyringUnavailable:
        return QStringLiteral("The keyring that holds the wallet is not running, so ") +
               nothingDone + QStringLiteral(". Start it, then try again.");
    default:
        return std::nullopt;
    }
}

QString walletDeletionFailureText(const std::exception& error) {
    return keyringRefusalText(error, QStringLiteral("nothing was deleted"))
        .value_or(QStringLiteral("The wallet could not be deleted completely: ") +
                  QString::fromUtf8(error.what()) + QStringLiteral(". Try again."));
}

} // namespace qm
