#include "platform/AtomicFile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm {
namespace {

[[noreturn]] void fail(const std::string& what, const std::filesystem::path& path, int error) {
    throw FileError(what + " " + path.string() + ": " + std::strerror(error), error);
}

void writeAll(int fd, const std::uint8_t* data, std::size_t size,
              const std::filesystem::path& path) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail("cannot write", path, errno);
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

void syncDirectory(const std::filesystem::path& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        fail("cannot open folder", dir, errno);
    }
    const int result = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    if (result != 0) {
        fail("cannot sync folder", dir, error);
    }
}

} // namespace

void writeFileAtomically(const std::filesystem::path& path, ByteView bytes, unsigned mode) {
    const std::filesystem::path dir = path.has_parent_path() ? path.parent_path() : ".";
    std::string pattern = (dir / ("." + path.filename().string() + ".XXXXXX")).string();
    // mkstemp creates the file with mode 0600 whatever the umask.
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        fail("cannot create a temporary file for", path, errno);
    }
    const std::filesystem::path temp = pattern;
    try {
        if (::fchmod(fd, static_cast<mode_t>(mode)) != 0) {
            fail("cannot set the mode of", temp, errno);
        }
        writeAll(fd, bytes.data(), bytes.size(), temp);
        if (::fsync(fd) != 0) {
            fail("cannot sync", temp, errno);
        }
    } catch (...) {
        ::close(fd);
        ::unlink(temp.c_str());
        throw;
    }
    // Closed exactly once: a second close could hit a descriptor another thread just opened.
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        fail("cannot close", temp, error);
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        fail("cannot replace", path, error);
    }
    syncDirectory(dir);
}

std::optional<Bytes> readFileIfExists(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            return std::nullopt;
        }
        fail("cannot open", path, errno);
    }
    Bytes out;
    std::uint8_t buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int error = errno;
            ::close(fd);
            fail("cannot read", path, error);
        }
        if (got == 0) {
            break;
        }
        out.insert(out.end(), buffer, buffer + got);
    }
    ::close(fd);
    return out;
}

void ensureDirectory(const std::filesystem::path& path, unsigned mode) {
    // Made one level at a time: create_directories would give the parents 0777 less the
    // umask, which under umask 000 lets anyone swap the folder underneath.
    std::filesystem::path partial;
    for (const std::filesystem::path& part : path) {
        partial /= part;
        if (::mkdir(partial.c_str(), 0700) == 0) {
            if (::chmod(partial.c_str(), 0700) != 0) {
                fail("cannot set the mode of", partial, errno);
            }
        } else if (errno != EEXIST) {
            fail("cannot create folder", partial, errno);
        }
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        fail("cannot create folder", path, errno);
    }
    if (!S_ISDIR(info.st_mode)) {
        fail("cannot create folder", path, ENOTDIR);
    }
    if (::chmod(path.c_str(), static_cast<mode_t>(mode)) != 0) {
        fail("cannot set the mode of", path, errno);
    }
}

void removeInterruptedWrites(const std::filesystem::path& folder) {
    // mkostemp's six characters follow the target's name: ".<name>.XXXXXX".
    constexpr std::size_t suffix = 7;
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    if (error) {
        return;
    }
    for (const auto& entry : entries) {
        const std::string name = entry.path().filename().string();
        if (name.size() < 2 + suffix || name[0] != '.' || name[name.size() - suffix] != '.') {
            continue;
        }
        const bool random = std::all_of(name.end() - 6, name.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) != 0;
        });
        std::error_code kind;
        if (random && entry.is_regular_file(kind)) {
            ::unlink(entry.path().c_str());
        }
    }
}

void removeFileIfExists(const std::filesystem::path& path) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        fail("cannot remove", path, errno);
    }
}

} // namespace qm
