#include "takedata/PointerPath.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr double step = 1.0 / PointerPath::rate;
constexpr int kernelReach = 17;
constexpr double sigmaPoints = 0.045 * PointerPath::rate;

double smootherstep(double u) { return u * u * u * (u * (6 * u - 15) + 10); }

std::vector<double> smoothed(const std::vector<double>& values)
{
    static const std::array<double, 2 * kernelReach + 1> weights = [] {
        std::array<double, 2 * kernelReach + 1> w{};
        for (int k = -kernelReach; k <= kernelReach; ++k)
            w[static_cast<size_t>(k + kernelReach)] = std::exp(-(k * k) / (2 * sigmaPoints * sigmaPoints));
        return w;
    }();
    double total = 0;
    for (double w : weights)
        total += w;
    const long last = static_cast<long>(values.size()) - 1;
    std::vector<double> out(values.size());
    for (long i = 0; i <= last; ++i) {
        double sum = 0;
        for (int k = -kernelReach; k <= kernelReach; ++k)
            sum += weights[static_cast<size_t>(k + kernelReach)] * values[static_cast<size_t>(std::clamp(i + k, 0L, last))];
        out[static_cast<size_t>(i)] = sum / total;
    }
    return out;
}

} // namespace

std::optional<PointerPath> PointerPath::fromSamples(const std::vector<std::vector<double>>& samples)
{
    struct Point {
        double t, x, y;
    };
    std::vector<Point> kept;
    kept.reserve(samples.size());
    for (const auto& s : samples) {
        if (s.size() < 3 || !std::isfinite(s[0]) || !std::isfinite(s[1]) || !std::isfinite(s[2]))
            continue;
        if (s[0] < earliestSampleTime || s[0] > latestSampleTime)
            continue;
        kept.push_back({s[0], s[1], s[2]});
    }
    if (kept.empty())
        return std::nullopt;
    std::stable_sort(kept.begin(), kept.end(), [](const Point& a, const Point& b) { return a.t < b.t; });

    const Point& first = kept.front();
    const Point& last = kept.back();
    const size_t count = std::max<size_t>(1, static_cast<size_t>(std::ceil((last.t - first.t) / step)) + 1);

    PointerPath path;
    path.start = first.t;
    std::vector<double> xs(count), ys(count);
    size_t cursor = 1;
    for (size_t i = 0; i < count; ++i) {
        const double t = first.t + static_cast<double>(i) * step;
        while (cursor < kept.size() && !(kept[cursor].t > t))
            ++cursor;
        if (cursor >= kept.size()) {
            xs[i] = last.x;
            ys[i] = last.y;
            continue;
        }
        const Point& a = kept[cursor - 1];
        const Point& b = kept[cursor];
        const double f = a.t < b.t ? std::clamp((t - a.t) / (b.t - a.t), 0.0, 1.0) : 1.0;
        xs[i] = a.x + f * (b.x - a.x);
        ys[i] = a.y + f * (b.y - a.y);
    }
    path.xs = smoothed(xs);
    path.ys = smoothed(ys);
    return path;
}

std::optional<PointerPath> PointerPath::fromClicks(const std::vector<Click>& clicks)
{
    return fromSamples(clickSamples(clicks));
}

std::vector<std::vector<double>> PointerPath::clickSamples(const std::vector<Click>& clicks)
{
    if (clicks.empty())
        return {};
    std::vector<Click> sorted = clicks;
    std::stable_sort(sorted.begin(), sorted.end(), [](const Click& a, const Click& b) { return a.time < b.time; });
    std::vector<std::vector<double>> samples;
    samples.reserve(sorted.size() * 14);
    samples.push_back({sorted[0].time, sorted[0].x, sorted[0].y});
    for (size_t i = 1; i < sorted.size(); ++i) {
        const Click& p = sorted[i - 1];
        const Click& c = sorted[i];
        const double travel = std::min(std::max((c.time - p.time) * 0.6, 0.15), 0.7);
        const double arrival = c.time - 0.08;
        const double departure = std::max(arrival - travel, p.time + 0.05);
        for (int k = 0; k <= 12; ++k) {
            const double u = k / 12.0;
            const double q = smootherstep(u);
            samples.push_back({departure + (arrival - departure) * u, p.x + (c.x - p.x) * q, p.y + (c.y - p.y) * q});
        }
        samples.push_back({c.time, c.x, c.y});
    }
    return samples;
}

std::optional<QPointF> PointerPath::position(double t) const
{
    if (xs.empty() || ys.size() != xs.size())
        return std::nullopt;
    const double f = (t - start) * rate;
    if (!(f > 0)) // also catches NaN
        return QPointF(xs.front(), ys.front());
    const double whole = std::floor(f);
    if (whole >= static_cast<double>(xs.size() - 1))
        return QPointF(xs.back(), ys.back());
    const size_t i = static_cast<size_t>(whole);
    const double u = f - whole;
    return QPointF(xs[i] + (xs[i + 1] - xs[i]) * u, ys[i] + (ys[i + 1] - ys[i]) * u);
}

CursorShape PointerPath::shape(double t) const
{
    CursorShape shape = CursorShape::arrow;
    for (const ShapeKey& key : shapeKeys) {
        if (key.time > t)
            break;
        shape = key.shape;
    }
    return shape == CursorShape::other ? CursorShape::arrow : shape;
}
