#include "platform/x11/DisplayFollow.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

ScreenDisplay display(uint32_t id, const QRect& frame, const QString& name = QStringLiteral("HDMI-1"))
{
    return {id, name, frame, id == 1};
}

} // namespace

TEST(DisplayFollow, aChangedDisplayIsFilmedWholeAsItIsNowAndAsConfiguredOnceItIsBack)
{
    const QRect full(0, 0, 1920, 1080);
    // The middle 16:9 of a 16:10 laptop beside a projector.
    const QRect laptopCrop(0, 60, 1920, 1080);
    struct Row {
        const char* what;
        ScreenDisplay started;
        QRect configured;
        std::vector<ScreenDisplay> now;
        QSize root;
        QRect filmed;
    };
    const std::vector<Row> rows{
        {"unchanged", display(1, full), full, {display(1, full)}, {1920, 1080}, full},
        {"shrunk to 1280x720", display(1, full), full, {display(1, {0, 0, 1280, 720})}, {1280, 720}, {0, 0, 1280, 720}},
        {"shrunk before the screen is", display(1, full), full, {display(1, {0, 0, 1280, 720})}, {1920, 1080}, {0, 0, 1280, 720}},
        {"back at its start size", display(1, full), full, {display(1, full)}, {1920, 1080}, full},
        {"grown, screen not yet", display(1, {0, 0, 1280, 720}), {0, 0, 1280, 720}, {display(1, full)}, {1280, 720}, {0, 0, 1280, 720}},
        {"a cropped 16:10 display turned 4:3", display(1, {0, 0, 1920, 1200}), laptopCrop, {display(1, {0, 0, 1024, 768})}, {1024, 768},
            {0, 0, 1024, 768}},
        {"the 16:10 display back", display(1, {0, 0, 1920, 1200}), laptopCrop, {display(1, {0, 0, 1920, 1200})}, {1920, 1200}, laptopCrop},
        {"a second display moved below the first", display(2, {1920, 0, 1280, 720}), {1920, 0, 1280, 720},
            {display(1, full), display(2, {0, 1080, 1280, 720})}, {1920, 1800}, {0, 1080, 1280, 720}},
        {"only part of it on the screen", display(2, {1920, 0, 1280, 720}), {1920, 0, 1280, 720},
            {display(1, full), display(2, {1920, 0, 1280, 720})}, {2560, 1080}, {1920, 0, 640, 720}},
    };
    for (const Row& row : rows) {
        const DisplayFollow::Decision decision = DisplayFollow::decide(row.started, row.configured, row.now, row.root);
        const auto* grab = std::get_if<DisplayFollow::Grab>(&decision);
        ASSERT_TRUE(grab) << row.what;
        EXPECT_EQ(grab->source, row.filmed) << row.what;
        EXPECT_TRUE(QRect(QPoint(0, 0), row.root).contains(grab->source)) << row.what << ": every grab lies inside the screen";
    }
}

TEST(DisplayFollow, aDisplayNoLongerListedOrWhollyOffTheScreenIsGoneWithItsName)
{
    const ScreenDisplay projector = display(2, {1920, 0, 1280, 720}, QStringLiteral("DP-2"));
    const QString sentence = QStringLiteral("the recorded display “DP-2” is no longer available");
    const auto unplugged = DisplayFollow::decide(projector, projector.frame, {display(1, {0, 0, 1920, 1080})}, {1920, 1080});
    EXPECT_EQ(unplugged, DisplayFollow::Decision(DisplayFollow::Gone{sentence}));
    // The screen shrank to the first display before the second was taken off the list.
    const auto offScreen = DisplayFollow::decide(projector, projector.frame, {display(1, {0, 0, 1920, 1080}), projector}, {1920, 1080});
    EXPECT_EQ(offScreen, DisplayFollow::Decision(DisplayFollow::Gone{sentence}));
    const auto nameless = DisplayFollow::decide(display(7, {0, 0, 800, 600}, {}), {0, 0, 800, 450}, {}, {800, 600});
    EXPECT_EQ(nameless, DisplayFollow::Decision(DisplayFollow::Gone{QStringLiteral("the recorded display “7” is no longer available")}));
}

TEST(DisplayFollow, aPictureIsFittedWholeIntoTheTakesFrameBetweenBars)
{
    struct Row {
        QSize source;
        QSize output;
        QRect placed;
    };
    const std::vector<Row> rows{
        {{1280, 720}, {1920, 1080}, {0, 0, 1920, 1080}},   // same shape, larger
        {{2560, 1440}, {1920, 1080}, {0, 0, 1920, 1080}},  // same shape, smaller
        {{1024, 768}, {1920, 1080}, {240, 0, 1440, 1080}}, // 4:3: bars left and right
        {{2560, 1080}, {1920, 1080}, {0, 135, 1920, 810}}, // 64:27: bars above and below
        {{1080, 1920}, {1920, 1080}, {656, 0, 608, 1080}}, // a display turned upright
        {{1366, 768}, {1920, 1080}, {0, 0, 1920, 1079}},   // a hair wider: one row of bar
        {{0, 720}, {1920, 1080}, {}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(DisplayFollow::fitted(row.source, row.output), row.placed) << row.source.width() << "x" << row.source.height();
}

TEST(DisplayFollow, theFrameSpansTheRootAreaThatPutsTheFilmedDisplayWhereItIsFittedIn)
{
    for (const QRect& source : {QRect(0, 0, 1280, 720), QRect(0, 0, 1024, 768), QRect(1920, 0, 2560, 1080), QRect(0, 0, 1366, 768)}) {
        const QSize output(1920, 1080);
        const QRectF spanned = DisplayFollow::spanned(source, output);
        const QRect placed = DisplayFollow::fitted(source.size(), output);
        // The source's corners, at their fractions of the span, are the fitted picture's corners.
        const auto inFrame = [&](QPointF p) {
            return QPointF((p.x() - spanned.x()) / spanned.width() * output.width(), (p.y() - spanned.y()) / spanned.height() * output.height());
        };
        const QPointF topLeft = inFrame(QRectF(source).topLeft());
        const QPointF bottomRight = inFrame(QRectF(source).bottomRight());
        EXPECT_NEAR(topLeft.x(), placed.x(), 1e-6) << source.width();
        EXPECT_NEAR(topLeft.y(), placed.y(), 1e-6) << source.width();
        EXPECT_NEAR(bottomRight.x(), placed.x() + placed.width(), 1e-6) << source.width();
        EXPECT_NEAR(bottomRight.y(), placed.y() + placed.height(), 1e-6) << source.width();
    }
    EXPECT_TRUE(DisplayFollow::spanned(QRect(0, 0, 0, 720), QSize(1920, 1080)).isEmpty());
}
