#include "TestHex.h"
#include "services/bitcoin/ElectrumLineBuffer.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace qm {
namespace {

std::vector<std::string> drain(ElectrumLineBuffer& buffer) {
    std::vector<std::string> lines;
    while (auto line = buffer.nextLine()) {
        lines.push_back(*line);
    }
    return lines;
}

TEST(ElectrumLineBuffer, SplitsOnNewlineOnly) {
    ElectrumLineBuffer buffer;
    EXPECT_TRUE(buffer.append(test::ascii("{\"a\":1}\n\n{\"b\"")));
    EXPECT_EQ(drain(buffer), std::vector<std::string>{"{\"a\":1}"}); // the empty line is skipped
    EXPECT_TRUE(buffer.append(test::ascii(":2}\r\nrest")));
    EXPECT_EQ(drain(buffer), std::vector<std::string>{"{\"b\":2}\r"}); // 0x0D stays in the line
    EXPECT_EQ(buffer.bufferedBytes(), 4u);
    EXPECT_TRUE(buffer.append(test::ascii("\n")));
    EXPECT_EQ(drain(buffer), std::vector<std::string>{"rest"});
    EXPECT_EQ(buffer.bufferedBytes(), 0u);
}

TEST(ElectrumLineBuffer, LineLongerThanTheLimitStopsTheBuffer) {
    ElectrumLineBuffer buffer(8);
    EXPECT_TRUE(buffer.append(test::ascii("12345678\n1234")));
    EXPECT_TRUE(buffer.append(test::ascii("5678"))); // exactly at the limit, still open
    EXPECT_FALSE(buffer.append(test::ascii("9")));   // one past it
    EXPECT_TRUE(buffer.overflowed());
    EXPECT_FALSE(buffer.append(test::ascii("\nmore\n"))); // ignored from now on
    // The complete line before the overflow is still delivered; nothing of the long one.
    EXPECT_EQ(drain(buffer), std::vector<std::string>{"12345678"});
    EXPECT_EQ(buffer.bufferedBytes(), 0u);

    // A long line complete within one chunk is refused as well.
    ElectrumLineBuffer whole(8);
    EXPECT_FALSE(whole.append(test::ascii("ok\n123456789\nnext\n")));
    EXPECT_EQ(drain(whole), std::vector<std::string>{"ok"});
}

} // namespace
} // namespace qm
