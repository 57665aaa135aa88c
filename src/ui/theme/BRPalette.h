#pragma once
// Every colour of the window by name. Theme colours follow the selected theme and are
// looked up at every read; fixed colours (chains, statuses) are the same in both themes.
// QML binds to the singleton, so a theme change recolours every open view at once.

#include "ui/theme/BRTheme.h"

#include <QColor>
#include <QObject>
#include <QtQml/qqmlregistration.h>

class QQmlEngine;
class QJSEngine;

namespace qm {

class BRThemeManager;
enum class Chain;

// The theme colours of one theme, and the colours of its two gradients.
struct ThemeColors {
    QColor background, backgroundSecondary, surface, accent, accentDeep, accentLight;
    QColor textPrimary, textSecondary, textTertiary, border;
    QColor primaryButtonFill, secondaryButtonFill, secondaryButtonBorder, gridLine;
    QColor backgroundGradientCentre; // radial, out to `background` at 500 points
    QColor sidebarGradientTop, sidebarGradientBottom;
};

const ThemeColors& themeColors(BRTheme theme);

// The fixed colours.
namespace palette {
QColor bitcoin();
QColor ethereum();
QColor arbitrum();
QColor polygon();
QColor solana();
QColor success();
QColor warning();
QColor error();
QColor shadow();
// The colour of a chain's icons, marks and chart lines.
QColor chainColor(Chain chain);
} // namespace palette

class BRPalette : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

    Q_PROPERTY(QColor background READ background NOTIFY themeChanged)
    Q_PROPERTY(QColor backgroundSecondary READ backgroundSecondary NOTIFY themeChanged)
    Q_PROPERTY(QColor surface READ surface NOTIFY themeChanged)
    Q_PROPERTY(QColor accent READ accent NOTIFY themeChanged)
    Q_PROPERTY(QColor accentDeep READ accentDeep NOTIFY themeChanged)
    Q_PROPERTY(QColor accentLight READ accentLight NOTIFY themeChanged)
    Q_PROPERTY(QColor textPrimary READ textPrimary NOTIFY themeChanged)
    Q_PROPERTY(QColor textSecondary READ textSecondary NOTIFY themeChanged)
    Q_PROPERTY(QColor textTertiary READ textTertiary NOTIFY themeChanged)
    Q_PROPERTY(QColor border READ border NOTIFY themeChanged)
    Q_PROPERTY(QColor primaryButtonFill READ primaryButtonFill NOTIFY themeChanged)
    Q_PROPERTY(QColor secondaryButtonFill READ secondaryButtonFill NOTIFY themeChanged)
    Q_PROPERTY(QColor secondaryButtonBorder READ secondaryButtonBorder NOTIFY themeChanged)
    Q_PROPERTY(QColor gridLine READ gridLine NOTIFY themeChanged)
    Q_PROPERTY(QColor backgroundGradientCentre READ backgroundGradientCentre NOTIFY themeChanged)
    Q_PROPERTY(QColor sidebarGradientTop READ sidebarGradientTop NOTIFY themeChanged)
    Q_PROPERTY(QColor sidebarGradientBottom READ sidebarGradientBottom NOTIFY themeChanged)

    Q_PROPERTY(QColor bitcoin READ bitcoin CONSTANT)
    Q_PROPERTY(QColor ethereum READ ethereum CONSTANT)
    Q_PROPERTY(QColor arbitrum READ arbitrum CONSTANT)
    Q_PROPERTY(QColor polygon READ polygon CONSTANT)
    Q_PROPERTY(QColor solana READ solana CONSTANT)
    Q_PROPERTY(QColor success READ success CONSTANT)
    Q_PROPERTY(QColor warning READ warning CONSTANT)
    Q_PROPERTY(QColor error READ error CONSTANT)
    Q_PROPERTY(QColor shadow READ shadow CONSTANT)

public:
    explicit BRPalette(BRThemeManager& manager, QObject* parent = nullptr);
    // QML's singleton factory: a palette over the shared theme manager.
    static BRPalette* create(QQmlEngine* engine, QJSEngine* script);

    // Theme colours, looked up in the selected theme at every read.
    QColor background() const { return colors().background; }
    QColor backgroundSecondary() const { return colors().backgroundSecondary; }
    QColor surface() const { return colors().surface; }
    QColor accent() const { return colors().accent; }
    QColor accentDeep() const { return colors().accentDeep; }
    QColor accentLight() const { return colors().accentLight; }
    QColor textPrimary() const { return colors().textPrimary; }
    QColor textSecondary() const { return colors().textSecondary; }
    QColor textTertiary() const { return colors().textTertiary; }
    QColor border() const { return colors().border; }
    QColor primaryButtonFill() const { return colors().primaryButtonFill; }
    QColor secondaryButtonFill() const { return colors().secondaryButtonFill; }
    QColor secondaryButtonBorder() const { return colors().secondaryButtonBorder; }
    QColor gridLine() const { return colors().gridLine; }
    QColor backgroundGradientCentre() const { return colors().backgroundGradientCentre; }
    QColor sidebarGradientTop() const { return colors().sidebarGradientTop; }
    QColor sidebarGradientBottom() const { return colors().sidebarGradientBottom; }

    QColor bitcoin() const { return palette::bitcoin(); }
    QColor ethereum() const { return palette::ethereum(); }
    QColor arbitrum() const { return palette::arbitrum(); }
    QColor polygon() const { return palette::polygon(); }
    QColor solana() const { return palette::solana(); }
    QColor success() const { return palette::success(); }
    QColor warning() const { return palette::warning(); }
    QColor error() const { return palette::error(); }
    QColor shadow() const { return palette::shadow(); }

    // The colour of the chain with this raw index (0 Bitcoin to 4 Solana); the accent otherwise.
    Q_INVOKABLE QColor chainColor(int chain) const;

signals:
    void themeChanged();

private:
    const ThemeColors& colors() const;

    BRThemeManager& m_manager;
};

} // namespace qm
