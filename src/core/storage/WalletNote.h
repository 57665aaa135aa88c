#pragma once
// A small note about a wallet that is not a secret: its id and where its secret items live,
// kept as a JSON file in the data folder ({"walletID": "...", "items": "keyring"}). Unlike the
// keyring's items it can be read when the keyring is locked or not running, which is when a
// start must know that a wallet is there.

#include <filesystem>
#include <optional>
#include <string>

namespace qm {

enum class ItemPlace { keyring, files };

struct WalletNote {
    // Empty in a note that does not decode: it still says that a wallet is in the keyring.
    std::string walletID;
    ItemPlace place = ItemPlace::keyring;

    bool operator==(const WalletNote&) const = default;
};

class WalletNoteFile {
public:
    explicit WalletNoteFile(std::filesystem::path path) : path_(std::move(path)) {}

    // The note; none without a file. A file that does not decode reads as a note of the
    // keyring without an id. Throws FileError when the file cannot be read.
    std::optional<WalletNote> read() const;
    // Replaces the note atomically (mode 0600). Throws FileError.
    void write(const WalletNote& note) const;
    // Removes the note; none counts as removed. Throws FileError.
    void remove() const;

private:
    std::filesystem::path path_;
};

} // namespace qm
