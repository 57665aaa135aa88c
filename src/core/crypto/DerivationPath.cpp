#include "core/crypto/DerivationPath.h"

#include "platform/Error.h"

#include <limits>
#include <utility>

namespace qm {
namespace {

constexpr std::uint32_t kHardenedBit = 0x80000000u;

// A decimal 32-bit unsigned number: digits with an optional "+", or "-" before zeros only.
std::optional<std::uint32_t> parseIndexNumber(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > std::numeric_limits<std::uint32_t>::max()) {
            return std::nullopt;
        }
    }
    if (negative && value != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

// The fixed paths are constants: one that does not parse is a broken build.
std::vector<std::uint32_t> parseFixed(std::string_view text) {
    auto path = parseDerivationPath(text);
    if (!path) {
        fatalError("");
    }
    return std::move(*path);
}

} // namespace

std::optional<std::vector<std::uint32_t>> parseDerivationPath(std::string_view path) {
    std::vector<std::string_view> pieces;
    while (!path.empty()) {
        const auto slash = path.find('/');
        const auto piece = path.substr(0, slash);
        if (!piece.empty()) {
            pieces.push_back(piece);
        }
        if (slash == std::string_view::npos) {
            break;
        }
        path.remove_prefix(slash + 1);
    }

    std::vector<std::uint32_t> indices;
    for (std::size_t n = 0; n < pieces.size(); ++n) {
        std::string_view piece = pieces[n];
        if (n == 0 && piece == "m") {
            continue;
        }
        const bool hardened = piece.back() == '\'' || piece.back() == 'h';
        if (hardened) {
            piece.remove_suffix(1);
        }
        const auto number = parseIndexNumber(piece);
        if (!number) {
            return std::nullopt;
        }
        indices.push_back(hardened ? (*number | kHardenedBit) : *number);
    }
    return indices;
}

const std::vector<std::uint32_t>& bitcoinAccountPath() {
    static const std::vector<std::uint32_t> path = parseFixed("m/84'/0'/0'");
    return path;
}

const std::vector<std::uint32_t>& ethereumAccountPath() {
    static const std::vector<std::uint32_t> path = parseFixed("m/44'/60'/0'");
    return path;
}

const std::vector<std::uint32_t>& solanaAccountPath() {
    static const std::vector<std::uint32_t> path = parseFixed("m/44'/501'/0'/0'");
    return path;
}

} // namespace qm
