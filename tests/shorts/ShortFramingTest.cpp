#include "framing/FramingReport.h"
#include "shorts/ShortFraming.h"
#include "shorts/ShortFramingAccumulator.h"
#include "shorts/ShortFramingFormat.h"
#include "support/FakeCameraHub.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using Format = CameraHub::Format;

Format format(int width, int height, double minRate, double maxRate)
{
    return Format {CameraHub::PixelFormat::yuyv, width, height, {{minRate, maxRate}}};
}

TEST(ShortFormatTest, ChoosesTheTallestThirtyFrameLandscapeFormat)
{
    const Format hd = format(1920, 1080, 30, 30);
    const Format tall = format(1920, 1440, 30, 30);
    const Format uhd = format(3840, 2160, 30, 30);
    struct Case {
        const char* name;
        std::vector<Format> formats;
        std::optional<int> maxHeight;
        std::optional<size_t> chosen;
    };
    const std::vector<Case> cases {
        {"3840 is too wide", {hd, tall, uhd}, std::nullopt, 1},
        {"the cap keeps 1080", {hd, tall, uhd}, 1080, 0},
        {"25 fps at most", {format(1280, 720, 30, 30), format(1920, 1080, 5, 25)}, std::nullopt, 0},
        {"60 fps at least", {format(1280, 720, 30, 30), format(1920, 1080, 60, 60)}, std::nullopt, 0},
        {"portrait never", {format(640, 480, 30, 30), format(1080, 1920, 30, 30)}, std::nullopt, 0},
        {"no rate range", {Format {CameraHub::PixelFormat::mjpeg, 1280, 720, {}}}, std::nullopt, std::nullopt},
        {"equal sizes keep the first", {format(1280, 720, 15, 30), format(1280, 720, 30, 30)}, std::nullopt, 0},
        {"wider wins at equal height", {format(960, 720, 30, 30), format(1280, 720, 30, 30)}, std::nullopt, 1},
        {"ranges are judged together", {Format {CameraHub::PixelFormat::yuyv, 1280, 720, {{60, 60}, {10, 24}}}}, std::nullopt, 0},
        {"nothing to choose", {}, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ShortFraming::selectFormat(c.formats, c.maxHeight), c.chosen) << c.name;
}

TEST(ShortFormatTest, AppliesTheChoiceAtThirtyFramesOrLeavesABusyDeviceAlone)
{
    auto camera = FakeCameraHub::make({format(1280, 720, 30, 30), format(1920, 1080, 15, 30)});
    EXPECT_EQ(ShortFraming::selectFormat(*camera, std::nullopt), QSize(1920, 1080));
    EXPECT_EQ(camera->activeFormatIndex(), 1u);
    EXPECT_EQ(camera->activeFrameDuration(), MediaTime(1, 30));

    auto busy = FakeCameraHub::make({format(1280, 720, 30, 30), format(1920, 1080, 15, 30)});
    const auto before = busy->activeFormatIndex();
    busy->refuseConfiguration = true;
    EXPECT_EQ(ShortFraming::selectFormat(*busy, std::nullopt), std::nullopt);
    EXPECT_EQ(busy->activeFormatIndex(), before);
}

TEST(ShortFramingTest, DescribesTheFeedAndItsScale)
{
    const std::vector<std::pair<QSizeF, QString>> cases {
        {{1920, 1080}, QStringLiteral("608×1080 of the 1920×1080 feed → 1080×1920 (×1.78)")},
        {{1280, 720}, QStringLiteral("406×720 of the 1280×720 feed → 1080×1920 (×2.67)")},
        {{1080, 1920}, QStringLiteral("Portrait 1080×1920 feed — used whole, no crop → 1080×1920 (no scaling)")},
        {{1440, 2560}, QStringLiteral("Portrait 1440×2560 feed — used whole, no crop → 1080×1920 (×0.75)")},
        {{1080, 2340}, QStringLiteral("1080×1920 of the portrait 1080×2340 feed → 1080×1920 (no scaling)")},
        {{1, 1000}, QStringLiteral("Waiting for the camera…")},
        {{0, 0}, QStringLiteral("Waiting for the camera…")},
    };
    for (const auto& [frame, text] : cases)
        EXPECT_EQ(ShortFraming::describe(frame), text) << frame.width() << "x" << frame.height();
}

TEST(ShortFramingTest, SafeZonesCoverTheOutputInTheirFixedOrder)
{
    const auto& zones = ShortFraming::safeZones();
    ASSERT_EQ(zones.size(), 4u);
    const std::vector<std::tuple<QString, QRectF, bool>> expected {
        {QStringLiteral("top bar"), QRectF(0, 0, 1080, 290), false},
        {QStringLiteral("buttons"), QRectF(880, 290, 200, 1050), false},
        {QStringLiteral("captions"), QRectF(0, 1200, 880, 140), true},
        {QStringLiteral("caption + sound"), QRectF(0, 1340, 1080, 580), false},
    };
    for (size_t i = 0; i < zones.size(); ++i) {
        EXPECT_EQ(zones[i].name, std::get<0>(expected[i]));
        EXPECT_EQ(zones[i].rect, std::get<1>(expected[i]));
        EXPECT_EQ(zones[i].filled, std::get<2>(expected[i]));
        EXPECT_TRUE(QRectF(0, 0, 1080, 1920).contains(zones[i].rect));
    }
}

FramingReport reportWith(std::vector<std::optional<CropMetrics>> metrics)
{
    FramingReport report;
    report.metrics = std::move(metrics);
    return report;
}

TEST(ShortFramingAccumulatorTest, AveragesOnlyTheFirstCropsMeasuredFaces)
{
    CropMetrics high;
    high.eyeY = 0.30;
    high.faceHeight = 0.20;
    CropMetrics low;
    low.eyeY = 0.50;
    low.faceHeight = 0.40;
    ShortFramingAccumulator accumulator;
    EXPECT_EQ(accumulator.measured(), std::nullopt);
    accumulator.add(reportWith({high}));
    accumulator.add(reportWith({std::nullopt, low})); // a face only in a second crop does not count
    accumulator.add(reportWith({}));
    accumulator.add(reportWith({low}));
    const auto measured = accumulator.measured();
    ASSERT_TRUE(measured);
    EXPECT_DOUBLE_EQ(measured->eyeLine, 0.40);
    EXPECT_DOUBLE_EQ(measured->faceHeight, 0.30);
    EXPECT_EQ(measured->framesAnalyzed, 4);
    EXPECT_EQ(measured->framesWithFace, 2);

    accumulator.reset();
    for (int i = 0; i < 500; ++i)
        accumulator.add(reportWith({std::nullopt}));
    EXPECT_EQ(accumulator.framesAnalyzed(), 500);
    EXPECT_EQ(accumulator.measured(), std::nullopt);
}

} // namespace
