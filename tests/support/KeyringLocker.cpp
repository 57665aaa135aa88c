#include "KeyringLocker.h"

#include <libsecret/secret.h>
#include <memory>

namespace qm::test {
namespace {

struct Unref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct VariantUnref {
    void operator()(GVariant* value) const { g_variant_unref(value); }
};
using Variant = std::unique_ptr<GVariant, VariantUnref>;

struct DefaultCollection {
    std::unique_ptr<SecretService, Unref> service;
    std::unique_ptr<SecretCollection, Unref> collection;
};

DefaultCollection defaultCollection() {
    DefaultCollection found;
    found.service.reset(secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, nullptr));
    if (found.service) {
        found.collection.reset(
            secret_collection_for_alias_sync(found.service.get(), SECRET_COLLECTION_DEFAULT,
                                             SECRET_COLLECTION_NONE, nullptr, nullptr));
    }
    return found;
}

bool isLocked(const DefaultCollection& found) {
    // The proxy's cached property may lag: asked again.
    secret_collection_refresh(found.collection.get());
    GError* error = nullptr;
    const Variant locked(g_dbus_connection_call_sync(
        g_dbus_proxy_get_connection(G_DBUS_PROXY(found.collection.get())),
        "org.freedesktop.secrets",
        g_dbus_proxy_get_object_path(G_DBUS_PROXY(found.collection.get())),
        "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", "org.freedesktop.Secret.Collection", "Locked"), G_VARIANT_TYPE("(v)"),
        G_DBUS_CALL_FLAGS_NONE, 20000, nullptr, &error));
    if (!locked) {
        g_clear_error(&error);
        return true;
    }
    Variant inner;
    {
        GVariant* value = nullptr;
        g_variant_get(locked.get(), "(v)", &value);
        inner.reset(value);
    }
    return g_variant_get_boolean(inner.get()) != FALSE;
}

} // namespace

bool KeyringLocker::lock() {
    const DefaultCollection found = defaultCollection();
    if (!found.collection) {
        return false;
    }
    GList objects{};
    objects.data = found.collection.get();
    GList* locked = nullptr;
    secret_service_lock_sync(found.service.get(), &objects, nullptr, &locked, nullptr);
    g_list_free_full(locked, g_object_unref);
    return isLocked(found);
}

bool KeyringLocker::unlock(const std::string& password) {
    const DefaultCollection found = defaultCollection();
    if (!found.collection) {
        return false;
    }
    // The password travels in a "plain" session of the same connection.
    GDBusConnection* bus = g_dbus_proxy_get_connection(G_DBUS_PROXY(found.service.get()));
    GError* error = nullptr;
    const Variant opened(g_dbus_connection_call_sync(
        bus, "org.freedesktop.secrets", "/org/freedesktop/secrets",
        "org.freedesktop.Secret.Service", "OpenSession",
        g_variant_new("(sv)", "plain", g_variant_new_string("")), G_VARIANT_TYPE("(vo)"),
        G_DBUS_CALL_FLAGS_NONE, 20000, nullptr, &error));
    if (!opened) {
        g_clear_error(&error);
        return false;
    }
    const char* session = nullptr;
    GVariant* output = nullptr;
    g_variant_get(opened.get(), "(v&o)", &output, &session);
    g_variant_unref(output);
    GVariant* parameters = g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, "", 0, 1);
    GVariant* value =
        g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, password.data(), password.size(), 1);
    const Variant unlocked(g_dbus_connection_call_sync(
        bus, "org.freedesktop.secrets", "/org/freedesktop/secrets",
        "org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface", "UnlockWithMasterPassword",
        g_variant_new("(o(o@ay@ays))",
                      g_dbus_proxy_get_object_path(G_DBUS_PROXY(found.collection.get())), session,
                      parameters, value, "text/plain"),
        G_VARIANT_TYPE("()"), G_DBUS_CALL_FLAGS_NONE, 20000, nullptr, &error));
    g_clear_error(&error);
    return unlocked && !isLocked(found);
}

} // namespace qm::test
