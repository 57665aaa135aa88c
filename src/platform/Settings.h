#pragma once
// User defaults: small texts kept across launches (the colour theme ...). The
// process-wide store lives in QSettings under the organisation and application
// name "Quillmark"; tests make their own over a file of their choosing.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QSettings;

namespace qm {

class Settings {
public:
    // The user's own defaults (organisation "Quillmark", application "Quillmark").
    static Settings& standard();
    // Defaults kept in an INI file at `path` (tests, tools).
    explicit Settings(const std::filesystem::path& path);
    // Both remove the file's lock (also an empty one) and its write's temporaries when a killed
    // process left them.
    ~Settings();
    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

    // The text under `key`; absent when there is none or the value is not text.
    std::optional<std::string> string(std::string_view key) const;
    void setString(std::string_view key, std::string_view value);
    void remove(std::string_view key);
    // Writes pending changes to storage now (QSettings also does so on its own).
    void sync();

private:
    explicit Settings(std::unique_ptr<QSettings> settings);
    // Makes the folder 0700 and the file 0600 before the first write.
    void prepareFile();
    void removeStaleLock();

    std::unique_ptr<QSettings> settings_;
    bool prepared_ = false;
};

} // namespace qm
