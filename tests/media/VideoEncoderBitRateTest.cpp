#include "MediaTestSupport.h"

#include "platform/media/PixelBuffer.h"
#include "platform/media/VideoEncoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace MediaTestSupport;

namespace {

// Moving noise with a white picture at every whole second, as a busy camera with flashes: the pictures on
// which a one-pass average runs over.
std::shared_ptr<PixelBuffer> busyWithFlashes(int width, int height, int frameIndex, int frameRate)
{
    if (frameIndex % frameRate != 0)
        return movingNoise(width, height, frameIndex);
    auto white = std::make_shared<PixelBuffer>(width, height);
    for (int y = 0; y < height; ++y)
        std::memset(white->row(y), 255, static_cast<size_t>(width) * 4);
    return white;
}

// Bits per second of `seconds` of busy pictures through an encoder opened with `settings`.
double encodedBitRate(const VideoSettings& settings, double seconds)
{
    auto opened = VideoEncoder::open(settings, true);
    if (auto* failure = std::get_if<MediaError>(&opened)) {
        ADD_FAILURE() << failure->description.toStdString();
        return 0;
    }
    VideoEncoder& encoder = *std::get<0>(opened);
    int64_t bytes = 0;
    const VideoEncoder::PacketSink count = [&](AVPacket* packet) -> std::optional<MediaError> {
        bytes += packet->size;
        return std::nullopt;
    };
    const int frames = static_cast<int>(seconds * settings.expectedFrameRate);
    const int64_t step = VideoEncoder::timeBase.den / settings.expectedFrameRate;
    for (int i = 0; i < frames; ++i) {
        auto picture = busyWithFlashes(settings.width, settings.height, i, settings.expectedFrameRate);
        EXPECT_FALSE(encoder.encode(*picture, i * step, count).has_value());
    }
    EXPECT_FALSE(encoder.flush(count).has_value());
    return static_cast<double>(bytes) * 8.0 / (static_cast<double>(frames) / settings.expectedFrameRate);
}

struct Encoding {
    const char* what;
    VideoSettings::Codec codec;
    const char* preset;
    const char* tune;
    int64_t averageBitRate;
    bool takeThreading;
    std::vector<int> threads; // as on machines of that many cores; 0: this machine's own choice
};

// The average a movie names holds on busy, flashing pictures whatever the machine's core count: x264 runs
// one and a half threads per core (1, 3, 6, 7 and 12 stand for 1, 2, 4, 5 and 8 cores), x265's pool follows
// this machine's cores. Coming in under is fine.
TEST(VideoEncoderBitRate, AnAverageBitRateHoldsOnBusyPicturesOnEveryCoreCount)
{
    const Encoding encodings[] = {
        {"a short's H.264", VideoSettings::Codec::h264, "veryfast", "", 1777778, false, {1, 3, 6, 7, 12}},
        {"a final's H.264 (w x h x 5)", VideoSettings::Codec::h264, "veryfast", "", 640 * 360 * 5, false, {1, 3, 6, 7, 12}},
        {"a take's HEVC (w x h x 6)", VideoSettings::Codec::hevc, "ultrafast", "zerolatency", 640 * 360 * 6, true, {0}},
    };
    for (const Encoding& encoding : encodings) {
        for (const int threads : encoding.threads) {
            VideoSettings settings;
            settings.codec = encoding.codec;
            settings.width = 640;
            settings.height = 360;
            settings.averageBitRate = encoding.averageBitRate;
            settings.expectedFrameRate = 30;
            settings.maxKeyFrameInterval = 60;
            settings.preset = encoding.preset;
            settings.tune = encoding.tune;
            settings.encoderThreads = threads;
            settings.takeThreading = encoding.takeThreading;
            const double rate = encodedBitRate(settings, 8.5);
            EXPECT_LE(rate, encoding.averageBitRate * 1.10) << encoding.what << ", " << threads << " threads";
            EXPECT_GE(rate, encoding.averageBitRate * 0.5) << encoding.what << ", " << threads << " threads";
        }
    }
}

} // namespace
