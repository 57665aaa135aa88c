#include "TestHex.h"
#include "services/evm/ERC20.h"

#include <gtest/gtest.h>

using qm::decodeABIString;
using qm::test::hex;
using qm::test::unhex;

namespace {

// One 32-byte word holding `value` in its low 8 bytes.
std::vector<std::uint8_t> word(std::uint64_t value) {
    std::vector<std::uint8_t> out(32, 0);
    for (int i = 0; i < 8; ++i) {
        out[31 - i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    return out;
}

std::vector<std::uint8_t> padded(std::string_view text, std::size_t size) {
    std::vector<std::uint8_t> out(text.begin(), text.end());
    out.resize(size, 0);
    return out;
}

std::vector<std::uint8_t> join(std::initializer_list<std::vector<std::uint8_t>> chunks) {
    std::vector<std::uint8_t> out;
    for (const auto& chunk : chunks) {
        out.insert(out.end(), chunk.begin(), chunk.end());
    }
    return out;
}

// The ABI encoding of a string return value.
std::vector<std::uint8_t> abiString(std::string_view text) {
    return join({word(32), word(text.size()), padded(text, (text.size() + 31) / 32 * 32)});
}

} // namespace

// Transfer call data moves real balances in ETHSignerAnvil_tests; approve and allowance
// are laid out here.
TEST(ERC20, CallDataLayout) {
    const auto recipient = unhex("5aaeb6053f3e94c9b9a09f33669435e7ef1beaed");
    const auto spender = unhex("fb6916095ca1df60bb79ce92ce3ea74c37c5d359");
    const std::string pad(24, '0');
    EXPECT_EQ(hex(qm::erc20ApproveCalldata(spender, qm::UInt256(~0ull, ~0ull, ~0ull, ~0ull))),
              "095ea7b3" + pad + hex(spender) + std::string(64, 'f'));
    EXPECT_EQ(hex(qm::erc20AllowanceCalldata(recipient, spender)),
              "dd62ed3e" + pad + hex(recipient) + pad + hex(spender));
    // Words are written most significant first.
    EXPECT_EQ(hex(qm::erc20TransferCalldata(recipient, qm::UInt256(1, 2, 3, 4))),
              "a9059cbb" + pad + hex(recipient) +
                  "0000000000000001000000000000000200000000000000030000000000000004");
}

TEST(ERC20DeathTest, CallDataNeedsTwentyByteAddresses) {
    EXPECT_DEATH(qm::erc20TransferCalldata(std::vector<std::uint8_t>(21, 1), {}), "");
    EXPECT_DEATH(qm::erc20AllowanceCalldata(std::vector<std::uint8_t>(20, 1),
                                            std::vector<std::uint8_t>(19, 1)),
                 "");
}

TEST(ERC20, DecodeABIStringDynamicForm) {
    EXPECT_EQ(decodeABIString(abiString(std::string(255, 'x'))), std::string(255, 'x'));
    // Only the low 8 bytes of the offset and length words count.
    auto upper = abiString("DAI");
    upper[0] = 0xff;
    upper[32] = 0xff;
    EXPECT_EQ(decodeABIString(upper), "DAI");
    // An offset pointing at a later word; trailing bytes after the text.
    EXPECT_EQ(decodeABIString(join({word(64), word(0), word(2), padded("OK", 32)})), "OK");
    EXPECT_EQ(decodeABIString(join({abiString("ABC"), word(7)})), "ABC");
}

TEST(ERC20, DecodeABIStringFixedFormAndFallback) {
    EXPECT_EQ(decodeABIString(padded("AB\0CD", 32)), "AB");
    // 32 to 63 bytes: the fixed form over the first 32.
    EXPECT_EQ(decodeABIString(padded("SAI", 40)), "SAI");
    // A bytes32 symbol of 64 bytes whose dynamic reading fails falls back to the fixed form,
    // even when its first byte is not zero.
    EXPECT_EQ(decodeABIString(join({padded("Maker", 32), padded("x", 32)})), "Maker");
    EXPECT_EQ(decodeABIString(join({padded("HI", 32), word(5)})), "HI");

    EXPECT_FALSE(decodeABIString({}));
    EXPECT_FALSE(decodeABIString(padded("SHORT", 31)));
    EXPECT_FALSE(decodeABIString(padded("\xff\xfe", 32)));
    // The empty string (offset 32, length 0) fails both forms.
    EXPECT_FALSE(decodeABIString(abiString("")));
    // 256 bytes or more, or invalid UTF-8, fail the dynamic form; the fixed form then sees
    // the offset word.
    EXPECT_FALSE(decodeABIString(abiString(std::string(256, 'x'))));
    EXPECT_FALSE(decodeABIString(abiString("\xc3\x28")));
}

TEST(ERC20, DecodeABIStringRejectsHostileOffsetsAndLengths) {
    // Offsets and lengths whose sums wrap around 2^64 must not pass a bounds check.
    EXPECT_FALSE(decodeABIString(join({word(0xffffffffffffffe0ull), padded("ABCD", 32)})));
    EXPECT_FALSE(decodeABIString(join({word(~0ull), padded("ABCD", 32)})));
    EXPECT_FALSE(decodeABIString(join({word(32), word(~0ull), padded("ABCD", 32)})));
    EXPECT_FALSE(decodeABIString(join({word(32), word(0xffffffffffffffc1ull), padded("A", 32)})));
    // Within range but past the end.
    EXPECT_FALSE(decodeABIString(join({word(33), word(1)})));
    EXPECT_FALSE(decodeABIString(join({word(32), word(1)})));
    EXPECT_FALSE(decodeABIString(join({word(32), word(33), padded("A", 32)})));
    // The last possible offset and the longest fitting length are fine.
    EXPECT_EQ(decodeABIString(join({word(32), word(32), padded(std::string(32, 'q'), 32)})),
              std::string(32, 'q'));
}
