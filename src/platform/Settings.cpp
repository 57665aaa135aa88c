#include "platform/Settings.h"

#include "platform/AtomicFile.h"

#include <QLockFile>
#include <QSettings>
#include <QString>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm {
namespace {

QString qstring(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
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
// holder keeps it.
void Settings::removeStaleLock() {
    QLockFile lock(settings_->fileName() + QStringLiteral(".lock"));
    if (lock.tryLock(0)) {
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
