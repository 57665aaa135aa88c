// The receive sheet's texts and its QR codes, each decoded back by an independent reader
// (zbarimg) and compared with the payload; the drawing: whole pixels per module and the
// quiet zone.

#include "platform/QRCode.h"
#include "ui/send/QRCodeImageProvider.h"
#include "ui/send/ReceiveViewModel.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace qm {
namespace {

// What zbarimg reads in `image`; empty when it reads nothing.
QString decoded(const QImage& image) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("code.png"));
    EXPECT_TRUE(image.save(path));
    QProcess zbar;
    zbar.start(QStringLiteral("zbarimg"), {QStringLiteral("--raw"), QStringLiteral("-q"), path});
    EXPECT_TRUE(zbar.waitForFinished(30'000));
    QString text = QString::fromUtf8(zbar.readAllStandardOutput());
    if (text.endsWith('\n')) {
        text.chop(1);
    }
    return text;
}

struct ReceiveCase {
    Chain chain;
    const char* address;
    const char* title;
    const char* caption;
    const char* payload;
};

const ReceiveCase receiveCases[] = {
    {Chain::bitcoin, "bc1qcr8te4kr609gcawutmrza0j4xv80jy8z306fyu", "Receive BTC",
     "Your Bitcoin Address", "bitcoin:bc1qcr8te4kr609gcawutmrza0j4xv80jy8z306fyu"},
    {Chain::ethereum, "0x9858EfFD232B4033E47d90003D41EC34EcaEda94", "Receive ETH",
     "Your Ethereum Address", "0x9858EfFD232B4033E47d90003D41EC34EcaEda94"},
    {Chain::arbitrum, "0x9858EfFD232B4033E47d90003D41EC34EcaEda94", "Receive ETH",
     "Your Arbitrum Address", "0x9858EfFD232B4033E47d90003D41EC34EcaEda94"},
    {Chain::polygon, "0x9858EfFD232B4033E47d90003D41EC34EcaEda94", "Receive POL",
     "Your Polygon Address", "0x9858EfFD232B4033E47d90003D41EC34EcaEda94"},
    {Chain::solana, "HAgk14JpMQLgt6rVgv7cBQFJWFto5Dqxi472uT3DKpqk", "Receive SOL",
     "Your Solana Address", "HAgk14JpMQLgt6rVgv7cBQFJWFto5Dqxi472uT3DKpqk"},
};

TEST(Receive, EachChainsTextsAndCodeReadBackAsThePayload) {
    if (QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty()) {
        GTEST_SKIP() << "zbarimg (zbar-tools) is not installed";
    }
    for (const ReceiveCase& c : receiveCases) {
        SCOPED_TRACE(c.caption);
        ReceiveViewModel model;
        model.setChain(static_cast<int>(chainIndex(c.chain)));
        model.setAddress(QString::fromLatin1(c.address));
        EXPECT_EQ(model.title(), QLatin1String(c.title));
        EXPECT_EQ(model.addressCaption(), QLatin1String(c.caption));
        EXPECT_EQ(model.qrPayload(), QLatin1String(c.payload));
        // As the sheet draws it (200 points) and at one pixel per module.
        EXPECT_EQ(decoded(renderQRCode(model.qrPayload(), 200)), QLatin1String(c.payload));
        EXPECT_EQ(decoded(renderQRCode(model.qrPayload(), 0)
                              .scaled(400, 400, Qt::KeepAspectRatio, Qt::FastTransformation)),
                  QLatin1String(c.payload));
    }
    // Through the provider, by the source a view asks for.
    QRCodeImageProvider provider;
    const QString source = QRCodeImageProvider::sourceFor(QStringLiteral("bitcoin:bc1q/?&#"));
    ASSERT_TRUE(source.startsWith(QLatin1String("image://qrcode/")));
    QSize size;
    const QImage image = provider.requestImage(source.mid(15), &size, QSize(200, 200));
    EXPECT_EQ(size, image.size());
    EXPECT_EQ(decoded(image), QStringLiteral("bitcoin:bc1q/?&#"));
}

TEST(Receive, CodeIsDrawnInWholeModulesInsideAQuietZone) {
    const auto code = QRCode::encode("0x9858EfFD232B4033E47d90003D41EC34EcaEda94");
    ASSERT_TRUE(code);
    EXPECT_EQ(code->size(), 29); // 42 bytes fill version 3 at level M exactly
    const int modules = code->size() + 2 * QRCodeImageProvider::quietZone;
    const QImage image =
        renderQRCode(QStringLiteral("0x9858EfFD232B4033E47d90003D41EC34EcaEda94"), 200);
    const int scale = 200 / modules;
    ASSERT_EQ(image.width(), modules * scale);
    ASSERT_EQ(image.height(), image.width());
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const int mx = x / scale - QRCodeImageProvider::quietZone;
            const int my = y / scale - QRCodeImageProvider::quietZone;
            const QRgb expected = code->isDark(mx, my) ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
            ASSERT_EQ(image.pixel(x, y) & 0xFFFFFF, expected & 0xFFFFFF) << x << "," << y;
        }
    }
    // The finder pattern's corner and the quiet zone around it.
    EXPECT_TRUE(code->isDark(0, 0));
    EXPECT_FALSE(code->isDark(-1, 0));
    EXPECT_FALSE(code->isDark(0, code->size()));
}

TEST(Receive, WhatNoCodeHoldsGivesNoImage) {
    EXPECT_FALSE(QRCode::encode(""));
    EXPECT_TRUE(QRCode::encode(std::string(2331, 'x'))); // version 40-M's 8-bit capacity
    EXPECT_FALSE(QRCode::encode(std::string(2332, 'x')));
    EXPECT_TRUE(renderQRCode(QString(3000, 'x'), 200).isNull());
    QRCodeImageProvider provider;
    QSize size(1, 1);
    EXPECT_TRUE(provider.requestImage(QStringLiteral("zz"), &size, QSize()).isNull());
    EXPECT_TRUE(provider.requestImage(QStringLiteral("abc"), &size, QSize()).isNull());
    EXPECT_EQ(size, QSize(1, 1));
    // An empty address has no payload; a chain out of range reads as Bitcoin.
    ReceiveViewModel model;
    model.setChain(9);
    EXPECT_EQ(model.title(), QStringLiteral("Receive BTC"));
    EXPECT_TRUE(model.qrPayload().isEmpty());
}

} // namespace
} // namespace qm
