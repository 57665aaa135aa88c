#pragma once
// Writes a group of stored items so that they all land or none does. The earlier value of
// each item is read while the group is staged; committing writes the group through a journal
// (KeychainManager::writeItemGroup), so a kill leaves the old values or the new ones, and a
// write that fails puts every earlier value back (or removes an item that did not exist),
// newest first, before the failure reaches the caller.

#include "platform/Bytes.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qm {

class KeychainManager;

class ItemTransaction {
public:
    explicit ItemTransaction(KeychainManager& keychain) : keychain_(keychain) {}
    ItemTransaction(const ItemTransaction&) = delete;
    ItemTransaction& operator=(const ItemTransaction&) = delete;

    // Adds the item to the group and keeps its earlier value. Throws the read failure.
    void write(const std::string& name, ByteView value);
    // Writes the group, in the order staged. Throws the write failure after the rollback.
    void commit();

private:
    struct Earlier {
        std::string name;
        std::optional<Bytes> value;
    };
    void rollBack();

    KeychainManager& keychain_;
    std::vector<Earlier> earlier_;
    std::vector<std::pair<std::string, Bytes>> items_;
};

} // namespace qm
