#pragma once
// Byte lists shared by every layer.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace qm {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// The UTF-8 bytes of a text, as a view (no copy).
inline ByteView utf8View(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

inline Bytes concat(ByteView a, ByteView b) {
    Bytes out;
    out.reserve(a.size() + b.size());
    out.insert(out.end(), a.begin(), a.end());
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

} // namespace qm
