#include "ui/theme/GlowBlur.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace qm {
namespace {

// Widths of three box blurs whose sum approximates a Gaussian of deviation `sigma` (the
// variance of a box of width w is (w^2 - 1) / 12; three of them add up).
std::array<int, 3> boxWidths(qreal sigma) {
    const qreal ideal = std::sqrt(12.0 * sigma * sigma / 3.0 + 1.0);
    int lower = static_cast<int>(std::floor(ideal));
    if (lower % 2 == 0) {
        --lower;
    }
    lower = std::max(lower, 1);
    const int upper = lower + 2;
    const qreal wanted =
        (12.0 * sigma * sigma - 3.0 * lower * lower - 12.0 * lower - 9.0) / (-4.0 * lower - 4.0);
    const int lowerCount = static_cast<int>(std::lround(std::clamp(wanted, 0.0, 3.0)));
    std::array<int, 3> widths{};
    for (int i = 0; i < 3; ++i) {
        widths[static_cast<std::size_t>(i)] = i < lowerCount ? lower : upper;
    }
    return widths;
}

// One box pass of odd width `width` along rows (stride 1) or columns (stride `rowLength`),
// values outside the canvas count as 0. Keeps 16 fractional bits so three passes lose nothing
// visible.
void boxPass(const std::vector<std::uint32_t>& in, std::vector<std::uint32_t>& out, int lines,
             int length, int lineStride, int step, int width) {
    const int half = width / 2;
    for (int line = 0; line < lines; ++line) {
        const std::size_t base =
            static_cast<std::size_t>(line) * static_cast<std::size_t>(lineStride);
        std::uint64_t sum = 0;
        for (int i = 0; i <= std::min(half, length - 1); ++i) {
            sum += in[base + static_cast<std::size_t>(i * step)];
        }
        for (int i = 0; i < length; ++i) {
            out[base + static_cast<std::size_t>(i * step)] =
                static_cast<std::uint32_t>(sum / static_cast<std::uint64_t>(width));
            const int entering = i + half + 1;
            const int leaving = i - half;
            if (entering < length) {
                sum += in[base + static_cast<std::size_t>(entering * step)];
            }
            if (leaving >= 0) {
                sum -= in[base + static_cast<std::size_t>(leaving * step)];
            }
        }
    }
}

} // namespace

QImage blurredAlpha(const QImage& source, qreal sigma, int pad) {
    pad = std::max(pad, 0);
    const int width = source.width() + 2 * pad;
    const int height = source.height() + 2 * pad;
    QImage result(width, height, QImage::Format_Alpha8);
    if (result.isNull()) {
        return result;
    }
    const QImage alpha = source.convertToFormat(QImage::Format_Alpha8);
    std::vector<std::uint32_t> a(static_cast<std::size_t>(width) * static_cast<std::size_t>(height),
                                 0);
    for (int y = 0; y < alpha.height(); ++y) {
        const uchar* line = alpha.constScanLine(y);
        for (int x = 0; x < alpha.width(); ++x) {
            a[static_cast<std::size_t>(y + pad) * static_cast<std::size_t>(width) +
              static_cast<std::size_t>(x + pad)] = static_cast<std::uint32_t>(line[x]) << 16;
        }
    }
    if (sigma > 0.25) {
        std::vector<std::uint32_t> b(a.size());
        for (const int box : boxWidths(sigma)) {
            boxPass(a, b, height, width, width, 1, box);
            boxPass(b, a, width, height, 1, width, box);
        }
    }
    for (int y = 0; y < height; ++y) {
        uchar* line = result.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t value =
                a[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(x)];
            line[x] = static_cast<uchar>(std::min<std::uint32_t>(255, (value + 0x8000) >> 16));
        }
    }
    return result;
}

QImage tinted(const QImage& alpha, const QColor& colour) {
    QImage result(alpha.size(), QImage::Format_ARGB32_Premultiplied);
    if (result.isNull()) {
        return result;
    }
    const QImage mask = alpha.convertToFormat(QImage::Format_Alpha8);
    const QColor rgb = colour.toRgb();
    const int r = rgb.red();
    const int g = rgb.green();
    const int b = rgb.blue();
    const int a = rgb.alpha();
    for (int y = 0; y < mask.height(); ++y) {
        const uchar* in = mask.constScanLine(y);
        auto* out = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < mask.width(); ++x) {
            const int coverage = (in[x] * a + 127) / 255;
            out[x] = qRgba((r * coverage + 127) / 255, (g * coverage + 127) / 255,
                           (b * coverage + 127) / 255, coverage);
        }
    }
    return result;
}

} // namespace qm
