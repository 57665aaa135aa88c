#include "ui/theme/BRGlow.h"

#include "ui/theme/GlowBlur.h"

#include <QMetaProperty>
#include <QQuickItemGrabResult>
#include <QQuickWindow>
#include <QSGImageNode>
#include <QSGOpacityNode>
#include <QSet>
#include <QSharedPointer>
#include <algorithm>
#include <cmath>

namespace qm {
namespace {

// Properties that move or fade the source without changing its shape: no new grab for them.
bool changesShape(const char* name) {
    static const QSet<QByteArray> moves{"x",
                                        "y",
                                        "z",
                                        "opacity",
                                        "visible",
                                        "enabled",
                                        "focus",
                                        "activeFocus",
                                        "activeFocusOnTab",
                                        "parent",
                                        "state",
                                        "rotation",
                                        "scale",
                                        "transformOrigin",
                                        "baselineOffset",
                                        "objectName",
                                        "hovered",
                                        "pressed",
                                        "down",
                                        "containsMouse",
                                        "implicitWidth",
                                        "implicitHeight",
                                        "childrenRect",
                                        "visibleChildren",
                                        "children",
                                        "data",
                                        "resources"};
    return !moves.contains(QByteArray(name));
}

} // namespace

BRGlow::BRGlow(QQuickItem* parent) : QQuickItem(parent) {
    setFlag(ItemHasContents);
    m_grabLater.setSingleShot(true);
    m_grabLater.setInterval(0);
    connect(&m_grabLater, &QTimer::timeout, this, &BRGlow::grab);
    // Once the grab is asked for, or found needless: whether one is awaited.
    connect(&m_grabLater, &QTimer::timeout, this, &BRGlow::idleChanged);
}

BRGlow::~BRGlow() = default;

void BRGlow::setSource(QQuickItem* source) {
    if (m_source == source) {
        return;
    }
    for (const QMetaObject::Connection& watch : m_watches) {
        disconnect(watch);
    }
    m_watches.clear();
    m_source = source;
    if (source) {
        const QMetaMethod lookChanged =
            metaObject()->method(metaObject()->indexOfMethod("sourceLookChanged()"));
        const QMetaObject* meta = source->metaObject();
        for (int i = 0; i < meta->propertyCount(); ++i) {
            const QMetaProperty property = meta->property(i);
            if (property.hasNotifySignal() && changesShape(property.name())) {
                m_watches.push_back(connect(source, property.notifySignal(), this, lookChanged));
            }
        }
        // Fading the source fades its shadow: drawn again, not grabbed.
        const auto redraw = [this] {
            if (m_source && m_shapeOpacity < 0.2 && m_source->opacity() > m_shapeOpacity) {
                sourceLookChanged(); // grabbed nearly invisible: too faint to scale up
            }
            update();
        };
        m_watches.push_back(connect(source, &QQuickItem::opacityChanged, this, redraw));
        // A source kept hidden still casts its shadow (a curve drawn only as a glow); one
        // shown later is grabbed again in case it was not drawn while hidden.
        m_watches.push_back(
            connect(source, &QQuickItem::visibleChanged, this, &BRGlow::sourceLookChanged));
    }
    m_shape = QImage();
    m_alpha = QImage();
    emit readyChanged();
    sourceLookChanged();
    emit sourceChanged();
}

void BRGlow::setGlowColor(const QColor& colour) {
    if (m_glowColor != colour) {
        m_glowColor = colour;
        m_textureDirty = true;
        update();
        emit lookChanged();
    }
}

void BRGlow::setGlowOpacity(qreal opacity) {
    if (m_glowOpacity != opacity) {
        m_glowOpacity = opacity;
        update();
        emit lookChanged();
    }
}

void BRGlow::setRadius(qreal radius) {
    if (m_radius != radius) {
        m_radius = std::max<qreal>(0, radius);
        blur();
        emit lookChanged();
    }
}

void BRGlow::setHorizontalOffset(qreal offset) {
    if (m_horizontalOffset != offset) {
        m_horizontalOffset = offset;
        update();
        emit lookChanged();
    }
}

void BRGlow::setVerticalOffset(qreal offset) {
    if (m_verticalOffset != offset) {
        m_verticalOffset = offset;
        update();
        emit lookChanged();
    }
}

void BRGlow::itemChange(ItemChange change, const ItemChangeData& value) {
    if (change == ItemSceneChange && value.window) {
        // A grab needs a window on screen: the first one waits for it.
        connect(value.window, &QWindow::visibleChanged, this, &BRGlow::sourceLookChanged,
                Qt::UniqueConnection);
        sourceLookChanged();
    }
    QQuickItem::itemChange(change, value);
}

void BRGlow::sourceLookChanged() {
    const bool wasIdle = isIdle();
    m_grabLater.start();
    if (wasIdle) {
        emit idleChanged();
    }
}

qreal BRGlow::pixelRatio() const {
    return window() ? window()->effectiveDevicePixelRatio() : 1.0;
}

int BRGlow::padPixels() const {
    // Three deviations: the blur's tail fades out inside the canvas.
    return static_cast<int>(std::ceil(1.5 * m_radius * m_shapeRatio)) + 1;
}

void BRGlow::grab() {
    QQuickItem* source = m_source;
    QQuickWindow* shown = window();
    if (!source || !shown || !shown->isVisible() || source->window() != shown) {
        return;
    }
    // A source that moves into a new look frame by frame (a counting figure) says so with a
    // `settled` property: its shape is taken once it rests (that change asks again), not on
    // every frame of the way.
    const QVariant settled = source->property("settled");
    if (settled.isValid() && !settled.toBool()) {
        return;
    }
    const qreal ratio = pixelRatio();
    const QSize size(static_cast<int>(std::ceil(source->width() * ratio)),
                     static_cast<int>(std::ceil(source->height() * ratio)));
    if (size.width() < 1 || size.height() < 1) {
        return;
    }
    const QSharedPointer<QQuickItemGrabResult> result = source->grabToImage(size);
    if (!result) {
        return;
    }
    ++m_grabsAwaited;
    const QPointer<BRGlow> self(this);
    connect(result.data(), &QQuickItemGrabResult::ready, this, [self, result, ratio] {
        if (!self) {
            return;
        }
        --self->m_grabsAwaited;
        if (self->m_source) {
            self->takeShape(result->image(), ratio);
        }
        emit self->idleChanged();
    });
}

void BRGlow::takeShape(const QImage& shape, qreal ratio) {
    const qreal opacity = m_source->opacity();
    // The same pixels as the last grab (a property changed, the look did not): the blurred
    // and tinted shadow stands as it is.
    if (isReady() && ratio == m_shapeRatio && opacity == m_shapeOpacity && shape == m_shape) {
        return;
    }
    m_shape = shape;
    m_shapeRatio = ratio;
    m_shapeOpacity = opacity;
    blur();
}

void BRGlow::blur() {
    if (m_shape.isNull()) {
        return;
    }
    const bool wasReady = isReady();
    m_alpha = blurredAlpha(m_shape, m_radius * m_shapeRatio / 2, padPixels());
    ++m_blurs;
    m_textureDirty = true;
    update();
    if (!wasReady) {
        emit readyChanged();
    }
    emit blurred();
}

QSGNode* BRGlow::updatePaintNode(QSGNode* old, UpdatePaintNodeData*) {
    const qreal sourceOpacity = m_source ? m_source->opacity() : 0;
    const qreal fade =
        m_shapeOpacity > 0 ? std::clamp(sourceOpacity / m_shapeOpacity, 0.0, 1.0) : 0.0;
    const qreal opacity = m_glowOpacity * fade;
    if (m_alpha.isNull() || !m_source || opacity <= 0 || m_glowColor.alpha() == 0) {
        delete old;
        m_textureDirty = true;
        return nullptr;
    }
    auto* root = static_cast<QSGOpacityNode*>(old);
    QSGImageNode* image = nullptr;
    if (!root) {
        root = new QSGOpacityNode;
        image = window()->createImageNode();
        image->setOwnsTexture(true);
        image->setFiltering(QSGTexture::Linear);
        root->appendChildNode(image);
        m_textureDirty = true;
    } else {
        image = static_cast<QSGImageNode*>(root->firstChild());
    }
    if (m_textureDirty) {
        image->setTexture(window()->createTextureFromImage(tinted(m_alpha, m_glowColor)));
        m_textureDirty = false;
    }
    const qreal pad = padPixels() / m_shapeRatio;
    image->setRect(QRectF(m_horizontalOffset - pad, m_verticalOffset - pad,
                          m_alpha.width() / m_shapeRatio, m_alpha.height() / m_shapeRatio));
    image->setSourceRect(QRectF(0, 0, m_alpha.width(), m_alpha.height()));
    root->setOpacity(opacity);
    return root;
}

} // namespace qm
