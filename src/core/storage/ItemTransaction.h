#pragma once
// Writes a group of stored items so that they all land or none does: the earlier value of
// each item is read before it is replaced, and unless the group is committed, dropping it
// puts every earlier value back (or removes an item that did not exist), newest first.

#include "platform/Bytes.h"

#include <optional>
#include <string>
#include <vector>

namespace qm {

class KeychainManager;

class ItemTransaction {
public:
    explicit ItemTransaction(KeychainManager& keychain) : keychain_(keychain) {}
    ~ItemTransaction();
    ItemTransaction(const ItemTransaction&) = delete;
    ItemTransaction& operator=(const ItemTransaction&) = delete;

    // Keeps the item's earlier value, then stores `value` under the write rule. Throws the
    // read or the write failure; the group then rolls back when it is dropped.
    void write(const std::string& name, ByteView value);
    // Keeps what was written.
    void commit() { committed_ = true; }

private:
    struct Earlier {
        std::string name;
        std::optional<Bytes> value;
    };

    KeychainManager& keychain_;
    std::vector<Earlier> earlier_;
    bool committed_ = false;
};

} // namespace qm
