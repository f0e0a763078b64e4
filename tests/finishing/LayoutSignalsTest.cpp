#include "finishing/LayoutSignals.h"

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

TEST(LayoutSignalsTest, SpeechMeterAveragesWholeWindowsAcrossPieces)
{
    LayoutSignals::SpeechMeter meter;
    const std::vector<float> half(1000, 0.5f);
    meter.add(half.data(), 500);
    meter.add(half.data(), 1000); // 1500 samples: one whole window, 700 left over
    ASSERT_EQ(meter.levels().size(), 1u);
    EXPECT_NEAR(meter.levels()[0], 10 * std::log10(0.25), 1e-9);
    const std::vector<float> silence(900, 0.0f);
    meter.add(silence.data(), silence.size()); // completes a mixed window, then 800 silent samples
    ASSERT_EQ(meter.levels().size(), 3u);
    EXPECT_NEAR(meter.levels()[1], 10 * std::log10(700 * 0.25 / 800), 1e-9);
    EXPECT_NEAR(meter.levels()[2], -120, 1e-9);
    const std::vector<float> broken{NAN, INFINITY};
    meter.add(broken.data(), broken.size());
    meter.add(silence.data(), 798);
    ASSERT_EQ(meter.levels().size(), 4u);
    EXPECT_NEAR(meter.levels()[3], -120, 1e-9);
}

TEST(LayoutSignalsTest, SpeechNeedsEnoughSoundAndContrast)
{
    EXPECT_FALSE(LayoutSignals::speechFlags(std::vector<double>(20, -20.0)));
    std::vector<double> levels(40, -60.0);
    EXPECT_FALSE(LayoutSignals::speechFlags(levels));
    levels[38] = -20; // one loud window: the 95th percentile is still quiet
    EXPECT_FALSE(LayoutSignals::speechFlags(levels));
    std::vector<double> noise(40, -60.0);
    for (size_t i = 0; i < noise.size(); i += 2)
        noise[i] = -51; // 9 dB of contrast is not enough
    EXPECT_FALSE(LayoutSignals::speechFlags(noise));
}

TEST(LayoutSignalsTest, EachLoudWindowWidensToSevenSteps)
{
    std::vector<double> levels(60, -60.0);
    levels[0] = levels[20] = levels[40] = levels[59] = -20;
    const auto flags = LayoutSignals::speechFlags(levels);
    ASSERT_TRUE(flags);
    for (size_t i = 0; i < levels.size(); ++i) {
        const bool expected = i <= 3 || (i >= 17 && i <= 23) || (i >= 37 && i <= 43) || i >= 56;
        EXPECT_EQ((*flags)[i], expected) << i;
    }
    // Neighbouring loud windows join: the widening reads the unwidened flags.
    levels[22] = -20;
    const auto joined = LayoutSignals::speechFlags(levels);
    EXPECT_EQ(std::count(joined->begin() + 10, joined->begin() + 30, true), 9);
}

TEST(LayoutSignalsTest, ScreenFlagsCompareFrameBytesWithASyncFrame)
{
    // Buckets relative to the median sync frame (1000); the 20th percentile sets the bar.
    auto flags = LayoutSignals::screenFlags({10, 10, 10, 10, 10, 50, 500}, {900, 1000, 5000});
    ASSERT_TRUE(flags);
    EXPECT_EQ(*flags, (std::vector<bool>{false, false, false, false, false, false, true}));
    // A busy base raises the bar to four times it.
    flags = LayoutSignals::screenFlags({100, 100, 100, 100, 100, 350, 450}, {1000});
    EXPECT_EQ(*flags, (std::vector<bool>{false, false, false, false, false, false, true}));
    // Without sync frames the largest bucket is the reference.
    flags = LayoutSignals::screenFlags({1, 1, 1, 1, 100}, {});
    EXPECT_EQ(*flags, (std::vector<bool>{false, false, false, false, true}));
    EXPECT_FALSE(LayoutSignals::screenFlags({}, {1000}));
}

TEST(LayoutSignalsTest, LoadMeasuresToneAndBusyScreen)
{
    FakeMovieSource movie;
    movie.length = 8;
    movie.sound = toneThenSilence(4, 4);
    movie.packets = screenPackets(4, 4);
    const LayoutSignals signals = LayoutSignals::load(movie);
    ASSERT_TRUE(signals.speech);
    ASSERT_EQ(signals.speech->size(), 80u);
    // Talking through the tone and 3 steps past it.
    for (size_t i = 0; i < 80; ++i)
        EXPECT_EQ((*signals.speech)[i], i < 43) << i;
    ASSERT_TRUE(signals.screen);
    ASSERT_EQ(signals.screen->size(), 16u);
    for (size_t i = 0; i < 16; ++i)
        EXPECT_EQ((*signals.screen)[i], i >= 8) << i;
    EXPECT_EQ(signals.screenStep, 0.5);
    EXPECT_EQ(signals.speechStep, 0.1);
    EXPECT_NEAR(*signals.talkingFraction(0, 8), 0.5375, 1e-12);
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

TEST(LayoutSignalsTest, TalkingFractionOverASpan)
{
    LayoutSignals signals;
    EXPECT_FALSE(signals.talkingFraction(0, 1));
    signals.speech = std::vector<bool>{true, false, true, false, true, false, true, false, true, false, true, true};
    EXPECT_DOUBLE_EQ(*signals.talkingFraction(0.0, 1.0), 0.5);
    EXPECT_FALSE(signals.talkingFraction(5.0, 5.0));
    EXPECT_FALSE(signals.talkingFraction(6.0, 5.0));
    EXPECT_FALSE(signals.talkingFraction(2.0, 3.0)); // wholly beyond the flags
    EXPECT_DOUBLE_EQ(*signals.talkingFraction(-4.0, 0.2), 0.5);
    EXPECT_DOUBLE_EQ(*signals.talkingFraction(1.0, 50.0), 1.0);
    EXPECT_DOUBLE_EQ(*signals.talkingFraction(0.05, 0.35), 2.0 / 3.0);
}

} // namespace
