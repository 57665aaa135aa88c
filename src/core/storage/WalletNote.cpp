#include "core/storage/WalletNote.h"

#include "core/json/JSONReader.h"
#include "platform/AtomicFile.h"

#include <nlohmann/json.hpp>

namespace qm {

std::optional<WalletNote> WalletNoteFile::read() const {
    const std::optional<Bytes> bytes = readFileIfExists(path_);
    if (!bytes) {
        return std::nullopt;
    }
    const auto json = JSONReader::tryRead(
        std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()),
        JSONReader::stored);
    WalletNote note;
    if (json && json->is_object()) {
        const auto id = json->find("walletID");
        const auto items = json->find("items");
        if (id != json->end() && id->is_string()) {
            note.walletID = id->get<std::string>();
        }
        if (items != json->end() && *items == "files") {
            note.place = ItemPlace::files;
        }
    }
    return note;
}

void WalletNoteFile::write(const WalletNote& note) const {
    const nlohmann::json json = {
        {"walletID", note.walletID},
        {"items", note.place == ItemPlace::keyring ? "keyring" : "files"},
    };
    const std::string text = json.dump();
    writeFileAtomically(path_, Bytes(text.begin(), text.end()), 0600);
}

void WalletNoteFile::remove() const {
    removeFileIfExists(path_);
}

} // namespace qm
