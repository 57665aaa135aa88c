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
        {0xFFFFFFFF, "ea4f5bfe8694d8bb74b7b59404632fd5968b774ed545e810de9c32a4fb4192f4",
         "138f0b2551bcafeca6ff2aa88ba8ed0ed8de070841f0c4ef0165df8181eaad7f",
         "5ba3b9ac6e90e83effcd25ac4e58a1365a9e35a3d3ae5eb07b9e4d90bcf7506d"},
        {0x80000001, "3757c7577170179c7868353ada796c839135b3d30554bbb74a4b1e4a5a58505c",
         "73bd9fff1cfbde33a1b846c27085f711c0fe2d66fd32e139d3ebc28e5a4a6b90",
         "2e66aa57069c86cc18249aecf5cb5a9cebbfd6fadeab056254763874a9352b45"},
        {0xFFFFFFFE, "5837736c89570de861ebc173b1086da4f505d4adb387c6a1b1342d5e4ac9ec72",
         "0902fe8a29f9140480a00ef244bd183e8a13288e4412d8389d140aac1794825a",
         "e33c0f7d81d843c572275f287498e8d408654fdf0d1e065b84e2e6f157aab09b"},
        {0x80000002, "551d333177df541ad876a60ea71f00447931c0a9da16f227c11ea080d7391b8d",
         "5d70af781f3a37b829f0d060924d5e960bdc02e85423494afc0b1a41bbe196d4",
         "47150c75db263559a70d5778bf36abbab30fb061ad69f69ece61a72b0cfa4fc0"},
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
    EXPECT_DEATH(slip10Ed25519MasterKey(Bytes(32, 0)), "");
    EXPECT_DEATH(slip10Ed25519HardenedChild(key, key, 0x7FFFFFFF), "");
    EXPECT_DEATH(slip10Ed25519HardenedChild(Bytes(31, 1), key, 0x80000000), "");
    EXPECT_DEATH(slip10Ed25519HardenedChild(key, Bytes(33, 1), 0x80000000), "");
}

TEST(Ed25519, SignsPerRFC8032AndVerifies) {
    // RFC 8032 section 7.1, tests 1 and 2.
    EXPECT_EQ(
        hex(ed25519Sign({}, unhex("9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031ca"
                                  "e7f60"))),
        "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e"
        "39701cf9b46bd25bf5f0595bbe24655141438e7a100b");
    EXPECT_EQ(hex(ed25519Sign(unhex("72"), unhex("4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624"
                                                 "da8cf6ed4fb8a6fb"))),
              "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f"
              "3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00");

    const Bytes key = crypto::sha256(ascii("solana key"));
    const Bytes message = ascii("transfer message");
    const Bytes signature = ed25519Sign(message, key);
    ASSERT_EQ(signature.size(), 64u);
    EXPECT_TRUE(crypto::ed25519Verify(signature, message, crypto::ed25519PublicKey(key)));
    EXPECT_FALSE(
        crypto::ed25519Verify(signature, ascii("transfer messagf"), crypto::ed25519PublicKey(key)));
}

TEST(Ed25519, SigningRefusesKeysOfOtherLengths) {
    for (const std::size_t size : {0, 31, 33, 64}) {
        try {
            ed25519Sign(ascii("m"), Bytes(size, 1));
            ADD_FAILURE() << "signed with a key of " << size << " bytes";
        } catch (const Ed25519Error& error) {
            EXPECT_EQ(error.code(), Ed25519Error::Code::invalidKeyLength);
            EXPECT_STREQ(error.what(), "Ed25519 key must be exactly 32 bytes.");
        }
    }
    EXPECT_STREQ(Ed25519Error(Ed25519Error::Code::signingFailed).what(),
                 "Ed25519 signing operation failed.");
    EXPECT_STREQ(Ed25519Error(Ed25519Error::Code::invalidSignatureLength).what(),
                 "Ed25519 signature must be exactly 64 bytes.");
    EXPECT_STREQ(Ed25519Error(Ed25519Error::Code::verificationFailed).what(),
                 "Ed25519 signature verification failed.");
}

TEST(Ed25519, SystemProgramIDIsAllZeros) {
    EXPECT_EQ(systemProgramID(), Bytes(32, 0));
    EXPECT_EQ(&systemProgramID(), &systemProgramID());
}

} // namespace
} // namespace qm
