#include "TestHex.h"
#include "core/crypto/Keccak.h"
#include "core/crypto/Secp256k1.h"
#include "services/evm/EIP191.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

using test::ascii;
using test::hex;

TEST(EIP191, PrefixCarriesTheDecimalLength) {
    const std::string fixed = "\x19"
                              "Ethereum Signed Message:\n";
    ASSERT_EQ(fixed.size(), 26u);
    EXPECT_EQ(personalMessageDigest({}), keccak256(ascii(fixed + "0")));
    const Bytes thousand(1000, 'a');
    EXPECT_EQ(personalMessageDigest(thousand), keccak256(concat(ascii(fixed + "1000"), thousand)));
}

TEST(EIP191, SignatureIsCompactPlusRecoveryByte) {
    const Bytes key = keccak256(ascii("cow"));
    for (const std::string& message : {std::string(), std::string(1000, 'x')}) {
        const Bytes signature = personalSign(ascii(message), key);
        ASSERT_EQ(signature.size(), 65u);
        const auto [compact, recovery] =
            Secp256k1::shared().signRecoverable(personalMessageDigest(ascii(message)), key);
        EXPECT_EQ(Bytes(signature.begin(), signature.begin() + 64), compact);
        EXPECT_EQ(signature[64], recovery + 27);
        EXPECT_TRUE(signature[64] == 27 || signature[64] == 28);
        EXPECT_EQ(personalSign(ascii(message), key), signature);
    }
    EXPECT_THROW(personalSign(ascii("hi"), Bytes(31, 1)), Secp256k1Error);
    EXPECT_THROW(personalSign(ascii("hi"), Bytes(32, 0)), Secp256k1Error);
}

} // namespace
} // namespace qm
