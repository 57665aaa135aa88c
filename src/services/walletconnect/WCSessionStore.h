#pragma once
// The approved sessions on disk. They hold the sessions' symmetric keys, so they live in a file
// of their own in the wallet's data folder (0700), written atomically with mode 0600: never in
// the settings file, which follows the umask.

#include "services/walletconnect/WCRecords.h"

#include <filesystem>
#include <nlohmann/json.hpp>
#include <vector>

namespace qm {

class WCSessionStore {
public:
    // "wc_sessions_v2.json" in the wallet's data folder.
    static std::filesystem::path defaultFile();

    explicit WCSessionStore(std::filesystem::path file);

    const std::filesystem::path& file() const { return m_file; }

    // The stored sessions, expired ones included, in stored order. Never throws: an entry
    // that does not decode is kept aside (and written back by save()); a file that cannot be
    // read as a list at all gives none and is moved aside to "<file>.unreadable" first, so
    // the next save cannot destroy what it held.
    std::vector<WCSession> load();
    // Replaces the file with `sessions` and the entries load() set aside. Throws FileError.
    void save(const std::vector<WCSession>& sessions);
    // Removes the file and what load() moved aside, keys and all, and forgets the entries set
    // aside. Throws FileError when a file stays.
    void remove();

private:
    std::filesystem::path m_file;
    std::vector<nlohmann::json> m_unreadable;
};

} // namespace qm
