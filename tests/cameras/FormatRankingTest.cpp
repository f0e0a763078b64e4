#include "capture/DeviceVideoRecorder.h"
#include "platform/video/V4l2CameraHub.h"
#include "support/FakeCameraHub.h"

#include <gtest/gtest.h>

namespace {

using Format = CameraHub::Format;

Format format(int w, int h, double rate) { return FakeCameraHub::landscape(w, h, rate, CameraHub::PixelFormat::mjpeg); }

struct RankingCase {
    const char* name;
    std::vector<Format> formats;
    bool preferTall;
    size_t expected;
};

class FormatRanking : public ::testing::TestWithParam<RankingCase> {};

TEST_P(FormatRanking, PicksTheExpectedFormat)
{
    const RankingCase& c = GetParam();
    EXPECT_EQ(DeviceVideoRecorder::bestFormatIndex(c.formats, c.preferTall), c.expected) << c.name;
}

const std::vector<Format> sixtyTallAndFourK = {format(1920, 1080, 60), format(1920, 1440, 30), format(3840, 2160, 60)};
const std::vector<Format> wideAndTallAtThirty = {format(1920, 1080, 30), format(1920, 1440, 30)};

INSTANTIATE_TEST_SUITE_P(Cases, FormatRanking,
    ::testing::Values(RankingCase{"60 fps 1080 beats tall 30 and 4K 60", sixtyTallAndFourK, false, 0},
        RankingCase{"60 fps 1080 wins even when tall is preferred", sixtyTallAndFourK, true, 0},
        RankingCase{"tall preferred at equal rate", wideAndTallAtThirty, true, 1},
        RankingCase{"16:9 preferred otherwise", wideAndTallAtThirty, false, 0},
        RankingCase{"wider than 1920 ranks below any smaller width", {format(2560, 1440, 30), format(640, 480, 30)}, false, 1},
        RankingCase{"59.5 counts as the 60 class", {format(1920, 1080, 30), format(1280, 720, 59.5)}, false, 1},
        RankingCase{"59.4 does not", {format(1920, 1080, 30), format(1280, 720, 59.4)}, false, 0},
        RankingCase{"equal formats keep the first listed", {format(1280, 720, 30), format(1280, 720, 30)}, false, 0},
        RankingCase{"closeness to 16:9 truncates 9w/16", {format(1000, 563, 30), format(1000, 562, 30)}, false, 1},
        RankingCase{"a format without rates ranks with rate 0", {{CameraHub::PixelFormat::yuyv, 1920, 1080, {}}, format(640, 360, 60)}, false,
            1}),
    [](const ::testing::TestParamInfo<RankingCase>& info) { return "case" + std::to_string(info.index); });

TEST(FormatRankingEdges, DeviceWithoutFormatsHasNoWinner)
{
    EXPECT_FALSE(DeviceVideoRecorder::bestFormatIndex({}, false));
    EXPECT_FALSE(DeviceVideoRecorder::bestFormatIndex({}, true));
}

TEST(FrameDuration, TopRateIsCappedAtSixtyAndRounded)
{
    EXPECT_EQ(DeviceVideoRecorder::frameDurationFor(120), MediaTime(1, 60));
    EXPECT_EQ(DeviceVideoRecorder::frameDurationFor(59.94), MediaTime(1, 60));
    EXPECT_EQ(DeviceVideoRecorder::frameDurationFor(29.97), MediaTime(1, 30));
    EXPECT_EQ(DeviceVideoRecorder::frameDurationFor(15), MediaTime(1, 15));
    EXPECT_FALSE(DeviceVideoRecorder::frameDurationFor(0).isValid());
    EXPECT_FALSE(DeviceVideoRecorder::frameDurationFor(0.3).isValid()); // rounds to no frame rate at all
}

TEST(SelectBestFormat, AppliesTheWinnerAtItsRateOnceAndPrintsOneLine)
{
    auto hub = FakeCameraHub::make({format(640, 480, 30), format(1920, 1080, 120), format(1280, 720, 30)}, QStringLiteral("Desk Cam"));
    ::testing::internal::CaptureStdout();
    DeviceVideoRecorder::selectBestFormat(*hub, false);
    const std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(hub->activeFormatIndex(), 1u);
    EXPECT_EQ(hub->activeFrameDuration(), MediaTime(1, 60));
    EXPECT_EQ(printed, "camera format: 1920x1080 @60 — Desk Cam\n");
    // Once active, the format is left alone: no second stop/apply/start of the stream.
    ASSERT_EQ(hub->formatChanges(), 1);
    DeviceVideoRecorder::selectBestFormat(*hub, false);
    EXPECT_EQ(hub->formatChanges(), 1);
}

TEST(SelectBestFormat, DeviceThatCannotBeConfiguredStaysUnchangedSilently)
{
    auto hub = FakeCameraHub::make({format(640, 480, 30), format(1920, 1080, 30)});
    hub->refuseConfiguration = true;
    ::testing::internal::CaptureStdout();
    DeviceVideoRecorder::selectBestFormat(*hub, false);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(hub->activeFormatIndex(), 0u);
}

// The list a camera gives must let the quality picker find 30 fps landscape heights: discrete intervals
// become single-rate ranges in the device's order, stepwise ones span their slowest to fastest rate.
TEST(V4l2FrameRates, IntervalsBecomeRateRangesInDeviceOrder)
{
    using Entry = V4l2CameraHub::IntervalEntry;
    const auto ranges = V4l2CameraHub::frameRateRanges({Entry{true, 1, 60}, Entry{true, 1001, 30000}, Entry{true, 0, 30},
        Entry{false, 1, 30, 1, 5}});
    ASSERT_EQ(ranges.size(), 3u);
    EXPECT_DOUBLE_EQ(ranges[0].minFrameRate, 60);
    EXPECT_DOUBLE_EQ(ranges[0].maxFrameRate, 60);
    EXPECT_NEAR(ranges[1].maxFrameRate, 29.97, 0.001);
    EXPECT_DOUBLE_EQ(ranges[2].minFrameRate, 5);
    EXPECT_DOUBLE_EQ(ranges[2].maxFrameRate, 30);
    EXPECT_TRUE(V4l2CameraHub::frameRateRanges({Entry{false, 1, 30, 0, 0}}).empty());
}

TEST(V4l2PixelFormats, OnlyDecodableFormatsAreListedCompressedFirst)
{
    EXPECT_EQ(V4l2CameraHub::pixelFormatFor(V4l2CameraHub::fourccFor(CameraHub::PixelFormat::mjpeg)), CameraHub::PixelFormat::mjpeg);
    EXPECT_EQ(V4l2CameraHub::pixelFormatFor(V4l2CameraHub::fourccFor(CameraHub::PixelFormat::yuyv)), CameraHub::PixelFormat::yuyv);
    EXPECT_EQ(V4l2CameraHub::pixelFormatFor(V4l2CameraHub::fourccFor(CameraHub::PixelFormat::nv12)), CameraHub::PixelFormat::nv12);
    EXPECT_FALSE(V4l2CameraHub::pixelFormatFor(0x34363248)); // H264 is not read
    EXPECT_LT(V4l2CameraHub::listingRank(CameraHub::PixelFormat::mjpeg), V4l2CameraHub::listingRank(CameraHub::PixelFormat::yuyv));
}

TEST(V4l2Open, MissingOrNonCameraNodeIsAnErrorValue)
{
    const auto missing = V4l2CameraHub::open(QStringLiteral("/dev/video-does-not-exist"));
    EXPECT_FALSE(missing.hub);
    ASSERT_TRUE(missing.error);
    EXPECT_EQ(missing.error->code, CameraHub::Error::Code::cannotOpen);
    EXPECT_TRUE(missing.error->description().startsWith(QStringLiteral("The camera could not be opened: ")));
    const auto notCamera = V4l2CameraHub::open(QStringLiteral("/dev/null"));
    EXPECT_FALSE(notCamera.hub);
    ASSERT_TRUE(notCamera.error);
    EXPECT_EQ(notCamera.error->code, CameraHub::Error::Code::notACamera);
}

} // namespace
