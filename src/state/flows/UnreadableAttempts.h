#pragma once
// What the ledger (AttemptLedger) found in its file and could not read, and where that went.
// The bytes are set aside as they stood, whatever they are, in a file of their own beside the
// ledger's ("unsettled-attempts.json.unreadable", then "….unreadable.2", …), never over an
// earlier one: they may be the only record of a transaction that can still land. The window
// says it once (unreadableAttemptsNotice).

#include <QString>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

struct UnreadableAttempts {
    // Where the bytes went; empty when they could not be read or set aside (see `failure`).
    std::filesystem::path aside;
    // How many entries of a list were set aside; 0: the whole file.
    std::size_t entries = 0;
    // Why they could not be read or set aside; empty when they were set aside.
    std::string failure;
    // The ledger's own file.
    std::filesystem::path file;
};

// Writes `bytes` whole and synced (0600) to the first free aside name beside `file`; that
// name. Throws FileError, and then nothing is set aside.
std::filesystem::path setAttemptsAside(const std::filesystem::path& file, std::string_view bytes);
// Every aside beside `file`, whatever start wrote it.
std::vector<std::filesystem::path> attemptsAsides(const std::filesystem::path& file);
// The elements at `indices` (ascending) of `list`, a text that reads as a JSON array, each
// byte for byte as it stands there, as the text of a JSON array of them.
std::string arrayElementsAsTheyStand(std::string_view list,
                                     const std::vector<std::size_t>& indices);

// What the window tells the user: what could not be read, the file that holds it now (or why
// it stays where it is), and that earlier transactions may still go through.
QString unreadableAttemptsNotice(const UnreadableAttempts& found);

} // namespace qm
