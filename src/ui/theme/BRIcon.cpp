#include "ui/theme/BRIcon.h"

#include <QQmlEngine>
#include <array>
#include <utility>

namespace qm {
namespace {

// Symbol name -> code point in the Material Design icon font (version 1.6).
// Sized by its entries, so that adding a symbol is one line.
constexpr auto glyphs = std::to_array<std::pair<std::string_view, char32_t>>({
    {"arrow.clockwise", 0xF450},               // refresh
    {"arrow.triangle.swap", 0xF4E1},           // swap-horizontal
    {"bitcoinsign", 0xF1AC},                   // currency-btc
    {"checkmark", 0xF12C},                     // check
    {"diamond", 0xF1C8},                       // diamond
    {"doc.on.doc", 0xF18F},                    // content-copy
    {"externaldrive.fill", 0xF2CA},            // harddisk
    {"gear", 0xF493},                          // settings
    {"globe", 0xF59F},                         // web
    {"key.fill", 0xF306},                      // key
    {"link", 0xF337},                          // link
    {"link.badge.plus", 0xF339},               // link-variant
    {"lock.fill", 0xF33E},                     // lock
    {"lock.shield.fill", 0xF498},              // shield, with the lock badge below
    {"network", 0xF317},                       // lan
    {"xmark.circle.fill", 0xF159},             // close-circle
    {"exclamationmark.triangle.fill", 0xF026}, // alert
    {"questionmark.circle", 0xF2D7},           // help-circle
    {"lock.shield", 0xF499},                   // shield-outline, with the lock badge below
    {"touchid", 0xF237},                       // fingerprint
    {"square.and.arrow.up.fill", 0xF552},      // upload
    {"paintbrush", 0xF0E3},                    // brush
    {"arrowtriangle.right", 0xF40A},           // play
    {"hexagon", 0xF2D9},                       // hexagon-outline
    {"drop.fill", 0xF58C},                     // water
    {"leaf.fill", 0xF32A},                     // leaf
    {"checkmark.circle.fill", 0xF5E0},         // check-circle
    {"shield.checkered", 0xF483},              // security: a shield quartered
    {"lock.open.fill", 0xF33F},                // lock-open
    {"plus.circle", 0xF417},                   // plus-circle
    {"arrow.down.doc.fill", 0xF220},           // file-import
    {"doc.fill", 0xF214},                      // file
    {"folder.fill", 0xF24B},                   // folder
    {"arrow.counterclockwise", 0xF54C},        // undo
    {"xmark", 0xF156},                         // close
    {"arrow.up.right", 0xF05C},                // arrow-top-right
    {"arrow.down.left", 0xF042},               // arrow-bottom-left
    {"arrow.down.right", 0xF043},              // arrow-bottom-right
    {"trash", 0xF1C0},                         // delete
    {"plus", 0xF415},                          // plus
    {"chevron.right", 0xF142},                 // chevron-right
    {"chart.pie.fill", 0xF12B},                // chart-pie
    {"chevron.left", 0xF141},                  // chevron-left
    {"arrow.up.right.square", 0xF3CC},         // open-in-new
    {"clock.arrow.circlepath", 0xF2DA},        // history
    {"wallet.bifold", 0xF584},                 // wallet
    {"circle.dotted", 0xF130},                 // checkbox-blank-circle-outline
    {"plus.circle.fill", 0xF417},              // plus-circle
    {"magnifyingglass", 0xF349},               // magnify
    {"gearshape", 0xF493},                     // settings
    {"arrow.up.arrow.down", 0xF4E2},           // swap-vertical
    {"chevron.down", 0xF140},                  // chevron-down
    {"checkmark.shield", 0xF565},              // verified: a shield with a check
    {"signature", 0xF3EA},                     // pen
    {"checkmark.circle", 0xF5E1},              // check-circle-outline
    {"doc.text", 0xF219},                      // file-document
    {"arrow.left.arrow.right", 0xF4E1},        // swap-horizontal
    {"qrcode", 0xF432},                        // qrcode
    {"paperplane.fill", 0xF48A},               // send
    // access-point
    {"antenna.radiowaves.left.and.right", 0xF002},
});

// The font has no shield with a lock: those symbols draw a small lock over the shield, cut out
// of a filled one.
constexpr std::array<std::pair<std::string_view, IconBadge>, 2> badges{{
    {"lock.shield.fill", {0xF33E, true}}, // lock
    {"lock.shield", {0xF33E, false}},     // lock
}};

} // namespace

std::optional<IconBadge> iconBadge(std::string_view symbolName) {
    for (const auto& [name, badge] : badges) {
        if (name == symbolName) {
            return badge;
        }
    }
    return std::nullopt;
}

std::optional<char32_t> iconGlyph(std::string_view symbolName) {
    for (const auto& [name, glyph] : glyphs) {
        if (name == symbolName) {
            return glyph;
        }
    }
    return std::nullopt;
}

char32_t fallbackIconGlyph() {
    return 0xF2D7; // help-circle
}

BRIcon* BRIcon::create(QQmlEngine*, QJSEngine*) {
    return new BRIcon;
}

QString BRIcon::family() const {
    return QStringLiteral("Material Design Icons");
}

QString BRIcon::glyph(const QString& symbolName) const {
    const char32_t glyph = iconGlyph(symbolName.toStdString()).value_or(fallbackIconGlyph());
    return QString::fromUcs4(&glyph, 1);
}

QString BRIcon::badge(const QString& symbolName) const {
    const std::optional<IconBadge> badge = iconBadge(symbolName.toStdString());
    return badge ? QString::fromUcs4(&badge->glyph, 1) : QString();
}

bool BRIcon::badgeCutsOut(const QString& symbolName) const {
    const std::optional<IconBadge> badge = iconBadge(symbolName.toStdString());
    return badge && badge->cutsOut;
}

QString BRIcon::chainSymbol(int chain) const {
    return chain == 0 ? QStringLiteral("bitcoinsign") : QStringLiteral("diamond");
}

} // namespace qm
