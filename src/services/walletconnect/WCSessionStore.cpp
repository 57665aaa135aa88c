#include "services/walletconnect/WCSessionStore.h"

#include "core/json/JSONReader.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"

#include <iostream>
#include <system_error>

namespace qm {

std::filesystem::path WCSessionStore::defaultFile() {
    return appDataDirectory() / "wc_sessions_v2.json";
}

namespace {

std::filesystem::path unreadableFile(const std::filesystem::path& file) {
    std::filesystem::path aside = file;
    aside += ".unreadable";
    return aside;
}

} // namespace

WCSessionStore::WCSessionStore(std::filesystem::path file) : m_file(std::move(file)) {}

std::vector<WCSession> WCSessionStore::load() {
    m_unreadable.clear();
    std::optional<Bytes> bytes;
    try {
        bytes = readFileIfExists(m_file);
    } catch (const FileError& error) {
        std::cout << "[WalletConnect] Cannot read the sessions: " << error.what() << std::endl;
        return {};
    }
    if (!bytes) {
        return {};
    }
    const std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    const auto stored = JSONReader::tryRead(text, JSONReader::stored);
    auto sessions = stored ? sessionsFromJSON(*stored) : std::nullopt;
    if (!sessions) {
        const std::filesystem::path aside = unreadableFile(m_file);
        std::error_code ignored;
        std::filesystem::rename(m_file, aside, ignored);
        std::cout << "[WalletConnect] The sessions file is unreadable; kept as " << aside.string()
                  << std::endl;
        return {};
    }
    if (!sessions->unreadable.empty()) {
        std::cout << "[WalletConnect] " << sessions->unreadable.size()
                  << " stored session(s) could not be read; kept as they are" << std::endl;
    }
    m_unreadable = std::move(sessions->unreadable);
    return std::move(sessions->sessions);
}

void WCSessionStore::save(const std::vector<WCSession>& sessions) {
    ensureDirectory(m_file.parent_path(), 0700);
    const std::string text = sessionsToJSON(sessions, m_unreadable).dump();
    writeFileAtomically(m_file, utf8View(text), 0600);
}

void WCSessionStore::remove() {
    m_unreadable.clear();
    removeFileIfExists(m_file);
    removeFileIfExists(unreadableFile(m_file));
}

} // namespace qm
