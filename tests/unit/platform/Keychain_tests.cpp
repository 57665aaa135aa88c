// clang-format off
// GLib's headers name a field "signals", which Qt defines as a keyword: they come first.
#include <libsecret/secret.h>
// clang-format on

#include "FakeKeychain.h"
#include "TestHex.h"
#include "core/storage/KeychainManager.h"
#include "platform/Crypto.h"
#include "platform/Keychain.h"

#include <QTemporaryDir>
#include <atomic>
#include <cstdlib>
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

// How with-gnome-keyring.sh set the keyring up: "" (an unlocked login keyring), "locked" (the
// same, for a test to lock) or "absent" (the daemon without any keyring).
std::optional<std::string> secretServiceSetup() {
    const char* backend = std::getenv("QM_KEYCHAIN_BACKEND");
    if (backend == nullptr || std::string_view(backend) != "secret-service") {
        return std::nullopt;
    }
    const char* setup = std::getenv("QM_KEYRING_SETUP");
    return setup ? setup : "";
}

// The default collection as the service names it now; null when there is none.
SecretCollection* defaultCollection(SecretService* service) {
    GError* error = nullptr;
    SecretCollection* collection = secret_collection_for_alias_sync(
        service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, &error);
    g_clear_error(&error);
    return collection;
}

// Counts what this process asks of the Secret Service that would show a dialog: creating a
// keyring, unlocking one, or running a prompt.
class PromptWatch {
public:
    PromptWatch() : bus_(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr)) {
        filter_ = g_dbus_connection_add_filter(bus_, &PromptWatch::filter, this, nullptr);
    }
    ~PromptWatch() {
        g_dbus_connection_remove_filter(bus_, filter_);
        g_object_unref(bus_);
    }
    int asked() const { return asked_; }

private:
    static GDBusMessage* filter(GDBusConnection*, GDBusMessage* message, gboolean incoming,
                                gpointer self) {
        const char* member = g_dbus_message_get_member(message);
        const char* interface = g_dbus_message_get_interface(message);
        if (!incoming && member != nullptr &&
            (std::string_view(member) == "CreateCollection" ||
             std::string_view(member) == "Unlock" ||
             (interface != nullptr &&
              std::string_view(interface) == "org.freedesktop.Secret.Prompt"))) {
            ++static_cast<PromptWatch*>(self)->asked_;
        }
        return message;
    }
    GDBusConnection* bus_;
    guint filter_ = 0;
    std::atomic<int> asked_ = 0;
};

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds probeTimeout(5000);

TEST(SecretServiceProbe, AnUnlockedKeyringIsUsedAndKeepsNoProbeItem) {
    if (secretServiceSetup() != "") {
        GTEST_SKIP() << "needs an unlocked gnome-keyring";
    }
    SecretServiceKeychain keychain;
    keychain.save(Keychain::probeService, Keychain::probeAccount, Bytes{0x42}); // a stale one
    EXPECT_EQ(keychain.probe(probeTimeout), KeychainStatus::usable);
    EXPECT_EQ(keychain.load(Keychain::probeService, Keychain::probeAccount), std::nullopt);
    const std::string account = "probe-test-" + test::hex(crypto::randomBytes(8));
    EXPECT_EQ(keychain.holdsItem("com.quillmark.wallet", account, probeTimeout), false);
    keychain.save("com.quillmark.wallet", account, Bytes{1});
    EXPECT_EQ(keychain.holdsItem("com.quillmark.wallet", account, probeTimeout), true);
    keychain.remove("com.quillmark.wallet", account);
}

// Locking needs no prompt; unlocking would, so this runs in a keyring session of its own.
TEST(SecretServiceProbe, ALockedKeyringIsReportedAndSearchedWithoutAPrompt) {
    if (secretServiceSetup() != "locked") {
        GTEST_SKIP() << "needs a gnome-keyring of its own to lock";
    }
    SecretServiceKeychain keychain;
    keychain.save("com.quillmark.wallet", "wallet-metadata", test::ascii("{}"));
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, nullptr);
    ASSERT_TRUE(service);
    SecretCollection* collection = defaultCollection(service);
    ASSERT_TRUE(collection);
    GList* objects = g_list_append(nullptr, collection);
    ASSERT_EQ(secret_service_lock_sync(service, objects, nullptr, nullptr, nullptr), 1);
    g_list_free(objects);
    ASSERT_TRUE(secret_collection_get_locked(collection));

    const PromptWatch prompts;
    const auto start = Clock::now();
    EXPECT_EQ(keychain.probe(probeTimeout), KeychainStatus::locked);
    EXPECT_EQ(keychain.holdsItem("com.quillmark.wallet", "wallet-metadata", probeTimeout), true);
    EXPECT_EQ(keychain.holdsItem("com.quillmark.wallet", "no-such-item", probeTimeout), false);
    // Answered at once: a prompt would have waited for a user until the time-out.
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));

    // The manager neither writes there nor takes the locked keyring for "no wallet".
    QTemporaryDir dir;
    KeychainManager::Config config;
    config.keychain = std::make_shared<SecretServiceKeychain>();
    config.dataLocation = dir.path().toStdString();
    KeychainManager manager(std::move(config));
    EXPECT_EQ(manager.keychainStatus(), KeychainStatus::locked);
    EXPECT_TRUE(manager.useFileFallback());
    EXPECT_TRUE(manager.walletMayBeInLockedKeychain());
    EXPECT_EQ(manager.loadItem(KeychainManager::walletMetadataItem), std::nullopt);
    EXPECT_TRUE(secret_collection_get_locked(collection));
    // Removing a locked item leaves it in place without a word from the service: that is a
    // failure, not a removal ("Delete Wallet" looked done and the wallet came back).
    EXPECT_THROW(keychain.remove("com.quillmark.wallet", "wallet-metadata"), KeychainLockedError);
    EXPECT_EQ(keychain.holdsItem("com.quillmark.wallet", "wallet-metadata", probeTimeout), true);
    EXPECT_THROW(keychain.accounts("com.quillmark.wallet"), KeychainLockedError);
    EXPECT_EQ(prompts.asked(), 0);
    // Read, it asks for the keyring's prompt (which cannot show here): a locked item is not
    // an absent one.
    EXPECT_THROW(keychain.load("com.quillmark.wallet", "wallet-metadata"), KeychainLockedError);
    g_object_unref(collection);
    g_object_unref(service);
}

// After a reboot the session bus starts the daemon with the login keyring still locked: it
// then shows each item's attributes hashed and its schema as a generic one. The wallet's
// items must still be found there, by service and account, without a prompt.
TEST(SecretServiceProbe, AKeyringStartedLockedStillShowsTheWalletItHolds) {
    const auto setup = secretServiceSetup();
    if (setup == "prepare") {
        SecretServiceKeychain keychain;
        keychain.save("com.quillmark.wallet", "wallet-metadata", test::ascii("{}"));
        keychain.save("com.quillmark.wallet", "seed-prepared", Bytes{1});
        return;
    }
    if (setup != "lockedstart") {
        GTEST_SKIP() << "needs a gnome-keyring started locked by D-Bus activation";
    }
    const PromptWatch prompts;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, nullptr);
    ASSERT_TRUE(service);
    SecretCollection* collection = defaultCollection(service);
    ASSERT_TRUE(collection);
    ASSERT_TRUE(secret_collection_get_locked(collection));

    SecretServiceKeychain keychain;
    EXPECT_EQ(keychain.probe(probeTimeout), KeychainStatus::locked);
    EXPECT_EQ(keychain.holdsItem("com.quillmark.wallet", "wallet-metadata", probeTimeout), true);
    EXPECT_EQ(keychain.holdsItem("com.quillmark.wallet", "seed-other", probeTimeout), false);
    EXPECT_EQ(keychain.holdsAnyItem("com.quillmark.wallet", probeTimeout), true);
    EXPECT_EQ(keychain.holdsAnyItem("com.quillmark.wallet.none", probeTimeout), false);
    QTemporaryDir dir;
    KeychainManager::Config config;
    config.keychain = std::make_shared<SecretServiceKeychain>();
    config.dataLocation = dir.path().toStdString();
    const KeychainManager manager(std::move(config));
    EXPECT_TRUE(manager.walletMayBeInLockedKeychain());
    EXPECT_TRUE(secret_collection_get_locked(collection));
    EXPECT_EQ(prompts.asked(), 0);
    g_object_unref(collection);
    g_object_unref(service);
}

TEST(SecretServiceProbe, WithoutADefaultKeyringNothingIsCreated) {
    if (secretServiceSetup() != "absent") {
        GTEST_SKIP() << "needs a gnome-keyring without keyrings";
    }
    SecretServiceKeychain keychain;
    const PromptWatch prompts;
    const auto start = Clock::now();
    EXPECT_EQ(keychain.probe(probeTimeout), KeychainStatus::absent);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    // On a desktop the keyring's creation would ask for its password (here the dialog
    // cannot open, so the request itself is what counts).
    EXPECT_EQ(prompts.asked(), 0);
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, nullptr);
    ASSERT_TRUE(service);
    SecretCollection* collection = defaultCollection(service);
    EXPECT_FALSE(collection) << "the probe created a keyring (and asked for its password)";
    if (collection) {
        g_object_unref(collection);
    }
    g_object_unref(service);
}

} // namespace
} // namespace qm
