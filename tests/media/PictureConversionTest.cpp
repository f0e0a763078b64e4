#include "platform/media/PictureConversion.h"
#include "platform/media/PixelBuffer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Gradients with fine noise on top, opaque: every plane and every slice boundary sees changing values.
PixelBuffer busyPicture(int width, int height)
{
    PixelBuffer picture(width, height);
    uint32_t seed = 12345;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = picture.row(y);
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = static_cast<int>(seed >> 28) - 8;
            row[4 * x + 0] = static_cast<uint8_t>(std::clamp(x * 255 / width + noise, 0, 255));
            row[4 * x + 1] = static_cast<uint8_t>(std::clamp(y * 255 / height - noise, 0, 255));
            row[4 * x + 2] = static_cast<uint8_t>(((x / 7) ^ (y / 5)) & 0xFF);
            row[4 * x + 3] = 255;
        }
    }
    return picture;
}

Libav::Frame targetFrame(int width, int height)
{
    Libav::Frame frame = Libav::makeFrame();
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width;
    frame->height = height;
    EXPECT_GE(av_frame_get_buffer(frame.get(), 0), 0);
    return frame;
}

bool samePlanes(const AVFrame* a, const AVFrame* b)
{
    for (int plane = 0; plane < 3; ++plane) {
        const int rows = plane == 0 ? a->height : (a->height + 1) / 2;
        const int bytes = plane == 0 ? a->width : (a->width + 1) / 2;
        for (int y = 0; y < rows; ++y) {
            if (std::memcmp(a->data[plane] + y * a->linesize[plane], b->data[plane] + y * b->linesize[plane], static_cast<size_t>(bytes)) != 0) {
                ADD_FAILURE() << "plane " << plane << " differs at row " << y;
                return false;
            }
        }
    }
    return true;
}

} // namespace

TEST(PictureConversionTest, SlicedConversionGivesTheSameBytesAsOneThread)
{
    struct Case {
        int sourceWidth, sourceHeight, targetWidth, targetHeight;
        VideoSettings::Scaling scaling;
    };
    // A finishing frame, an odd-height picture, and a short's crop scaled up in the same pass.
    const Case cases[] = {
        {1920, 1080, 1920, 1080, VideoSettings::Scaling::bicubic},
        {1280, 722, 1280, 722, VideoSettings::Scaling::bicubic},
        {607, 1080, 1080, 1920, VideoSettings::Scaling::lanczos},
    };
    for (const Case& c : cases) {
        const PixelBuffer picture = busyPicture(c.sourceWidth, c.sourceHeight);
        Libav::Frame single = targetFrame(c.targetWidth, c.targetHeight);
        Libav::Frame sliced = targetFrame(c.targetWidth, c.targetHeight);
        PictureConversion one(c.scaling, 1);
        PictureConversion four(c.scaling, 4);
        ASSERT_FALSE(one.convert(picture, single.get()));
        ASSERT_FALSE(four.convert(picture, sliced.get()));
        EXPECT_TRUE(samePlanes(single.get(), sliced.get())) << c.sourceWidth << "x" << c.sourceHeight;
    }
}

TEST(PictureConversionTest, EverySliceUsesHdCoefficientsAndALaterSizeRebuilds)
{
    PictureConversion conversion(VideoSettings::Scaling::bicubic, 4);
    for (const auto& [width, height] : {std::pair {1920, 1080}, std::pair {1280, 720}}) {
        PixelBuffer red(width, height);
        red.fill(0, 0, 255, 255);
        Libav::Frame frame = targetFrame(width, height);
        ASSERT_FALSE(conversion.convert(red, frame.get()));
        // BT.709 limited range: Y 63, Cb 102, Cr 240 (BT.601 would give Y 81) — in the first and last slices.
        for (const int y : {0, height / 2 - 1}) {
            EXPECT_NEAR(frame->data[1][y * frame->linesize[1] + 10], 102, 1) << width;
            EXPECT_NEAR(frame->data[2][y * frame->linesize[2] + 10], 240, 1) << width;
        }
        for (const int y : {0, height - 1})
            EXPECT_NEAR(frame->data[0][y * frame->linesize[0] + 10], 63, 1) << width;
    }
}

TEST(PictureConversionTest, SlicesOnlyForLargePicturesAndAtMostHalfTheCores)
{
    EXPECT_EQ(PictureConversion::threadsFor(640 * 360, 8), 1);
    EXPECT_EQ(PictureConversion::threadsFor(1920 * 1080, 1), 1);
    EXPECT_EQ(PictureConversion::threadsFor(1920 * 1080, 2), 1);
    EXPECT_EQ(PictureConversion::threadsFor(1920 * 1080, 6), 3);
    EXPECT_EQ(PictureConversion::threadsFor(3840 * 2160, 32), 4);
}
