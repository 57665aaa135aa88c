#include "TestHex.h"
#include "core/crypto/Ed25519.h"
#include "platform/Crypto.h"

#include <gtest/gtest.h>
#include <string>

namespace qm {
namespace {

using test::ascii;
using test::hex;
using test::unhex;

std::string hexOf(const SecureBytes& bytes) {
    return hex(Bytes(bytes.begin(), bytes.end()));
}

TEST(Ed25519, Slip10Vector2) {
    const Bytes seed = unhex(
        "fffcf9f6f3f0edeae7e4e1dedbd8d5d2cfccc9c6c3c0bdbab7b4b1aeaba8a5a29f9c999693908d8a878481"
        "7e7b7875726f6c696663605d5a5754514e4b484542");
    struct Node {
        std::uint32_t index;
        const char* key;
        const char* chainCode;
        const char* publicKey;
    };
    const Node chain[] = {
        {0, "171cb88b1b3c1db25add599712e36245d75bc65a1a5c9e18d76f9f2b1eab4012",
         "ef70a74db9c3a5af931b5fe73ed8e1a53464133654fd55e7a66f8570b8e33c3b",
         "8fe9693f8fa62a4305a140b9764c5ee01e455963744fe18204b4fb948249308a"},
        {0x80000000, "1559eb2bbec5790b0c65d8693e4d0875b1747f4970ae8b650486ed7470845635",
         "0b78a3226f915c082bf118f83618a618ab6dec793752624cbeb622acb562862d",
         "86fab68dcb57aa196c77c5f264f215a112c22a912c10d123b0d03c3c28ef1037"},
    };
    Slip10Key node = slip10Ed25519MasterKey(seed);
    for (const auto& expected : chain) {
        SCOPED_TRACE(expected.key);
        if (expected.index != 0) {
            node = slip10Ed25519HardenedChild(node.key, node.chainCode, expected.index);
        }
        EXPECT_EQ(hexOf(node.key), expected.key);
        EXPECT_EQ(hexOf(node.chainCode), expected.chainCode);
        EXPECT_EQ(hex(crypto::ed25519PublicKey(node.key)), expected.publicKey);
    }
}

TEST(Ed25519, SlipTenPreconditionsStopTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const Bytes key(32, 1);
    EXPECT_DEATH(slip10Ed25519MasterKey(Bytes(63, 0)), "");
    EXPECT_DEATH(slip10Ed25519HardenedChild(key, key, 0x7FFFFFFF), "");
    EXPECT_DEATH(slip10Ed25519HardenedChild(Bytes(31, 1), key, 0x80000000), "");
}

TEST(Ed25519, SignsPerRFC8032AndRefusesKeysOfOtherLengths) {
    // RFC 8032 section 7.1, test 2. Signatures of derived keys are the keys peer's.
    EXPECT_EQ(hex(ed25519Sign(unhex("72"), unhex("4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624"
                                                 "da8cf6ed4fb8a6fb"))),
              "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f"
              "3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00");
    try {
        ed25519Sign(ascii("m"), Bytes(33, 1));
        ADD_FAILURE() << "signed with a 33-byte key";
    } catch (const Ed25519Error& error) {
        EXPECT_EQ(error.code(), Ed25519Error::Code::invalidKeyLength);
        EXPECT_STREQ(error.what(), "Ed25519 key must be exactly 32 bytes.");
    }
}

} // namespace
} // namespace qm
