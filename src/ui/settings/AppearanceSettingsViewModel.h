#pragma once
// The Appearance tab: the theme marked on its cards, the fixed colours of each card's
// miniature window, and the choice itself, which goes to the theme manager (it stores the
// choice under "app_theme" and recolours every view).

#include "ui/theme/BRTheme.h"

#include <QColor>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

namespace qm {

class BRThemeManager;

// The four colours of a theme's miniature window; they belong to the card's theme, whatever
// theme is selected.
struct ThemePreviewColors {
    QColor background, sidebar, accent, text;
};
const ThemePreviewColors& themePreviewColors(BRTheme theme);

class AppearanceSettingsViewModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    // The marked card: the manager's theme when the tab was built, then the card last chosen.
    Q_PROPERTY(QString selectedTheme READ selectedTheme NOTIFY selectedThemeChanged)
    // "Dollar Green", then "Apple Blue".
    Q_PROPERTY(QStringList themes READ themes CONSTANT)

public:
    // Over the shared theme manager.
    explicit AppearanceSettingsViewModel(QObject* parent = nullptr);
    explicit AppearanceSettingsViewModel(BRThemeManager& manager, QObject* parent = nullptr);

    QString selectedTheme() const;
    QStringList themes() const;

    // A card's action: marks the theme and makes it the application's (stored every time).
    Q_INVOKABLE void selectTheme(const QString& name);

    Q_INVOKABLE QColor previewBackground(const QString& theme) const;
    Q_INVOKABLE QColor previewSidebar(const QString& theme) const;
    Q_INVOKABLE QColor previewAccent(const QString& theme) const;
    Q_INVOKABLE QColor previewText(const QString& theme) const;
    // The card's symbol: "leaf.fill" for Dollar Green, "drop.fill" for Apple Blue.
    Q_INVOKABLE QString symbolName(const QString& theme) const;

signals:
    void selectedThemeChanged();

private:
    BRThemeManager& m_manager;
    BRTheme m_selected;
};

} // namespace qm
