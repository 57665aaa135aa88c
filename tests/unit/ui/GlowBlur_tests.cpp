// The glow's blur: what it keeps (the amount of ink, its place, symmetry) and how far it
// spreads it (the deviation asked for), and the tint's premultiplied colour.

#include "ui/theme/GlowBlur.h"

#include <QImage>
#include <gtest/gtest.h>

namespace qm {
namespace {

QImage opaque(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    return image;
}

TEST(GlowBlur, KeepsTheInkInPlaceAndSpreadsItByTheDeviation) {
    // No blur: the source's alpha, moved in by the pad.
    QImage dot(3, 3, QImage::Format_ARGB32_Premultiplied);
    dot.fill(Qt::transparent);
    dot.setPixel(1, 1, qRgba(255, 255, 255, 255));
    const QImage same = blurredAlpha(dot, 0, 5);
    ASSERT_EQ(same.size(), QSize(13, 13));
    EXPECT_EQ(same.format(), QImage::Format_Alpha8);
    EXPECT_EQ(qAlpha(same.pixel(6, 6)), 255);
    EXPECT_EQ(qAlpha(same.pixel(5, 6)), 0);

    // A square: its ink kept (within rounding), spread evenly round its centre.
    for (const qreal sigma : {1.0, 2.5, 6.0}) {
        const int pad = static_cast<int>(3 * sigma) + 2;
        const QImage blurred = blurredAlpha(opaque(20, 20), sigma, pad);
        double total = 0;
        for (int y = 0; y < blurred.height(); ++y) {
            for (int x = 0; x < blurred.width(); ++x) {
                total += qAlpha(blurred.pixel(x, y));
                const int mirrored = blurred.width() - 1 - x;
                ASSERT_NEAR(qAlpha(blurred.pixel(x, y)), qAlpha(blurred.pixel(mirrored, y)), 1)
                    << sigma << " at " << x << "," << y;
            }
        }
        EXPECT_NEAR(total, 400.0 * 255, 400.0 * 255 * 0.01) << sigma;
    }

    // A vertical line: across it, a profile whose variance is the deviation squared.
    for (const qreal sigma : {1.5, 4.0, 8.0}) {
        const int pad = static_cast<int>(4 * sigma);
        const QImage blurred = blurredAlpha(opaque(1, 200), sigma, pad);
        const int row = blurred.height() / 2;
        double mass = 0;
        double moment = 0;
        for (int x = 0; x < blurred.width(); ++x) {
            const double weight = qAlpha(blurred.pixel(x, row));
            mass += weight;
            moment += weight * (x - pad) * (x - pad);
        }
        EXPECT_NEAR(mass, 255, 255 * 0.03) << sigma;
        EXPECT_NEAR(moment / mass, sigma * sigma, 0.15 * sigma * sigma) << sigma;
    }
}

TEST(GlowBlur, TintsPremultiplied) {
    QImage alpha(2, 1, QImage::Format_Alpha8);
    alpha.setPixel(0, 0, qRgba(0, 0, 0, 128));
    alpha.setPixel(1, 0, qRgba(0, 0, 0, 255));
    const QImage red = tinted(alpha, QColor(255, 0, 0));
    EXPECT_EQ(red.pixel(0, 0), qRgba(128, 0, 0, 128));
    EXPECT_EQ(red.pixel(1, 0), qRgba(255, 0, 0, 255));
    // The colour's own alpha scales the shadow too.
    const QImage faint = tinted(alpha, QColor(0, 200, 100, 51));
    EXPECT_EQ(faint.pixel(1, 0), qRgba(0, 40, 20, 51));
}

} // namespace
} // namespace qm
