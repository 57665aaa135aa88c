#include "ui/theme/BRFont.h"

#include <QFontDatabase>
#include <QQmlEngine>

namespace qm {
namespace {

const QString sansFamily = QStringLiteral("Inter");
const QString monoFamilyName = QStringLiteral("JetBrains Mono");

QFont makeFont(const QString& family, qreal size, QFont::Weight weight) {
    QFont font(family);
    font.setPixelSize(qMax(1, qRound(size)));
    // Fractional sizes (9.5 points) keep their exact size where the engine allows it.
    if (qRound(size) != size) {
        font.setPointSizeF(size * 0.75);
    }
    font.setWeight(weight);
    font.setStyleHint(family == monoFamilyName ? QFont::Monospace : QFont::SansSerif);
    // Inter's contextual alternates draw the "x" of "0x" before a digit as a multiplication
    // sign: an address must read as typed, so Latin text is drawn glyph for glyph.
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

} // namespace

BRFont* BRFont::create(QQmlEngine*, QJSEngine*) {
    return new BRFont;
}

bool BRFont::loadBundledFonts() {
    static const bool loaded = [] {
        bool all = true;
        for (const char* file : {"Inter-Regular.otf", "Inter-Medium.otf", "Inter-SemiBold.otf",
                                 "Inter-Bold.otf", "JetBrainsMono-Regular.ttf",
                                 "JetBrainsMono-Medium.ttf", "materialdesignicons-webfont.ttf"}) {
            const QString path = QStringLiteral(":/quillmark/fonts/") + QLatin1String(file);
            all = QFontDatabase::addApplicationFont(path) >= 0 && all;
        }
        return all;
    }();
    return loaded;
}

QFont BRFont::system(qreal size, QFont::Weight weight) {
    return makeFont(sansFamily, size, weight);
}

QFont BRFont::monospaced(qreal size, QFont::Weight weight) {
    return makeFont(monoFamilyName, size, weight);
}

QString BRFont::family() const {
    return sansFamily;
}

QString BRFont::monoFamily() const {
    return monoFamilyName;
}

QFont BRFont::systemFont(qreal size, int weight) const {
    return system(size, static_cast<QFont::Weight>(weight));
}

QFont BRFont::monospacedFont(qreal size, int weight) const {
    return monospaced(size, static_cast<QFont::Weight>(weight));
}

} // namespace qm
