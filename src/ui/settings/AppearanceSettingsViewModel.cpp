#include "ui/settings/AppearanceSettingsViewModel.h"

#include "ui/theme/BRThemeManager.h"

namespace qm {
namespace {

BRTheme themeNamed(const QString& name) {
    return themeFromRawValue(name.toStdString()).value_or(BRTheme::appleBlue);
}

} // namespace

const ThemePreviewColors& themePreviewColors(BRTheme theme) {
    static const ThemePreviewColors dollarGreen{QColor(8, 18, 8), QColor(13, 26, 15),
                                                QColor(212, 168, 75), QColor(224, 245, 232)};
    // The text line is a touch lighter than the theme's own primary text (228/236/245).
    static const ThemePreviewColors appleBlue{QColor(14, 23, 38), QColor(21, 34, 54),
                                              QColor(10, 132, 255), QColor(234, 240, 248)};
    return theme == BRTheme::dollarGreen ? dollarGreen : appleBlue;
}

AppearanceSettingsViewModel::AppearanceSettingsViewModel(QObject* parent)
    : AppearanceSettingsViewModel(BRThemeManager::shared(), parent) {}

AppearanceSettingsViewModel::AppearanceSettingsViewModel(BRThemeManager& manager, QObject* parent)
    : QObject(parent), m_manager(manager), m_selected(manager.current()) {}

QString AppearanceSettingsViewModel::selectedTheme() const {
    return QString::fromStdString(rawValue(m_selected));
}

QStringList AppearanceSettingsViewModel::themes() const {
    QStringList names;
    for (BRTheme theme : allThemes()) {
        names.append(QString::fromStdString(rawValue(theme)));
    }
    return names;
}

void AppearanceSettingsViewModel::selectTheme(const QString& name) {
    const auto theme = themeFromRawValue(name.toStdString());
    if (!theme) {
        return;
    }
    if (m_selected != *theme) {
        m_selected = *theme;
        emit selectedThemeChanged();
    }
    m_manager.setCurrent(*theme);
}

QColor AppearanceSettingsViewModel::previewBackground(const QString& theme) const {
    return themePreviewColors(themeNamed(theme)).background;
}

QColor AppearanceSettingsViewModel::previewSidebar(const QString& theme) const {
    return themePreviewColors(themeNamed(theme)).sidebar;
}

QColor AppearanceSettingsViewModel::previewAccent(const QString& theme) const {
    return themePreviewColors(themeNamed(theme)).accent;
}

QColor AppearanceSettingsViewModel::previewText(const QString& theme) const {
    return themePreviewColors(themeNamed(theme)).text;
}

QString AppearanceSettingsViewModel::symbolName(const QString& theme) const {
    return themeNamed(theme) == BRTheme::dollarGreen ? QStringLiteral("leaf.fill")
                                                     : QStringLiteral("drop.fill");
}

} // namespace qm
