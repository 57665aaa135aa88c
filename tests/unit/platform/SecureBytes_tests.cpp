#include "platform/SecureBytes.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

TEST(SecureBytes, MovesLeaveTheSourceEmptyAndCompareByContent) {
    SecureBytes a = SecureBytes::fromText("correct horse");
    SecureBytes b = a.clone();
    EXPECT_TRUE(a == b);
    SecureBytes c = std::move(a);
    EXPECT_TRUE(a.empty()); // NOLINT(bugprone-use-after-move): checking the moved-from state
    EXPECT_EQ(c.toText(), "correct horse");
    b[0] ^= 1;
    EXPECT_FALSE(b == c);
}

TEST(SecureBytes, WipeZeroesAStringsBuffer) {
    std::string secret = "a password that is long enough to live on the heap";
    const char* buffer = secret.data();
    const auto capacity = secret.capacity();
    wipe(secret);
    EXPECT_TRUE(secret.empty());
    for (std::size_t i = 0; i < capacity; ++i) {
        EXPECT_EQ(buffer[i], 0);
    }
}

} // namespace
} // namespace qm
