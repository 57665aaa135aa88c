#pragma once
// A swap token as QML passes it around (the view model's sides, the picker's rows and choice):
// a map {symbol, address, decimals, isNative}.

#include "services/swap/SwapToken.h"

#include <QVariant>
#include <QVariantMap>
#include <optional>

namespace qm {

// An empty map for no token.
QVariantMap swapTokenToVariant(const std::optional<SwapToken>& token);
// None for anything that is not such a map with a symbol and an address.
std::optional<SwapToken> swapTokenFromVariant(const QVariant& value);

} // namespace qm
