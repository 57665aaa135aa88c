#pragma once
// QR codes for the window's Image items ("image://qrcode/<hex of the UTF-8 text>"): square
// dark modules on white with a quiet zone of four modules, each module a whole number of
// pixels, so the code is drawn unsmoothed at any size.

#include <QImage>
#include <QQuickImageProvider>
#include <QString>

namespace qm {

// The code of `text` at the largest whole number of pixels per module whose image fits in
// `maxSide` (one pixel per module when 0 or when nothing fits). A null image when no code holds
// the text.
QImage renderQRCode(const QString& text, int maxSide);

class QRCodeImageProvider : public QQuickImageProvider {
public:
    QRCodeImageProvider() : QQuickImageProvider(QQuickImageProvider::Image) {}

    static constexpr int quietZone = 4;
    static constexpr const char* providerId = "qrcode";
    // The image source of `text` for this provider.
    static QString sourceFor(const QString& text);

    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;
};

} // namespace qm
