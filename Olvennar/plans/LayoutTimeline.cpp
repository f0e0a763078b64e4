#include "plans/LayoutTimeline.h"

#include "plans/Smootherstep.h"

#include <QJsonArray>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

constexpr double step = LayoutTimeline::activityStep;
constexpr double screenStopMinimum = 7.0;
constexpr double screenStopTolerance = 6.999;

// Index of a time on the activity map, truncated toward zero and kept inside [low, high].
long boundedIndex(double t, long low, long high)
{
    const double index = std::trunc(t / step);
    if (!(index >= static_cast<double>(low)))
        return low;
    return index > static_cast<double>(high) ? high : static_cast<long>(index);
}

LayoutTimeline::Stop screenStop(double start, double ramp, const QString& reason)
{
    return {LayoutState::screen, start, ramp, reason, 0};
}

QString formatted(const char* format, double value) { return QString::asprintf(format, value); }

} // namespace

std::vector<bool> LayoutTimeline::activityMap(double duration, const std::vector<Click>& clicks, const std::vector<double>& keys,
    const std::optional<PointerPath>& pointer, const ZoomTimeline& zoom, const LayoutSignals& signals)
{
    const long n = std::max(static_cast<long>(std::trunc(duration / step)), 0L);
    std::vector<bool> marked(static_cast<size_t>(n) + 1, false);
    const auto mark = [&](double a, double b) {
        if (std::isnan(a) || std::isnan(b))
            return;
        const long first = boundedIndex(a, 0, n + 1);
        const long last = boundedIndex(b, -1, n);
        for (long i = first; i <= last; ++i)
            marked[static_cast<size_t>(i)] = true;
    };

    for (const Click& click : clicks)
        mark(click.time - 0.5, click.time + 1.5);
    for (double t : keys)
        mark(t - 0.3, t + 1.0);
    if (pointer && !pointer->xs.empty() && pointer->ys.size() == pointer->xs.size()) {
        const double pathEnd = std::min(pointer->start + static_cast<double>(pointer->xs.size() - 1) / PointerPath::rate, duration);
        const double first = std::max(pointer->start, 0.0);
        for (long k = 0;; ++k) {
            const double t = first + static_cast<double>(k) * 0.25;
            if (!(t < pathEnd))
                break;
            const QPointF a = *pointer->position(t);
            const QPointF b = *pointer->position(t + 0.25);
            if (std::hypot(b.x() - a.x(), b.y() - a.y()) > 0.01)
                mark(t - 0.2, t + 1.0);
        }
    }
    if (signals.screen) {
        for (size_t i = 0; i < signals.screen->size(); ++i) {
            if ((*signals.screen)[i])
                mark(static_cast<double>(i) * signals.screenStep - 0.25, static_cast<double>(i + 1) * signals.screenStep + 0.5);
        }
    }
    for (const ZoomTimeline::Segment& segment : zoom.segments)
        mark(segment.start, segment.end);
    return marked;
}

std::vector<LayoutTimeline::Want> LayoutTimeline::wants(double duration, const std::vector<bool>& activity,
    const ZoomTimeline& zoom, const LayoutSignals& signals)
{
    const long count = static_cast<long>(activity.size());
    double first = duration;
    for (long i = 0; i < count; ++i) {
        if (activity[static_cast<size_t>(i)] && static_cast<double>(i) * step >= 1.0) {
            first = static_cast<double>(i) * step;
            break;
        }
    }
    double last = 0;
    for (long i = count - 1; i >= 0; --i) {
        if (activity[static_cast<size_t>(i)] && static_cast<double>(i) * step <= duration - 1.5) {
            last = static_cast<double>(i) * step;
            break;
        }
    }

    std::vector<Want> wants;
    wants.push_back({LayoutState::face, 0, std::min(std::max(first - 0.2, 3.5), 6.0), 0, 0.85,
        formatted("intro (first screen activity %.1fs)", first), 3});
    const double outroStart = std::max(last + 0.5, duration - 5.0);
    if (duration - outroStart >= 2.5) {
        wants.push_back({LayoutState::face, outroStart, duration + 1.0, 0.85, 0,
            formatted("outro (last screen activity %.1fs)", last), 3});
    }
    for (const ZoomTimeline::Segment& segment : zoom.segments) {
        const double hold = segment.rampOutStart - segment.rampInEnd;
        if (hold >= 6.0) {
            wants.push_back({LayoutState::focus, segment.start, segment.rampOutStart, segment.rampInEnd - segment.start,
                segment.end - segment.rampOutStart, formatted("zoom held %.1fs: ", hold) + segment.reason, 2});
        }
    }

    // Long still stretches: the face or a split, depending on how much the speaker talks.
    long runStart = -1;
    for (long i = 0; i <= count; ++i) {
        const bool still = i < count && !activity[static_cast<size_t>(i)];
        if (still) {
            if (runStart < 0)
                runStart = i;
            continue;
        }
        if (runStart < 0)
            continue;
        const long j = i;
        const double a = static_cast<double>(runStart) * step;
        const double b = static_cast<double>(j) * step;
        const double length = static_cast<double>(j - runStart) * step;
        runStart = -1;
        if (length < 9.0)
            continue;
        const std::optional<double> talking = signals.talkingFraction(a, b);
        std::optional<LayoutState> state;
        QString reason = formatted("screen still %.1fs", length);
        if (!talking) {
            state = length < 22.0 ? LayoutState::split : LayoutState::face;
            reason += QStringLiteral(", no speech signal");
        } else {
            if (length >= 15.0 && *talking >= 0.6)
                state = LayoutState::face;
            else if (*talking >= 0.35)
                state = LayoutState::split;
            reason += formatted(", talking %.0f%%", *talking * 100);
        }
        if (!state)
            continue; // mostly silent: the screen stays
        const double to = b < duration ? b - 0.3 - 0.85 : duration + 1.0;
        wants.push_back({*state, a + 1.0, to, 0.85, 0.85, reason, 1});
    }
    return wants;
}

std::vector<LayoutTimeline::Want> LayoutTimeline::coveredByCamera(std::vector<Want> wants, const std::vector<ClipSegment>& cameraSegments, double duration)
{
    if (cameraSegments.empty())
        return wants;
    // The card needs a camera picture for the whole wish, from one continuous span.
    std::erase_if(wants, [&](const Want& w) {
        return std::none_of(cameraSegments.begin(), cameraSegments.end(), [&](const ClipSegment& s) {
            return s.start <= std::max(w.from, 0.0) + 0.01 && s.end >= std::min(w.to, duration) - 0.01;
        });
    });
    return wants;
}

std::vector<LayoutTimeline::Want> LayoutTimeline::resolvedOverlaps(std::vector<Want> wants)
{
    std::stable_sort(wants.begin(), wants.end(), [](const Want& a, const Want& b) { return a.from < b.from; });
    std::vector<Want> accepted;
    accepted.reserve(wants.size());
    for (Want& w : wants) {
        bool dropped = false;
        for (Want& a : accepted) {
            if (!(w.from < a.to && a.from < w.to))
                continue;
            if (a.priority < w.priority)
                a.to = w.from;
            else
                w.from = std::max(a.to, w.from);
            if (w.to - w.from < 0.5)
                dropped = true;
        }
        std::erase_if(accepted, [](const Want& a) { return a.to - a.from < 0.5; });
        if (!dropped)
            accepted.push_back(std::move(w));
    }
    return accepted;
}

std::vector<LayoutTimeline::Stop> LayoutTimeline::stopsFrom(const std::vector<Want>& wants, double duration)
{
    std::vector<Stop> stops;
    for (const Want& w : wants) {
        if (w.from <= 0) {
            stops.push_back({w.state, 0, 0, w.reason, w.priority});
        } else {
            if (stops.empty())
                stops.push_back(screenStop(0, 0, QStringLiteral("start")));
            stops.push_back({w.state, w.from, w.rampIn, w.reason, w.priority});
        }
        if (w.to < duration)
            stops.push_back(screenStop(w.to, w.rampOut, QStringLiteral("screen activity")));
    }
    if (stops.empty())
        stops.push_back(screenStop(0, 0, QStringLiteral("start")));
    return stops;
}

std::vector<LayoutTimeline::Stop> LayoutTimeline::cleanedUp(std::vector<Stop> stops, double duration)
{
    const auto endOf = [&](size_t i) { return i + 1 < stops.size() ? stops[i + 1].start : duration; };
    const auto erase = [&](size_t i) { stops.erase(stops.begin() + static_cast<long>(i)); };

    // One change per pass, then start over; the pass limit guards against a cycle.
    for (int pass = 0; pass < 1000; ++pass) {
        bool changed = false;
        for (size_t i = 1; i + 1 < stops.size(); ++i) {
            Stop& stop = stops[i];
            const double length = stops[i + 1].start - stop.start;
            if (stop.state != LayoutState::screen || !(length < screenStopTolerance))
                continue;
            const Stop& previous = stops[i - 1];
            const Stop& next = stops[i + 1];
            if (previous.state != LayoutState::face && next.state != LayoutState::face) {
                erase(i);
            } else {
                // A brief glance at the screen between face shots reads as a glitch: give it 7 s.
                const double need = screenStopMinimum - length;
                bool fromPrevious;
                if (previous.priority != next.priority)
                    fromPrevious = previous.priority < next.priority;
                else
                    fromPrevious = stop.start - previous.start < endOf(i + 1) - next.start;
                if (fromPrevious) {
                    if (stop.start - need - previous.start < screenStopTolerance)
                        erase(i - 1);
                    else
                        stop.start -= need;
                } else {
                    if (endOf(i + 1) - (next.start + need) < screenStopTolerance)
                        erase(i + 1);
                    else
                        stops[i + 1].start += need;
                }
            }
            changed = true;
            break;
        }
        if (changed)
            continue;
        for (size_t i = 1; i < stops.size(); ++i) {
            if (stops[i].state == stops[i - 1].state) {
                erase(i);
                changed = true;
                break;
            }
        }
        if (!changed)
            break;
    }
    return stops;
}

LayoutTimeline LayoutTimeline::build(double duration, const std::vector<Click>& clicks, const std::vector<double>& keys,
    const std::optional<PointerPath>& pointer, const ZoomTimeline& zoom, const LayoutSignals& signals,
    const std::vector<ClipSegment>& cameraSegments)
{
    if (!(duration >= shortestDynamicTake)) {
        LayoutTimeline timeline = fixed();
        timeline.summary = QString::asprintf("take %.0fs < %.0fs: fixed", duration, shortestDynamicTake);
        return timeline;
    }
    const std::vector<bool> activity = activityMap(duration, clicks, keys, pointer, zoom, signals);
    std::vector<Want> kept = resolvedOverlaps(coveredByCamera(wants(duration, activity, zoom, signals), cameraSegments, duration));
    // A still stretch cut down below 7 s is not worth a move; intro, outro and focus stay whatever their length.
    std::erase_if(kept, [](const Want& w) { return w.priority == 1 && w.to - w.from < 7.0; });
    std::stable_sort(kept.begin(), kept.end(), [](const Want& a, const Want& b) { return a.from < b.from; });

    LayoutTimeline timeline;
    timeline.stops = cleanedUp(stopsFrom(kept, duration), duration);

    const auto share = [](const std::vector<bool>& flags) {
        const double talking = static_cast<double>(std::count(flags.begin(), flags.end(), true));
        return talking / static_cast<double>(std::max<size_t>(flags.size(), 1));
    };
    QString text = QStringLiteral("signals: speech ");
    text += signals.speech ? formatted("talking %.0f%%", share(*signals.speech) * 100) : QStringLiteral("none");
    text += QStringLiteral(", screen ");
    text += signals.screen ? formatted("changing %.0f%%", share(*signals.screen) * 100) : QStringLiteral("none");
    text += QStringLiteral(", clicks ") + QString::number(clicks.size()) + QStringLiteral(", keys ") + QString::number(keys.size());
    if (pointer)
        text += QStringLiteral(", pointer log");
    timeline.summary = text;
    return timeline;
}

bool LayoutTimeline::isFixedLook() const
{
    return std::all_of(stops.begin(), stops.end(), [](const Stop& s) { return s.state == LayoutState::screen; });
}

double LayoutTimeline::stopEnd(size_t index, double duration) const
{
    return index + 1 < stops.size() ? stops[index + 1].start : duration;
}

std::optional<LayoutBlend> LayoutTimeline::blend(double t) const
{
    if (isFixedLook())
        return std::nullopt;
    const auto after = std::upper_bound(stops.begin(), stops.end(), t, [](double time, const Stop& s) { return time < s.start; });
    if (after == stops.begin() || after == stops.begin() + 1) {
        const LayoutState state = stops.front().state;
        return LayoutBlend{state, state, 1};
    }
    const Stop& current = *(after - 1);
    const Stop& previous = *(after - 2);
    if (current.ramp > 0 && t < current.start + current.ramp)
        return LayoutBlend{previous.state, current.state, smootherstep((t - current.start) / current.ramp)};
    return LayoutBlend{current.state, current.state, 1};
}

std::map<LayoutState, double> LayoutTimeline::shares(double duration) const
{
    std::map<LayoutState, double> result;
    if (!(duration > 0) || stops.empty())
        return result;
    for (size_t i = 0; i < stops.size(); ++i)
        result[stops[i].state] += std::max(std::min(duration, stopEnd(i, duration)) - stops[i].start, 0.0) / duration;
    return result;
}

QString LayoutTimeline::report(double duration) const
{
    const int moves = stops.empty() ? 0 : static_cast<int>(stops.size()) - 1;
    QString first = QString::asprintf("layout: %d move(s) in %.0fs (%.1f/min) — ", moves, duration, moves / std::max(duration / 60, 0.01));
    if (isFixedLook()) {
        first += QStringLiteral("fixed");
    } else {
        const std::map<LayoutState, double> byState = shares(duration);
        QStringList parts;
        for (LayoutState state : StudioLook::layoutStates) {
            const auto found = byState.find(state);
            if (found != byState.end())
                parts << StudioLook::rawText(state) + QString::asprintf(" %.0f%%", found->second * 100);
        }
        first += parts.join(QStringLiteral(" · "));
    }
    QStringList lines{first};
    if (!summary.isEmpty())
        lines << QStringLiteral("  ") + summary;
    for (size_t i = 0; i < stops.size(); ++i) {
        const Stop& s = stops[i];
        const QString morph = s.ramp > 0 ? QString::asprintf("%.2fs morph", s.ramp) : QStringLiteral("cut in");
        lines << QString::asprintf("  %7.2f-%7.2fs  ", s.start, stopEnd(i, duration)) + StudioLook::rawText(s.state).leftJustified(6)
                + QStringLiteral(" (") + morph + QStringLiteral(")  ") + s.reason;
    }
    return lines.join(QLatin1Char('\n'));
}

QJsonObject LayoutTimeline::sidecar(LayoutMode mode, double duration) const
{
    QJsonArray list;
    for (size_t i = 0; i < stops.size(); ++i) {
        const Stop& s = stops[i];
        list.append(QJsonObject{{QStringLiteral("state"), StudioLook::rawText(s.state)}, {QStringLiteral("start"), s.start},
            {QStringLiteral("morph"), s.ramp}, {QStringLiteral("end"), stopEnd(i, duration)}, {QStringLiteral("reason"), s.reason}});
    }
    return QJsonObject{{QStringLiteral("mode"), LayoutModes::rawText(mode)}, {QStringLiteral("signals"), summary},
        {QStringLiteral("stops"), list}};
}
