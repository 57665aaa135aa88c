#include "platform/SecureBytes.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

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
