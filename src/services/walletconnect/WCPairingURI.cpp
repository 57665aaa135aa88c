#include "services/walletconnect/WCPairingURI.h"

#include "core/encoding/Hex.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qm {
namespace {

constexpr std::string_view kPrefix = "wc:";
constexpr std::string_view kVersionMarker = "@2?";
constexpr std::size_t kTopicLength = 64;
constexpr std::size_t kKeySize = 32;
constexpr std::string_view kExpiryName = "expiryTimestamp";

// Unicode white space and line breaks beyond ASCII, in UTF-8 (NEL, NBSP, the Zs spaces, the
// line and paragraph separators): a URI copied from a web page may carry them at its ends.
constexpr std::array<std::string_view, 19> kWideSpaces = {
    "\u0085", "\u00A0", "\u1680", "\u2000", "\u2001", "\u2002", "\u2003",
    "\u2004", "\u2005", "\u2006", "\u2007", "\u2008", "\u2009", "\u200A",
    "\u2028", "\u2029", "\u202F", "\u205F", "\u3000"};

bool isASCIISpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The length of the white space at the start (or end) of `text`, 0 when there is none.
std::size_t spaceAtStart(std::string_view text) {
    if (!text.empty() && isASCIISpace(text.front())) {
        return 1;
    }
    for (const std::string_view space : kWideSpaces) {
        if (text.starts_with(space)) {
            return space.size();
        }
    }
    return 0;
}

std::size_t spaceAtEnd(std::string_view text) {
    if (!text.empty() && isASCIISpace(text.back())) {
        return 1;
    }
    for (const std::string_view space : kWideSpaces) {
        if (text.ends_with(space)) {
            return space.size();
        }
    }
    return 0;
}

std::string_view trimmed(std::string_view text) {
    while (const std::size_t n = spaceAtStart(text)) {
        text.remove_prefix(n);
    }
    while (const std::size_t n = spaceAtEnd(text)) {
        text.remove_suffix(n);
    }
    return text;
}

// Characters, not bytes: continuation bytes of UTF-8 do not start one.
std::size_t characterCount(std::string_view text) {
    std::size_t count = 0;
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++count;
        }
    }
    return count;
}

// Splits at `separator`, dropping empty parts; after `maxSplits` parts the rest is one part.
std::vector<std::string_view> split(std::string_view text, char separator,
                                    std::size_t maxSplits = SIZE_MAX) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != separator) {
            continue;
        }
        const bool appended = i > start;
        if (appended) {
            parts.push_back(text.substr(start, i - start));
        }
        start = i + 1;
        if (appended && parts.size() == maxSplits) {
            break;
        }
    }
    if (start < text.size()) {
        parts.push_back(text.substr(start));
    }
    return parts;
}

// Seconds written as a plain decimal integer (digits only: no sign, point, exponent or
// prefix) that fits 64 bits; anything else is no expiry at all.
std::optional<std::int64_t> wholeSeconds(std::string_view text) {
    if (text.empty() ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    std::int64_t seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return seconds;
}

// The link's expiry as its query writes it: none when it names none; a malformed value (an
// empty one too) in any "expiryTimestamp" piece makes the whole link invalid, as a malformed
// key does, rather than a link that never expires.
std::optional<std::optional<std::int64_t>> expiryOf(std::string_view query) {
    std::optional<std::int64_t> expiry;
    for (const std::string_view piece : split(query, '&')) {
        const auto parts = split(piece, '=', 1);
        if (parts.empty() || parts[0] != kExpiryName) {
            continue;
        }
        expiry = parts.size() == 2 ? wholeSeconds(parts[1]) : std::nullopt;
        if (!expiry) {
            return std::nullopt;
        }
    }
    return expiry;
}

} // namespace

std::map<std::string, std::string, std::less<>> parseQueryParameters(std::string_view query) {
    std::map<std::string, std::string, std::less<>> parameters;
    for (const std::string_view piece : split(query, '&')) {
        const auto parts = split(piece, '=', 1);
        if (parts.size() == 2) {
            parameters.insert_or_assign(std::string(parts[0]), std::string(parts[1]));
        }
    }
    return parameters;
}

std::optional<WCPairingURI> parsePairingURI(std::string_view uri) {
    std::string_view text = trimmed(uri);
    if (!text.starts_with(kPrefix)) {
        return std::nullopt;
    }
    text.remove_prefix(kPrefix.size());
    const std::size_t marker = text.find(kVersionMarker);
    if (marker == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view topic = text.substr(0, marker);
    if (characterCount(topic) != kTopicLength) {
        return std::nullopt;
    }
    const std::string_view query = text.substr(marker + kVersionMarker.size());
    const auto parameters = parseQueryParameters(query);
    if (parameters.empty()) {
        return std::nullopt;
    }
    const auto expiry = expiryOf(query);
    if (!expiry) {
        return std::nullopt;
    }
    const auto symKey = parameters.find("symKey");
    if (symKey == parameters.end()) {
        return std::nullopt;
    }
    // One "0x" is put in front, so a value that carries its own does not decode.
    auto key = hexToBytes("0x" + symKey->second);
    if (!key || key->size() != kKeySize) {
        return std::nullopt;
    }
    const auto protocol = parameters.find("relay-protocol");
    return WCPairingURI{std::string(topic), std::move(*key),
                        protocol == parameters.end() ? std::string("irn") : protocol->second,
                        *expiry};
}

} // namespace qm
