#include "ui/walletconnect/DAppIcon.h"

#include <QBuffer>
#include <QCache>
#include <QHostAddress>
#include <QImageReader>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPainter>
#include <QPainterPath>
#include <QUrl>

namespace qm {
namespace {

DAppIcon::Limits& limits() {
    static DAppIcon::Limits value;
    return value;
}

QNetworkAccessManager& network() {
    static QNetworkAccessManager* manager = [] {
        auto* made = new QNetworkAccessManager();
        // Never to a plain http address, not even by a redirect.
        made->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
        return made;
    }();
    return *manager;
}

QCache<QString, QImage>& cache() {
    static QCache<QString, QImage> images(64);
    return images;
}

bool allowed(const QUrl& url) {
    if (!url.isValid() || url.host().isEmpty()) {
        return false;
    }
    if (url.scheme() == QStringLiteral("https")) {
        return true;
    }
    return limits().allowLoopbackHTTP && url.scheme() == QStringLiteral("http") &&
           QHostAddress(url.host()).isLoopback();
}

// Raster images only: no vector format that could reach for other resources.
bool isRasterFormat(const QByteArray& format) {
    static const QList<QByteArray> formats = {"png", "jpeg", "jpg", "gif", "webp", "bmp", "ico"};
    return formats.contains(format.toLower());
}

} // namespace

void DAppIcon::setLimitsForTesting(const Limits& value) {
    limits() = value;
}

bool DAppIcon::isAllowed(const QString& url) {
    return allowed(QUrl(url, QUrl::StrictMode));
}

void DAppIcon::clearCacheForTesting() {
    cache().clear();
}

DAppIcon::DAppIcon(QQuickItem* parent) : QQuickPaintedItem(parent) {
    setAntialiasing(true);
}

DAppIcon::~DAppIcon() {
    if (m_reply) {
        disconnect(m_reply, nullptr, this, nullptr);
        m_reply->abort();
    }
}

void DAppIcon::setUrl(const QString& url) {
    if (m_url == url) {
        return;
    }
    m_url = url;
    emit urlChanged();
    fetch();
}

void DAppIcon::setCornerRadius(qreal radius) {
    if (m_cornerRadius != radius) {
        m_cornerRadius = radius;
        emit cornerRadiusChanged();
        update();
    }
}

void DAppIcon::setStatus(Status status) {
    if (m_status != status) {
        m_status = status;
        emit statusChanged();
    }
    update();
}

void DAppIcon::fetch() {
    if (const QPointer<QNetworkReply> earlier = std::exchange(m_reply, nullptr)) {
        earlier->abort(); // its finish() sees it is no longer the item's
    }
    m_image = QImage();
    if (m_url.isEmpty()) {
        setStatus(Status::Null);
        return;
    }
    const QUrl url(m_url, QUrl::StrictMode);
    if (!allowed(url)) {
        setStatus(Status::Error);
        return;
    }
    if (const QImage* cached = cache().object(m_url)) {
        m_image = *cached;
        setStatus(Status::Ready);
        return;
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(static_cast<int>(limits().timeout.count()));
    request.setMaximumRedirectsAllowed(3);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    QNetworkReply* reply = network().get(request);
    m_reply = reply;
    setStatus(Status::Loading);
    const std::int64_t maxBytes = limits().maxBytes;
    connect(reply, &QNetworkReply::metaDataChanged, this, [reply, maxBytes] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > maxBytes) {
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::downloadProgress, this, [reply, maxBytes](qint64 received) {
        if (received > maxBytes) {
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { finish(reply); });
}

void DAppIcon::finish(QNetworkReply* reply) {
    reply->deleteLater();
    if (reply != m_reply) {
        return; // replaced by a newer address
    }
    m_reply.clear();
    const QByteArray body =
        reply->error() == QNetworkReply::NoError ? reply->readAll() : QByteArray();
    if (body.isEmpty() || body.size() > limits().maxBytes) {
        setStatus(Status::Error);
        return;
    }
    QBuffer buffer;
    buffer.setData(body);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    const int maxPixels = limits().maxPixels;
    if (!isRasterFormat(reader.format()) || !size.isValid() || size.isEmpty() ||
        size.width() > 8192 || size.height() > 8192) {
        setStatus(Status::Error);
        return;
    }
    if (size.width() > maxPixels || size.height() > maxPixels) {
        reader.setScaledSize(size.scaled(maxPixels, maxPixels, Qt::KeepAspectRatio));
    }
    QImage image = reader.read();
    if (image.isNull()) {
        setStatus(Status::Error);
        return;
    }
    cache().insert(m_url, new QImage(image));
    m_image = std::move(image);
    setStatus(Status::Ready);
}

void DAppIcon::paint(QPainter* painter) {
    if (m_status != Status::Ready || m_image.isNull()) {
        return;
    }
    const QSize fitted = m_image.size().scaled(size().toSize(), Qt::KeepAspectRatio);
    const QRectF target((width() - fitted.width()) / 2.0, (height() - fitted.height()) / 2.0,
                        fitted.width(), fitted.height());
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    if (m_cornerRadius > 0) {
        QPainterPath clip;
        clip.addRoundedRect(target, m_cornerRadius, m_cornerRadius);
        painter->setClipPath(clip);
    }
    painter->drawImage(target, m_image);
}

} // namespace qm
