#pragma once

#include "plans/LayoutBlend.h"
#include "plans/LayoutSignals.h"
#include "plans/ZoomTimeline.h"
#include "takedata/Click.h"
#include "takedata/ClipSegment.h"
#include "takedata/LayoutMode.h"
#include "takedata/PointerPath.h"
#include "takedata/StudioLook.h"

#include <QJsonObject>
#include <QString>

#include <map>
#include <optional>
#include <vector>

// When the studio look shows which layout state during a take: opens and ends on the face, shows the
// screen while something happens on it, focuses during long zoom holds and falls back to the face or a
// split during long still stretches. Built once when the take stops; blend() is read for every frame.
struct LayoutTimeline {
    // Lasts until the next stop's start (the last one until the end of the take).
    struct Stop {
        LayoutState state = LayoutState::screen;
        double start = 0;
        double ramp = 0; // seconds of morph from the previous state; 0 cuts
        QString reason;
        int priority = 0;
        friend bool operator==(const Stop&, const Stop&) = default;
    };

    // A wish to show a state over a span. Priorities: 3 intro and outro, 2 zoom held, 1 screen still.
    struct Want {
        LayoutState state = LayoutState::screen;
        double from = 0;
        double to = 0;
        double rampIn = 0;
        double rampOut = 0;
        QString reason;
        int priority = 0;
    };

    static constexpr double shortestDynamicTake = 20.0;
    static constexpr double activityStep = 0.1;

    std::vector<Stop> stops;
    QString summary;

    static LayoutTimeline fixed() { return {}; }

    static LayoutTimeline build(double duration, const std::vector<Click>& clicks, const std::vector<double>& keys,
        const std::optional<PointerPath>& pointer, const ZoomTimeline& zoom, const LayoutSignals& signals,
        const std::vector<ClipSegment>& cameraSegments);

    // Absent for the fixed look: no stops, or only SCREEN stops.
    std::optional<LayoutBlend> blend(double t) const;
    std::map<LayoutState, double> shares(double duration) const;
    QString report(double duration) const;
    QJsonObject sidecar(LayoutMode mode, double duration) const;

    // Planning steps, exposed for tests.
    // One flag per activity step from 0 through the duration: something happened around that moment.
    static std::vector<bool> activityMap(double duration, const std::vector<Click>& clicks, const std::vector<double>& keys,
        const std::optional<PointerPath>& pointer, const ZoomTimeline& zoom, const LayoutSignals& signals);
    static std::vector<Want> wants(double duration, const std::vector<bool>& activity, const ZoomTimeline& zoom,
        const LayoutSignals& signals);
    // Keeps the wants that one camera span covers; an empty list keeps all.
    static std::vector<Want> coveredByCamera(std::vector<Want> wants, const std::vector<ClipSegment>& cameraSegments, double duration);
    // Higher priorities cut lower ones; equal ones queue up. Short leftovers go.
    static std::vector<Want> resolvedOverlaps(std::vector<Want> wants);
    static std::vector<Stop> stopsFrom(const std::vector<Want>& wants, double duration);
    // Short SCREEN stops between two others are lengthened to 7 s or removed; repeated states merge.
    static std::vector<Stop> cleanedUp(std::vector<Stop> stops, double duration);

private:
    bool isFixedLook() const;
    double stopEnd(size_t index, double duration) const;
};
