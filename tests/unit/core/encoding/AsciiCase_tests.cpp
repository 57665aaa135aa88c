// Ids and addresses compare in ASCII case only: every byte but A-Z stays as it is, the bytes of
// UTF-8 and Latin-1 letters (0xC0-0xDE among them) too, whatever the locale.
#include "core/encoding/AsciiCase.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

TEST(AsciiCase, OnlyAToZChangeAndEveryOtherByteStays) {
    const auto lowered = [](int byte) { return byte >= 'A' && byte <= 'Z' ? byte + 32 : byte; };
    std::string all;
    std::string expected;
    for (int byte = 0; byte < 256; ++byte) {
        all.push_back(static_cast<char>(byte));
        expected.push_back(static_cast<char>(lowered(byte)));
    }
    EXPECT_EQ(lowercaseASCII(all), expected);
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            ASSERT_EQ(equalIgnoringASCIICase(std::string(1, static_cast<char>(a)),
                                             std::string(1, static_cast<char>(b))),
                      lowered(a) == lowered(b))
                << a << " " << b;
        }
    }
    EXPECT_FALSE(equalIgnoringASCIICase("0xAB", "0xab0"));
}

} // namespace
} // namespace qm
