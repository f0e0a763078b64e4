#include "plans/LayoutSignals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using Packet = LayoutSignalsMovieSource::Packet;

// A movie source that hands out fixed packets and sound.
class FakeMovieSource : public LayoutSignalsMovieSource {
public:
    std::optional<double> length;
    std::optional<std::vector<Packet>> packets;
    bool videoCompletes = true;
    std::optional<std::vector<float>> sound;
    size_t soundPiece = 777; // deliberately not a multiple of the window

    std::optional<double> duration() override { return length; }
    bool readVideoPackets(const std::function<void(const Packet&)>& sink) override
    {
        if (!packets)
            return false;
        for (const Packet& p : *packets)
            sink(p);
        return videoCompletes;
    }
    bool readSpeechAudio(const std::function<void(const float*, size_t)>& sink) override
    {
        if (!sound)
            return false;
        for (size_t at = 0; at < sound->size(); at += soundPiece)
            sink(sound->data() + at, std::min(soundPiece, sound->size() - at));
        return true;
    }
};

std::vector<float> toneThenSilence(double toneSeconds, double silenceSeconds)
{
    std::vector<float> samples;
    const auto total = static_cast<size_t>((toneSeconds + silenceSeconds) * 8000);
    for (size_t i = 0; i < total; ++i) {
        const double t = static_cast<double>(i) / 8000;
        samples.push_back(t < toneSeconds ? static_cast<float>(0.5 * std::sin(2 * M_PI * 440 * t)) : 0.0001f * ((i % 7) / 7.0f));
    }
    return samples;
}

// A sync frame every 2 s, small predicted frames while the screen is static, large ones while busy.
std::vector<Packet> screenPackets(double staticSeconds, double busySeconds)
{
    std::vector<Packet> packets;
    for (int i = 0; i < static_cast<int>((staticSeconds + busySeconds) * 30); ++i) {
        const double t = i / 30.0;
        if (i % 60 == 0)
            packets.push_back({t, 40000, true});
        else
            packets.push_back({t, t < staticSeconds ? 120 : 6000, false});
    }
    return packets;
}

TEST(LayoutSignalsTest, OneSignalFailingLeavesTheOther)
{
    FakeMovieSource movie;
    movie.length = 8;
    movie.sound = toneThenSilence(4, 4);
    movie.packets = screenPackets(4, 4);
    movie.videoCompletes = false; // the reader ended in failure after filling buckets
    LayoutSignals signals = LayoutSignals::load(movie);
    EXPECT_FALSE(signals.screen);
    EXPECT_TRUE(signals.speech);

    movie.videoCompletes = true;
    movie.sound.reset();
    signals = LayoutSignals::load(movie);
    EXPECT_TRUE(signals.screen);
    EXPECT_FALSE(signals.speech);

    // Only sync frames: no buckets, no screen signal. Less than 2.1 s of sound: no speech signal.
    movie.packets = std::vector<Packet>{{0, 5000, true}, {1, 5000, true}};
    movie.sound = toneThenSilence(1, 1);
    signals = LayoutSignals::load(movie);
    EXPECT_FALSE(signals.screen);
    EXPECT_FALSE(signals.speech);
}

TEST(LayoutSignalsTest, LoadIgnoresPacketsStampedFarPastTheEnd)
{
    FakeMovieSource movie;
    movie.length = 8;
    movie.packets = screenPackets(4, 4);
    movie.packets->push_back({8.9, 100, false}); // within the duration + 1 s: grows the list by two steps
    movie.packets->push_back({9.2, 100000, false}); // beyond it
    movie.packets->push_back({-5, 100000, false});
    movie.packets->push_back({-5, 1, true}); // would drag the median sync frame down
    movie.packets->push_back({-5, 1, true});
    movie.packets->push_back({NAN, 100000, false});
    movie.packets->push_back({1e300, 100000, false});
    LayoutSignals signals = LayoutSignals::load(movie);
    ASSERT_TRUE(signals.screen);
    ASSERT_EQ(signals.screen->size(), 18u);
    for (size_t i = 0; i < 18; ++i)
        EXPECT_EQ((*signals.screen)[i], i >= 8 && i < 16) << i;
    // Without a known duration a day's worth of take time is the limit.
    movie.length.reset();
    movie.packets->push_back({30.0, 100000, false});
    signals = LayoutSignals::load(movie);
    EXPECT_EQ(signals.screen->size(), 61u);
    EXPECT_TRUE(signals.screen->back());
}

} // namespace
