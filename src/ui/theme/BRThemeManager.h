#pragma once
// The selected colour theme of the process, kept in the user defaults under "app_theme".
// The key is read once, when the shared manager is first used; a value written there by
// someone else while the program runs takes effect at the next start.

#include "ui/theme/BRTheme.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

class QQmlEngine;
class QJSEngine;

namespace qm {

class Settings;

class BRThemeManager : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    // The raw value of the selected theme; setting an unknown name is ignored.
    Q_PROPERTY(QString current READ currentName WRITE setCurrentName NOTIFY currentChanged)
    Q_PROPERTY(QStringList themes READ themeNames CONSTANT)

public:
    // The process-wide manager over the standard user defaults, created on first use.
    static BRThemeManager& shared();
    // A manager over `settings` (tests); reads "app_theme" now.
    explicit BRThemeManager(Settings& settings, QObject* parent = nullptr);

    // QML's singleton factory: always the shared instance, owned by C++.
    static BRThemeManager* create(QQmlEngine* engine, QJSEngine* script);

    BRTheme current() const { return m_current; }
    // Stores the theme's raw value under "app_theme" every time; notifies only on a change.
    void setCurrent(BRTheme theme);

    QString currentName() const;
    void setCurrentName(const QString& name);
    QStringList themeNames() const;

signals:
    void currentChanged();

private:
    Settings& m_settings;
    BRTheme m_current = BRTheme::appleBlue;
};

} // namespace qm
