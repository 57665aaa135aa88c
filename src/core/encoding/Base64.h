#pragma once
// Standard Base64 text (RFC 4648 alphabet, with padding, no line breaks).

#include "platform/Bytes.h"

#include <optional>
#include <string>
#include <string_view>

namespace qm {

std::string base64Encode(ByteView bytes);
// Standard alphabet with padding; no white space or other characters. Unused low bits of
// the last group are ignored, as common decoders do. Else absent.
std::optional<Bytes> base64Decode(std::string_view text);

} // namespace qm
