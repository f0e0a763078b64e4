#include "CompositorFixture.h"

#include <condition_variable>
#include <mutex>
#include <vector>

using namespace CompositorTesting;

TEST_F(CompositorTest, AMissingScreenFrameRepeatsThePreviousOneButCannotStartTheExport)
{
    const CompositorSettings settings = classicSettings();
    PixelBuffer out(width, height);
    EXPECT_EQ(compositor.renderRequest(request(settings, 0, nullptr, nullptr, nullptr, &out)),
        FestrinCompositor::CompositorError::missingScreenFrame);
    EXPECT_FALSE(compositor.cacheState().hasLastScreenFrame);

    const auto red = solid(width, height, {0, 0, 230, 255});
    EXPECT_TRUE(at(render(settings, 1.0 / 60, red), 100, 100).near({0, 0, 230, 255}, 0));
    EXPECT_TRUE(at(render(settings, 2.0 / 60, nullptr), 100, 100).near({0, 0, 230, 255}, 0));
    EXPECT_TRUE(at(render(settings, 3.0 / 60, grayScreen), 100, 100).near(screenColor, 0));
}

TEST_F(CompositorTest, QueuedRequestsFinishOnceEachInArrivalOrderEvenAfterCancel)
{
    const CompositorSettings settings = classicSettings();
    std::mutex lock;
    std::condition_variable done;
    std::vector<int> finished;
    std::vector<std::optional<FestrinCompositor::CompositorError>> results;
    std::vector<PixelBuffer> outputs(4, PixelBuffer(width, height));
    const auto blue = solid(width, height, {230, 0, 0, 255});
    const std::shared_ptr<const PixelBuffer> screens[] = {nullptr, blue, nullptr, grayScreen};
    for (int i = 0; i < 4; ++i) {
        compositor.startRequest(request(settings, i / 60.0, screens[i], nullptr, nullptr, &outputs[i]),
            [&, i](std::optional<FestrinCompositor::CompositorError> error) {
                std::lock_guard guard(lock);
                finished.push_back(i);
                results.push_back(error);
                done.notify_all();
            });
        if (i == 1)
            compositor.cancelAllPendingRequests();
    }
    std::unique_lock wait(lock);
    ASSERT_TRUE(done.wait_for(wait, std::chrono::seconds(10), [&] { return finished.size() == 4; }));
    EXPECT_EQ(finished, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(results[0], FestrinCompositor::CompositorError::missingScreenFrame);
    EXPECT_FALSE(results[1] || results[2] || results[3]);
    // The gap after the blue frame repeats it, because requests run in the order they came.
    EXPECT_TRUE(at(outputs[2], 10, 10).near({230, 0, 0, 255}, 0));
}

