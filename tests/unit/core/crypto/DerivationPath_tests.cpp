#include "core/crypto/DerivationPath.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace qm {
namespace {

using Path = std::vector<std::uint32_t>;

TEST(DerivationPath, ParsesHardenedAndNormalIndices) {
    const std::vector<std::pair<std::string, Path>> cases = {
        {"m/44'/60'/0'/0/0", {0x8000002C, 0x8000003C, 0x80000000, 0, 0}},
        {"m/44h/60h", {0x8000002C, 0x8000003C}},
        {"/44'//0/", {0x8000002C, 0}},
        {"m/4294967295", {0xFFFFFFFF}},
        {"m/2147483648", {0x80000000}},  // already a hardened index
        {"m/2147483648'", {0x80000000}}, // the marker only sets the top bit
        {"m/-0", {0}},
        {"m/-00h", {0x80000000}},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        const auto parsed = parseDerivationPath(text);
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(*parsed, expected);
    }
}

TEST(DerivationPath, RefusesMalformedIndices) {
    // Only a leading "m" is dropped; upper-case markers are not markers.
    for (const char* text :
         {"m/44''", "m/4294967296", "M/0", "m/0H", "m/-1", "m/1 ", "m/１", "m/0/m"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(parseDerivationPath(text).has_value());
    }
}

} // namespace
} // namespace qm
