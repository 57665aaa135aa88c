#include "platform/Keychain.h"

#include <condition_variable>
#include <libsecret/secret.h>
#include <memory>
#include <mutex>
#include <thread>

namespace qm {
namespace {

// Items are stored under this schema's name ("xdg:schema"), but found by their service and
// account alone: a keyring that the session bus started locked shows every attribute of a
// locked item in a hashed form and its schema as a generic one, so a search that names the
// schema would find nothing there and take the wallet for absent.
const SecretSchema* schema() {
    static const SecretSchema value = {
        "com.quillmark.wallet.Item",
        SECRET_SCHEMA_DONT_MATCH_NAME,
        {
            {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
        },
        0,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
    };
    return &value;
}

struct HashTableDeleter {
    void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
struct ValueDeleter {
    void operator()(SecretValue* value) const { secret_value_unref(value); }
};
using Attributes = std::unique_ptr<GHashTable, HashTableDeleter>;

// The attribute table owns copies of both texts (a string_view need not end in 0).
Attributes attributes(std::string_view service, std::optional<std::string_view> account) {
    Attributes table(g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free));
    g_hash_table_insert(table.get(), g_strdup("service"),
                        g_strndup(service.data(), service.size()));
    if (account) {
        g_hash_table_insert(table.get(), g_strdup("account"),
                            g_strndup(account->data(), account->size()));
    }
    return table;
}

struct ItemListDeleter {
    void operator()(GList* items) const { g_list_free_full(items, g_object_unref); }
};
using ItemList = std::unique_ptr<GList, ItemListDeleter>;

// Turns a GError into our error; its code is kept (0 would read as success, so it becomes -1).
[[noreturn]] void fail(const char* operation, GError* error) {
    std::int32_t code = -1;
    std::string what = operation;
    bool locked = false;
    if (error != nullptr) {
        if (error->code != 0) {
            code = error->code;
        }
        locked = g_error_matches(error, SECRET_ERROR, SECRET_ERROR_IS_LOCKED);
        what += ": ";
        what += error->message;
        g_error_free(error);
    }
    if (locked) {
        throw KeychainLockedError(what);
    }
    throw KeychainBackendError(code, what);
}

struct ObjectDeleter {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T> using GObjectPtr = std::unique_ptr<T, ObjectDeleter>;

// Cancels the calls given `cancellable()` once `timeout` has passed. A cancelled Secret
// Service call returns at once and dismisses any prompt it opened. The timer thread is
// joined when the guard goes, so nothing outlives the call it bounds.
class Deadline {
public:
    explicit Deadline(std::chrono::milliseconds timeout)
        : cancellable_(g_cancellable_new()), timer_([this, timeout] {
              std::unique_lock lock(mutex_);
              if (!finished_.wait_for(lock, timeout, [this] { return done_; })) {
                  g_cancellable_cancel(cancellable_);
              }
          }) {}
    ~Deadline() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        finished_.notify_all();
        timer_.join();
        g_object_unref(cancellable_);
    }
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

    GCancellable* cancellable() const { return cancellable_; }
    bool passed() const { return g_cancellable_is_cancelled(cancellable_); }

private:
    GCancellable* cancellable_;
    std::mutex mutex_;
    std::condition_variable finished_;
    bool done_ = false;
    std::thread timer_;
};

// No session bus, or nobody who provides the Secret Service on it.
bool isNoService(const GError* error) {
    if (error == nullptr || error->domain != G_DBUS_ERROR) {
        return error != nullptr && error->domain == G_IO_ERROR &&
               error->code != G_IO_ERROR_CANCELLED && error->code != G_IO_ERROR_TIMED_OUT;
    }
    switch (error->code) {
    case G_DBUS_ERROR_SERVICE_UNKNOWN:
    case G_DBUS_ERROR_NAME_HAS_NO_OWNER:
    case G_DBUS_ERROR_SPAWN_EXEC_FAILED:
    case G_DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND:
    case G_DBUS_ERROR_SPAWN_SERVICE_INVALID:
    case G_DBUS_ERROR_SPAWN_FAILED:
    case G_DBUS_ERROR_SPAWN_CHILD_EXITED:
    case G_DBUS_ERROR_SPAWN_FILE_INVALID:
    case G_DBUS_ERROR_FILE_NOT_FOUND:
        return true;
    default:
        return false;
    }
}

} // namespace

KeychainStatus Keychain::probe(std::chrono::milliseconds) {
    const std::uint8_t probeValue = 0x42;
    try {
        save(probeService, probeAccount, ByteView(&probeValue, 1));
    } catch (const KeychainBackendError&) {
        return KeychainStatus::locked;
    }
    try {
        remove(probeService, probeAccount);
    } catch (const KeychainBackendError&) {
        // A failing clear after a working store still means the keychain works.
    }
    return KeychainStatus::usable;
}

std::optional<bool> Keychain::holdsItem(std::string_view, std::string_view,
                                        std::chrono::milliseconds) {
    return std::nullopt;
}

KeychainUnlock Keychain::unlock(std::stop_token) {
    return KeychainUnlock::unlocked;
}

std::optional<bool> Keychain::holdsAnyItem(std::string_view, std::chrono::milliseconds) {
    return std::nullopt;
}

KeychainStatus SecretServiceKeychain::probe(std::chrono::milliseconds timeout) {
    const Deadline deadline(timeout);
    GError* error = nullptr;
    const GObjectPtr<SecretService> service(
        secret_service_get_sync(SECRET_SERVICE_NONE, deadline.cancellable(), &error));
    if (!service) {
        const bool absent = !deadline.passed() && isNoService(error);
        g_clear_error(&error);
        return absent ? KeychainStatus::absent : KeychainStatus::locked;
    }
    // Only looks the alias up: asking to store in the default collection would create it, and
    // the desktop would ask for a new keyring's password.
    const GObjectPtr<SecretCollection> collection(
        secret_collection_for_alias_sync(service.get(), SECRET_COLLECTION_DEFAULT,
                                         SECRET_COLLECTION_NONE, deadline.cancellable(), &error));
    if (error != nullptr) {
        const bool absent = !deadline.passed() && isNoService(error);
        g_clear_error(&error);
        return absent ? KeychainStatus::absent : KeychainStatus::locked;
    }
    if (!collection) {
        return KeychainStatus::absent;
    }
    if (secret_collection_get_locked(collection.get())) {
        return KeychainStatus::locked;
    }
    const Attributes table = attributes(probeService, probeAccount);
    const std::uint8_t probeValue = 0x42;
    const std::unique_ptr<SecretValue, ValueDeleter> value(secret_value_new(
        reinterpret_cast<const gchar*>(&probeValue), 1, "application/octet-stream"));
    const GObjectPtr<SecretItem> item(secret_item_create_sync(
        collection.get(), schema(), table.get(), "Quillmark probe", value.get(),
        SECRET_ITEM_CREATE_REPLACE, deadline.cancellable(), &error));
    if (!item) {
        g_clear_error(&error);
        return KeychainStatus::locked;
    }
    if (!secret_item_delete_sync(item.get(), deadline.cancellable(), &error)) {
        // A failing clear after a working store still means the keychain works.
        g_clear_error(&error);
    }
    return KeychainStatus::usable;
}

namespace {

// The items whose attributes match, in every collection, locked or not; nothing is unlocked
// and no prompt shows. None when the service cannot be asked in time.
std::optional<ItemList> searchItems(const Attributes& table, GCancellable* cancellable) {
    GError* error = nullptr;
    const GObjectPtr<SecretService> secrets(
        secret_service_get_sync(SECRET_SERVICE_NONE, cancellable, &error));
    if (!secrets) {
        g_clear_error(&error);
        return std::nullopt;
    }
    GList* items = secret_service_search_sync(secrets.get(), schema(), table.get(),
                                              SECRET_SEARCH_ALL, cancellable, &error);
    if (error != nullptr) {
        g_list_free_full(items, g_object_unref);
        g_clear_error(&error);
        return std::nullopt;
    }
    return ItemList(items);
}

} // namespace

std::optional<bool> SecretServiceKeychain::holdsItem(std::string_view service,
                                                     std::string_view account,
                                                     std::chrono::milliseconds timeout) {
    const Deadline deadline(timeout);
    const std::optional<ItemList> items =
        searchItems(attributes(service, account), deadline.cancellable());
    return items ? std::optional(*items != nullptr) : std::nullopt;
}

std::optional<bool> SecretServiceKeychain::holdsAnyItem(std::string_view service,
                                                        std::chrono::milliseconds timeout) {
    const Deadline deadline(timeout);
    const std::optional<ItemList> items =
        searchItems(attributes(service, std::nullopt), deadline.cancellable());
    return items ? std::optional(*items != nullptr) : std::nullopt;
}

std::vector<std::string> SecretServiceKeychain::accounts(std::string_view service) {
    const std::optional<ItemList> items = searchItems(attributes(service, std::nullopt), nullptr);
    if (!items) {
        throw KeychainBackendError(-1, "Secret Service search failed");
    }
    std::vector<std::string> names;
    for (GList* node = items->get(); node != nullptr; node = node->next) {
        // A locked item may show its attributes hashed: a list without it would pass for
        // the whole list.
        if (secret_item_get_locked(static_cast<SecretItem*>(node->data))) {
            throw KeychainLockedError("Secret Service items are locked");
        }
        const Attributes found(secret_item_get_attributes(static_cast<SecretItem*>(node->data)));
        const auto* account = static_cast<const char*>(g_hash_table_lookup(found.get(), "account"));
        if (account != nullptr) {
            names.emplace_back(account);
        }
    }
    return names;
}

KeychainUnlock SecretServiceKeychain::unlock(std::stop_token stop) {
    const GObjectPtr<GCancellable> cancellable(g_cancellable_new());
    // A cancelled call closes the prompt it opened and returns.
    const std::stop_callback dismiss(
        stop, [cancel = cancellable.get()] { g_cancellable_cancel(cancel); });
    GError* error = nullptr;
    const auto ended = [&] {
        const bool cancelled =
            stop.stop_requested() || g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
        g_clear_error(&error);
        return cancelled ? KeychainUnlock::dismissed : KeychainUnlock::failed;
    };
    const GObjectPtr<SecretService> service(
        secret_service_get_sync(SECRET_SERVICE_NONE, cancellable.get(), &error));
    if (!service) {
        return ended();
    }
    // Looked up, never created: a new keyring would be a prompt of another kind.
    const GObjectPtr<SecretCollection> collection(
        secret_collection_for_alias_sync(service.get(), SECRET_COLLECTION_DEFAULT,
                                         SECRET_COLLECTION_NONE, cancellable.get(), &error));
    if (!collection) {
        return ended();
    }
    if (!secret_collection_get_locked(collection.get())) {
        return KeychainUnlock::unlocked;
    }
    GList objects{};
    objects.data = collection.get();
    GList* unlocked = nullptr;
    // Runs the service's prompt and waits for it; a prompt the user dismisses unlocks nothing.
    const gint count =
        secret_service_unlock_sync(service.get(), &objects, cancellable.get(), &unlocked, &error);
    g_list_free_full(unlocked, g_object_unref);
    if (error != nullptr) {
        return ended();
    }
    if (count > 0) {
        return KeychainUnlock::unlocked;
    }
    return KeychainUnlock::dismissed;
}

void SecretServiceKeychain::save(std::string_view service, std::string_view account,
                                 ByteView data) {
    try {
        remove(service, account);
    } catch (const KeychainBackendError&) {
        // A clear that fails shows again in the store below, which then reports it.
    }
    const Attributes table = attributes(service, account);
    const std::string label = "Quillmark " + std::string(service) + " " + std::string(account);
    // secret_value_new copies the bytes; the length is explicit, so 0x00 bytes are kept.
    std::unique_ptr<SecretValue, ValueDeleter> value(
        secret_value_new(reinterpret_cast<const gchar*>(data.data()),
                         static_cast<gssize>(data.size()), "application/octet-stream"));
    GError* error = nullptr;
    if (!secret_password_storev_binary_sync(schema(), table.get(), SECRET_COLLECTION_DEFAULT,
                                            label.c_str(), value.get(), nullptr, &error)) {
        fail("Secret Service store failed", error);
    }
}

namespace {

// Whether items matching `table` are still there, and whether one of them is locked; none
// when the service cannot be asked.
struct Remaining {
    bool any = false;
    bool locked = false;
};
std::optional<Remaining> remainingItems(const Attributes& table) {
    const std::optional<ItemList> items = searchItems(table, nullptr);
    if (!items) {
        return std::nullopt;
    }
    Remaining found;
    for (GList* node = items->get(); node != nullptr; node = node->next) {
        found.any = true;
        found.locked = found.locked || secret_item_get_locked(static_cast<SecretItem*>(node->data));
    }
    return found;
}

} // namespace

std::optional<Bytes> SecretServiceKeychain::load(std::string_view service,
                                                 std::string_view account) {
    const Attributes table = attributes(service, account);
    GError* error = nullptr;
    std::unique_ptr<SecretValue, ValueDeleter> value(
        secret_password_lookupv_binary_sync(schema(), table.get(), nullptr, &error));
    if (error != nullptr) {
        fail("Secret Service lookup failed", error);
    }
    if (!value) {
        // A locked item comes back as nothing once its unlock prompt was dismissed: it is
        // there, only out of reach.
        if (const auto left = remainingItems(table); left && left->locked) {
            throw KeychainLockedError("Secret Service item is locked");
        }
        return std::nullopt;
    }
    gsize length = 0;
    const auto* bytes =
        reinterpret_cast<const std::uint8_t*>(secret_value_get(value.get(), &length));
    return Bytes(bytes, bytes + length);
}

void SecretServiceKeychain::remove(std::string_view service, std::string_view account) {
    const Attributes table = attributes(service, account);
    GError* error = nullptr;
    // False without an error means nothing unlocked matched: an absent item counts as
    // removed, but a locked one is left in place without a word.
    if (!secret_password_clearv_sync(schema(), table.get(), nullptr, &error) && error != nullptr) {
        fail("Secret Service clear failed", error);
    }
    if (const auto left = remainingItems(table); left && left->any) {
        if (left->locked) {
            throw KeychainLockedError("Secret Service item is locked");
        }
        throw KeychainBackendError(-1, "Secret Service clear left the item");
    }
}

} // namespace qm
