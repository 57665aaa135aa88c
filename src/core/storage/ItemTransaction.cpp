#include "core/storage/ItemTransaction.h"

#include "core/storage/KeychainManager.h"

#include <iostream>

namespace qm {

ItemTransaction::~ItemTransaction() {
    if (committed_) {
        return;
    }
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

void ItemTransaction::write(const std::string& name, ByteView value) {
    // Read first: a save may clear the old item before it fails.
    std::optional<Bytes> before = keychain_.loadItem(name);
    earlier_.push_back({name, std::move(before)});
    keychain_.storeItem(name, value);
}

} // namespace qm
