#include "FakeKeychain.h"
#include "TestHex.h"
#include "platform/Crypto.h"
#include "platform/Keychain.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace qm {
namespace {

// Run against the in-memory keychain and, under gnome-keyring, the Secret Service.
class KeychainContract : public ::testing::Test {
protected:
    void SetUp() override {
        if (const auto reason = test::keychainUnavailableReason()) {
            GTEST_SKIP() << "Secret Service unavailable: " << *reason;
        }
        keychain_ = test::testKeychainBackend();
        account_ = "contract-" + test::hex(crypto::randomBytes(8));
    }
    void TearDown() override {
        if (keychain_) {
            keychain_->remove(service_, account_);
            keychain_->remove("com.quillmark.wallet.other", account_);
        }
    }

    std::shared_ptr<Keychain> keychain_;
    const std::string service_ = "com.quillmark.wallet.contract";
    std::string account_;
};

TEST_F(KeychainContract, StoresReplacesAndRemovesBinaryItems) {
    // Zero bytes in the middle and at the end survive (sealed boxes hold any byte).
    Bytes value = {0x00, 0x01, 0x00, 0xff, 0x42, 0x00};
    EXPECT_EQ(keychain_->load(service_, account_), std::nullopt);
    keychain_->save(service_, account_, value);
    EXPECT_EQ(keychain_->load(service_, account_), value);

    const Bytes longer = crypto::randomBytes(4096);
    keychain_->save(service_, account_, longer);
    EXPECT_EQ(keychain_->load(service_, account_), longer);

    // Service and account both name the item.
    keychain_->save("com.quillmark.wallet.other", account_, value);
    keychain_->save(service_, account_, longer);
    EXPECT_EQ(keychain_->load("com.quillmark.wallet.other", account_), value);
    EXPECT_EQ(keychain_->load(service_, account_ + "x"), std::nullopt);

    // Removing is idempotent.
    keychain_->remove(service_, account_);
    EXPECT_EQ(keychain_->load(service_, account_), std::nullopt);
    EXPECT_NO_THROW(keychain_->remove(service_, account_));
}

TEST(SecretServiceKeychain, FailuresCarryACodeWhenNoServiceAnswers) {
    if (test::usingSecretService() || test::keychainUnavailableReason()) {
        GTEST_SKIP() << "runs without a session bus only";
    }
    // No session bus and no display to start one: every call fails with a non-zero code.
    const char* saved = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const std::string address = saved ? saved : "";
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/quillmark-bus", 1);
    SecretServiceKeychain keychain;
    try {
        keychain.load("com.quillmark.wallet.contract", "absent");
        ADD_FAILURE() << "a load without a bus succeeded";
    } catch (const KeychainBackendError& error) {
        EXPECT_NE(error.code(), 0);
    }
    if (saved) {
        ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    } else {
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }
}

} // namespace
} // namespace qm
