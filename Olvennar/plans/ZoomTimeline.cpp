#include "plans/ZoomTimeline.h"

#include "plans/Smootherstep.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <deque>
#include <functional>
#include <iterator>
#include <optional>

namespace {

constexpr double scaleLimit = 3.0;

// Boxes here are capture-fraction rectangles; QRectF's own union treats zero-size boxes as absent,
// which a box opened at one point is, so these helpers work on the edges directly.
QRectF pointBox(double x, double y) { return QRectF(x, y, 0, 0); }

QRectF including(const QRectF& box, double x, double y)
{
    const double x0 = std::min(box.x(), x);
    const double y0 = std::min(box.y(), y);
    const double x1 = std::max(box.x() + box.width(), x);
    const double y1 = std::max(box.y() + box.height(), y);
    return QRectF(x0, y0, x1 - x0, y1 - y0);
}

QRectF united(const QRectF& a, const QRectF& b)
{
    return including(including(a, b.x(), b.y()), b.x() + b.width(), b.y() + b.height());
}

QPointF centerOf(const QRectF& box) { return QPointF(box.x() + box.width() / 2, box.y() + box.height() / 2); }

bool fits(const QRectF& box, double width, double height) { return box.width() <= width && box.height() <= height; }

bool contains(const QRectF& box, QPointF p)
{
    return box.x() <= p.x() && p.x() <= box.x() + box.width() && box.y() <= p.y() && p.y() <= box.y() + box.height();
}

QRectF squareAround(QPointF center, double half) { return QRectF(center.x() - half, center.y() - half, 2 * half, 2 * half); }

// Steps of `step` seconds from `from`, computed by multiplication so long walks do not drift.
double stepTime(double from, int index, double step) { return from + index * step; }

bool hasSamples(const std::optional<PointerPath>& pointer) { return pointer && !pointer->xs.empty() && pointer->ys.size() == pointer->xs.size(); }

template <typename T, typename Less>
void stableSort(std::vector<T>& values, Less less) { std::stable_sort(values.begin(), values.end(), less); }

std::vector<Click> sortedClicks(const std::vector<Click>& clicks)
{
    std::vector<Click> sorted;
    sorted.reserve(clicks.size());
    std::copy_if(clicks.begin(), clicks.end(), std::back_inserter(sorted), [](const Click& c) { return std::isfinite(c.time); });
    stableSort(sorted, [](const Click& a, const Click& b) { return a.time < b.time; });
    return sorted;
}

// Holds a smart segment's view: where it looks and how long it may hold before the action moves on.
struct HoldShortening {
    const std::vector<ZoomTimeline::Activity>& events;
    const PointerPath* pointer;

    double apply(const ZoomTimeline::Candidate& c, const QRectF& view, double holdEnd) const
    {
        // The next thing happens elsewhere.
        const auto next = std::upper_bound(events.begin(), events.end(), c.t1 + 0.05,
            [](double t, const ZoomTimeline::Activity& e) { return t < e.t0; });
        if (next != events.end() && next->t0 < holdEnd && !contains(view, QPointF(next->x, next->y)))
            holdEnd = next->t0 - 0.15;

        // The pointer leaves the view for half a second.
        if (pointer && c.t1 < holdEnd) {
            int outside = 0;
            for (int k = 0;; ++k) {
                const double t = stepTime(c.t1, k, 0.05);
                if (!(t < holdEnd))
                    break;
                const auto p = pointer->position(t);
                outside = p && !contains(view, *p) ? outside + 1 : 0;
                if (outside >= 10) {
                    holdEnd = t - 0.5;
                    break;
                }
            }
        }
        return holdEnd;
    }
};

constexpr double hoverStep = 0.1;
constexpr long hoverRestart = 5; // a failed scan starts again 0.5 s later

// Smallest and largest value over a window of indices that only moves forward.
class SlidingExtent {
public:
    explicit SlidingExtent(std::function<double(long)> value)
        : value_(std::move(value))
    {
    }
    void clear()
    {
        lows_.clear();
        highs_.clear();
    }
    void push(long index)
    {
        const double v = value_(index);
        while (!lows_.empty() && value_(lows_.back()) >= v)
            lows_.pop_back();
        lows_.push_back(index);
        while (!highs_.empty() && value_(highs_.back()) <= v)
            highs_.pop_back();
        highs_.push_back(index);
    }
    void dropBefore(long index)
    {
        while (!lows_.empty() && lows_.front() < index)
            lows_.pop_front();
        while (!highs_.empty() && highs_.front() < index)
            highs_.pop_front();
    }
    double low() const { return value_(lows_.front()); }
    double high() const { return value_(highs_.front()); }
    double widthWith(long index) const
    {
        const double v = value_(index);
        return std::max(high(), v) - std::min(low(), v);
    }

private:
    std::function<double(long)> value_;
    std::deque<long> lows_;
    std::deque<long> highs_;
};

} // namespace

QString ZoomTimeline::Candidate::reason() const
{
    QStringList parts;
    if (clicks >= 1)
        parts << QString::number(clicks) + QStringLiteral(" clicks");
    if (keys >= 1)
        parts << QStringLiteral("typing ") + QString::number(keys) + QStringLiteral(" keys");
    if (hover)
        parts << QStringLiteral("pointing");
    return parts.join(QStringLiteral(" + ")) + QString::asprintf(" in %.2fx%.2f over %.1fs", box.width(), box.height(), t1 - t0);
}

ZoomTimeline ZoomTimeline::build(ZoomMode mode, const ZoomActivity& activity, double requestedScale)
{
    const double cap = std::min(requestedScale, scaleLimit);
    if (!(cap > 1.0) || mode == ZoomMode::off)
        return none();
    if (mode == ZoomMode::everyClick)
        return build(activity.clicks, cap);

    std::vector<Segment> manual = manualSegments(activity, cap);
    if (mode == ZoomMode::manual)
        return {std::move(manual), cap};

    std::vector<double> zoomOuts;
    for (const ZoomMark& mark : activity.marks) {
        if (!mark.zoomIn)
            zoomOuts.push_back(mark.time);
    }
    std::vector<Segment> result = manual;
    for (Segment& smart : smartSegments(activity, cap)) {
        const bool nearManual = std::any_of(manual.begin(), manual.end(), [&](const Segment& m) {
            return smart.start < m.end + 1.0 && m.start - 1.0 < smart.end;
        });
        if (nearManual)
            continue;
        // Right after a manual zoom-out the user asked for the wide view; leave it alone for a while.
        const bool justZoomedOut = std::any_of(zoomOuts.begin(), zoomOuts.end(), [&](double m) {
            return m <= smart.start && smart.start < m + 5.0 + 4.0;
        });
        if (justZoomedOut)
            continue;
        for (double m : zoomOuts) {
            if (smart.start < m && m < smart.rampOutStart) {
                smart.rampOutStart = std::max(m, smart.start + 0.2);
                smart.rampInEnd = std::min(smart.rampInEnd, smart.rampOutStart);
                smart.end = smart.rampOutStart + 1.6;
                smart.reason += QStringLiteral(" (cut by manual zoom-out)");
                break;
            }
        }
        result.push_back(std::move(smart));
    }
    stableSort(result, [](const Segment& a, const Segment& b) { return a.start < b.start; });
    return {std::move(result), cap};
}

ZoomTimeline ZoomTimeline::build(const std::vector<Click>& clicks, double requestedScale)
{
    const double cap = std::min(requestedScale, scaleLimit);
    if (clicks.empty() || !(cap > 1.0))
        return none();

    const std::vector<Click> sorted = sortedClicks(clicks);
    ZoomTimeline timeline{{}, cap};
    std::vector<Click> cluster;
    const auto closeCluster = [&] {
        Segment segment;
        segment.keys = keysFor(cluster, cap);
        segment.start = std::max(cluster.front().time - 0.85, 0.0);
        segment.rampInEnd = segment.start + 1.0;
        segment.rampOutStart = std::max(cluster.back().time + 2.0, segment.rampInEnd);
        segment.end = segment.rampOutStart + 1.0;
        segment.reason = QStringLiteral("clicks");
        if (!timeline.segments.empty() && segment.start < timeline.segments.back().end + 1.2) {
            Segment& previous = timeline.segments.back();
            previous.rampOutStart = std::max(previous.rampOutStart, segment.rampOutStart);
            previous.end = std::max(previous.end, segment.end);
            previous.keys.insert(previous.keys.end(), segment.keys.begin(), segment.keys.end());
        } else {
            timeline.segments.push_back(std::move(segment));
        }
        cluster.clear();
    };
    for (const Click& click : sorted) {
        if (!cluster.empty() && click.time - cluster.back().time > 2.5)
            closeCluster();
        cluster.push_back(click);
    }
    closeCluster();
    return timeline;
}

std::vector<ZoomTimeline::Key> ZoomTimeline::keysFor(const std::vector<Click>& clicks, double maxScale)
{
    if (clicks.empty())
        return {};
    QRectF bounds = pointBox(clicks.front().x, clicks.front().y);
    for (const Click& click : clicks)
        bounds = including(bounds, click.x, click.y);
    const double spread = std::max(bounds.width(), bounds.height());
    const double fit = spread > 0.001 ? 0.75 / spread : maxScale;
    const double scale = std::min(std::max(std::min(maxScale, 1.35), fit), maxScale);
    if (spread * scale <= 0.75)
        return {Key{clicks.front().time, centerOf(bounds), scale}};

    std::vector<Key> keys;
    for (const Click& click : clicks) {
        if (!keys.empty()) {
            const QPointF last = keys.back().center;
            if (std::max(std::abs(click.x - last.x()), std::abs(click.y - last.y())) * scale < 0.1)
                continue;
        }
        keys.push_back(Key{click.time, QPointF(click.x, click.y), scale});
    }
    return keys;
}

std::vector<ZoomTimeline::Segment> ZoomTimeline::manualSegments(const ZoomActivity& activity, double cap)
{
    std::vector<ZoomMark> marks = activity.marks;
    stableSort(marks, [](const ZoomMark& a, const ZoomMark& b) { return a.time < b.time; });
    const double scale = std::min(cap, 1.9);
    const double half = 0.5 / scale * 0.9;
    const PointerPath* pointer = hasSamples(activity.pointer) ? &*activity.pointer : nullptr;

    std::vector<Segment> segments;
    size_t i = 0;
    while (i < marks.size()) {
        const ZoomMark& opening = marks[i++];
        if (!opening.zoomIn)
            continue; // a zoom-out that no zoom-in opened
        Segment segment;
        segment.keys.push_back(Key{opening.time, QPointF(opening.x, opening.y), scale});
        segment.start = std::max(opening.time - 0.35, 0.0);
        double last = opening.time;
        std::optional<double> holdEnd;
        bool closedByZoomOut = false;
        while (i < marks.size()) {
            const ZoomMark& mark = marks[i];
            if (!mark.zoomIn) {
                segment.rampOutStart = std::max(mark.time, segment.start + 0.3);
                segment.rampInEnd = std::min(segment.rampOutStart, segment.start + 1.6);
                segment.end = segment.rampOutStart + 1.6;
                closedByZoomOut = true;
                ++i;
                break;
            }
            if (mark.time - last > 20.0) {
                holdEnd = std::min(mark.time - 5.0, last + 8.0);
                break; // this mark opens the next segment
            }
            segment.keys.push_back(Key{mark.time, QPointF(mark.x, mark.y), scale});
            last = mark.time;
            ++i;
        }
        if (!closedByZoomOut) {
            double hold = holdEnd.value_or(last + 8.0);
            if (pointer) {
                // Let go once the pointer leaves the spot the zoom looks at.
                const QPointF center = segment.keys.back().center;
                for (int k = 0;; ++k) {
                    const double probe = stepTime(last + 3.0, k, 0.1);
                    if (!(probe < hold))
                        break;
                    const auto p = pointer->position(probe);
                    const bool inside = p && center.x() - half <= p->x() && p->x() < center.x() + half
                        && center.y() - half <= p->y() && p->y() < center.y() + half;
                    if (!inside) {
                        hold = probe;
                        break;
                    }
                }
            }
            segment.rampInEnd = segment.start + 1.6;
            segment.rampOutStart = std::max(hold, segment.start + 1.6 + 3.0);
            segment.end = segment.rampOutStart + 1.6;
        }
        segment.reason = segment.keys.size() == 1
            ? QStringLiteral("manual")
            : QStringLiteral("manual (") + QString::number(segment.keys.size()) + QStringLiteral(" marks)");
        segments.push_back(std::move(segment));
    }
    return segments;
}

std::vector<ZoomTimeline::Activity> ZoomTimeline::smartEvents(const ZoomActivity& activity)
{
    const std::vector<Click> clicks = sortedClicks(activity.clicks);
    std::vector<Activity> events;
    events.reserve(clicks.size());
    for (size_t i = 0; i < clicks.size(); ++i) {
        const Click& c = clicks[i];
        if (i > 0) {
            // A double or triple click on one spot is one event.
            const Click& p = clicks[i - 1];
            if (c.time - p.time <= 0.45 && std::abs(c.x - p.x) <= 0.015 && std::abs(c.y - p.y) <= 0.015)
                continue;
        }
        events.push_back(Activity{c.time, c.time, c.x, c.y, 1, 0});
    }

    std::vector<double> markTimes;
    markTimes.reserve(activity.marks.size());
    for (const ZoomMark& mark : activity.marks)
        markTimes.push_back(mark.time);
    std::sort(markTimes.begin(), markTimes.end());
    // The hot key that set a mark is not typing.
    const auto nearMark = [&](double t) {
        const auto after = std::lower_bound(markTimes.begin(), markTimes.end(), t);
        if (after != markTimes.end() && std::abs(*after - t) < 0.3)
            return true;
        return after != markTimes.begin() && std::abs(t - *(after - 1)) < 0.3;
    };
    std::vector<double> keys;
    keys.reserve(activity.keys.size());
    for (double t : activity.keys) {
        if (std::isfinite(t))
            keys.push_back(t);
    }
    std::sort(keys.begin(), keys.end());
    keys.erase(std::remove_if(keys.begin(), keys.end(), nearMark), keys.end());

    const PointerPath* pointer = hasSamples(activity.pointer) ? &*activity.pointer : nullptr;
    const auto addBurst = [&](size_t first, size_t last) {
        const size_t count = last - first + 1;
        const double t0 = keys[first];
        const double t1 = keys[last];
        if (count < 4 || t1 - t0 < 0.8)
            return;
        std::optional<QPointF> place;
        const auto after = std::upper_bound(clicks.begin(), clicks.end(), t0, [](double t, const Click& c) { return t < c.time; });
        if (after != clicks.begin() && t0 - (after - 1)->time <= 15.0)
            place = QPointF((after - 1)->x, (after - 1)->y);
        else if (pointer)
            place = pointer->position(t0);
        if (!place || place->x() < 0 || place->x() > 1 || place->y() < 0 || place->y() > 1)
            return;
        events.push_back(Activity{t0, t1, place->x(), place->y(), 0, static_cast<int>(count)});
    };
    size_t burstStart = 0;
    for (size_t k = 1; k <= keys.size(); ++k) {
        if (k == keys.size() || keys[k] - keys[k - 1] > 1.2) {
            addBurst(burstStart, k - 1);
            burstStart = k;
        }
    }
    stableSort(events, [](const Activity& a, const Activity& b) { return a.t0 < b.t0; });
    return events;
}

std::vector<ZoomTimeline::Candidate> ZoomTimeline::clickCandidates(const std::vector<Activity>& events, const PointerPath* pointer)
{
    std::vector<Candidate> candidates;
    size_t i = 0;
    while (i < events.size()) {
        const Activity& first = events[i];
        QRectF box = pointBox(first.x, first.y);
        double t1 = first.t1;
        int clicks = first.clicks;
        int keys = first.keys;
        size_t j = i + 1;
        for (; j < events.size(); ++j) {
            const Activity& next = events[j];
            if (next.t0 - t1 > 3.0)
                break;
            const QRectF grown = including(box, next.x, next.y);
            if (!fits(grown, 0.18, 0.22))
                break;
            box = grown;
            t1 = std::max(t1, next.t1);
            clicks += next.clicks;
            keys += next.keys;
        }
        const double duration = t1 - first.t0;
        bool accepted = (clicks >= 4 && duration >= 4.0) || (keys >= 6 && duration >= 1.2);
        if (accepted && pointer && !pointer->xs.empty() && duration > 0) {
            // The pointer must mostly stay near the action, or the clicks are scattered work.
            const QRectF near = box.adjusted(-0.08, -0.08, 0.08, 0.08);
            int inside = 0;
            int total = 0;
            for (int k = 0;; ++k) {
                const double t = stepTime(first.t0, k, 0.1);
                if (t > t1 + 1e-9)
                    break;
                const auto p = pointer->position(t);
                ++total;
                inside += p && contains(near, *p) ? 1 : 0;
            }
            accepted = inside >= 0.7 * total;
        }
        if (!accepted) {
            ++i; // later events of the group may still form a group of their own
            continue;
        }
        candidates.push_back(Candidate{first.t0, t1, box, clicks, keys, false, {{first.t0, centerOf(box)}}});
        i = j;
    }
    return candidates;
}

std::vector<ZoomTimeline::Candidate> ZoomTimeline::hoverCandidates(const PointerPath& pointer, const std::vector<Activity>& events)
{
    std::vector<Candidate> candidates;
    if (pointer.xs.empty() || pointer.ys.size() != pointer.xs.size())
        return candidates;
    const double pathEnd = pointer.start + static_cast<double>(pointer.xs.size() - 1) / PointerPath::rate;

    // Every scan starts on the 0.1 s grid from the path's start and samples along it, so the positions
    // and the distance walked are computed once. A scan from a later start fits at least as far as an
    // earlier one, so the end of the fitting run only moves forward: a sliding window of box extents
    // keeps the whole scan linear even when the pointer rests for an hour.
    long lastIndex = static_cast<long>(std::floor((pathEnd - pointer.start) / hoverStep + 1e-9));
    while (lastIndex > 0 && stepTime(pointer.start, static_cast<int>(lastIndex), hoverStep) > pathEnd)
        --lastIndex;
    std::vector<QPointF> grid(static_cast<size_t>(lastIndex) + 1);
    std::vector<double> walked(grid.size(), 0.0);
    for (long k = 0; k <= lastIndex; ++k) {
        grid[static_cast<size_t>(k)] = *pointer.position(stepTime(pointer.start, static_cast<int>(k), hoverStep));
        if (k > 0) {
            const QPointF d = grid[static_cast<size_t>(k)] - grid[static_cast<size_t>(k - 1)];
            walked[static_cast<size_t>(k)] = walked[static_cast<size_t>(k - 1)] + std::hypot(d.x(), d.y());
        }
    }
    SlidingExtent xs([&](long k) { return grid[static_cast<size_t>(k)].x(); });
    SlidingExtent ys([&](long k) { return grid[static_cast<size_t>(k)].y(); });

    long fitEnd = 0; // one past the last sample of the current fitting run
    long i = 0;
    while (i <= lastIndex && stepTime(pointer.start, static_cast<int>(i), hoverStep) < pathEnd) {
        if (fitEnd <= i) {
            xs.clear();
            ys.clear();
            xs.push(i);
            ys.push(i);
            fitEnd = i + 1;
        }
        xs.dropBefore(i);
        ys.dropBefore(i);
        while (fitEnd <= lastIndex && xs.widthWith(fitEnd) <= 0.1 && ys.widthWith(fitEnd) <= 0.12) {
            xs.push(fitEnd);
            ys.push(fitEnd);
            ++fitEnd;
        }
        const long lastFit = fitEnd - 1;
        const double t = stepTime(pointer.start, static_cast<int>(i), hoverStep);
        const double dwell = static_cast<double>(lastFit - i) * hoverStep;
        const double distance = walked[static_cast<size_t>(lastFit)] - walked[static_cast<size_t>(i)];
        // The pointer rests on one spot but still moves, as when pointing at something.
        if (dwell >= 5.0 && distance >= 0.12 && distance / dwell >= 0.02) {
            const bool fitsToTheEnd = fitEnd > lastIndex;
            const double until = fitsToTheEnd ? pathEnd : stepTime(pointer.start, static_cast<int>(fitEnd), hoverStep);
            const auto from = std::lower_bound(events.begin(), events.end(), t, [](const Activity& e, double time) { return e.t0 < time; });
            int clicks = 0;
            for (auto e = from; e != events.end() && e->t0 <= until; ++e)
                clicks += e->clicks;
            const QRectF box(xs.low(), ys.low(), xs.high() - xs.low(), ys.high() - ys.low());
            candidates.push_back(Candidate{t, stepTime(pointer.start, static_cast<int>(lastFit), hoverStep), box, clicks, 0, true, {{t, centerOf(box)}}});
            if (fitsToTheEnd)
                break; // the box still fits at the path's end: nothing is left to scan
            i = fitEnd;
        } else {
            i += hoverRestart;
        }
    }
    return candidates;
}

std::vector<ZoomTimeline::Segment> ZoomTimeline::smartSegments(const ZoomActivity& activity, double cap)
{
    const std::vector<Activity> events = smartEvents(activity);
    const PointerPath* pointer = hasSamples(activity.pointer) ? &*activity.pointer : nullptr;

    std::vector<Candidate> candidates = clickCandidates(events, pointer);
    if (pointer) {
        std::vector<Candidate> hovers = hoverCandidates(*pointer, events);
        candidates.insert(candidates.end(), std::make_move_iterator(hovers.begin()), std::make_move_iterator(hovers.end()));
    }
    stableSort(candidates, [](const Candidate& a, const Candidate& b) { return a.t0 < b.t0; });

    std::vector<Candidate> merged;
    for (Candidate& c : candidates) {
        if (!merged.empty()) {
            Candidate& last = merged.back();
            const QRectF both = united(last.box, c.box);
            if (c.t0 - last.t1 <= 4.0 && fits(both, 0.3, 0.34)) {
                last.t1 = std::max(last.t1, c.t1);
                last.box = both;
                last.clicks += c.clicks;
                last.keys += c.keys;
                last.hover = last.hover || c.hover;
                last.centers.insert(last.centers.end(), c.centers.begin(), c.centers.end());
                continue;
            }
        }
        merged.push_back(std::move(c));
    }

    const double scaleCap = std::min(cap, 1.9);
    const double scaleFloor = std::min(scaleCap, 1.4);
    const HoldShortening shortening{events, pointer};
    std::vector<Segment> segments;
    double takenEnd = 0; // t1 of the last candidate taken into the current segment
    QRectF takenBox;     // union of the boxes taken into it

    for (const Candidate& c : merged) {
        const double rampInEnd = c.t0 + 0.25;
        const double start = std::max(rampInEnd - 1.6, 0.0);
        if (!segments.empty()) {
            Segment& previous = segments.back();
            if (!(start >= previous.start + 24.0 && start >= previous.end + 5.0)) {
                // Too soon for a new zoom: extend the current one when the action stays close, else skip it.
                const QRectF both = united(takenBox, c.box);
                if (c.t0 - takenEnd > 6.0 || !fits(both, 0.3, 0.34))
                    continue;
                const double scale = previous.keys.empty() ? scaleCap : previous.keys.front().scale;
                const QRectF view = squareAround(centerOf(both), 0.5 / scale * 0.85);
                double holdEnd = shortening.apply(c, view, c.t1 + 1.8);
                holdEnd = std::max({holdEnd, previous.rampInEnd + 3.0, previous.rampOutStart});
                const QPointF center = centerOf(c.box);
                const bool moved = previous.keys.empty()
                    || std::max(std::abs(center.x() - previous.keys.back().center.x()),
                           std::abs(center.y() - previous.keys.back().center.y())) * scale >= 0.1;
                if (moved)
                    previous.keys.push_back(Key{c.t0, center, scale});
                previous.rampOutStart = holdEnd;
                previous.end = holdEnd + 1.6;
                previous.reason += QStringLiteral(" + ") + c.reason();
                takenEnd = c.t1;
                takenBox = both;
                continue;
            }
        }
        const double size = std::max(c.box.width() + 0.1, c.box.height() + 0.1);
        const double scale = std::min(std::max(0.45 / size, scaleFloor), scaleCap);
        const QRectF view = squareAround(centerOf(c.box), 0.5 / scale * 0.85);
        double holdEnd = shortening.apply(c, view, c.t1 + 1.8);
        holdEnd = std::max(holdEnd, rampInEnd + 3.0);
        segments.push_back(Segment{start, rampInEnd, holdEnd, holdEnd + 1.6, {Key{c.t0, centerOf(c.box), scale}}, c.reason()});
        takenEnd = c.t1;
        takenBox = c.box;
    }
    return segments;
}

ZoomTimeline::State ZoomTimeline::state(double t) const
{
    for (const Segment& segment : segments) {
        if (!(segment.start <= t && t <= segment.end))
            continue;
        double raw = 1.0;
        if (t > segment.rampOutStart)
            raw = 1.0 - (t - segment.rampOutStart) / std::max(segment.end - segment.rampOutStart, 0.0001);
        else if (t < segment.rampInEnd)
            raw = (t - segment.start) / std::max(segment.rampInEnd - segment.start, 0.0001);
        const auto [center, scale] = focus(segment, t);
        return State{smootherstep(raw), scale, center};
    }
    return State{};
}

std::pair<QPointF, double> ZoomTimeline::focus(const Segment& segment, double t) const
{
    const std::vector<Key>& keys = segment.keys;
    if (keys.empty())
        return {QPointF(0.5, 0.5), maxScale};
    if (keys.size() == 1)
        return {keys.front().center, keys.front().scale};
    size_t next = 1;
    while (next < keys.size() && keys[next].time + 0.12 <= t)
        ++next;
    if (next == keys.size())
        return {keys.back().center, keys.back().scale};
    const Key& from = keys[next - 1];
    const Key& to = keys[next];
    const double moveEnd = to.time + 0.12;
    const double moveStart = std::max(moveEnd - 1.3, from.time);
    if (t <= moveStart)
        return {from.center, from.scale};
    const double u = smootherstep((t - moveStart) / std::max(moveEnd - moveStart, 0.0001));
    const QPointF center = from.center + (to.center - from.center) * u;
    return {center, from.scale * std::pow(to.scale / from.scale, u)};
}
