#pragma once

#include "plans/ZoomActivity.h"
#include "takedata/Click.h"
#include "takedata/PointerPath.h"
#include "takedata/ZoomMode.h"

#include <QPointF>
#include <QRectF>
#include <QString>

#include <utility>
#include <vector>

// The take's zoom plan: spans in which a virtual camera moves in on a spot of the screen, holds and moves
// back out. Positions are capture fractions (origin bottom-left), times take seconds. Built once when a
// take stops; state() is then read for every rendered frame from any thread.
struct ZoomTimeline {
    struct Key {
        double time = 0;
        QPointF center;
        double scale = 1;
        friend bool operator==(const Key&, const Key&) = default;
    };

    // In from start to rampInEnd, held until rampOutStart, out until end.
    struct Segment {
        double start = 0;
        double rampInEnd = 0;
        double rampOutStart = 0;
        double end = 0;
        std::vector<Key> keys; // in time order
        QString reason;
        friend bool operator==(const Segment&, const Segment&) = default;
    };

    // amount: eased share of the zoom (0 = unzoomed); scale and center: the target of that moment.
    struct State {
        double amount = 0;
        double scale = 1;
        QPointF center{0.5, 0.5};
    };

    // One click (t0 = t1) or one burst of typing.
    struct Activity {
        double t0 = 0;
        double t1 = 0;
        double x = 0;
        double y = 0;
        int clicks = 0;
        int keys = 0;
    };

    // A span in which something on screen deserves a zoom, with the box where it happened.
    struct Candidate {
        double t0 = 0;
        double t1 = 0;
        QRectF box;
        int clicks = 0;
        int keys = 0;
        bool hover = false;
        std::vector<std::pair<double, QPointF>> centers;

        QString reason() const;
    };

    std::vector<Segment> segments;
    double maxScale = 1.0;

    static ZoomTimeline none() { return {}; }

    static ZoomTimeline build(ZoomMode mode, const ZoomActivity& activity, double maxScale);
    // The every-click plan.
    static ZoomTimeline build(const std::vector<Click>& clicks, double maxScale);

    State state(double t) const;

    // Planning steps, exposed for tests.
    static std::vector<Activity> smartEvents(const ZoomActivity& activity);
    static std::vector<Candidate> clickCandidates(const std::vector<Activity>& events, const PointerPath* pointer);
    static std::vector<Candidate> hoverCandidates(const PointerPath& pointer, const std::vector<Activity>& events);
    static std::vector<Segment> smartSegments(const ZoomActivity& activity, double cap);
    static std::vector<Segment> manualSegments(const ZoomActivity& activity, double cap);
    static std::vector<Key> keysFor(const std::vector<Click>& clicks, double maxScale);
    // Centre and scale of a segment at a time: keys are reached by eased moves, the scale moving geometrically.
    std::pair<QPointF, double> focus(const Segment& segment, double t) const;
};
