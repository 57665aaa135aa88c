#pragma once
// The price card's numbers: the header price and axis label texts (always "," grouping and
// "." decimals, whatever the user's locale), the y range, the axis ticks, and the smooth
// curve through the points as cubic Bézier segments in plot coordinates.

#include "core/model/Date.h"

#include <QString>
#include <QTimeZone>
#include <string>
#include <vector>

namespace qm {

// The header price without its "$": from 1000 up two decimals with "," grouping
// ("1,234.57"), else "%.2f" from 1, "%.4f" from 0.01, "%.6f" below.
std::string priceText(double price);
// A y-axis label: "%.0fK" of v/1000 from 10000, "%.1fK" from 1000, "%.1f" from 1, "%.3f" below.
std::string axisText(double value);

struct YDomain {
    double low = 0;
    double high = 1;
    bool operator==(const YDomain&) const = default;
};
// From the lowest and highest price (0 and 1 without any), widened on each side by the larger
// of 10 % of the range and 1 % of the highest price. A series whose margin comes out as 0 or
// less (all zero, or all equal and negative) gets a margin of 1, so the range is never empty.
// Prices that are no finite number are ignored.
YDomain yDomain(const std::vector<double>& prices);

// About `desired` round values (1, 2 or 5 times a power of ten apart) inside the domain.
std::vector<double> axisTicks(YDomain domain, int desired);

// A mark of the time axis: its moment (Unix seconds) and label.
struct TimeTick {
    double unixTime = 0;
    QString label;
    bool operator==(const TimeTick&) const = default;
};
// Marks at round moments between `first` and `last` (Unix seconds, both included), evenly
// spaced, at most `maxCount`, their labels all different, in `zone`. A span of two days or more
// gets whole days from midnight ("Jan 3"); a shorter one times of day ("14:00"; a midnight
// reads as its date), with the shortest step whose labels do not repeat. None for no span.
std::vector<TimeTick> timeTicks(double first, double last, int maxCount, const QTimeZone& zone);

struct ChartPoint {
    double x = 0;
    double y = 0;
    bool operator==(const ChartPoint&) const = default;
};
struct BezierSegment {
    ChartPoint control1;
    ChartPoint control2;
    ChartPoint end;
    bool operator==(const BezierSegment&) const = default;
};
struct ChartCurve {
    ChartPoint start;
    std::vector<BezierSegment> segments; // empty: nothing to draw
};

struct DatedPrice {
    Date date;
    double price = 0;
};

// The curve through the points in a plot of `width` x `height` (y grows downwards): x by date
// from the first to the last point (by position when they share one date), y by `domain`.
// A cardinal spline with tension 0.5, so the line and the area share one curve. One point
// gives a level line across the plot; no point (or no finite price), an empty curve.
ChartCurve chartCurve(const std::vector<DatedPrice>& points, YDomain domain, double width,
                      double height);

// The curve as an SVG path ("M x y C ..."), and as the closed area under it down to `bottom`.
QString linePath(const ChartCurve& curve);
QString areaPath(const ChartCurve& curve, double bottom);

} // namespace qm
