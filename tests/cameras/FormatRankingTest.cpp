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

// Without it gtest prints a case as its raw bytes, the unset padding after preferTall among them.
void PrintTo(const RankingCase& c, std::ostream* out) { *out << c.name; }

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
    [](const ::testing::TestParamInfo<RankingCase>& param) { return "case" + std::to_string(param.index); });

TEST(FormatRankingEdges, DeviceWithoutFormatsHasNoWinner)
{
    EXPECT_FALSE(DeviceVideoRecorder::bestFormatIndex({}, false));
    EXPECT_FALSE(DeviceVideoRecorder::bestFormatIndex({}, true));
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
