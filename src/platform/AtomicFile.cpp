#include "platform/AtomicFile.h"

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
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error) {
        fail("cannot create folder", path, error.value());
    }
    if (::chmod(path.c_str(), static_cast<mode_t>(mode)) != 0) {
        fail("cannot set the mode of", path, errno);
    }
}

void removeFileIfExists(const std::filesystem::path& path) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        fail("cannot remove", path, errno);
    }
}

} // namespace qm
