#include "ui/theme/BRPalette.h"

#include "core/model/Chain.h"
#include "ui/theme/BRThemeManager.h"

#include <QQmlEngine>

namespace qm {
namespace {

QColor rgb(int red, int green, int blue) {
    return QColor(red, green, blue);
}

ThemeColors appleBlue() {
    ThemeColors c;
    c.background = rgb(14, 23, 38);
    c.backgroundSecondary = rgb(21, 34, 54);
    c.surface = rgb(28, 45, 69);
    c.accent = rgb(10, 132, 255);
    c.accentDeep = rgb(16, 80, 160);
    c.accentLight = rgb(100, 181, 255);
    c.textPrimary = rgb(228, 236, 245);
    c.textSecondary = rgb(141, 160, 184);
    c.textTertiary = rgb(74, 100, 128);
    c.border = rgb(30, 48, 72);
    c.primaryButtonFill = rgb(18, 32, 64);
    c.secondaryButtonFill = rgb(16, 28, 52);
    c.secondaryButtonBorder = rgb(42, 64, 96);
    c.gridLine = rgb(28, 48, 80);
    c.backgroundGradientCentre = rgb(26, 40, 64);
    c.sidebarGradientTop = rgb(16, 26, 44);
    c.sidebarGradientBottom = rgb(12, 19, 34);
    return c;
}

ThemeColors dollarGreen() {
    ThemeColors c;
    c.background = rgb(8, 18, 8);
    c.backgroundSecondary = rgb(13, 26, 15);
    c.surface = rgb(18, 32, 22);
    c.accent = rgb(212, 168, 75);
    c.accentDeep = rgb(92, 74, 30);
    c.accentLight = rgb(255, 228, 160);
    c.textPrimary = rgb(224, 245, 232);
    c.textSecondary = rgb(122, 155, 133);
    c.textTertiary = rgb(58, 90, 72);
    c.border = rgb(22, 40, 24);
    c.primaryButtonFill = rgb(14, 28, 18);
    c.secondaryButtonFill = rgb(10, 22, 16);
    c.secondaryButtonBorder = rgb(30, 54, 36);
    c.gridLine = rgb(20, 44, 26);
    c.backgroundGradientCentre = rgb(16, 32, 16);
    c.sidebarGradientTop = rgb(9, 18, 8);
    c.sidebarGradientBottom = rgb(7, 16, 7);
    return c;
}

} // namespace

const ThemeColors& themeColors(BRTheme theme) {
    static const ThemeColors blue = appleBlue();
    static const ThemeColors green = dollarGreen();
    return theme == BRTheme::dollarGreen ? green : blue;
}

namespace palette {
QColor bitcoin() {
    return rgb(255, 158, 44);
}
QColor ethereum() {
    return rgb(123, 140, 240);
}
QColor arbitrum() {
    return rgb(59, 164, 232);
}
QColor polygon() {
    return rgb(155, 109, 235);
}
QColor solana() {
    return rgb(153, 69, 255);
}
QColor success() {
    return rgb(34, 217, 102);
}
QColor warning() {
    return rgb(240, 160, 48);
}
QColor error() {
    return rgb(240, 72, 72);
}
QColor shadow() {
    return QColor::fromRgbF(0, 0, 0, 0.35f);
}
QColor chainColor(Chain chain) {
    switch (chain) {
    case Chain::bitcoin:
        return bitcoin();
    case Chain::ethereum:
        return ethereum();
    case Chain::arbitrum:
        return arbitrum();
    case Chain::polygon:
        return polygon();
    case Chain::solana:
        return solana();
    }
    return bitcoin();
}
} // namespace palette

BRPalette::BRPalette(BRThemeManager& manager, QObject* parent)
    : QObject(parent), m_manager(manager) {
    connect(&m_manager, &BRThemeManager::currentChanged, this, &BRPalette::themeChanged);
}

BRPalette* BRPalette::create(QQmlEngine*, QJSEngine*) {
    return new BRPalette(BRThemeManager::shared());
}

QColor BRPalette::chainColor(int chain) const {
    if (chain < 0 || chain >= static_cast<int>(chainCount)) {
        return colors().accent;
    }
    return palette::chainColor(allChains()[static_cast<std::size_t>(chain)]);
}

const ThemeColors& BRPalette::colors() const {
    return themeColors(m_manager.current());
}

} // namespace qm
