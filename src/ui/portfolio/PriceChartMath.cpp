#include "ui/portfolio/PriceChartMath.h"

#include "core/model/Amount.h"

#include <QDateTime>
#include <QLocale>
#include <algorithm>
#include <cmath>

namespace qm {
namespace {

constexpr double tension = 0.5;

std::string groupedThousands(double value) {
    std::string text = fixedPointText(value, 2);
    const std::size_t point = text.find('.');
    const std::size_t firstDigit = text.front() == '-' ? 1 : 0;
    std::size_t end = point == std::string::npos ? text.size() : point;
    while (end > firstDigit + 3) {
        end -= 3;
        text.insert(end, 1, ',');
    }
    return text;
}

QString number(double value) {
    return QString::number(value, 'f', 2);
}

QString pointText(ChartPoint point) {
    return number(point.x) + QLatin1Char(' ') + number(point.y);
}

} // namespace

std::string priceText(double price) {
    if (price >= 1000) {
        return groupedThousands(price);
    }
    if (price >= 1) {
        return fixedPointText(price, 2);
    }
    if (price >= 0.01) {
        return fixedPointText(price, 4);
    }
    return fixedPointText(price, 6);
}

std::string axisText(double value) {
    if (value >= 10000) {
        return fixedPointText(value / 1000, 0) + "K";
    }
    if (value >= 1000) {
        return fixedPointText(value / 1000, 1) + "K";
    }
    if (value >= 1) {
        return fixedPointText(value, 1);
    }
    return fixedPointText(value, 3);
}

YDomain yDomain(const std::vector<double>& prices) {
    double low = 0;
    double high = 1;
    bool any = false;
    for (const double price : prices) {
        if (!std::isfinite(price)) {
            continue;
        }
        low = any ? std::min(low, price) : price;
        high = any ? std::max(high, price) : price;
        any = true;
    }
    double margin = std::max((high - low) * 0.1, high * 0.01);
    if (!(margin > 0) || !std::isfinite(margin)) {
        margin = 1;
    }
    return {low - margin, high + margin};
}

std::vector<double> axisTicks(YDomain domain, int desired) {
    std::vector<double> ticks;
    const double range = domain.high - domain.low;
    if (!(range > 0) || !std::isfinite(range) || desired < 1) {
        return ticks;
    }
    const double rough = range / desired;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power;
    for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
        step = factor * power;
        if (step >= rough) {
            break;
        }
    }
    const double first = std::ceil(domain.low / step);
    for (int k = 0; k <= desired * 3; ++k) {
        const double tick = (first + k) * step;
        if (tick > domain.high + step * 1e-9) {
            break;
        }
        ticks.push_back(tick);
    }
    return ticks;
}

namespace {

constexpr qint64 minute = 60;
constexpr qint64 hour = 60 * minute;
constexpr qint64 day = 24 * hour;

QString dayLabel(const QDateTime& moment) {
    return QLocale::c().toString(moment, QStringLiteral("MMM d"));
}

// Every `days` days from the first midnight at or after `first`.
std::vector<TimeTick> dayTicks(const QDateTime& first, const QDateTime& last, int days) {
    std::vector<TimeTick> ticks;
    QDateTime moment(first.date(), QTime(0, 0), first.timeZone());
    if (moment < first) {
        moment = moment.addDays(1);
    }
    for (; moment <= last; moment = moment.addDays(days)) {
        ticks.push_back({static_cast<double>(moment.toSecsSinceEpoch()), dayLabel(moment)});
    }
    return ticks;
}

// Every `step` seconds of the clock, counted from the midnight of the first day.
std::vector<TimeTick> clockTicks(const QDateTime& first, const QDateTime& last, qint64 step) {
    std::vector<TimeTick> ticks;
    const QDateTime midnight(first.date(), QTime(0, 0), first.timeZone());
    const qint64 since = midnight.secsTo(first);
    QDateTime moment = midnight.addSecs((since + step - 1) / step * step);
    for (; moment <= last; moment = moment.addSecs(step)) {
        const bool atMidnight = moment.time() == QTime(0, 0);
        ticks.push_back({static_cast<double>(moment.toSecsSinceEpoch()),
                         atMidnight ? dayLabel(moment)
                                    : QLocale::c().toString(moment, QStringLiteral("HH:mm"))});
    }
    return ticks;
}

bool labelsDiffer(const std::vector<TimeTick>& ticks) {
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        for (std::size_t j = i + 1; j < ticks.size(); ++j) {
            if (ticks[i].label == ticks[j].label) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

std::vector<TimeTick> timeTicks(double first, double last, int maxCount, const QTimeZone& zone) {
    if (!std::isfinite(first) || !std::isfinite(last) || !(last > first) || maxCount < 1) {
        return {};
    }
    const QDateTime start =
        QDateTime::fromSecsSinceEpoch(static_cast<qint64>(std::ceil(first)), zone);
    const QDateTime end =
        QDateTime::fromSecsSinceEpoch(static_cast<qint64>(std::floor(last)), zone);
    if (last - first >= 2.0 * day) {
        for (const int days : {1, 2, 3, 7, 14, 28, 56, 91, 182, 364}) {
            std::vector<TimeTick> ticks = dayTicks(start, end, days);
            if (static_cast<int>(ticks.size()) <= maxCount) {
                return ticks;
            }
        }
        return {};
    }
    // Steps that do not divide a day keep the times of two days apart.
    for (const qint64 step :
         {5 * minute, 10 * minute, 15 * minute, 30 * minute, hour, 2 * hour, 3 * hour, 4 * hour,
          6 * hour, 8 * hour, 10 * hour, 12 * hour, 16 * hour, 20 * hour, day}) {
        std::vector<TimeTick> ticks = clockTicks(start, end, step);
        if (static_cast<int>(ticks.size()) <= maxCount && labelsDiffer(ticks)) {
            return ticks;
        }
    }
    return {};
}

ChartCurve chartCurve(const std::vector<DatedPrice>& points, YDomain domain, double width,
                      double height) {
    std::vector<DatedPrice> finite;
    std::copy_if(points.begin(), points.end(), std::back_inserter(finite),
                 [](const DatedPrice& p) { return std::isfinite(p.price); });
    ChartCurve curve;
    if (finite.empty()) {
        return curve;
    }
    const double range = domain.high - domain.low;
    auto yOf = [&](double price) {
        return range > 0 ? height * (domain.high - price) / range : height / 2;
    };
    if (finite.size() == 1) {
        const double y = yOf(finite.front().price);
        curve.start = {0, y};
        curve.segments.push_back({{width / 3, y}, {width * 2 / 3, y}, {width, y}});
        return curve;
    }
    const double first = finite.front().date.secondsSinceReferenceDate;
    const double span = finite.back().date.secondsSinceReferenceDate - first;
    const std::size_t last = finite.size() - 1;
    std::vector<ChartPoint> plotted;
    plotted.reserve(finite.size());
    for (std::size_t i = 0; i < finite.size(); ++i) {
        const double x = span > 0
                             ? width * (finite[i].date.secondsSinceReferenceDate - first) / span
                             : width * static_cast<double>(i) / static_cast<double>(last);
        plotted.push_back({x, yOf(finite[i].price)});
    }
    // Tangents of the cardinal spline; one-sided at the two ends.
    std::vector<ChartPoint> tangents(plotted.size());
    for (std::size_t i = 0; i <= last; ++i) {
        const ChartPoint before = plotted[i == 0 ? 0 : i - 1];
        const ChartPoint after = plotted[i == last ? last : i + 1];
        const double scale = (1 - tension) / (i == 0 || i == last ? 1.0 : 2.0);
        tangents[i] = {(after.x - before.x) * scale, (after.y - before.y) * scale};
    }
    curve.start = plotted.front();
    for (std::size_t i = 0; i < last; ++i) {
        const ChartPoint from = plotted[i];
        const ChartPoint to = plotted[i + 1];
        curve.segments.push_back({{from.x + tangents[i].x / 3, from.y + tangents[i].y / 3},
                                  {to.x - tangents[i + 1].x / 3, to.y - tangents[i + 1].y / 3},
                                  to});
    }
    return curve;
}

QString linePath(const ChartCurve& curve) {
    if (curve.segments.empty()) {
        return {};
    }
    QString path = QStringLiteral("M ") + pointText(curve.start);
    for (const BezierSegment& segment : curve.segments) {
        path += QStringLiteral(" C ") + pointText(segment.control1) + QLatin1Char(' ') +
                pointText(segment.control2) + QLatin1Char(' ') + pointText(segment.end);
    }
    return path;
}

QString areaPath(const ChartCurve& curve, double bottom) {
    if (curve.segments.empty()) {
        return {};
    }
    const ChartPoint end = curve.segments.back().end;
    return linePath(curve) + QStringLiteral(" L ") + pointText({end.x, bottom}) +
           QStringLiteral(" L ") + pointText({curve.start.x, bottom}) + QStringLiteral(" Z");
}

} // namespace qm
