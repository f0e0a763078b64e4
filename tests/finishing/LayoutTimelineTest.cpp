#include "plans/LayoutTimeline.h"

#include <QJsonArray>

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace {

using Stop = LayoutTimeline::Stop;
using Want = LayoutTimeline::Want;
constexpr LayoutState FACE = LayoutState::face;
constexpr LayoutState SPLIT = LayoutState::split;
constexpr LayoutState SCREEN = LayoutState::screen;
constexpr LayoutState FOCUS = LayoutState::focus;

// An activity map of `duration` seconds with the given spans marked.
std::vector<bool> activityWith(double duration, std::vector<std::pair<double, double>> spans)
{
    std::vector<bool> map(static_cast<size_t>(duration / 0.1) + 1, false);
    for (auto [a, b] : spans) {
        for (size_t i = static_cast<size_t>(a * 10 + 0.5); i <= static_cast<size_t>(b * 10 + 0.5) && i < map.size(); ++i)
            map[i] = true;
    }
    return map;
}

// Speech flags where `share` of every ten steps talk.
LayoutSignals speaking(double duration, double share)
{
    LayoutSignals signals;
    signals.speech = std::vector<bool>(static_cast<size_t>(duration / 0.1));
    const int talking = static_cast<int>(share * 10 + 0.5);
    for (size_t i = 0; i < signals.speech->size(); ++i)
        (*signals.speech)[i] = static_cast<int>(i % 10) < talking;
    return signals;
}

std::vector<LayoutState> statesOf(const std::vector<Stop>& stops)
{
    std::vector<LayoutState> states;
    for (const Stop& s : stops)
        states.push_back(s.state);
    return states;
}

const Want* findWant(const std::vector<Want>& wants, int priority)
{
    for (const Want& w : wants) {
        if (w.priority == priority)
            return &w;
    }
    return nullptr;
}

TEST(LayoutTimelineTest, ShortTakesKeepTheFixedLook)
{
    const LayoutTimeline timeline = LayoutTimeline::build(19.9, {{5, 0.5, 0.5}}, {}, std::nullopt, ZoomTimeline::none(), {}, {});
    EXPECT_TRUE(timeline.stops.empty());
    EXPECT_EQ(timeline.summary, "take 20s < 20s: fixed");
    EXPECT_EQ(timeline.report(19.9), "layout: 0 move(s) in 20s (0.0/min) — fixed\n  take 20s < 20s: fixed");
    EXPECT_TRUE(LayoutTimeline::build(std::nan(""), {}, {}, std::nullopt, ZoomTimeline::none(), {}, {}).stops.empty());
}

TEST(LayoutTimelineTest, OneClickTakeOpensAndEndsOnTheFace)
{
    const std::vector<Click> clicks{{12, 0.5, 0.5}};
    const std::vector<bool> activity = LayoutTimeline::activityMap(60, clicks, {}, std::nullopt, ZoomTimeline::none(), {});
    const std::vector<Want> wants = LayoutTimeline::wants(60, activity, ZoomTimeline::none(), {});
    const std::vector<std::tuple<LayoutState, double, QString>> expected{{FACE, 6.0, "intro (first screen activity 11.5s)"},
        {FACE, 61.0, "outro (last screen activity 13.5s)"}, {SPLIT, 11.5 - 0.3 - 0.85, "screen still 11.5s, no speech signal"},
        {FACE, 61.0, "screen still 46.5s, no speech signal"}};
    ASSERT_EQ(wants.size(), expected.size());
    for (size_t i = 0; i < wants.size(); ++i) {
        EXPECT_EQ(wants[i].state, std::get<0>(expected[i])) << i;
        EXPECT_NEAR(wants[i].to, std::get<1>(expected[i]), 1e-9) << i;
        EXPECT_EQ(wants[i].reason, std::get<2>(expected[i])) << i;
    }
    EXPECT_EQ(wants[1].from, 55.0);

    const LayoutTimeline timeline = LayoutTimeline::build(60, clicks, {}, std::nullopt, ZoomTimeline::none(), {}, {});
    EXPECT_EQ(statesOf(timeline.stops), (std::vector<LayoutState>{FACE, SCREEN, FACE, SCREEN, FACE}));
    EXPECT_EQ(timeline.report(60),
        "layout: 4 move(s) in 60s (4.0/min) — FACE 74% · SCREEN 26%\n"
        "  signals: speech none, screen none, clicks 1, keys 0\n"
        "     0.00-   6.00s  FACE   (cut in)  intro (first screen activity 11.5s)\n"
        "     6.00-  14.60s  SCREEN (0.85s morph)  screen activity\n"
        "    14.60-  48.00s  FACE   (0.85s morph)  screen still 46.5s, no speech signal\n"
        "    48.00-  55.00s  SCREEN (0.85s morph)  screen activity\n"
        "    55.00-  60.00s  FACE   (0.85s morph)  outro (last screen activity 13.5s)");

    const QJsonObject sidecar = timeline.sidecar(LayoutMode::dynamic, 60);
    EXPECT_EQ(sidecar.value("mode").toString(), "Dynamic");
    EXPECT_EQ(sidecar.value("signals").toString(), timeline.summary);
    const QJsonArray stops = sidecar.value("stops").toArray();
    ASSERT_EQ(stops.size(), 5);
    EXPECT_EQ(stops[1].toObject().value("state").toString(), "SCREEN");
    EXPECT_EQ(stops[1].toObject().value("start").toDouble(), 6.0);
    EXPECT_EQ(stops[1].toObject().value("morph").toDouble(), 0.85);
    EXPECT_NEAR(stops[1].toObject().value("end").toDouble(), 14.6, 1e-9);
    EXPECT_EQ(stops[4].toObject().value("end").toDouble(), 60.0);
    EXPECT_EQ(stops[4].toObject().value("reason").toString(), "outro (last screen activity 13.5s)");
    EXPECT_EQ(timeline.sidecar(LayoutMode::fixed, 60).value("mode").toString(), "Fixed");
}

TEST(LayoutTimelineTest, ActivityMapMarksEverySource)
{
    ZoomTimeline zoom;
    zoom.segments = {{30, 31, 33, 34, {}, "z"}};
    LayoutSignals signals;
    signals.screen = std::vector<bool>(100, false);
    (*signals.screen)[80] = true; // 40.0–40.5 s → marks 39.75–41.0
    PointerPath pointer;
    pointer.start = 49;
    for (int i = 0; i <= 240; ++i) { // moves during its second second only
        pointer.xs.push_back(i < 120 ? 0.2 : 0.2 + (i - 120) * 0.002);
        pointer.ys.push_back(0.5);
    }
    const auto map = LayoutTimeline::activityMap(60, {{10, 0, 0}}, {20}, pointer, zoom, signals);
    ASSERT_EQ(map.size(), 601u);
    // Click 10 s → 9.5–11.5, key 20 s → 19.7–21.0, zoom 30–34, screen 39.75–41.0; the pointer moves from
    // 50 s: the step at 50.0 sees it (marks 49.8–51.0), the last moving step at 50.75 marks up to 51.75.
    const std::vector<std::pair<double, bool>> edges{{9.4, false}, {9.5, true}, {11.5, true}, {11.6, false}, {19.5, false},
        {19.7, true}, {21.0, true}, {21.1, false}, {29.9, false}, {30.0, true}, {34.0, true}, {34.1, false}, {39.6, false},
        {39.8, true}, {41.0, true}, {41.1, false}, {49.6, false}, {49.9, true}, {51.7, true}, {51.8, false}};
    for (auto [t, marked] : edges)
        EXPECT_EQ(bool(map[static_cast<size_t>(t * 10 + 0.5)]), marked) << t;
    // Times far outside the take mark nothing and never index out of range.
    const auto wild = LayoutTimeline::activityMap(30, {{-100, 0, 0}, {1e12, 0, 0}}, {-1e300, 1e300}, std::nullopt, ZoomTimeline::none(), {});
    EXPECT_EQ(std::count(wild.begin(), wild.end(), true), 0);
}

TEST(LayoutTimelineTest, StillStretchesPickFaceOrSplitByTalking)
{
    struct Case {
        const char* name;
        double stillLength;
        std::optional<double> talking;
        std::optional<LayoutState> state;
        QString reason;
    };
    const std::vector<Case> cases{
        {"short, no signal", 12, std::nullopt, SPLIT, "screen still 12.0s, no speech signal"},
        {"long, no signal", 25, std::nullopt, FACE, "screen still 25.0s, no speech signal"},
        {"long, talking a lot", 25, 0.7, FACE, "screen still 25.0s, talking 70%"},
        {"long, talking some", 25, 0.4, SPLIT, "screen still 25.0s, talking 40%"},
        {"long, mostly quiet", 25, 0.2, std::nullopt, ""},
        {"medium, talking a lot", 14, 0.7, SPLIT, "screen still 14.0s, talking 70%"},
        {"too short", 8.9, std::nullopt, std::nullopt, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Activity until 10 s and again from the end of the still run on.
        const double resume = 10.1 + c.stillLength;
        const auto activity = activityWith(100, {{0, 10.0}, {resume, 100}});
        const LayoutSignals signals = c.talking ? speaking(100, *c.talking) : LayoutSignals{};
        const auto wants = LayoutTimeline::wants(100, activity, ZoomTimeline::none(), signals);
        const Want* still = findWant(wants, 1);
        if (!c.state) {
            EXPECT_EQ(still, nullptr);
            continue;
        }
        ASSERT_NE(still, nullptr);
        EXPECT_EQ(still->state, *c.state);
        EXPECT_EQ(still->reason, c.reason);
        EXPECT_NEAR(still->from, 11.1, 1e-9);
        EXPECT_NEAR(still->to, resume - 0.3 - 0.85, 1e-9);
        EXPECT_EQ(still->rampIn, 0.85);
        EXPECT_EQ(still->rampOut, 0.85);
    }
}

TEST(LayoutTimelineTest, CleanUpLengthensOrRemovesShortScreenStops)
{
    struct Case {
        const char* name;
        std::vector<Stop> stops;
        std::vector<std::pair<LayoutState, double>> expected;
    };
    const std::vector<Case> cases{
        {"neither neighbour is FACE: removed",
            {{FACE, 0, 0, "", 3}, {SPLIT, 10, 0.85, "", 1}, {SCREEN, 20, 0.85, "", 0}, {FOCUS, 23, 1, "", 2}},
            {{FACE, 0}, {SPLIT, 10}, {FOCUS, 23}}},
        {"lower previous priority gives",
            {{FACE, 0, 0, "", 1}, {SCREEN, 20, 0.85, "", 0}, {FACE, 22, 0.85, "", 3}},
            {{FACE, 0}, {SCREEN, 15}, {FACE, 22}}},
        {"lower next priority gives",
            {{FACE, 0, 0, "", 3}, {SCREEN, 20, 0.85, "", 0}, {FACE, 22, 0.85, "", 1}},
            {{FACE, 0}, {SCREEN, 20}, {FACE, 27}}},
        {"equal priorities: the next unless the previous is shorter",
            {{FACE, 0, 0, "", 1}, {SCREEN, 20, 0.85, "", 0}, {FACE, 22, 0.85, "", 1}},
            {{FACE, 0}, {SCREEN, 20}, {FACE, 27}}},
        {"equal priorities: the previous when shorter",
            {{FACE, 5, 0, "", 1}, {SCREEN, 20, 0.85, "", 0}, {FACE, 22, 0.85, "", 1}},
            {{FACE, 5}, {SCREEN, 15}, {FACE, 22}}},
        {"the previous left too short is removed",
            {{FACE, 10, 0, "", 1}, {SCREEN, 20, 0.85, "", 0}, {FACE, 22, 0.85, "", 1}},
            {{SCREEN, 20}, {FACE, 22}}},
        {"a donor left too short is removed",
            {{FACE, 0, 0, "", 3}, {SCREEN, 6, 0.85, "", 0}, {FACE, 10, 0.85, "", 1}, {SCREEN, 15, 0.85, "", 0}},
            {{FACE, 0}, {SCREEN, 6}}},
        {"repeated states merge into the earlier",
            {{FACE, 0, 0, "", 3}, {FACE, 8, 0.85, "", 1}, {SCREEN, 20, 0.85, "", 0}},
            {{FACE, 0}, {SCREEN, 20}}},
        {"a SCREEN stop of 6.9995 s is long enough",
            {{FACE, 0, 0, "", 3}, {SCREEN, 10, 0.85, "", 0}, {FACE, 16.9995, 0.85, "", 1}},
            {{FACE, 0}, {SCREEN, 10}, {FACE, 16.9995}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto cleaned = LayoutTimeline::cleanedUp(c.stops, 40);
        ASSERT_EQ(cleaned.size(), c.expected.size());
        for (size_t i = 0; i < cleaned.size(); ++i) {
            EXPECT_EQ(cleaned[i].state, c.expected[i].first) << i;
            EXPECT_NEAR(cleaned[i].start, c.expected[i].second, 1e-9) << i;
        }
    }
}

TEST(LayoutTimelineTest, SharesOfAPlanAndTheFixedReport)
{
    LayoutTimeline timeline;
    timeline.stops = {{FACE, 0, 0, "intro", 3}, {SCREEN, 5, 0.85, "screen activity", 0}};
    const auto shares = timeline.shares(20);
    ASSERT_EQ(shares.size(), 2u);
    EXPECT_DOUBLE_EQ(shares.at(FACE), 0.25);
    EXPECT_DOUBLE_EQ(shares.at(SCREEN), 0.75);
    EXPECT_TRUE(timeline.shares(0).empty());
    EXPECT_TRUE(LayoutTimeline::fixed().shares(20).empty());
    // A stop past the duration counts nothing.
    timeline.stops.push_back({FOCUS, 30, 1, "zoom", 2});
    EXPECT_EQ(timeline.shares(20).at(FOCUS), 0);
    EXPECT_EQ(LayoutTimeline::fixed().report(0), "layout: 0 move(s) in 0s (0.0/min) — fixed");
}

TEST(LayoutTimelineTest, SummaryNamesTheSignals)
{
    LayoutSignals signals = speaking(60, 0.3);
    signals.screen = std::vector<bool>{true, false, false, false};
    PointerPath pointer;
    const LayoutTimeline timeline = LayoutTimeline::build(60, {{12, 0.5, 0.5}, {13, 0.5, 0.5}}, {30, 31, 32}, pointer, ZoomTimeline::none(), signals, {});
    EXPECT_EQ(timeline.summary, "signals: speech talking 30%, screen changing 25%, clicks 2, keys 3, pointer log");
    LayoutSignals emptyFlags;
    emptyFlags.speech = std::vector<bool>{};
    EXPECT_EQ(LayoutTimeline::build(60, {}, {}, std::nullopt, ZoomTimeline::none(), emptyFlags, {}).summary,
        "signals: speech talking 0%, screen none, clicks 0, keys 0");
}

} // namespace
