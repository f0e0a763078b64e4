#include "takedata/FocusPath.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
const QRectF unitRect(0, 0, 1, 1);

double smootherstep(double u) { return u * u * u * (u * (6 * u - 15) + 10); }
} // namespace

FocusPath::FocusPath(const std::vector<std::vector<double>>& windows)
{
    struct Candidate {
        double time;
        QRectF rect;
    };
    std::vector<Candidate> candidates;
    candidates.reserve(windows.size());
    for (const auto& w : windows) {
        if (w.size() < 5)
            continue;
        const QRectF window(w[1], w[2], w[3], w[4]);
        const QRectF inside = window.intersected(unitRect);
        QRectF rect = unitRect;
        if (!inside.isEmpty()) {
            const double area = inside.width() * inside.height();
            if (area >= minimumArea && area <= maximumArea)
                rect = inside;
        }
        candidates.push_back({w[0], rect});
    }
    keys.push_back({-std::numeric_limits<double>::infinity(), unitRect});
    for (size_t i = 0; i < candidates.size(); ++i) {
        const double next = i + 1 < candidates.size() ? candidates[i + 1].time : std::numeric_limits<double>::infinity();
        if (candidates[i].rect != keys.back().rect && next - candidates[i].time >= minimumDwell)
            keys.push_back({candidates[i].time, candidates[i].rect});
    }
}

QRectF FocusPath::rect(double t) const { return rect(t, keys.size()); }

QRectF FocusPath::rect(double t, size_t keyCount) const
{
    const Key* key = nullptr;
    size_t index = 0;
    for (size_t i = 0; i < keyCount; ++i) {
        if (keys[i].time > t)
            break;
        key = &keys[i];
        index = i;
    }
    if (!key)
        return unitRect;
    if (index == 0)
        return key->rect;
    const double u = (t - key->time) / blendSeconds;
    if (u >= 1)
        return key->rect;
    // The rectangle just before the key, itself possibly still blending. Only earlier keys are asked, so a
    // key time too large to step back from by a microsecond cannot recurse forever.
    const QRectF previous = rect(key->time - 0.000001, index);
    const double s = smootherstep(std::clamp(u, 0.0, 1.0));
    return QRectF(previous.x() + s * (key->rect.x() - previous.x()), previous.y() + s * (key->rect.y() - previous.y()),
        previous.width() + s * (key->rect.width() - previous.width()),
        previous.height() + s * (key->rect.height() - previous.height()));
}
