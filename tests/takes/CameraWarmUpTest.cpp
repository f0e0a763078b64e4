#include "platform/media/PixelBuffer.h"
#include "takes/CameraWarmUp.h"

#include <gtest/gtest.h>

namespace {

TEST(CameraWarmUpTest, ACameraHasSettledWhenItsLastThreeFramesAgreeWithinTwoPercent)
{
    struct Case {
        std::deque<double> readings;
        bool settled;
    };
    const std::vector<Case> cases = {
        {{}, false},
        {{0.50, 0.50}, false},              // two frames are not enough
        {{0.50, 0.505, 0.509}, true},       // 1.8 % of the brightest
        {{0.50, 0.505, 0.511}, false},      // 2.2 %
        {{0.20, 0.60, 0.61, 0.605}, true},  // only the last three count
        {{0.0, 0.0, 0.0}, true},            // a black picture no longer changes either
    };
    for (const Case& c : cases)
        EXPECT_EQ(CameraWarmUp::settled(c.readings), c.settled) << c.readings.size();
}

TEST(CameraWarmUpTest, MeanLumaWeighsTheChannelsLikeRec709)
{
    PixelBuffer frame(64, 36);
    frame.fill(0, 255, 0, 255); // pure green, BGRA
    EXPECT_NEAR(CameraWarmUp::meanLuma(frame), 0.7152, 1e-3);
    frame.fill(255, 255, 255, 255);
    EXPECT_NEAR(CameraWarmUp::meanLuma(frame), 1.0, 1e-3);
    EXPECT_EQ(CameraWarmUp::meanLuma(PixelBuffer(0, 0)), 0);
}

} // namespace
