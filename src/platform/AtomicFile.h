#pragma once
// Whole-file writes that never leave a partial file: a temporary file in the
// same folder (mode 0600), written, fsynced, then renamed over the target and
// the folder fsynced. A reader sees either the old file or the new one.

#include "platform/Bytes.h"
#include "platform/Error.h"

#include <filesystem>
#include <optional>
#include <string>

namespace qm {

class FileError : public Error {
public:
    FileError(std::string what, int errorNumber)
        : Error(std::move(what)), errorNumber_(errorNumber) {}
    int errorNumber() const { return errorNumber_; }

private:
    int errorNumber_;
};

// Writes `bytes` to `path` atomically with the given permission bits; throws FileError.
void writeFileAtomically(const std::filesystem::path& path, ByteView bytes, unsigned mode = 0600);
// Reads a whole file; absent when it does not exist; throws FileError on any other failure.
std::optional<Bytes> readFileIfExists(const std::filesystem::path& path);
// Creates a folder and sets its permission bits; parents it has to create get 0700 whatever
// the umask. Throws FileError.
void ensureDirectory(const std::filesystem::path& path, unsigned mode = 0700);
// Removes the temporary files that writes cut short left in `folder` (".<name>.XXXXXX"
// beside "<name>"); only call it while no write into the folder runs. Never throws.
void removeInterruptedWrites(const std::filesystem::path& folder);
// Removes a file; a missing file counts as removed; throws FileError on any other failure.
void removeFileIfExists(const std::filesystem::path& path);

} // namespace qm
