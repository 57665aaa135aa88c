#include "platform/Settings.h"

#include <QSettings>
#include <QString>

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

Settings::Settings(std::unique_ptr<QSettings> settings) : settings_(std::move(settings)) {}

Settings::~Settings() = default;

std::optional<std::string> Settings::string(std::string_view key) const {
    const QVariant value = settings_->value(qstring(key));
    if (!value.isValid() || value.typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    return value.toString().toStdString();
}

void Settings::setString(std::string_view key, std::string_view value) {
    settings_->setValue(qstring(key), qstring(value));
}

void Settings::remove(std::string_view key) {
    settings_->remove(qstring(key));
}

void Settings::sync() {
    settings_->sync();
}

} // namespace qm
