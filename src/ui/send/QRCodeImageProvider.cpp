#include "ui/send/QRCodeImageProvider.h"

#include "platform/QRCode.h"

#include <QByteArray>
#include <QPainter>
#include <algorithm>
#include <cctype>
#include <climits>

namespace qm {

QImage renderQRCode(const QString& text, int maxSide) {
    const QByteArray utf8 = text.toUtf8();
    const auto code = QRCode::encode(std::string_view(utf8.constData(), utf8.size()));
    if (!code) {
        return {};
    }
    const int modules = code->size() + 2 * QRCodeImageProvider::quietZone;
    const int scale = std::max(1, maxSide / modules);
    QImage image(modules * scale, modules * scale, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (int y = 0; y < code->size(); ++y) {
        for (int x = 0; x < code->size(); ++x) {
            if (code->isDark(x, y)) {
                painter.fillRect((x + QRCodeImageProvider::quietZone) * scale,
                                 (y + QRCodeImageProvider::quietZone) * scale, scale, scale,
                                 Qt::black);
            }
        }
    }
    return image;
}

QString QRCodeImageProvider::sourceFor(const QString& text) {
    // Hex keeps any text (a "bitcoin:" URI, a slash) out of the URL's own syntax.
    return QStringLiteral("image://%1/%2")
        .arg(QLatin1String(providerId), QString::fromLatin1(text.toUtf8().toHex()));
}

QImage QRCodeImageProvider::requestImage(const QString& id, QSize* size,
                                         const QSize& requestedSize) {
    const QByteArray hex = id.toLatin1();
    const bool wellFormed = hex.size() % 2 == 0 && std::all_of(hex.begin(), hex.end(), [](char c) {
                                return std::isxdigit(c) != 0;
                            });
    if (!wellFormed) {
        return {};
    }
    const int side = std::min(requestedSize.width() > 0 ? requestedSize.width() : 0,
                              requestedSize.height() > 0 ? requestedSize.height() : INT_MAX);
    QImage image = renderQRCode(QString::fromUtf8(QByteArray::fromHex(hex)), side);
    if (size) {
        *size = image.size();
    }
    return image;
}

} // namespace qm
