#pragma once
// A dApp's icon, fetched in the background and drawn fitted into the item with its aspect kept.
// The address comes from the dApp, so the fetch is fenced: https only (redirects too), at most
// maxBytes, within timeout, and only raster formats decoded under a size limit. Until it is
// ready, and when any of that fails, the item draws nothing and `status` says why the
// placeholder shows. Fetched icons are kept in memory for the life of the process.

#include <QImage>
#include <QPointer>
#include <QQuickPaintedItem>
#include <QString>
#include <QtQml/qqmlregistration.h>
#include <chrono>

class QNetworkReply;

namespace qm {

class DAppIcon : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString url READ url WRITE setUrl NOTIFY urlChanged)
    Q_PROPERTY(Status status READ status NOTIFY statusChanged)
    // The image is clipped to a rounded rectangle with this radius.
    Q_PROPERTY(
        qreal cornerRadius READ cornerRadius WRITE setCornerRadius NOTIFY cornerRadiusChanged)

public:
    enum class Status { Null, Loading, Ready, Error };
    Q_ENUM(Status)

    // The fences; tests loosen them (loopback http) and shorten them.
    struct Limits {
        std::int64_t maxBytes = 512 * 1024;
        std::chrono::milliseconds timeout{10'000};
        int maxPixels = 512; // each side of the decoded image
        bool allowLoopbackHTTP = false;
    };
    static void setLimitsForTesting(const Limits& limits);
    // Whether an icon may be fetched from `url`: https with a host (or loopback http where
    // the limits allow it).
    static bool isAllowed(const QString& url);
    static void clearCacheForTesting();

    explicit DAppIcon(QQuickItem* parent = nullptr);
    ~DAppIcon() override;

    QString url() const { return m_url; }
    void setUrl(const QString& url);
    Status status() const { return m_status; }
    qreal cornerRadius() const { return m_cornerRadius; }
    void setCornerRadius(qreal radius);

    void paint(QPainter* painter) override;

signals:
    void urlChanged();
    void statusChanged();
    void cornerRadiusChanged();

private:
    void fetch();
    void finish(QNetworkReply* reply);
    void setStatus(Status status);

    QString m_url;
    Status m_status = Status::Null;
    qreal m_cornerRadius = 0;
    QImage m_image;
    QPointer<QNetworkReply> m_reply;
};

} // namespace qm
