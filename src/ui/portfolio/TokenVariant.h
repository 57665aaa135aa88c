#pragma once
// A token as QML passes it between screens (the token detail's Send hands its token to the
// send sheet): a map with the Token's field names, "chain" as its raw value.

#include "core/model/Token.h"

#include <QVariant>
#include <QVariantMap>
#include <optional>

namespace qm {

QVariantMap tokenToVariant(const Token& token);
// None for anything that is not such a map, as given or wrapped by QML (a null for "no token"
// included).
std::optional<Token> tokenFromVariant(const QVariant& value);

} // namespace qm
