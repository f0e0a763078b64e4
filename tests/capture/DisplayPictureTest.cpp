#include "capture/DisplayPicture.h"

#include "platform/input/RootCoordinates.h"
#include "takes/TakeGeometry.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

ScreenDisplay display(uint32_t id, const QRect& frame) { return {id, QStringLiteral("HDMI-%1").arg(id), frame, id == 1}; }

// Where the fitted picture shows a root pixel, in frame pixels from the top-left, as the finished video draws
// the pointer from its logged fractions.
QPointF shown(const PictureArea& area, QPoint pixel, int rootHeight, QSize output)
{
    const QPointF fraction = area.fraction(RootCoordinates::point(pixel.x(), pixel.y(), rootHeight));
    return QPointF(fraction.x() * output.width(), (1 - fraction.y()) * output.height());
}

bool same(const QRectF& a, const QRectF& b) { return a.x() == b.x() && a.y() == b.y() && a.width() == b.width() && a.height() == b.height(); }

} // namespace

TEST(DisplayPicture, aChangedDisplayIsMeasuredWhereTheFittedPictureShowsIt)
{
    const QRect full(0, 0, 1920, 1080);
    const ScreenLayoutSource::Layout before{{display(1, full)}, {1920, 1080}};
    const DisplayPicture::Start start = DisplayPicture::started(before, full, full.size(), TakeGeometry::captureRect(full, 1080));
    struct Row {
        const char* what;
        ScreenLayoutSource::Layout now;
        QPoint pixel;    // root pixel, top-left origin
        QPointF inFrame; // where the fitted picture shows it
    };
    const std::vector<Row> rows{
        {"unchanged", before, {960, 539}, {960, 540}},
        {"shrunk to 1280x720", {{display(1, {0, 0, 1280, 720})}, {1280, 720}}, {0, 719}, {0, 1080}},
        {"turned 4:3, between bars", {{display(1, {0, 0, 1024, 768})}, {1024, 768}}, {1023, 0}, {240 + 1023 * 1.40625, 1.40625}},
        {"a display added below it", {{display(1, full), display(2, {0, 1080, 1280, 720})}, {1920, 1800}}, {960, 539}, {960, 540}},
        {"moved right of a new display", {{display(2, {0, 0, 1280, 720}), display(1, {1280, 0, 1920, 1080})}, {3200, 1080}}, {1280, 1079}, {0, 1080}},
        {"back as it was", before, {0, 1079}, {0, 1080}},
    };
    for (const Row& row : rows) {
        const std::optional<PictureArea> area = DisplayPicture::areaOn(start, row.now);
        ASSERT_TRUE(area) << row.what;
        const QPointF at = shown(*area, row.pixel, row.now.root.height(), full.size());
        EXPECT_NEAR(at.x(), row.inFrame.x(), 1e-6) << row.what;
        EXPECT_NEAR(at.y(), row.inFrame.y(), 1e-6) << row.what;
    }
    // Only the display is filmed: beside a 4:3 display, in the frame's bars, nothing is on the picture.
    EXPECT_FALSE(DisplayPicture::areaOn(start, rows[2].now)->films(QPointF(-1, 10)));
    EXPECT_FALSE(DisplayPicture::areaOn(start, {{display(2, {0, 0, 1280, 720})}, {1280, 720}})) << "gone: the take ends";

    // The second display of a rectangle across two unplugged: the whole screen is followed, 16:9 between bars.
    const QRect across(0, 0, 3200, 1080);
    const DisplayPicture::Start wide
        = DisplayPicture::started({{display(1, full), display(2, {1920, 0, 1280, 1080})}, {3200, 1080}}, across, across.size(), QRectF(across));
    const std::optional<PictureArea> left = DisplayPicture::areaOn(wide, {{display(1, full)}, {1920, 1080}});
    ASSERT_TRUE(wide.wholeScreen && left);
    EXPECT_NEAR(shown(*left, {0, 1079}, 1080, across.size()).x(), 640, 1e-6);
}

TEST(DisplayPicture, aDisplayAsItWasIsMeasuredAgainstTheTakesCaptureRectangleToTheLastBit)
{
    // The 16:9 middle of a 16:10 laptop beside another display, and a 1366 wide display whose middle has
    // fractional edges while the grab's are rounded.
    struct Row {
        ScreenLayoutSource::Layout now;
        QRect configured;
        QRectF capture;
    };
    const QRect laptop(1920, 0, 1920, 1200);
    const QRect narrow(0, 0, 1366, 768);
    for (const Row& row : {Row{{{display(2, {0, 0, 1920, 1080}), display(1, laptop)}, {3840, 1200}}, {1920, 60, 1920, 1080}, TakeGeometry::captureRect(laptop, 1200)},
             Row{{{display(1, narrow)}, {1366, 768}}, {0, 0, 1365, 768}, TakeGeometry::captureRect(narrow, 768)}}) {
        const std::optional<PictureArea> area = DisplayPicture::areaOn(DisplayPicture::started(row.now, row.configured, row.configured.size(), row.capture), row.now);
        ASSERT_TRUE(area);
        EXPECT_TRUE(same(area->filmed, row.capture) && same(area->frame, row.capture)) << row.configured.width();
    }
}
