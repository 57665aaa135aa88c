#include "platform/Settings.h"

#include "platform/AtomicFile.h"

#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QString>
#include <cctype>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace qm {
namespace {

QString qstring(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

bool namesOwner(const QString& lockName) {
    qint64 pid = 0;
    QString host;
    QString program;
    return QLockFile(lockName).getLockInfo(&pid, &host, &program);
}

// QLockFile names its owner in the lock only after creating it, so a process killed in between
// leaves it empty; QLockFile calls such a lock stale only once it is 30 s old, and QSettings'
// next write waits that long. Every live holder keeps an flock on its lock: an empty or
// unreadable lock that nobody holds is removed.
void removeOwnerlessLock(const QString& lockName) {
    if (namesOwner(lockName)) {
        return; // QLockFile judges a named owner itself
    }
    const QByteArray path = QFile::encodeName(lockName);
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return;
    }
    // Under our flock no holder can name itself any more; one that had is left alone.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && !namesOwner(lockName)) {
        ::unlink(path.constData());
    }
    ::close(fd);
}

// QSettings writes through a temporary "<file>.XXXXXX" beside the file, which a kill leaves.
bool isTemporaryOf(const std::string& name, const std::string& file) {
    constexpr std::size_t suffix = 6;
    if (name.size() != file.size() + 1 + suffix || name.compare(0, file.size(), file) != 0 ||
        name[file.size()] != '.') {
        return false;
    }
    for (std::size_t i = file.size() + 1; i < name.size(); ++i) {
        if (std::isalnum(static_cast<unsigned char>(name[i])) == 0) {
            return false;
        }
    }
    return true;
}

void removeTemporaries(const std::filesystem::path& file) {
    std::error_code error;
    const std::string name = file.filename().string();
    for (const auto& entry : std::filesystem::directory_iterator(file.parent_path(), error)) {
        if (isTemporaryOf(entry.path().filename().string(), name) &&
            entry.symlink_status(error).type() == std::filesystem::file_type::regular) {
            std::filesystem::remove(entry.path(), error);
        }
    }
}

} // namespace

Settings& Settings::standard() {
    // Named explicitly, so the store does not depend on how the application object was set up.
    static Settings instance(
        std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                    QStringLiteral("Quillmark"), QStringLiteral("Quillmark")));
    return instance;
}

Settings::Settings(const std::filesystem::path& path)
    : Settings(std::make_unique<QSettings>(QString::fromStdString(path.string()),
                                           QSettings::IniFormat)) {}

Settings::Settings(std::unique_ptr<QSettings> settings) : settings_(std::move(settings)) {
    removeStaleLock();
}

// QSettings guards its writes with "<file>.lock", which a killed process leaves behind and
// which stays until the next write. Taking it removes it when its holder is gone; a live
// holder keeps it. Holding it, no write is under way: any temporary left is a killed write's.
void Settings::removeStaleLock() {
    const QString lockName = settings_->fileName() + QStringLiteral(".lock");
    removeOwnerlessLock(lockName);
    QLockFile lock(lockName);
    if (lock.tryLock(0)) {
        removeTemporaries(QFileInfo(settings_->fileName()).absoluteFilePath().toStdString());
        lock.unlock();
    }
}

// QSettings makes its folder 0777 and its file 0666, less the umask, while a file that exists
// keeps its mode when QSettings replaces it. So before the first write both are made here,
// private.
void Settings::prepareFile() {
    if (prepared_) {
        return;
    }
    prepared_ = true;
    const std::filesystem::path file = settings_->fileName().toStdString();
    try {
        ensureDirectory(file.parent_path(), 0700);
    } catch (const FileError&) {
        return; // QSettings reports the failure through its status on its own.
    }
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0) {
        ::fchmod(fd, 0600);
        ::close(fd);
    }
}

Settings::~Settings() = default;

std::optional<std::string> Settings::string(std::string_view key) const {
    const QVariant value = settings_->value(qstring(key));
    if (!value.isValid() || value.typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    return value.toString().toStdString();
}

void Settings::setString(std::string_view key, std::string_view value) {
    prepareFile();
    settings_->setValue(qstring(key), qstring(value));
}

void Settings::remove(std::string_view key) {
    prepareFile();
    settings_->remove(qstring(key));
}

void Settings::sync() {
    settings_->sync();
}

} // namespace qm
