#include "FakeKeychain.h"
#include "TestHex.h"
#include "platform/Crypto.h"
#include "platform/Keychain.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

// Runs against the in-memory keychain and, under gnome-keyring, the Secret Service.
TEST(KeychainContract, StoresReplacesAndRemovesBinaryItems) {
    if (const auto reason = test::keychainUnavailableReason()) {
        GTEST_SKIP() << "Secret Service unavailable: " << *reason;
    }
    const auto keychain = test::testKeychainBackend();
    const std::string service = "com.quillmark.wallet.contract", other = service + ".other";
    const std::string account = "contract-" + test::hex(crypto::randomBytes(8));
    // Zero bytes in the middle and at the end survive (sealed boxes hold any byte).
    const Bytes value = {0x00, 0x01, 0x00, 0xff, 0x42, 0x00};
    const Bytes longer = crypto::randomBytes(4096);
    EXPECT_EQ(keychain->load(service, account), std::nullopt);
    keychain->save(service, account, value);
    keychain->save(other, account, value);
    keychain->save(service, account, longer);
    EXPECT_EQ(keychain->load(service, account), longer);
    EXPECT_EQ(keychain->load(other, account), value);
    EXPECT_EQ(keychain->load(service, account + "x"), std::nullopt);
    keychain->remove(service, account);
    keychain->remove(other, account);
    EXPECT_EQ(keychain->load(service, account), std::nullopt);
    EXPECT_NO_THROW(keychain->remove(service, account));
}

} // namespace
} // namespace qm
