#include "TestHex.h"
#include "core/crypto/Keccak.h"

#include <gtest/gtest.h>
#include <random>

namespace qm {
namespace {

using test::hex;

// Bytes 0, 1, 2, ... (mod 256).
Bytes counting(std::size_t n) {
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = static_cast<std::uint8_t>(i);
    }
    return out;
}

// Expected digests of the counting inputs were computed with @noble/hashes keccak_256.
TEST(Keccak, Keccak256MatchesPublishedAndIndependentDigestsAroundTheRate) {
    EXPECT_EQ(hex(keccak256({})),
              "c5d2460186f7233c927e7db2dcc703c0e500b653ca82273b7bfad8045d85a470");
    // 135 bytes: both pad bits land in the last rate byte.
    EXPECT_EQ(hex(keccak256(counting(135))),
              "cbdfd9dee5faad3818d6b06f95a219fd290b0e1706f6a82e5a595b9ce9faca62");
    // 136 bytes: one full block, the pad goes into a block of its own.
    EXPECT_EQ(hex(keccak256(counting(136))),
              "7ce759f1ab7f9ce437719970c26b0a66ff11fe3e38e17df89cf5d29c7d7f807e");
}

TEST(Keccak, SplitUpdatesGiveTheOneShotDigest) {
    std::mt19937 rng(1102);
    for (std::size_t length : {0u, 9u, 136u, 137u, 273u}) {
        const Bytes data = counting(length);
        const Bytes expected = keccak256(data);
        for (int trial = 0; trial < 8; ++trial) {
            KeccakContext context;
            ASSERT_EQ(keccakInit(context, 32), 1);
            std::size_t offset = 0;
            while (offset < length) {
                const std::size_t chunk = std::min<std::size_t>(
                    length - offset, std::uniform_int_distribution<std::size_t>(0, 20)(rng));
                EXPECT_EQ(keccakUpdate(context, data.data() + offset, chunk), 1);
                offset += chunk;
            }
            Bytes digest(32);
            EXPECT_EQ(keccakFinal(digest.data(), context), 1);
            EXPECT_EQ(digest, expected) << "length " << length << " trial " << trial;
        }
    }
}

TEST(Keccak, OtherDigestLengthsAndTheExtendableOutput) {
    // Keccak-512 and SHAKE outputs from @noble/hashes.
    const Bytes abc = test::ascii("abc");
    Bytes digest512(64);
    EXPECT_EQ(keccakHash(abc.data(), abc.size(), digest512.data(), 64), digest512.data());
    EXPECT_EQ(hex(digest512), "18587dc2ea106b9a1563e32b3312421ca164c7f1f07bc922a9c83d77cea3a1e5"
                              "d0c69910739025372dc14ac9642629379540c17e2a65b19d77aa511a9d00bb96");

    KeccakContext context;
    ASSERT_EQ(keccakInit(context, 32), 1); // rate 136: SHAKE256
    keccakUpdate(context, abc.data(), abc.size());
    Bytes shake256(300);
    EXPECT_EQ(keccakFinalXof(shake256.data(), shake256.size(), context), 1);
    EXPECT_EQ(
        hex(shake256),
        "483366601360a8771c6863080cc4114d8db44530f8f1e1ee4f94ea37e78b5739d5a15bef186a5386c75744c0"
        "527e1faa9f8726e462a12a4feb06bd8801e751e41385141204f329979fd3047a13c5657724ada64d2470157b"
        "3cdc288620944d78dbcddbd912993f0913f164fb2ce95131a2d09a3e6d51cbfc622720d7a75c6334e8a2d7ec"
        "71a7cc29cf0ea610eeff1a588290a53000faa79932becec0bd3cd0b33a7e5d397fed1ada9442b99903f4dcfd"
        "8559ed3950faf40fe6f3b5d710ed3b677513771af6bfe11934817e8762d9896ba579d88d84ba7aa3cdc7055f"
        "6796f195bd9ae788f2f5bb96100d6bbaff7fbc6eea24d4449a2477d172a5507dcc931412fc346b1bb39b8783"
        "30e026b12ddf384af3334560ea1d363966caa7d8ddcbec7da52b42215c11d5f8ee57f341");
}

TEST(Keccak, DigestLengthsBeyondOneRateAreRefused) {
    KeccakContext context;
    Bytes digest(200);
    for (int length : {0, -1, 65}) {
        EXPECT_EQ(keccakInit(context, length), 0) << length;
        EXPECT_EQ(keccakHash(nullptr, 0, digest.data(), length), nullptr) << length;
    }
}

} // namespace
} // namespace qm
