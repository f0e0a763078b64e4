#include "capture/PointerTracker.h"

#include "capture/ClickTracker.h"

#include "support/FakeFrontWindow.h"
#include "support/FakeInputEvents.h"
#include "support/FakePointerState.h"
#include "support/ManualClock.h"
#include "takedata/PointerPath.h"
#include "takedata/RecordingClock.h"

#include <QLineF>

#include <gtest/gtest.h>

namespace {

class PointerTrackerTest : public ::testing::Test {
protected:
    // Desktop coordinates, origin bottom-left: 800 × 400 whose bottom-left corner is at (100, 50).
    const QRectF capture{100, 50, 800, 400};
    ManualClock host{100.0};
    FakeInputEvents input;
    FakePointerState pointer;
    FakeFrontWindow windows;
    std::shared_ptr<RecordingClock> clock = std::make_shared<RecordingClock>();
    PointerTracker tracker{input, pointer, windows};

    void SetUp() override { pointer.pointer = QPointF(500, 250); }

    // Ticks every 1/60 s, starting 1/60 s after the take's zero.
    void ticks(int count)
    {
        for (int i = 0; i < count; ++i) {
            host.advance(1.0 / 60);
            tracker.poll(clock, capture);
        }
    }
    double takeTime() const { return *clock->nowSeconds(); }
    PointerLog log() const { return tracker.log(false); }
};

TEST_F(PointerTrackerTest, NothingIsRecordedBeforeTheTakeClockStartsOrForAFlatCapture)
{
    input.keyCount = 3;
    ticks(1);
    input.keyCount = 8; // pressed before the first frame: lost
    ticks(12);
    clock->begin(host.now());
    ticks(1);
    const PointerLog snapshot = log();
    EXPECT_EQ(snapshot.samples.size(), 1u);
    EXPECT_TRUE(snapshot.keys->empty());
    EXPECT_TRUE(snapshot.shapes.empty());
    EXPECT_EQ(windows.reads, 0);
    for (int i = 0; i < 12; ++i) // a flat capture rectangle records nothing either
        tracker.poll(clock, QRectF(100, 50, 800, 0));
    EXPECT_EQ(log().samples.size(), 1u);
    EXPECT_EQ(windows.reads, 0);
}

TEST_F(PointerTrackerTest, CursorRecordsComeEverySixthTickWhenTheyChange)
{
    pointer.cursor = CursorImage{24, 24, 4, 4, "left_ptr"};
    clock->begin(host.now());
    ticks(5);
    EXPECT_TRUE(log().shapes.empty());
    EXPECT_EQ(pointer.cursorReads, 0);
    ticks(1);
    ASSERT_EQ(log().shapes.size(), 1u);
    EXPECT_EQ(log().shapes[0], (std::vector<double>{takeTime(), 0.17, 0.17, 24, 0}));
    ticks(6); // same cursor: no record
    EXPECT_EQ(log().shapes.size(), 1u);
    pointer.cursor = CursorImage{32, 32, 14, 15, "xterm"};
    ticks(5);
    EXPECT_EQ(log().shapes.size(), 1u);
    ticks(1);
    ASSERT_EQ(log().shapes.size(), 2u);
    EXPECT_EQ(log().shapes[1], (std::vector<double>{takeTime(), 0.44, 0.47, 32, 1}));
    pointer.cursor = CursorImage{0, 24, 4, 4, "hand2"}; // no image: no record
    ticks(6);
    pointer.cursor.reset();
    ticks(6);
    EXPECT_EQ(log().shapes.size(), 2u);
    EXPECT_EQ(pointer.cursorReads, 5);
}

TEST_F(PointerTrackerTest, APointerRestingAfterAQuickMoveIsDrawnWhereItRestsAndUnderItsClick)
{
    // A 1920 × 1080 display drawn in a 1080p final: one pixel per point.
    const QRectF display(0, 0, 1920, 1080);
    const QSizeF frame(1920, 1080);
    const auto tick = [&](int count) {
        for (int i = 0; i < count; ++i) {
            host.advance(1.0 / 60);
            tracker.poll(clock, display);
        }
    };
    ClickTracker clicks(input, pointer);
    pointer.pointer = QPointF(300, 300);
    clock->begin(host.now());
    clicks.start(clock, display);
    tick(30);
    // A flick across the screen in 60 ms, then three seconds at rest, a click, and half a second more.
    for (int step = 1; step <= 4; ++step) {
        pointer.pointer = QPointF(300 + 300 * step, 300 + 125 * step);
        tick(1);
    }
    tick(180);
    input.press();
    tick(30);
    const PointerLog snapshot = log();
    const std::vector<Click> recorded = clicks.recorded();
    ASSERT_EQ(recorded.size(), 1u);
    const Click click = recorded[0];
    EXPECT_DOUBLE_EQ(click.x, 1500.0 / 1920);

    // Where the log says the pointer rested (the last sample), and where the finished video draws the tip.
    ASSERT_FALSE(snapshot.samples.empty());
    const std::vector<double>& rest = snapshot.samples.back();
    const QPointF logged(rest[1] * frame.width(), rest[2] * frame.height());
    EXPECT_NEAR(logged.x(), 1500, 0.5);
    EXPECT_NEAR(logged.y(), 800, 0.5);
    const std::optional<PointerPath> path = PointerPath::fromSamples(snapshot.samples);
    ASSERT_TRUE(path);
    for (const double t : {click.time - 2.0, click.time, takeTime()}) {
        const std::optional<QPointF> tip = path->position(t);
        ASSERT_TRUE(tip);
        const QPointF drawn(tip->x() * frame.width(), tip->y() * frame.height());
        EXPECT_LE(QLineF(drawn, logged).length(), 2.0) << "at " << t << " s the tip is at " << drawn.x() << ", " << drawn.y();
        EXPECT_LE(QLineF(drawn, QPointF(click.x * frame.width(), click.y * frame.height())).length(), 2.0) << "at " << t << " s";
    }

    // A pointer that never moves keeps its one sample.
    tracker.reset();
    tick(60);
    EXPECT_EQ(log().samples.size(), 1u);
}

} // namespace
