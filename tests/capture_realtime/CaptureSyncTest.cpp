#include "platform/audio/PulseAudioCapture.h"
#include "platform/audio/PulseAudioCatalog.h"
#include "platform/x11/X11ScreenCapture.h"
#include "support/FlashToneClient.h"
#include "support/PrivateNullSink.h"
#include "support/XvfbServer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <mutex>

namespace {

bool testSoundServer()
{
    const auto state = PulseAudioCatalog().query();
    if (!state)
        return false;
    for (const auto& source : state->sources)
        if (source.name == QLatin1String("olvennar_mic.monitor"))
            return true;
    return false;
}

// Host-clock times at which the picture turns white and the sound turns loud.
struct Onsets {
    std::mutex lock;
    std::vector<double> flashes;
    std::vector<double> tones;
    bool white = false;
    bool loud = false;
    double lastLoud = -1;
};

} // namespace

// Frames and sound blocks share the host clock: a flash and a tone that happen together are stamped
// within one frame of each other.
TEST(CaptureSync, flashesAndTonesThatHappenTogetherAreStampedWithinOneFrame)
{
    if (!testSoundServer())
        GTEST_SKIP() << "the test PulseAudio server is not running";
    auto sink = PrivateNullSink::load(QStringLiteral("sync"));
    ASSERT_TRUE(sink);
    auto server = XvfbServer::start(640, 360);
    if (!server)
        GTEST_SKIP() << "Xvfb could not start";
    constexpr int frameRate = 60;
    Onsets onsets;
    X11ScreenCapture screen(server->displayName());
    ScreenCapture::Configuration configuration;
    configuration.sourceRect = QRect(0, 0, 640, 360);
    configuration.outputSize = QSize(640, 360);
    configuration.frameRate = frameRate;
    configuration.showsCursor = false;
    ASSERT_FALSE(screen.start(configuration, [&](const MediaSample& frame) {
        const bool white = (reinterpret_cast<const uint32_t*>(frame.pixels->row(180))[320] & 0xFF) > 200;
        std::lock_guard guard(onsets.lock);
        if (white && !onsets.white)
            onsets.flashes.push_back(frame.presentationTime().seconds());
        onsets.white = white;
    }));
    PulseAudioCapture microphone;
    ASSERT_FALSE(microphone.start({AudioCapture::Source::named, sink->monitor(), 48000, 2}, [&](const MediaSample& block) {
        const double start = block.presentationTime().seconds();
        const auto& samples = block.audio->samples;
        std::lock_guard guard(onsets.lock);
        for (size_t i = 0; i < samples.size(); i += 2) {
            const double t = start + static_cast<double>(i / 2) / 48000;
            if (std::fabs(samples[i]) > 0.05) {
                if (t - onsets.lastLoud > 0.5)
                    onsets.tones.push_back(t);
                onsets.lastLoud = t;
            }
        }
    }));
    auto client = FlashToneClient::start(server->displayName(), QRect(270, 130, 100, 100), sink->name(), 4.0);
    ASSERT_TRUE(client);
    ASSERT_TRUE(client->waitUntilDone(10));
    screen.stop();
    microphone.stop();
    std::lock_guard guard(onsets.lock);
    ASSERT_EQ(onsets.flashes.size(), 2u);
    ASSERT_EQ(onsets.tones.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const double difference = onsets.flashes[i] - onsets.tones[i];
        std::printf("flash %zu: picture - sound = %+.1f ms\n", i, difference * 1000);
        EXPECT_LE(std::fabs(difference), 1.0 / frameRate);
    }
}
