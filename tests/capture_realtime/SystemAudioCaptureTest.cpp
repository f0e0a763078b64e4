#include "platform/audio/PulseAudioCapture.h"
#include "platform/audio/PulseSoundPlayer.h"
#include "platform/audio/PulseSystemAudioCapture.h"
#include "platform/system/HostClock.h"
#include "support/PrivateNullSink.h"
#include "support/TestEnvironment.h"
#include "support/ToneFile.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <cmath>
#include <mutex>
#include <numbers>
#include <thread>

namespace {

constexpr int rate = 48000;
// ToneFile's tones peak at 16000 of 32767.
const double playedDecibels = 20 * std::log10(16000.0 / 32767.0);

// What a capture delivered, joined into one track.
class Recording {
public:
    AudioCapture::BlockHandler handler()
    {
        return [this](const MediaSample& block) {
            std::lock_guard guard(lock_);
            blocks_.push_back(block);
        };
    }
    struct Track {
        double startSeconds = 0;
        std::vector<float> left;
        double largestGapSeconds = 0; // between one block's end and the next one's start
        double endSeconds() const { return startSeconds + static_cast<double>(left.size()) / rate; }
    };
    Track track() const
    {
        std::lock_guard guard(lock_);
        Track out;
        double end = 0;
        for (const MediaSample& block : blocks_) {
            const double start = block.presentationTime().seconds();
            if (out.left.empty())
                out.startSeconds = start;
            else
                out.largestGapSeconds = std::max(out.largestGapSeconds, std::fabs(start - end));
            for (size_t i = 0; i < block.audio->samples.size(); i += static_cast<size_t>(block.audio->channels))
                out.left.push_back(block.audio->samples[i]);
            end = start + static_cast<double>(block.audio->frameCount()) / rate;
        }
        return out;
    }

private:
    mutable std::mutex lock_;
    std::vector<MediaSample> blocks_;
};

// The level of the `frequency` sine in each tenth of a second from `from` to `to` (track seconds), dBFS of its peak.
std::vector<double> levels(const Recording::Track& track, double frequency, double from, double to)
{
    std::vector<double> out;
    const size_t window = rate / 10;
    for (auto begin = static_cast<size_t>(std::max(0.0, from) * rate); begin + window <= std::min(track.left.size(), static_cast<size_t>(to * rate)); begin += window) {
        double re = 0, im = 0;
        for (size_t i = 0; i < window; ++i) {
            const double phase = 2 * std::numbers::pi * frequency * static_cast<double>(i) / rate;
            re += track.left[begin + i] * std::cos(phase);
            im -= track.left[begin + i] * std::sin(phase);
        }
        out.push_back(20 * std::log10(2 * std::hypot(re, im) / window + 1e-12));
    }
    return out;
}

// The first time (host seconds) the track is louder than `threshold`.
double firstLoud(const Recording::Track& track, float threshold)
{
    for (size_t i = 0; i < track.left.size(); ++i) {
        if (std::fabs(track.left[i]) > threshold)
            return track.startSeconds + static_cast<double>(i) / rate;
    }
    return -1;
}

class Player {
public:
    Player(const QString& sink, const QString& file, int volume = 65536)
    {
        process_.start(QStringLiteral("paplay"), {QStringLiteral("--device=") + sink, QStringLiteral("--volume=%1").arg(volume), file});
    }
    ~Player()
    {
        process_.kill();
        process_.waitForFinished();
    }
    bool waitForFinished(int milliseconds) { return process_.waitForFinished(milliseconds); }

private:
    QProcess process_;
};

class SystemAudio : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        if (!PrivateNullSink::testServerRunning())
            GTEST_SKIP() << "the test PulseAudio server is not running";
        sink = PrivateNullSink::load(QStringLiteral("system_audio"));
        ASSERT_TRUE(sink);
        capture = std::make_unique<PulseSystemAudioCapture>(sink->name());
        // The studio's feedback sounds play on this test's own output, as they would on the default one.
        qputenv("PULSE_SINK", sink->name().toUtf8());
    }
    void TearDown() override
    {
        qunsetenv("PULSE_SINK");
        SandboxTest::TearDown();
    }

    // The capture under test and, beside it, everything the output plays (its monitor).
    void startBoth()
    {
        ASSERT_FALSE(capture->start({AudioCapture::Source::systemAudio, {}, rate, 2}, captured.handler()));
        ASSERT_FALSE(monitor.start({AudioCapture::Source::named, sink->monitor(), rate, 2}, heard.handler()));
        capture->waitUntilFlowing();
        monitor.waitUntilFlowing();
    }
    void stopBoth()
    {
        capture->stop();
        monitor.stop();
    }

    std::unique_ptr<PrivateNullSink> sink;
    std::unique_ptr<PulseSystemAudioCapture> capture;
    PulseAudioCapture monitor;
    Recording captured, heard;
};

} // namespace

TEST_F(SystemAudio, anotherProgramsToneComesThroughWholeAtItsPlayedLevelAndTheStudiosTinkDoesNot)
{
    const QString tone = path(QStringLiteral("tone.wav"));
    ASSERT_TRUE(ToneFile::write(tone, 8.0, 440));
    Player player(sink->name(), tone);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    startBoth();
    PulseSoundPlayer sounds;
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    for (int i = 0; i < 3; ++i) {
        sounds.play(QStringLiteral("Tink"));
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    stopBoth();
    EXPECT_TRUE(capture->recordsSinglePrograms());

    const Recording::Track track = captured.track(), whole = heard.track();
    ASSERT_GT(track.left.size(), static_cast<size_t>(3 * rate));
    EXPECT_LT(track.largestGapSeconds, 1e-6);
    // A program already playing sounds from the track's first block.
    std::printf("the tone starts %.1f ms into the track\n", (firstLoud(track, 0.05f) - track.startSeconds) * 1000);
    EXPECT_LT(firstLoud(track, 0.05f) - track.startSeconds, 0.002);
    const ToneFile::Breaks breaks = ToneFile::breaksIn(track.left, rate, track.startSeconds, 440);
    EXPECT_EQ(breaks.dropouts, 0);
    EXPECT_EQ(breaks.phaseJumps, 0);
    const double length = static_cast<double>(track.left.size()) / rate;
    const std::vector<double> tone440 = levels(track, 440, 0.1, length - 0.1);
    const auto [quietest, loudest] = std::minmax_element(tone440.begin(), tone440.end());
    std::printf("tone: %.2f to %.2f dBFS (played %.2f)\n", *quietest, *loudest, playedDecibels);
    EXPECT_NEAR(*quietest, playedDecibels, 1.0);
    EXPECT_NEAR(*loudest, playedDecibels, 1.0);
    // The Tink rings at 2600 Hz: loud on the output, absent from the track (judged where the tone is).
    const std::vector<double> tinkHeard = levels(whole, 2600, 0, static_cast<double>(whole.left.size()) / rate);
    const std::vector<double> tinkRecorded = levels(track, 2600, 0.1, length - 0.1);
    const double heardPeak = *std::max_element(tinkHeard.begin(), tinkHeard.end());
    const double recordedPeak = *std::max_element(tinkRecorded.begin(), tinkRecorded.end());
    std::printf("Tink: %.1f dBFS on the output, %.1f dBFS in the track\n", heardPeak, recordedPeak);
    EXPECT_GT(heardPeak, -30.0) << "the studio's sound played on the recorded output";
    EXPECT_LT(recordedPeak, -70.0);
    EXPECT_TRUE(readLog().contains(QStringLiteral("system audio: recording \"paplay\"")));
}

TEST_F(SystemAudio, aProgramStartingDuringTheCaptureIsHeardFromItsStartAtTheVolumeItPlaysAtAndLeavesWhenItEnds)
{
    const QString tone = path(QStringLiteral("tone.wav"));
    ASSERT_TRUE(ToneFile::write(tone, 1.5, 660));
    startBoth();
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    {
        // Half volume: an eighth of the amplitude, 18 dB down.
        Player player(sink->name(), tone, 32768);
        ASSERT_TRUE(player.waitForFinished(5000));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    stopBoth();

    const Recording::Track track = captured.track(), whole = heard.track();
    EXPECT_LT(track.largestGapSeconds, 1e-6);
    const double started = firstLoud(track, 0.01f), startedOnOutput = firstLoud(whole, 0.01f);
    ASSERT_GT(startedOnOutput, 0);
    std::printf("the program starts %+.1f ms after it sounds on the output\n", (started - startedOnOutput) * 1000);
    // A program that brings its sound with it may have its first block rendered before its own stream can
    // be listened to: it joins within that block, and lands where it sounded.
    EXPECT_GE(started, startedOnOutput - 0.002);
    EXPECT_LE(started, startedOnOutput + 0.015);
    const double from = started - track.startSeconds;
    const std::vector<double> level = levels(track, 660, from + 0.05, from + 1.4);
    const auto [quietest, loudest] = std::minmax_element(level.begin(), level.end());
    std::printf("tone at half volume: %.2f to %.2f dBFS (played %.2f)\n", *quietest, *loudest, playedDecibels);
    const double expected = playedDecibels + 60 * std::log10(0.5);
    EXPECT_NEAR(*quietest, expected, 1.0);
    EXPECT_NEAR(*loudest, expected, 1.0);
    // After it ended the track runs on in silence.
    const auto tail = static_cast<size_t>((from + 1.6) * rate);
    ASSERT_LT(tail + rate / 2, track.left.size());
    EXPECT_TRUE(std::all_of(track.left.begin() + static_cast<std::ptrdiff_t>(tail), track.left.end(), [](float x) { return x == 0.0f; }));
}

TEST_F(SystemAudio, withNothingPlayingTheTrackIsContinuousSilenceForTheWholeCapture)
{
    startBoth();
    const double flowing = HostClock::nowSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const double stopping = HostClock::nowSeconds();
    stopBoth();

    const Recording::Track track = captured.track();
    std::printf("silence from %+.1f ms to %+.1f ms around the capture, largest gap %.3f ms\n", (track.startSeconds - flowing) * 1000,
        (track.endSeconds() - stopping) * 1000, track.largestGapSeconds * 1000);
    EXPECT_LT(track.largestGapSeconds, 1e-6);
    EXPECT_LE(track.startSeconds, flowing + 0.02);
    EXPECT_GE(track.endSeconds(), stopping - 0.05);
    EXPECT_TRUE(std::all_of(track.left.begin(), track.left.end(), [](float x) { return x == 0.0f; }));
}
