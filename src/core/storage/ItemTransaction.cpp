#include "core/storage/ItemTransaction.h"

#include "core/storage/KeychainManager.h"

#include <iostream>

namespace qm {

void ItemTransaction::write(const std::string& name, ByteView value) {
    // Read before anything is written: a save may clear the old item before it fails.
    std::optional<Bytes> before = keychain_.loadItem(name);
    earlier_.push_back({name, std::move(before)});
    items_.emplace_back(name, Bytes(value.begin(), value.end()));
}

void ItemTransaction::commit() {
    try {
        keychain_.writeItemGroup(items_);
    } catch (const std::exception&) {
        rollBack();
        throw;
    }
}

void ItemTransaction::rollBack() {
    for (auto it = earlier_.rbegin(); it != earlier_.rend(); ++it) {
        try {
            if (it->value) {
                keychain_.storeItem(it->name, *it->value);
            } else {
                keychain_.deleteItem(it->name);
            }
        } catch (const std::exception& error) {
            // Both media refuse: nothing more can be done from here.
            std::cout << "[Backup] Could not put back " << it->name << ": " << error.what()
                      << std::endl;
        }
    }
}

} // namespace qm
