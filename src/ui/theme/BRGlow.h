#pragma once
// A soft shadow of its source's shape, without offset unless one is given: the glows of
// buttons, dots and texts and the panels' drop shadows. Placed as a sibling of its source and
// filling it (`anchors.fill: source`), behind it or, for a faint tint, over it; it draws only
// the shadow, which reaches past its bounds by about 1.5 times the radius. A hidden source
// still casts its shadow.
//
// The source is grabbed to an image when its look may have changed (its size, or any
// property but position, opacity and the like), and the image blurred on the processor: a
// glow costs no work per frame, on the software scene graph as on a GPU. A grab that gives
// the pixels of the last one blurs nothing; a source with a `settled` property (a counting
// figure) is grabbed only once it has settled. The source's own opacity and `glowOpacity`
// apply when drawing, so a pulse or a hover fade grabs nothing.

#include <QColor>
#include <QImage>
#include <QMetaObject>
#include <QPointer>
#include <QQuickItem>
#include <QTimer>
#include <QtQml/qqmlregistration.h>
#include <vector>

namespace qm {

class BRGlow : public QQuickItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QQuickItem* source READ source WRITE setSource NOTIFY sourceChanged)
    Q_PROPERTY(QColor glowColor READ glowColor WRITE setGlowColor NOTIFY lookChanged)
    Q_PROPERTY(qreal glowOpacity READ glowOpacity WRITE setGlowOpacity NOTIFY lookChanged)
    // The blur's reach in pixels (twice the Gaussian's deviation).
    Q_PROPERTY(qreal radius READ radius WRITE setRadius NOTIFY lookChanged)
    Q_PROPERTY(
        qreal horizontalOffset READ horizontalOffset WRITE setHorizontalOffset NOTIFY lookChanged)
    Q_PROPERTY(qreal verticalOffset READ verticalOffset WRITE setVerticalOffset NOTIFY lookChanged)
    // Whether a blurred shape is ready to draw, and how many shapes it has blurred (for tests).
    Q_PROPERTY(bool ready READ isReady NOTIFY readyChanged)
    Q_PROPERTY(int blurs READ blurs NOTIFY blurred)
    // Whether no grab of the source is asked for or awaited: `blurs` stands (for tests).
    Q_PROPERTY(bool idle READ isIdle NOTIFY idleChanged)

public:
    explicit BRGlow(QQuickItem* parent = nullptr);
    ~BRGlow() override;

    QQuickItem* source() const { return m_source; }
    void setSource(QQuickItem* source);
    QColor glowColor() const { return m_glowColor; }
    void setGlowColor(const QColor& colour);
    qreal glowOpacity() const { return m_glowOpacity; }
    void setGlowOpacity(qreal opacity);
    qreal radius() const { return m_radius; }
    void setRadius(qreal radius);
    qreal horizontalOffset() const { return m_horizontalOffset; }
    void setHorizontalOffset(qreal offset);
    qreal verticalOffset() const { return m_verticalOffset; }
    void setVerticalOffset(qreal offset);
    bool isReady() const { return !m_alpha.isNull(); }
    int blurs() const { return m_blurs; }
    bool isIdle() const { return !m_grabLater.isActive() && m_grabsAwaited == 0; }

signals:
    void sourceChanged();
    void lookChanged();
    void readyChanged();
    void blurred();
    void idleChanged();

protected:
    QSGNode* updatePaintNode(QSGNode* old, UpdatePaintNodeData* data) override;
    void itemChange(ItemChange change, const ItemChangeData& value) override;

private:
    // Asks for a new grab of the source on a later turn (several changes make one grab).
    Q_INVOKABLE void sourceLookChanged();
    void grab();
    void takeShape(const QImage& shape, qreal ratio);
    void blur();
    int padPixels() const;
    qreal pixelRatio() const;

    QPointer<QQuickItem> m_source;
    std::vector<QMetaObject::Connection> m_watches;
    QColor m_glowColor = Qt::transparent;
    qreal m_glowOpacity = 0;
    qreal m_radius = 8;
    qreal m_horizontalOffset = 0;
    qreal m_verticalOffset = 0;

    QTimer m_grabLater;
    QImage m_shape; // the source's pixels as last grabbed
    qreal m_shapeRatio = 1;
    qreal m_shapeOpacity = 1; // the source's own opacity in the grab
    QImage m_alpha;           // their blurred alpha, padded
    bool m_textureDirty = false;
    int m_blurs = 0;
    int m_grabsAwaited = 0;
};

} // namespace qm
