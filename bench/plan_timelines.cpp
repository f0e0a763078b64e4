// Plans the zoom and layout timelines of a synthetic one-hour take and compares the time with merely
// copying and reading that telemetry once.
#include "plans/LayoutTimeline.h"
#include "plans/ZoomTimeline.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

namespace {

constexpr double takeSeconds = 3600;

struct Telemetry {
    ZoomActivity activity;
    LayoutSignals signals;
    std::vector<ClipSegment> cameraSegments;
};

// A working session: bursts of clicking and typing in one spot, pointing at things, long still talks.
Telemetry syntheticTake()
{
    std::mt19937 random(20261206);
    std::uniform_real_distribution<double> unit(0, 1);
    Telemetry take;
    ZoomActivity& a = take.activity;

    std::vector<std::vector<double>> samples; // [t, x, y]
    double t = 0;
    double x = 0.5, y = 0.5;
    while (t < takeSeconds) {
        const double kind = unit(random);
        const double span = 5 + 40 * unit(random);
        const double tx = 0.1 + 0.8 * unit(random), ty = 0.1 + 0.8 * unit(random);
        for (double s = 0; s < 0.6; s += 1.0 / 60) // travel
            samples.push_back({t + s, x + (tx - x) * s / 0.6, y + (ty - y) * s / 0.6});
        t += 0.6;
        x = tx;
        y = ty;
        for (double s = 0; s < span && t + s < takeSeconds; s += 1.0 / 60) {
            double px = x, py = y;
            if (kind < 0.35) { // working: small moves, clicks and typing
                px += 0.03 * std::sin(s * 1.3);
                py += 0.02 * std::cos(s * 0.7);
            } else if (kind < 0.6) { // pointing: circling slowly
                px += 0.02 * std::cos(2.5 * s);
                py += 0.02 * std::sin(2.5 * s);
            } // else still: talking over a static screen
            samples.push_back({t + s, px, py});
        }
        if (kind < 0.35) {
            for (double s = 0; s < span; s += 0.8 + 2 * unit(random))
                a.clicks.push_back({t + s, x + 0.03 * std::sin(s * 1.3), y + 0.02 * std::cos(s * 0.7)});
            for (double s = 1; s < span; s += 0.12 + 0.15 * unit(random))
                a.keys.push_back(t + s);
        }
        if (unit(random) < 0.03) {
            a.marks.push_back({t, true, x, y});
            a.marks.push_back({t + 0.7 * span, false, x, y});
        }
        t += span;
    }
    a.pointer = PointerPath::fromSamples(samples);

    take.signals.speech = std::vector<bool>(static_cast<size_t>(takeSeconds / 0.1));
    for (size_t i = 0; i < take.signals.speech->size(); ++i)
        (*take.signals.speech)[i] = std::sin(i * 0.013) + 0.4 * std::sin(i * 0.31) > -0.2;
    take.signals.screen = std::vector<bool>(static_cast<size_t>(takeSeconds / 0.5));
    for (size_t i = 0; i < take.signals.screen->size(); ++i)
        (*take.signals.screen)[i] = unit(random) < 0.15;
    take.cameraSegments = {{0.4, 1800}, {1801, takeSeconds}};
    return take;
}

template <typename Work>
double medianMilliseconds(int runs, Work work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

volatile double sink = 0;

} // namespace

int main()
{
    const Telemetry take = syntheticTake();
    const ZoomActivity& a = take.activity;
    std::printf("synthetic 1-hour take: %zu clicks, %zu keys, %zu marks, %zu pointer samples\n", a.clicks.size(), a.keys.size(),
        a.marks.size(), a.pointer ? a.pointer->xs.size() : 0);

    // Baseline: copy the telemetry once and read every value of it.
    const double baseline = medianMilliseconds(9, [&] {
        const Telemetry copy = take;
        double sum = 0;
        for (const Click& c : copy.activity.clicks)
            sum += c.x + c.y + c.time;
        for (double k : copy.activity.keys)
            sum += k;
        for (size_t i = 0; i < copy.activity.pointer->xs.size(); ++i)
            sum += copy.activity.pointer->xs[i] + copy.activity.pointer->ys[i];
        sum += static_cast<double>(std::count(copy.signals.speech->begin(), copy.signals.speech->end(), true));
        sink = sink + sum;
    });

    size_t zoomSegments = 0, stops = 0;
    const double planning = medianMilliseconds(9, [&] {
        const ZoomTimeline zoom = ZoomTimeline::build(ZoomMode::smart, a, 2.0);
        const LayoutTimeline layout = LayoutTimeline::build(takeSeconds, a.clicks, a.keys, a.pointer, zoom, take.signals,
            ClipSegment::coveringLateStart(take.cameraSegments, 2.5));
        zoomSegments = zoom.segments.size();
        stops = layout.stops.size();
    });

    // A talking-head hour with the pointer parked: the hover scan's worst case.
    Telemetry parked = take;
    for (double& x : parked.activity.pointer->xs)
        x = 0.5;
    for (double& y : parked.activity.pointer->ys)
        y = 0.5;
    parked.activity.clicks.clear();
    parked.activity.keys.clear();
    const double parkedPlanning = medianMilliseconds(5, [&] {
        const ZoomTimeline zoom = ZoomTimeline::build(ZoomMode::smart, parked.activity, 2.0);
        const LayoutTimeline layout = LayoutTimeline::build(takeSeconds, {}, {}, parked.activity.pointer, zoom, parked.signals, {});
        sink = sink + static_cast<double>(zoom.segments.size() + layout.stops.size());
    });

    std::printf("plan: %zu zoom segments, %zu layout stops\n", zoomSegments, stops);
    std::printf("baseline (copy + read telemetry once): %8.3f ms\n", baseline);
    std::printf("ZoomTimeline.build + LayoutTimeline.build: %8.3f ms  (%.1fx baseline; goal under 50 ms: %s)\n", planning,
        planning / std::max(baseline, 1e-9), planning < 50 ? "met" : "MISSED");
    std::printf("same, pointer parked all hour:             %8.3f ms  (%.1fx baseline; goal under 50 ms: %s)\n", parkedPlanning,
        parkedPlanning / std::max(baseline, 1e-9), parkedPlanning < 50 ? "met" : "MISSED");
    return 0;
}
