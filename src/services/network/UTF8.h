#pragma once
// Strict UTF-8 checks for bytes from the network (reply bodies, contract return data).

#include "platform/Bytes.h"

#include <optional>
#include <string>

namespace qm {

// True when `bytes` are well-formed UTF-8: no overlong forms, no surrogates, nothing above
// U+10FFFF, no truncated sequence. The empty list is valid.
bool isValidUTF8(ByteView bytes);

// The bytes as text when they are valid UTF-8; absent otherwise.
std::optional<std::string> utf8Text(ByteView bytes);

} // namespace qm
