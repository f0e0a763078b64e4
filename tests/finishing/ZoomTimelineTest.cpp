#include "plans/ZoomTimeline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

namespace {

using Segment = ZoomTimeline::Segment;

// A pointer path sampled at the path rate from a function of time.
PointerPath pathOf(double start, double end, const std::function<QPointF(double)>& at)
{
    PointerPath path;
    path.start = start;
    const int count = static_cast<int>(std::lround((end - start) * PointerPath::rate)) + 1;
    for (int i = 0; i < count; ++i) {
        const QPointF p = at(start + i / PointerPath::rate);
        path.xs.push_back(p.x());
        path.ys.push_back(p.y());
    }
    return path;
}

PointerPath stillPath(double end, QPointF where)
{
    return pathOf(0, end, [where](double) { return where; });
}

void expectTimes(const Segment& s, double start, double rampInEnd, double rampOutStart, double end)
{
    EXPECT_NEAR(s.start, start, 1e-9);
    EXPECT_NEAR(s.rampInEnd, rampInEnd, 1e-9);
    EXPECT_NEAR(s.rampOutStart, rampOutStart, 1e-9);
    EXPECT_NEAR(s.end, end, 1e-9);
}

std::vector<Click> clicksAt(std::initializer_list<double> times, double x = 0.5, double y = 0.5)
{
    std::vector<Click> clicks;
    for (double t : times)
        clicks.push_back({t, x, y});
    return clicks;
}

// Four clicks 1.5 s apart spread 0.06 across: one click candidate of 4.5 s.
std::vector<Click> clickRun(double t0, double x = 0.5, double y = 0.5)
{
    return {{t0, x, y}, {t0 + 1.5, x + 0.02, y}, {t0 + 3.0, x + 0.04, y}, {t0 + 4.5, x + 0.06, y}};
}

std::vector<Click> joined(std::vector<Click> a, const std::vector<Click>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(ZoomTimelineTest, ZoomAmountOfOneOrLessPlansNothingAndAmountsAreCapped)
{
    ZoomActivity activity;
    activity.clicks = clicksAt({1, 2, 3});
    activity.marks = {{1, true, 0.5, 0.5}, {5, false, 0.5, 0.5}};
    for (ZoomMode mode : ZoomModes::allCases) {
        for (double amount : {1.0, 0.5, -1.0, std::nan("")}) {
            const ZoomTimeline timeline = ZoomTimeline::build(mode, activity, amount);
            EXPECT_TRUE(timeline.segments.empty());
            EXPECT_EQ(timeline.maxScale, 1.0);
        }
    }
    EXPECT_TRUE(ZoomTimeline::build(ZoomMode::off, activity, 2.0).segments.empty());
    EXPECT_EQ(ZoomTimeline::build(ZoomMode::manual, activity, 5.0).maxScale, 3.0);
    EXPECT_EQ(ZoomTimeline::build(ZoomMode::everyClick, activity, 5.0).maxScale, 3.0);
    EXPECT_TRUE(ZoomTimeline::build(std::vector<Click>{}, 2.0).segments.empty());
}

TEST(ZoomTimelineTest, EveryClickClustersAndMergesSegments)
{
    struct Case {
        std::vector<Click> clicks;
        std::vector<std::array<double, 4>> segments;
    };
    const std::vector<Case> cases{
        {clicksAt({0.5}), {{0, 1.0, 2.5, 3.5}}},
        {clicksAt({std::nan(""), 0.5}), {{0, 1.0, 2.5, 3.5}}}, // a click without a time is ignored
        {clicksAt({10, 12}), {{9.15, 10.15, 14.0, 15.0}}},
        // Two clusters whose segments lie closer than 1.2 s become one.
        {clicksAt({10, 13}), {{9.15, 10.15, 15.0, 16.0}}},
        {clicksAt({10, 20}), {{9.15, 10.15, 12.0, 13.0}, {19.15, 20.15, 22.0, 23.0}}},
        // Unsorted input is sorted first.
        {clicksAt({20, 10}), {{9.15, 10.15, 12.0, 13.0}, {19.15, 20.15, 22.0, 23.0}}},
    };
    for (const Case& c : cases) {
        const ZoomTimeline timeline = ZoomTimeline::build(c.clicks, 2.0);
        ASSERT_EQ(timeline.segments.size(), c.segments.size());
        for (size_t i = 0; i < c.segments.size(); ++i) {
            const auto& e = c.segments[i];
            expectTimes(timeline.segments[i], e[0], e[1], e[2], e[3]);
            EXPECT_EQ(timeline.segments[i].reason, "clicks");
        }
    }
    const ZoomTimeline merged = ZoomTimeline::build(clicksAt({10, 13}), 2.0);
    ASSERT_EQ(merged.segments.front().keys.size(), 2u);
    EXPECT_EQ(merged.segments.front().keys[1].time, 13);
}

TEST(ZoomTimelineTest, ManualMarksOpenHoldAndCloseSegments)
{
    struct Case {
        const char* name;
        std::vector<ZoomMark> marks;
        std::vector<std::array<double, 4>> segments;
        std::vector<QString> reasons;
    };
    const std::vector<Case> cases{
        {"in and out", {{10, true, 0.3, 0.7}, {14, false, 0, 0}}, {{9.65, 11.25, 14, 15.6}}, {"manual"}},
        {"lone zoom-in", {{10, true, 0.3, 0.7}}, {{9.65, 11.25, 18, 19.6}}, {"manual"}},
        {"gap opens the next", {{10, true, 0.3, 0.7}, {40, true, 0.6, 0.2}},
            {{9.65, 11.25, 18, 19.6}, {39.65, 41.25, 48, 49.6}}, {"manual", "manual"}},
        {"gap limited by the next mark", {{10, true, 0.3, 0.7}, {15, true, 0.3, 0.7}, {36, true, 0.3, 0.7}},
            {{9.65, 11.25, 23, 24.6}, {35.65, 37.25, 44, 45.6}}, {"manual (2 marks)", "manual"}},
        {"stray zoom-out ignored", {{3, false, 0, 0}, {10, true, 0.3, 0.7}, {14, false, 0, 0}, {15, false, 0, 0}},
            {{9.65, 11.25, 14, 15.6}}, {"manual"}},
        {"quick out keeps a short ramp", {{0.1, true, 0.3, 0.7}, {0.2, false, 0, 0}}, {{0, 0.3, 0.3, 1.9}}, {"manual"}},
        {"hold at least 3 s after the ramp", {{0.1, true, 0.3, 0.7}}, {{0, 1.6, 8.1, 9.7}}, {"manual"}},
        {"unsorted marks", {{14, false, 0, 0}, {10, true, 0.3, 0.7}}, {{9.65, 11.25, 14, 15.6}}, {"manual"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ZoomActivity activity;
        activity.marks = c.marks;
        const ZoomTimeline timeline = ZoomTimeline::build(ZoomMode::manual, activity, 2.5);
        ASSERT_EQ(timeline.segments.size(), c.segments.size());
        for (size_t i = 0; i < c.segments.size(); ++i) {
            const auto& e = c.segments[i];
            expectTimes(timeline.segments[i], e[0], e[1], e[2], e[3]);
            EXPECT_EQ(timeline.segments[i].reason, c.reasons[i]);
            for (const auto& key : timeline.segments[i].keys)
                EXPECT_EQ(key.scale, 1.9); // manual keys never pass 1.9
        }
    }
}

TEST(ZoomTimelineTest, ClickCandidatesNeedEnoughClicksOrTypingInOnePlace)
{
    ZoomActivity activity;
    activity.clicks = clicksAt({10, 11.5, 13}); // three clicks never qualify
    EXPECT_TRUE(ZoomTimeline::clickCandidates(ZoomTimeline::smartEvents(activity), nullptr).empty());

    activity.clicks = clickRun(10);
    auto candidates = ZoomTimeline::clickCandidates(ZoomTimeline::smartEvents(activity), nullptr);
    ASSERT_EQ(candidates.size(), 1u);
    EXPECT_EQ(candidates[0].t0, 10);
    EXPECT_EQ(candidates[0].t1, 14.5);
    EXPECT_EQ(candidates[0].clicks, 4);
    EXPECT_EQ(candidates[0].reason(), "4 clicks in 0.06x0.00 over 4.5s");

    // Too wide a spread splits the group; the later clicks may still group on their own.
    activity.clicks = {{5, 0.1, 0.1}, {6, 0.9, 0.9}, {7.5, 0.92, 0.9}, {9, 0.94, 0.9}, {10.5, 0.9, 0.9}};
    candidates = ZoomTimeline::clickCandidates(ZoomTimeline::smartEvents(activity), nullptr);
    ASSERT_EQ(candidates.size(), 1u);
    EXPECT_EQ(candidates[0].t0, 6);

    // Six keys over 1.5 s qualify as typing.
    activity.clicks = {{35, 0.3, 0.7}};
    activity.keys = {40.0, 40.3, 40.6, 40.9, 41.2, 41.5};
    candidates = ZoomTimeline::clickCandidates(ZoomTimeline::smartEvents(activity), nullptr);
    ASSERT_EQ(candidates.size(), 1u);
    EXPECT_EQ(candidates[0].reason(), "typing 6 keys in 0.00x0.00 over 1.5s");
    EXPECT_EQ(candidates[0].box.center(), QPointF(0.3, 0.7));

    // A pointer that wanders away from the clicks most of the time rejects the group.
    activity = {};
    activity.clicks = clickRun(10);
    const PointerPath away = pathOf(0, 30, [](double t) { return t > 10.05 && t < 14.45 ? QPointF(0.1, 0.1) : QPointF(0.5, 0.5); });
    EXPECT_TRUE(ZoomTimeline::clickCandidates(ZoomTimeline::smartEvents(activity), &away).empty());
    const PointerPath near = stillPath(30, {0.53, 0.5});
    EXPECT_EQ(ZoomTimeline::clickCandidates(ZoomTimeline::smartEvents(activity), &near).size(), 1u);

    // Every kind of evidence is named; pointing alone too.
    ZoomTimeline::Candidate mixed{2, 8.5, QRectF(0.1, 0.2, 0.12, 0.05), 3, 7, true, {}};
    EXPECT_EQ(mixed.reason(), "3 clicks + typing 7 keys + pointing in 0.12x0.05 over 6.5s");
    mixed.clicks = mixed.keys = 0;
    EXPECT_EQ(mixed.reason(), "pointing in 0.12x0.05 over 6.5s");
}

TEST(ZoomTimelineTest, HoverFindsAPointerThatRestsButMoves)
{
    // Circling slowly (0.05 units a second) on one spot for 8 s, then elsewhere.
    const auto circling = [](double t) { return QPointF(0.4 + 0.02 * std::cos(2.5 * t), 0.6 + 0.02 * std::sin(2.5 * t)); };
    const PointerPath path = pathOf(0, 12, [&](double t) { return t < 8.0 ? circling(t) : QPointF(0.9, 0.9); });
    const std::vector<ZoomTimeline::Activity> events{{3, 3, 0.4, 0.6, 1, 0}, {7, 7, 0.4, 0.6, 1, 0}, {11, 11, 0.9, 0.9, 1, 0}};
    const auto candidates = ZoomTimeline::hoverCandidates(path, events);
    ASSERT_EQ(candidates.size(), 1u);
    EXPECT_EQ(candidates[0].t0, 0);
    EXPECT_NEAR(candidates[0].t1, 7.9, 1e-9);
    EXPECT_TRUE(candidates[0].hover);
    EXPECT_EQ(candidates[0].clicks, 2);
    EXPECT_LE(candidates[0].box.width(), 0.1);

    // A pointer at rest does not count: nothing moves.
    EXPECT_TRUE(ZoomTimeline::hoverCandidates(stillPath(20, {0.5, 0.5}), events).empty());
    // A spot that lasts to the path's end ends the scan there.
    const auto lasting = ZoomTimeline::hoverCandidates(pathOf(0, 30, circling), {});
    ASSERT_EQ(lasting.size(), 1u);
    EXPECT_NEAR(lasting[0].t1, 30, 1e-9);
}

TEST(ZoomTimelineTest, SmartSegmentsRampHoldAndSpaceOut)
{
    ZoomActivity activity;
    activity.clicks = clickRun(10);
    auto segments = ZoomTimeline::smartSegments(activity, 2.0);
    ASSERT_EQ(segments.size(), 1u);
    expectTimes(segments[0], 8.65, 10.25, 16.3, 17.9);
    ASSERT_EQ(segments[0].keys.size(), 1u);
    EXPECT_EQ(segments[0].keys[0].scale, 1.9);
    EXPECT_NEAR(segments[0].keys[0].center.x(), 0.53, 1e-12);

    // A second run 5.5 s later at the same spot extends the segment.
    activity.clicks = joined(clickRun(10), clickRun(20));
    segments = ZoomTimeline::smartSegments(activity, 2.0);
    ASSERT_EQ(segments.size(), 1u);
    expectTimes(segments[0], 8.65, 10.25, 26.3, 27.9);
    EXPECT_EQ(segments[0].keys.size(), 1u);
    EXPECT_EQ(segments[0].reason, "4 clicks in 0.06x0.00 over 4.5s + 4 clicks in 0.06x0.00 over 4.5s");

    // Too late to extend and too soon for a new zoom: dropped. Far enough on: a new segment.
    activity.clicks = joined(joined(clickRun(10), clickRun(22)), clickRun(50));
    segments = ZoomTimeline::smartSegments(activity, 2.0);
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_NEAR(segments[1].start, 48.65, 1e-9);

    // A run elsewhere cuts the hold short: 0.15 s before the next event outside the view.
    activity.clicks = joined(clickRun(10), {{15.5, 0.95, 0.1}});
    segments = ZoomTimeline::smartSegments(activity, 2.0);
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_NEAR(segments[0].rampOutStart, 15.35, 1e-9);

    // Shortened holds still last 3 s past the ramp.
    activity.clicks = joined(clickRun(10), {{14.6, 0.95, 0.1}});
    EXPECT_NEAR(ZoomTimeline::smartSegments(activity, 2.0)[0].rampOutStart, 14.45, 1e-9);

    // The pointer leaving the view for half a second cuts the hold too.
    activity.clicks = clickRun(10);
    activity.pointer = pathOf(0, 30, [](double t) { return t < 15.0 ? QPointF(0.53, 0.5) : QPointF(0.05, 0.05); });
    segments = ZoomTimeline::smartSegments(activity, 2.0);
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_NEAR(segments[0].rampOutStart, 14.95, 1e-9); // outside from 15.0, for 0.5 s by 15.45

    // The scale follows the box between floor and cap.
    activity = {};
    activity.clicks = {{10, 0.3, 0.3}, {11.5, 0.4, 0.35}, {13, 0.45, 0.45}, {14.5, 0.3, 0.3}}; // box 0.15 × 0.15
    segments = ZoomTimeline::smartSegments(activity, 3.0);
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_NEAR(segments[0].keys[0].scale, 1.8, 1e-12); // 0.45 / 0.25
    segments = ZoomTimeline::smartSegments(activity, 1.3);
    EXPECT_NEAR(segments[0].keys[0].scale, 1.3, 1e-12); // floor capped by the amount
}

TEST(ZoomTimelineTest, StateEasesInHoldsAndEasesOut)
{
    ZoomTimeline timeline;
    timeline.maxScale = 2.0;
    timeline.segments = {{10, 11, 15, 16, {}, "a"}, {15.5, 16, 20, 21, {{15.5, QPointF(0.2, 0.8), 1.5}}, "b"}};
    struct Case {
        double t, amount;
    };
    for (const Case& c : std::vector<Case>{{9.99, 0}, {10, 0}, {10.5, 0.5}, {11, 1}, {13, 1}, {15, 1}, {15.5, 0.5}, {16, 0},
             {17, 1}, {21, 0}, {21.01, 0}, {10.25, 0.103515625}})
        EXPECT_NEAR(timeline.state(c.t).amount, c.amount, 1e-9) << c.t;
    // Without keys the view aims at the middle with the timeline's scale; outside every segment too.
    EXPECT_EQ(timeline.state(12).center, QPointF(0.5, 0.5));
    EXPECT_EQ(timeline.state(12).scale, 2.0);
    EXPECT_EQ(timeline.state(30).scale, 1.0);
    // Where segments overlap the earlier one decides.
    EXPECT_EQ(timeline.state(15.7).center, QPointF(0.5, 0.5));
    EXPECT_EQ(timeline.state(16.5).center, QPointF(0.2, 0.8));
}

} // namespace
