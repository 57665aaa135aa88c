#pragma once
// The theme's soft shadows, drawn on the processor: the shape of an item's pixels (its alpha),
// blurred and filled with one colour. Made once per shape, so a glow costs nothing per frame on
// any scene graph back-end.

#include <QColor>
#include <QImage>

namespace qm {

// The alpha of `source` (any format) blurred with a Gaussian of deviation `sigma` pixels
// (three box passes), on a canvas `pad` pixels larger on every side. Format Alpha8.
QImage blurredAlpha(const QImage& source, qreal sigma, int pad);

// `alpha` (Alpha8) as a premultiplied image of `colour`, each pixel's alpha times the colour's.
QImage tinted(const QImage& alpha, const QColor& colour);

} // namespace qm
