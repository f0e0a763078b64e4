#include "CompositorFixture.h"

#include "finishing/MixdownRequest.h"

#include <condition_variable>
#include <mutex>
#include <vector>

using namespace CompositorTesting;

TEST(FestrinInstructionTest, NeedsTheScreenThenEveryOverlayTrackInUse)
{
    CompositorSettings settings;
    settings.screenTrackID = 7;
    EXPECT_EQ(instructionFor(settings)->requiredSourceTrackIDs(), std::vector<int32_t>{7});
    settings.phoneTrackID = 9;
    EXPECT_EQ(instructionFor(settings)->requiredSourceTrackIDs(), (std::vector<int32_t>{7, 9}));
    settings.cameraTrackID = 8;
    const auto instruction = instructionFor(settings);
    EXPECT_EQ(instruction->requiredSourceTrackIDs(), (std::vector<int32_t>{7, 8, 9}));
    EXPECT_EQ(instruction->passthroughTrackID(), 0);
    EXPECT_FALSE(instruction->enablePostProcessing());
    EXPECT_TRUE(instruction->containsTweening());
    EXPECT_EQ(instruction->timeRange().duration, MediaTime(10, 1));
}

TEST_F(CompositorTest, RequestsWithoutAFrameToDrawIntoFail)
{
    const CompositorSettings settings = classicSettings();
    PixelBuffer out(width, height);
    FestrinCompositor::Request noInstruction = request(settings, 0, grayScreen, nullptr, nullptr, &out);
    noInstruction.instruction = nullptr;
    EXPECT_EQ(compositor.renderRequest(noInstruction), FestrinCompositor::CompositorError::noRenderBuffer);

    EXPECT_EQ(compositor.renderRequest(request(settings, 0, grayScreen, nullptr, nullptr, nullptr)),
        FestrinCompositor::CompositorError::noRenderBuffer);
    PixelBuffer wrongSize(width, height - 1);
    EXPECT_EQ(compositor.renderRequest(request(settings, 0, grayScreen, nullptr, nullptr, &wrongSize)),
        FestrinCompositor::CompositorError::noRenderBuffer);

    // A render size no buffer can have is refused, not drawn.
    CompositorSettings broken = settings;
    broken.renderSize = QSizeF(std::nan(""), height);
    EXPECT_EQ(compositor.renderRequest(request(broken, 0, grayScreen, nullptr, nullptr, &out)),
        FestrinCompositor::CompositorError::noRenderBuffer);

    EXPECT_EQ(FestrinCompositor::description(FestrinCompositor::CompositorError::noRenderBuffer),
        QStringLiteral("Could not allocate a frame to render into."));
    EXPECT_EQ(FestrinCompositor::description(FestrinCompositor::CompositorError::missingScreenFrame),
        QStringLiteral("A screen frame was missing during export."));
}

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

TEST(CompositorSettingsTest, ExportSettingsCarryTheRequestAndHideUnhighlightedClicks)
{
    Mixdown::Request request;
    request.bubbleRect = QRectF(10, 20, 30, 40);
    request.bubbleShape = BubbleShape::square;
    request.bubbleTilt = -4;
    request.phoneShowsFrame = false;
    request.clicks = {{1, 0.5, 0.5}};
    request.showClickHighlight = true;
    request.layout = ScreenLayout::studio;
    request.background = StudioBackground::darkRoom;
    request.pointer = PointerPath{};
    request.cameraSegments = {{0.5, 3}};

    const CompositorSettings settings = CompositorSettings::forExport(request, QSizeF(1920, 1080), 1, 0, 3);
    EXPECT_EQ(settings.renderSize, QSizeF(1920, 1080));
    EXPECT_EQ(settings.screenTrackID, 1);
    EXPECT_EQ(settings.cameraTrackID, 0);
    EXPECT_EQ(settings.phoneTrackID, 3);
    EXPECT_EQ(settings.bubbleRect, request.bubbleRect);
    EXPECT_EQ(settings.bubbleShape, BubbleShape::square);
    EXPECT_EQ(settings.bubbleTilt, -4);
    EXPECT_FALSE(settings.phoneShowsFrame);
    EXPECT_EQ(settings.clicks, request.clicks);
    EXPECT_EQ(settings.layout, ScreenLayout::studio);
    EXPECT_EQ(settings.background, StudioBackground::darkRoom);
    EXPECT_TRUE(settings.pointer);
    EXPECT_EQ(settings.cameraSegments, request.cameraSegments);

    request.showClickHighlight = false;
    const CompositorSettings quiet = CompositorSettings::forExport(request, QSizeF(640, 360), 1, 2, 0);
    EXPECT_TRUE(quiet.clicks.empty());
    EXPECT_FALSE(quiet.showClickHighlight);
}
