// A Solana transaction is proven expired only once the chain is past its last valid block
// height: at that height itself it can still land.
#include "state/flows/SolanaSignatureWatch.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

TEST(SolanaSignatureWatch, ExpiryIsProvenOnlyPastTheLastValidHeight) {
    constexpr std::uint64_t lastValid = 250'000'150;
    const SignatureStatusesResult unknown{400'000'000, {std::nullopt}};
    EXPECT_FALSE(provesExpiry(EpochInfo{400'000'000, lastValid}, unknown, lastValid));
    EXPECT_TRUE(provesExpiry(EpochInfo{400'000'000, lastValid + 1}, unknown, lastValid));
    // Past it, only a status answer that speaks for that slot or a later one proves it.
    EXPECT_FALSE(provesExpiry(EpochInfo{400'000'001, lastValid + 1}, unknown, lastValid));
}

} // namespace
} // namespace qm
