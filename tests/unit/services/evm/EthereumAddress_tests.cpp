#include "TestHex.h"
#include "core/crypto/Secp256k1.h"
#include "services/evm/EthereumAddress.h"

#include <gtest/gtest.h>

using qm::eip55Checksum;
using qm::ethereumAddress;
using qm::test::unhex;

TEST(EthereumAddress, EIP55PublishedExamples) {
    // The examples of EIP-55: mixed case, all upper and all lower; the bytes carry no case.
    for (const std::string expected : {"0x5aAeb6053F3E94C9b9A09f33669435E7Ef1BeAed",
                                       "0x52908400098527886E0F7030069857D2E4169EE7",
                                       "0xde709f2102306220921060314715629080e2fb77"}) {
        EXPECT_EQ(eip55Checksum(unhex(expected)), expected);
    }
}

TEST(EthereumAddress, AddressOfPublicKeys) {
    // Private key 1: the generator point, with or without its 0x04.
    const auto generator =
        unhex("0479be667ef9dcbbac55a06295ce870b07029bfcdb2dce28d959f2815b16f81798"
              "483ada7726a3c4655da4fbfc0e1108a8fd17b448a68554199c47d08ffb10d4b8");
    EXPECT_EQ(ethereumAddress(generator), "0x7E5F4552091A69125d5DfCb7b8C2659029395Bdf");
    EXPECT_EQ(ethereumAddress(qm::ByteView(generator).subspan(1)),
              "0x7E5F4552091A69125d5DfCb7b8C2659029395Bdf");
    // anvil's first development account (key from its published test mnemonic).
    EXPECT_EQ(ethereumAddress(qm::Secp256k1::shared().uncompressedPublicKey(
                  unhex("ac0974bec39a17e36ba4a6b4d238ff944bacb478cbed5efcae784d7bf4f2ff80"))),
              "0xf39Fd6e51aad88F6F4ce6aB8827279cffFb92266");
}

TEST(EthereumAddressDeathTest, WrongLengthsAreBrokenInvariants) {
    EXPECT_DEATH(eip55Checksum(std::vector<std::uint8_t>(19, 1)), "");
    EXPECT_DEATH(ethereumAddress(std::vector<std::uint8_t>(65, 2)), "");
}
