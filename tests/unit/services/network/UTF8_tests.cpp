#include "TestHex.h"
#include "services/network/UTF8.h"

#include <gtest/gtest.h>

using qm::isValidUTF8;
using qm::test::unhex;

TEST(UTF8, AcceptsWellFormedText) {
    EXPECT_TRUE(isValidUTF8({}));
    EXPECT_TRUE(isValidUTF8(qm::utf8View("plain ASCII \x01\x7f")));
    EXPECT_TRUE(isValidUTF8(unhex("c280")));     // U+0080
    EXPECT_TRUE(isValidUTF8(unhex("ed9fbf")));   // U+D7FF
    EXPECT_TRUE(isValidUTF8(unhex("efbfbf")));   // U+FFFF
    EXPECT_TRUE(isValidUTF8(unhex("f48fbfbf"))); // U+10FFFF
    EXPECT_TRUE(isValidUTF8(unhex("00")));       // NUL is a character
    EXPECT_EQ(qm::utf8Text(unhex("e282ac")), "\xe2\x82\xac");
}

TEST(UTF8, RejectsMalformedText) {
    for (const char* bytes : {"80", "c0af", "c2", "c241", "e09fbf", "eda080", "f08f8080",
                              "f4908080", "ff", "e282ac80"}) {
        EXPECT_FALSE(isValidUTF8(unhex(bytes))) << bytes;
        EXPECT_FALSE(qm::utf8Text(unhex(bytes))) << bytes;
    }
}
