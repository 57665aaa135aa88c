// The bundled text font draws what the wallet shows letter for letter: Inter's contextual
// alternates turn the "x" of "0x" before a digit into a multiplication sign, so an address
// would read "0×35…" on screen and in a screenshot the user compares.

#include "ui/theme/BRFont.h"

#include <QFontInfo>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QTextLayout>
#include <gtest/gtest.h>

namespace qm {
namespace {

// The glyph indexes the layout draws for `text` in `font`.
QList<quint32> glyphsOf(const QString& text, const QFont& font) {
    QTextLayout layout(text, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    QList<quint32> glyphs;
    for (const QGlyphRun& run : layout.glyphRuns()) {
        glyphs += run.glyphIndexes();
    }
    return glyphs;
}

TEST(ThemeFonts, TheXOfAnAddressIsDrawnAsTheLetterX) {
    ASSERT_TRUE(BRFont::loadBundledFonts());
    for (const QFont::Weight weight :
         {QFont::Normal, QFont::Medium, QFont::DemiBold, QFont::Bold}) {
        const QFont font = BRFont::system(13, weight);
        ASSERT_EQ(QFontInfo(font).family(), QStringLiteral("Inter"));
        const QList<quint32> letter = glyphsOf(QStringLiteral("x"), font);
        ASSERT_EQ(letter.size(), 1);
        for (const QString& text : {QStringLiteral("0x35"), QStringLiteral("to 0x9858ef")}) {
            const QList<quint32> glyphs = glyphsOf(text, font);
            ASSERT_EQ(glyphs.size(), text.size()) << text.toStdString();
            EXPECT_EQ(glyphs.at(text.indexOf(QLatin1Char('x'))), letter.front())
                << text.toStdString() << " weight " << weight;
        }
    }
}

} // namespace
} // namespace qm

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
