#include "platform/media/MovieWriter.h"
#include "platform/media/MovieWriterInput.h"
#include "platform/media/PixelBuffer.h"
#include "shorts/CropRenderer.h"
#include "shorts/ShortPacer.h"
#include "support/MovieProbe.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// The raw frame index each output frame shows, pacing `frames` (start, duration) over [start, end) at 30 fps.
std::vector<int> pace(const std::vector<ShortPacer::Timing>& frames, double start, double end, int* readsAhead = nullptr)
{
    ShortPacer pacer(start, end, 30);
    std::vector<int> shown;
    size_t next = 0;
    int worstLookAhead = 0;
    for (int guard = 0; guard < 100000; ++guard) {
        const ShortPacer::Decision decision = pacer.next();
        if (decision == ShortPacer::Decision::end)
            break;
        if (decision == ShortPacer::Decision::readFrame) {
            pacer.frameRead(next < frames.size() ? std::optional(frames[next]) : std::nullopt);
            next = std::min(next + 1, frames.size());
            continue;
        }
        worstLookAhead = std::max(worstLookAhead, static_cast<int>(next) - 1 - static_cast<int>(pacer.heldFrame()));
        shown.push_back(static_cast<int>(pacer.heldFrame()));
        pacer.frameShown();
    }
    EXPECT_EQ(static_cast<int64_t>(shown.size()), pacer.framesWritten());
    if (readsAhead)
        *readsAhead = worstLookAhead;
    return shown;
}

std::vector<ShortPacer::Timing> steady(double rate, double seconds, double from = 0)
{
    std::vector<ShortPacer::Timing> frames;
    for (int i = 0; i < std::lround(rate * seconds); ++i)
        frames.push_back({from + i / rate, 1 / rate});
    return frames;
}

TEST(ShortPacerTest, DropsRepeatsAndHoldsRawFramesOnTheOutputClock)
{
    // Camera stamps never sit exactly on the output clock.
    int lookAhead = 0;
    const std::vector<int> fromSixty = pace(steady(60, 1, 1.0 / 240), 0, 1, &lookAhead);
    ASSERT_EQ(fromSixty.size(), 30u);
    for (size_t n = 0; n < fromSixty.size(); ++n)
        EXPECT_EQ(fromSixty[n], static_cast<int>(2 * n)) << n; // every other raw frame dropped
    EXPECT_LE(lookAhead, 1);

    const std::vector<int> fromTwentyFour = pace(steady(24, 1, 1.0 / 480), 0, 1);
    ASSERT_EQ(fromTwentyFour.size(), 30u);
    int repeats = 0;
    for (size_t n = 1; n < fromTwentyFour.size(); ++n)
        repeats += fromTwentyFour[n] == fromTwentyFour[n - 1];
    EXPECT_EQ(repeats, 6); // about every fourth raw frame shown twice
    EXPECT_EQ(fromTwentyFour.back(), 23);

    // The camera paused from 0.5 s to 1.5 s: the last frame before the gap fills it.
    std::vector<ShortPacer::Timing> gap = steady(30, 0.5);
    for (const auto& later : steady(30, 0.5, 1.5))
        gap.push_back(later);
    const std::vector<int> filled = pace(gap, 0, 2);
    ASSERT_EQ(filled.size(), 60u);
    for (int n = 15; n < 45; ++n)
        EXPECT_EQ(filled[static_cast<size_t>(n)], 14) << n;
    EXPECT_EQ(filled[45], 15);
}

TEST(ShortPacerTest, EndsAtTheRangeOrTheLastRawFramesSpan)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        std::vector<ShortPacer::Timing> frames;
        double end;
        size_t written;
    };
    std::vector<ShortPacer::Timing> twoSeconds = steady(30, 2);
    std::vector<ShortPacer::Timing> longLast = steady(30, 1);
    longLast.back().duration = 0.5; // the last frame lasts until 1.4667 s
    std::vector<ShortPacer::Timing> zeroLast = steady(30, 1);
    zeroLast.back().duration = 0;
    std::vector<ShortPacer::Timing> nanLast = steady(30, 1);
    nanLast.back().duration = nan;
    const std::vector<Case> cases {
        {"12.5 s of 20 s: frame n while n/30 < 12.5 - 1/120", steady(30, 20), 12.5, 375},
        {"range ends inside a frame", twoSeconds, 1.01, 31},
        {"raw frames run out first", steady(30, 1), 5, 30},
        {"the last frame's own span is held", longLast, 5, 44},
        {"zero duration counts as one output frame", zeroLast, 5, 30},
        {"no duration counts as one output frame", nanLast, 5, 30},
        {"no frames at all", {}, 5, 0},
        {"an empty range", steady(30, 1), 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(pace(c.frames, 0, c.end).size(), c.written) << c.name;
}

// A frame whose every pixel tells its column (blue) and row (green), with alpha 255.
PixelBuffer coordinates(int width, int height)
{
    PixelBuffer frame(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = frame.row(y) + 4 * x;
            p[0] = static_cast<uint8_t>(x);
            p[1] = static_cast<uint8_t>(y);
            p[2] = 128;
            p[3] = 255;
        }
    }
    return frame;
}

TEST(CropRendererTest, CutsTheExactPixelsAtAnOddOrigin)
{
    const PixelBuffer frame = coordinates(100, 60);
    CropRenderer renderer(QSize(100, 60), QRect(33, 7, 18, 32), QSize(18, 32));
    EXPECT_DOUBLE_EQ(renderer.scale(), 1.0);
    EXPECT_DOUBLE_EQ(renderer.aspect(), 1.0);
    PixelBuffer out(18, 32);
    ASSERT_TRUE(renderer.render(frame, out));
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 18; ++x) {
            const uint8_t* p = out.row(y) + 4 * x;
            ASSERT_EQ(p[0], 33 + x) << x << "," << y;
            ASSERT_EQ(p[1], 7 + y) << x << "," << y;
            ASSERT_EQ(p[2], 128);
            ASSERT_EQ(p[3], 255);
        }
    }
}

TEST(CropRendererTest, ScalesTheCropWithTheTopRowOnTop)
{
    // A marked top row at the frame's top edge, in a crop of a frame taller than it.
    PixelBuffer frame(120, 200);
    frame.fill(40, 40, 40, 255);
    for (int x = 0; x < 120; ++x) {
        uint8_t* p = frame.row(0) + 4 * x;
        p[2] = 250;
    }
    CropRenderer renderer(QSize(120, 200), QRect(10, 0, 54, 96), QSize(108, 192));
    EXPECT_DOUBLE_EQ(renderer.scale(), 2.0);
    EXPECT_DOUBLE_EQ(renderer.aspect(), 1.0);
    EXPECT_EQ(renderer.cutSize(), QSize(54, 96));
    PixelBuffer cut(54, 96);
    ASSERT_TRUE(renderer.render(frame, cut));
    EXPECT_EQ(cut.row(0)[4 * 20 + 2], 250); // red on top
    EXPECT_EQ(cut.row(95)[4 * 20 + 2], 40);

    // The scale itself happens on the way into the encoder: the short's frame keeps the red on top, the
    // grey below, and a flat area flat.
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("short.mov"));
    {
        VideoSettings settings;
        settings.width = 108;
        settings.height = 192;
        settings.preset = "ultrafast";
        settings.scaling = VideoSettings::Scaling::lanczos;
        MovieWriter writer(file, MovieFileType::quickTimeMovie, MovieWriteMode::finishing);
        MovieWriterInput* video = writer.addVideoInput(settings);
        ASSERT_TRUE(video && writer.startWriting());
        writer.startSession(MediaTime::zero());
        ASSERT_TRUE(video->append(MediaSample::video(std::make_shared<PixelBuffer>(cut), MediaTime::zero(), MediaTime(1, 30))));
        video->markAsFinished();
        ASSERT_TRUE(writer.finishWriting());
    }
    std::vector<QImage> shown;
    ASSERT_TRUE(MovieProbe::decodeVideo(file, [&](double, const QImage& picture) { shown.push_back(picture.copy()); }));
    ASSERT_EQ(shown.size(), 1u);
    ASSERT_EQ(shown[0].size(), QSize(108, 192));
    EXPECT_GT(qRed(shown[0].pixel(50, 0)), 180);
    EXPECT_NEAR(qRed(shown[0].pixel(50, 191)), 40, 4);
    EXPECT_NEAR(qGreen(shown[0].pixel(50, 120)), 40, 4);

    CropRenderer shrinking(QSize(1440, 2560), QRect(0, 0, 1440, 2560), QSize(1080, 1920));
    EXPECT_DOUBLE_EQ(shrinking.scale(), 0.75);
    EXPECT_DOUBLE_EQ(shrinking.aspect(), 1.0);
    PixelBuffer whole(1440, 2560);
    EXPECT_FALSE(shrinking.render(PixelBuffer(1000, 2560), whole)); // a raw picture too small for the crop
    EXPECT_FALSE(shrinking.render(whole, cut)); // a picture too small for the cut
}

} // namespace
