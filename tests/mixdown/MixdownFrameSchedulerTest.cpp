#include "finishing/MixdownFrameScheduler.h"
#include "finishing/MixdownThreadBudget.h"
#include "platform/media/ExportGate.h"
#include "support/SyntheticTake.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

namespace {

// Writes its frame's index into the first pixel and remembers which frames it drew on which thread.
class IndexRenderer final : public OverlayFrameRenderer {
public:
    std::optional<ErrorInfo> render(const Frame& frame, PixelBuffer& output) override
    {
        if (frame.index == failAt)
            return ErrorInfo {QStringLiteral("Test"), 1, QStringLiteral("frame %1 failed").arg(frame.index)};
        const auto grey = static_cast<uint8_t>(8 * frame.index);
        output.fill(grey, grey, grey, 255);
        output.row(0)[0] = static_cast<uint8_t>(frame.index);
        std::lock_guard guard(lock);
        indices.push_back(frame.index);
        threads.push_back(std::this_thread::get_id());
        return std::nullopt;
    }
    bool drawsFramesIndependently() const override { return true; }
    bool drawsPlanar() const override { return planar; }
    // Luma = 100 + the frame's index, chroma neutral.
    std::optional<ErrorInfo> renderPlanar(const Frame& frame, const PlanarCanvas& output) override
    {
        for (int i = 0; i < 3; ++i)
            output.plane(i).setTo(i == 0 ? 100 + static_cast<int>(frame.index) : 128);
        std::lock_guard guard(lock);
        planarIndices.push_back(frame.index);
        if (frame.screenPlanes && !frame.screen)
            screensAsPlanes.push_back(frame.screenPlanes);
        if (frame.cameraPlanes && !frame.camera)
            camerasAsPlanes.push_back(frame.cameraPlanes);
        return std::nullopt;
    }

    bool planar = false;
    std::vector<int64_t> planarIndices;
    std::vector<std::shared_ptr<const PlanarPicture>> screensAsPlanes;
    std::vector<std::shared_ptr<const PlanarPicture>> camerasAsPlanes;
    int64_t failAt = -1;
    std::mutex lock;
    std::vector<int64_t> indices;
    std::vector<std::thread::id> threads;
};

class MixdownFrameSchedulerTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        SyntheticTake::ScreenRecipe recipe;
        recipe.seconds = 1.0;
        recipe.audioTracks = 0;
        SyntheticTake::writeScreen(path(QStringLiteral("raw.mov")), recipe);
        reader = SyntheticTake::openReader(path(QStringLiteral("raw.mov")));
        ASSERT_TRUE(reader);
        output = reader->addVideoOutput(reader->asset().firstTrack(MovieTrack::MediaType::video)->index);
        ASSERT_TRUE(output);
        ASSERT_TRUE(reader->startReading());
    }

    std::unique_ptr<Mixdown::FrameScheduler> scheduler(std::vector<IndexRenderer>& renderers, bool planar = false, MovieReaderOutput* screen = nullptr,
        std::optional<Mixdown::FrameScheduler::Source> camera = std::nullopt)
    {
        std::vector<OverlayFrameRenderer*> borrowed;
        for (IndexRenderer& renderer : renderers)
            borrowed.push_back(&renderer);
        const Mixdown::FrameScheduler::Plan plan {MediaTime::zero(), MediaTime(1, 1), 30, QSize(64, 36), planar};
        return std::make_unique<Mixdown::FrameScheduler>(plan, Mixdown::FrameScheduler::Source {screen ? screen : output, std::nullopt}, camera,
            std::nullopt, std::move(borrowed), gate, 0.01);
    }

    std::unique_ptr<MovieReader> reader;
    MovieReaderOutput* output = nullptr;
    ExportGate gate;
};

TEST_F(MixdownFrameSchedulerTest, FramesSharedBetweenRenderersLeaveInOrder)
{
    std::vector<IndexRenderer> renderers(3);
    auto frames = scheduler(renderers);
    frames->start();
    int64_t expected = 0;
    while (std::optional<MediaSample> sample = frames->copyNextSample()) {
        ASSERT_TRUE(sample->pixels);
        EXPECT_EQ(sample->presentationTime(), MediaTime(expected, 30));
        EXPECT_EQ(sample->pixels->row(0)[0], expected) << "the frame's own picture, not a neighbour's";
        ++expected;
    }
    EXPECT_EQ(expected, 30);
    EXPECT_FALSE(frames->failure());
    EXPECT_EQ(frames->framesRendered(), 30);
    frames.reset();
    // Each renderer drew every third frame, in order, always on one thread of its own.
    for (size_t r = 0; r < renderers.size(); ++r) {
        ASSERT_EQ(renderers[r].indices.size(), 10u) << r;
        for (size_t i = 0; i < renderers[r].indices.size(); ++i) {
            EXPECT_EQ(renderers[r].indices[i], static_cast<int64_t>(3 * i + r));
            EXPECT_EQ(renderers[r].threads[i], renderers[r].threads[0]);
        }
    }
    EXPECT_NE(renderers[0].threads[0], renderers[1].threads[0]);
}

TEST_F(MixdownFrameSchedulerTest, PlanarFramesAreConvertedOnTheDrawingThreadsAndLeaveInOrder)
{
    std::vector<IndexRenderer> renderers(2);
    auto frames = scheduler(renderers, true);
    frames->start();
    int64_t expected = 0;
    while (std::optional<MediaSample> sample = frames->copyNextSample()) {
        ASSERT_TRUE(sample->planar);
        EXPECT_FALSE(sample->pixels) << "the drawing buffer stays behind";
        EXPECT_EQ(sample->presentationTime(), MediaTime(expected, 30));
        EXPECT_EQ(sample->duration(), MediaTime(1, 30));
        ASSERT_EQ(sample->planar->width(), 64);
        // The frame's own grey, in limited-range luma.
        const double grey = 8.0 * static_cast<double>(expected);
        EXPECT_NEAR(sample->planar->plane(0)[10 * sample->planar->stride(0) + 10], 16 + 219 * grey / 255, 1) << expected;
        ++expected;
    }
    EXPECT_EQ(expected, 30);
    EXPECT_FALSE(frames->failure());
}

TEST_F(MixdownFrameSchedulerTest, RenderersThatDrawPlanesGetTheEncodersPlanesAndNoBgraFrame)
{
    std::vector<IndexRenderer> renderers(2);
    for (IndexRenderer& renderer : renderers)
        renderer.planar = true;
    auto frames = scheduler(renderers, true);
    frames->start();
    int64_t expected = 0;
    while (std::optional<MediaSample> sample = frames->copyNextSample()) {
        ASSERT_TRUE(sample->planar);
        EXPECT_EQ(sample->presentationTime(), MediaTime(expected, 30));
        ASSERT_EQ(sample->planar->height(), 36);
        EXPECT_EQ(sample->planar->plane(0)[35 * sample->planar->stride(0) + 63], 100 + expected);
        EXPECT_EQ(sample->planar->plane(2)[17 * sample->planar->stride(2) + 31], 128);
        ++expected;
    }
    EXPECT_EQ(expected, 30);
    EXPECT_EQ(frames->framesRendered(), 30);
    frames.reset();
    for (IndexRenderer& renderer : renderers) {
        EXPECT_EQ(renderer.planarIndices.size(), 15u);
        EXPECT_TRUE(renderer.indices.empty()) << "no BGRA frame drawn";
    }
}

TEST_F(MixdownFrameSchedulerTest, TheScreenAndCameraDecodedAsPlanesReachTheRenderersAsTheyCame)
{
    auto planesReader = SyntheticTake::openReader(path(QStringLiteral("raw.mov")));
    VideoOutputSettings decoding;
    decoding.encoderPlanesAsDecoded = true;
    MovieReaderOutput* planes = planesReader->addVideoOutput(planesReader->asset().firstTrack(MovieTrack::MediaType::video)->index, decoding);
    ASSERT_TRUE(planes && planesReader->startReading());
    // The same movie standing in for a camera that shows throughout.
    auto cameraReader = SyntheticTake::openReader(path(QStringLiteral("raw.mov")));
    const MovieTrack* cameraTrack = cameraReader->asset().firstTrack(MovieTrack::MediaType::video);
    Mixdown::FrameScheduler::Source camera {cameraReader->addVideoOutput(cameraTrack->index, decoding),
        Mixdown::OverlayPlacement::place(cameraTrack->mediaStart(), cameraTrack->end(), MediaTime(1, 1))};
    ASSERT_TRUE(camera.output && camera.placement && cameraReader->startReading());
    std::vector<IndexRenderer> renderers(2);
    for (IndexRenderer& renderer : renderers)
        renderer.planar = true;
    auto frames = scheduler(renderers, true, planes, camera);
    frames->start();
    int64_t count = 0;
    while (frames->copyNextSample())
        ++count;
    EXPECT_EQ(count, 30);
    frames.reset();
    for (IndexRenderer& renderer : renderers) {
        ASSERT_EQ(renderer.screensAsPlanes.size(), 15u) << "every frame's screen came as planes, none as BGRA";
        EXPECT_GT(renderer.screensAsPlanes.front()->width(), 0);
        ASSERT_EQ(renderer.camerasAsPlanes.size(), 15u) << "and its camera picture too";
        EXPECT_GT(renderer.camerasAsPlanes.front()->height(), 0);
    }
}

TEST_F(MixdownFrameSchedulerTest, AFailedFrameEndsTheFramesBeforeItAndNamesTheError)
{
    std::vector<IndexRenderer> renderers(2);
    for (IndexRenderer& renderer : renderers)
        renderer.failAt = 7;
    auto frames = scheduler(renderers);
    frames->start();
    int64_t delivered = 0;
    while (std::optional<MediaSample> sample = frames->copyNextSample()) {
        EXPECT_EQ(sample->pixels->row(0)[0], delivered);
        ++delivered;
    }
    EXPECT_EQ(delivered, 7) << "frames after the failed one never reach the writer";
    ASSERT_TRUE(frames->failure());
    EXPECT_EQ(*frames->failure(), QStringLiteral("frame 7 failed"));
    EXPECT_FALSE(frames->copyNextSample());
}

TEST_F(MixdownFrameSchedulerTest, DestroyedMidExportJoinsEveryThread)
{
    std::vector<IndexRenderer> renderers(3);
    auto frames = scheduler(renderers);
    frames->start();
    ASSERT_TRUE(frames->copyNextSample());
    frames.reset(); // must neither hang nor touch the renderers afterwards
    for (IndexRenderer& renderer : renderers)
        EXPECT_LE(renderer.indices.size(), 10u);
}

TEST(MixdownRendererCountTest, OneRendererPerThreeCoresAtMostFour)
{
    const std::pair<int, int> table[] = {{1, 1}, {2, 1}, {4, 1}, {5, 2}, {8, 3}, {11, 4}, {64, 4}};
    for (const auto& [cores, renderers] : table)
        EXPECT_EQ(Mixdown::FrameScheduler::rendererCount(cores), renderers) << cores << " cores";
    EXPECT_GE(Mixdown::FrameScheduler::availableCores(), 1);
}

TEST(MixdownThreadBudgetTest, TheEncoderTakesWhatTheRenderersLeaveAndDecodersGetAFew)
{
    struct Row {
        int cores, renderers, encoder, screen, overlay;
    };
    // A 2-core laptop still encodes on two threads; 8 cores: three renderers, five x264 threads instead of twelve.
    const Row table[] = {{0, 1, 2, 1, 1}, {1, 1, 2, 1, 1}, {2, 1, 2, 1, 1}, {4, 1, 3, 2, 1}, {8, 3, 5, 4, 2}, {16, 4, 12, 4, 2}};
    for (const Row& row : table) {
        const Mixdown::ThreadBudget budget = Mixdown::ThreadBudget::forCores(row.cores);
        EXPECT_EQ(budget.renderers, row.renderers) << row.cores;
        EXPECT_EQ(budget.encoderThreads, row.encoder) << row.cores;
        EXPECT_EQ(budget.screenDecoderThreads, row.screen) << row.cores;
        EXPECT_EQ(budget.overlayDecoderThreads, row.overlay) << row.cores;
    }
}

} // namespace
