#include "ui/theme/BRThemeManager.h"

#include "platform/Settings.h"

#include <QQmlEngine>

namespace qm {
namespace {

constexpr std::string_view themeKey = "app_theme";

} // namespace

BRThemeManager& BRThemeManager::shared() {
    // Never released: views may read the theme until the very end of the process.
    static BRThemeManager* instance = new BRThemeManager(Settings::standard());
    return *instance;
}

BRThemeManager::BRThemeManager(Settings& settings, QObject* parent)
    : QObject(parent), m_settings(settings) {
    // Only an exact "Dollar Green" selects it; anything else, or nothing, means Apple Blue.
    const auto stored = m_settings.string(themeKey);
    if (stored && themeFromRawValue(*stored) == BRTheme::dollarGreen) {
        m_current = BRTheme::dollarGreen;
    }
}

BRThemeManager* BRThemeManager::create(QQmlEngine*, QJSEngine*) {
    BRThemeManager* manager = &shared();
    QQmlEngine::setObjectOwnership(manager, QQmlEngine::CppOwnership);
    return manager;
}

void BRThemeManager::setCurrent(BRTheme theme) {
    const bool changed = theme != m_current;
    m_current = theme;
    m_settings.setString(themeKey, rawValue(theme));
    if (changed) {
        emit currentChanged();
    }
}

QString BRThemeManager::currentName() const {
    return QString::fromStdString(rawValue(m_current));
}

void BRThemeManager::setCurrentName(const QString& name) {
    if (const auto theme = themeFromRawValue(name.toStdString())) {
        setCurrent(*theme);
    }
}

QStringList BRThemeManager::themeNames() const {
    QStringList names;
    for (BRTheme theme : allThemes()) {
        names.append(QString::fromStdString(rawValue(theme)));
    }
    return names;
}

} // namespace qm
