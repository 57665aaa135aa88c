#include "platform/Keychain.h"

#include <libsecret/secret.h>
#include <memory>

namespace qm {
namespace {

const SecretSchema* schema() {
    static const SecretSchema value = {
        "com.quillmark.wallet.Item",
        SECRET_SCHEMA_NONE,
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
Attributes attributes(std::string_view service, std::string_view account) {
    Attributes table(g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free));
    g_hash_table_insert(table.get(), g_strdup("service"),
                        g_strndup(service.data(), service.size()));
    g_hash_table_insert(table.get(), g_strdup("account"),
                        g_strndup(account.data(), account.size()));
    return table;
}

// Turns a GError into our error; its code is kept (0 would read as success, so it becomes -1).
[[noreturn]] void fail(const char* operation, GError* error) {
    std::int32_t code = -1;
    std::string what = operation;
    if (error != nullptr) {
        if (error->code != 0) {
            code = error->code;
        }
        what += ": ";
        what += error->message;
        g_error_free(error);
    }
    throw KeychainBackendError(code, what);
}

} // namespace

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
    // False without an error means nothing matched: an absent item counts as removed.
    if (!secret_password_clearv_sync(schema(), table.get(), nullptr, &error) && error != nullptr) {
        fail("Secret Service clear failed", error);
    }
}

} // namespace qm
