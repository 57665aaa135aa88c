#pragma once
// Letter case of ASCII text as ids and addresses compare (hex hashes, EVM addresses, account
// keys): only A-Z change, whatever the locale.

#include <string>
#include <string_view>

namespace qm {

// `text` with A-Z in lower case.
std::string lowercaseASCII(std::string_view text);
// Whether `a` and `b` are the same text but for the case of A-Z.
bool equalIgnoringASCIICase(std::string_view a, std::string_view b);

} // namespace qm
