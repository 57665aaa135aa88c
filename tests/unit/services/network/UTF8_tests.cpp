#include "TestHex.h"
#include "services/network/UTF8.h"

#include <gtest/gtest.h>

using qm::isValidUTF8;
using qm::test::unhex;

TEST(UTF8, AcceptsWellFormedText) {
    EXPECT_TRUE(isValidUTF8({}));
    EXPECT_TRUE(isValidUTF8(qm::utf8View("plain ASCII \x01\x7f")));
    EXPECT_TRUE(isValidUTF8(unhex("c280")));     // U+0080
    EXPECT_TRUE(isValidUTF8(unhex("dfbf")));     // U+07FF
    EXPECT_TRUE(isValidUTF8(unhex("e0a080")));   // U+0800
    EXPECT_TRUE(isValidUTF8(unhex("ed9fbf")));   // U+D7FF
    EXPECT_TRUE(isValidUTF8(unhex("ee8080")));   // U+E000
    EXPECT_TRUE(isValidUTF8(unhex("efbfbf")));   // U+FFFF
    EXPECT_TRUE(isValidUTF8(unhex("f0908080"))); // U+10000
    EXPECT_TRUE(isValidUTF8(unhex("f48fbfbf"))); // U+10FFFF
    EXPECT_TRUE(isValidUTF8(unhex("00")));       // NUL is a character
    EXPECT_EQ(qm::utf8Text(unhex("e282ac")), "\xe2\x82\xac");
}

TEST(UTF8, RejectsMalformedText) {
    for (const char* bytes :
         {"80", "bf", "c0af", "c1bf", "c2", "c241", "e08080", "e09fbf", "eda080", "edbfbf", "e282",
          "f08f8080", "f4908080", "f5808080", "ff", "fe", "f0908080c2", "e282ac80"}) {
        EXPECT_FALSE(isValidUTF8(unhex(bytes))) << bytes;
        EXPECT_FALSE(qm::utf8Text(unhex(bytes))) << bytes;
    }
}
