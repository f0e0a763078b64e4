#include "platform/audio/PulseAudioCapture.h"
#include "platform/audio/PulseAudioCatalog.h"
#include "platform/audio/PulseSoundPlayer.h"
#include "platform/audio/PulseSystemAudioCapture.h"
#include "platform/system/HostClock.h"
#include "support/PrivateNullSink.h"
#include "support/PrivateSoundServer.h"
#include "support/ReferenceRecording.h"
#include "support/TestEnvironment.h"
#include "support/ToneFile.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <mutex>
#include <numbers>
#include <set>
#include <thread>
#include <vector>

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
    // Host times (seconds) where the sound turns louder than `threshold` after a tenth of a second without.
    std::vector<double> onsets(float threshold) const
    {
        std::lock_guard guard(lock_);
        std::vector<double> out;
        double lastLoud = -1e9;
        for (const MediaSample& block : blocks_) {
            const double start = block.presentationTime().seconds();
            const auto& samples = block.audio->samples;
            for (size_t i = 0; i < samples.size(); i += static_cast<size_t>(block.audio->channels)) {
                if (std::fabs(samples[i]) <= threshold)
                    continue;
                const double at = start + static_cast<double>(i / static_cast<size_t>(block.audio->channels)) / rate;
                if (at - lastLoud > 0.1)
                    out.push_back(at);
                lastLoud = at;
            }
        }
        return out;
    }
    // The left channel of what was recorded between two host times, as a track of its own.
    Track between(double from, double to) const
    {
        std::lock_guard guard(lock_);
        Track out;
        out.startSeconds = from;
        for (const MediaSample& block : blocks_) {
            const double start = block.presentationTime().seconds();
            const auto& samples = block.audio->samples;
            for (size_t i = 0; i < samples.size(); i += static_cast<size_t>(block.audio->channels)) {
                const double at = start + static_cast<double>(i / static_cast<size_t>(block.audio->channels)) / rate;
                if (at >= from && at < to)
                    out.left.push_back(samples[i]);
            }
        }
        return out;
    }
    // The left channel between two host times laid on the clock: what no block covers is silence.
    Track laidOut(double from, double to) const
    {
        std::lock_guard guard(lock_);
        Track out;
        out.startSeconds = from;
        out.left.assign(static_cast<size_t>(std::max(0.0, to - from) * rate), 0.0f);
        for (const MediaSample& block : blocks_) {
            const auto first = static_cast<int64_t>(std::llround((block.presentationTime().seconds() - from) * rate));
            const auto& samples = block.audio->samples;
            for (size_t i = 0; i < samples.size(); i += static_cast<size_t>(block.audio->channels)) {
                const int64_t at = first + static_cast<int64_t>(i / static_cast<size_t>(block.audio->channels));
                if (at >= 0 && at < static_cast<int64_t>(out.left.size()))
                    out.left[static_cast<size_t>(at)] = samples[i];
            }
        }
        return out;
    }
    // The most one block starts before the one ahead of it ended (0 when none overlaps).
    double largestOverlapSeconds() const
    {
        std::lock_guard guard(lock_);
        double largest = 0, end = -1e9;
        for (const MediaSample& block : blocks_) {
            largest = std::max(largest, end - block.presentationTime().seconds());
            end = block.presentationTime().seconds() + static_cast<double>(block.audio->frameCount()) / rate;
        }
        return largest;
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

// `cells` (tenths of a second from `from`, track seconds) but those that hold one of `breaks` (track seconds),
// give or take the 15 ms over which a break's click rings.
std::vector<double> cellsAwayFrom(const std::vector<double>& cells, double from, const std::vector<double>& breaks)
{
    std::vector<double> kept;
    for (size_t cell = 0; cell < cells.size(); ++cell) {
        const double begin = from + static_cast<double>(cell) / 10;
        const bool holdsBreak = std::any_of(breaks.begin(), breaks.end(), [&](double t) { return t + 0.015 >= begin && t - 0.015 < begin + 0.1; });
        if (!holdsBreak)
            kept.push_back(cells[cell]);
    }
    return kept;
}

// The most tenths of a second in a row in which the `frequency` sine stays below `quietDecibels`.
int longestSilentTenths(const Recording::Track& track, double frequency, double quietDecibels)
{
    int silent = 0, longest = 0;
    for (double decibels : levels(track, frequency, 0, static_cast<double>(track.left.size()) / rate)) {
        silent = decibels < quietDecibels ? silent + 1 : 0;
        longest = std::max(longest, silent);
    }
    return longest;
}

// Where (track seconds) the `frequency` sine first rises above a tenth of full scale, to the millisecond.
double onset(const Recording::Track& track, double frequency)
{
    const size_t window = rate / 50, step = rate / 1000;
    for (size_t begin = 0; begin + window <= track.left.size(); begin += step) {
        double re = 0, im = 0, weights = 0;
        for (size_t i = 0; i < window; ++i) {
            const double weight = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) / window);
            const double phase = 2 * std::numbers::pi * frequency * static_cast<double>(i) / rate;
            re += weight * track.left[begin + i] * std::cos(phase);
            im -= weight * track.left[begin + i] * std::sin(phase);
            weights += weight;
        }
        if (2 * std::hypot(re, im) / weights > 0.1)
            return static_cast<double>(begin + window / 2) / rate;
    }
    return -1;
}

// The stretches (first and last sample) where `x` stops being the sum of the `frequencies`' sines: a cascade of
// one notch per tone, x[i+1] + x[i-1] - 2 cos(w) x[i], cancels them, so what is left stands out at a program's
// start, a hole, or a shift in time such as PipeWire makes now and then. The tones' 16-bit steps leave under
// 0.002 here; a shift that would cost a tone 0.5 dB over a stretch leaves over 0.011. Jumps within 1 ms are one.
using Jumps = std::vector<std::pair<ptrdiff_t, ptrdiff_t>>;
Jumps jumps(const std::vector<float>& x, const std::vector<double>& frequencies)
{
    std::vector<double> rest(x.begin(), x.end());
    for (double frequency : frequencies) {
        const double twoCos = 2 * std::cos(2 * std::numbers::pi * frequency / rate);
        std::vector<double> next(rest.size(), 0.0);
        for (size_t i = 1; i + 1 < rest.size(); ++i)
            next[i] = rest[i + 1] + rest[i - 1] - twoCos * rest[i];
        rest = std::move(next);
    }
    Jumps found;
    for (auto i = ptrdiff_t{3}; i + 3 < static_cast<ptrdiff_t>(rest.size()); ++i) {
        if (std::fabs(rest[static_cast<size_t>(i)]) <= 0.01)
            continue;
        if (found.empty() || i > found.back().second + rate / 1000)
            found.emplace_back(i, i);
        found.back().second = i;
    }
    return found;
}

// The peak level (dBFS) of frequencies[tone] in x[begin, end), by a least-squares fit of all their sines: exact
// for pure tones over a few milliseconds, where a DFT would leak one tone into the next.
double fittedLevel(const std::vector<float>& x, ptrdiff_t begin, ptrdiff_t end, const std::vector<double>& frequencies, size_t tone)
{
    const size_t n = 2 * frequencies.size(), width = n + 1;
    std::vector<double> m(n * width, 0.0), basis(n); // the normal equations, each row ending in its right side
    for (ptrdiff_t i = begin; i < end; ++i) {
        for (size_t k = 0; k < frequencies.size(); ++k) {
            const double phase = 2 * std::numbers::pi * frequencies[k] * static_cast<double>(i - begin) / rate;
            basis[2 * k] = std::cos(phase);
            basis[2 * k + 1] = std::sin(phase);
        }
        for (size_t r = 0; r < n; ++r) {
            for (size_t c = 0; c < n; ++c)
                m[r * width + c] += basis[r] * basis[c];
            m[r * width + n] += basis[r] * x[static_cast<size_t>(i)];
        }
    }
    for (size_t p = 0; p < n; ++p) {
        for (size_t r = 0; r < n; ++r) {
            const double factor = r == p ? 0 : m[r * width + p] / m[p * width + p];
            for (size_t c = p; c < width; ++c)
                m[r * width + c] -= factor * m[p * width + c];
        }
    }
    const size_t cosine = 2 * tone * width, sine = cosine + width;
    return 20 * std::log10(std::hypot(m[cosine + n] / m[cosine + 2 * tone], m[sine + n] / m[sine + 2 * tone + 1]) + 1e-12);
}

// The quietest and loudest level of frequencies[tone] in each tenth of a second from `from` to `to` (track
// seconds) over its stretches of 6 ms or more between `jumps`, 1 ms clear of each: a sine shifted in time keeps its
// level in every stretch, a hole of 8 ms in a tenth (14 ms across two) reads low, and one of a 5 ms server cycle,
// which PipeWire leaves now and then on a busy machine, is not judged. A tenth with no such stretch reads -240 dBFS.
std::vector<std::pair<double, double>> stretchLevels(const std::vector<float>& x, const std::vector<double>& frequencies, size_t tone,
    double from, double to, const Jumps& jumps)
{
    std::vector<std::pair<double, double>> out;
    const ptrdiff_t window = rate / 10, clear = rate / 1000, shortest = 6 * rate / 1000;
    const auto last = static_cast<ptrdiff_t>(std::min(x.size(), static_cast<size_t>(to * rate)));
    for (auto begin = static_cast<ptrdiff_t>(std::max(0.0, from) * rate); begin + window <= last; begin += window) {
        std::pair<double, double> range{1e9, -1e9};
        ptrdiff_t start = begin;
        for (size_t j = 0; j <= jumps.size() && start < begin + window; ++j) {
            const ptrdiff_t stop = std::min(begin + window, j < jumps.size() ? jumps[j].first - clear : begin + window);
            if (stop - start >= shortest) {
                const double level = fittedLevel(x, start, stop, frequencies, tone);
                range = {std::min(range.first, level), std::max(range.second, level)};
            }
            if (j < jumps.size())
                start = std::max(start, jumps[j].second + clear);
        }
        out.push_back(range.first > range.second ? std::pair{-240.0, -240.0} : range);
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
    // An empty `sink`: the default output, followed as it changes.
    Player(const QString& sink, const QString& file, int volume = 65536)
    {
        QStringList arguments{QStringLiteral("--volume=%1").arg(volume), file};
        if (!sink.isEmpty())
            arguments.prepend(QStringLiteral("--device=") + sink);
        process_.start(QStringLiteral("paplay"), arguments);
        // PipeWire's server (0.3.65) plays a stream at full volume whatever it asked for when it opened: the
        // volume is set again once it plays, as a mixer would, so the program plays at it on every server.
        if (volume != 65536 && process_.waitForStarted())
            setVolume(volume);
    }
    ~Player()
    {
        process_.kill();
        process_.waitForFinished();
    }
    bool waitForFinished(int milliseconds) { return process_.waitForFinished(milliseconds); }
    qint64 processId() const { return process_.processId(); }

private:
    void setVolume(int volume)
    {
        const QString stream = ReferenceRecording::programStream(process_.processId());
        if (stream.isEmpty()) {
            ADD_FAILURE() << "paplay never played";
            return;
        }
        QProcess::execute(QStringLiteral("pactl"), {QStringLiteral("set-sink-input-volume"), stream, QString::number(volume)});
    }

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

// How closely a program's first sound is placed: pipewire-pulse reports a stream's timing only to within a few
// milliseconds of its server cycle (its programs' first blocks measure about 5 ms off here, on either side), and
// on a busy machine a program's own stream may open a cycle or two (10 ms each) after the output's, before
// which it cannot be listened to.
double streamTimingWithin()
{
    return qgetenv("OLVENNAR_TEST_SOUND_SERVER") == "pipewire" ? 0.021 : 0.002;
}

} // namespace

TEST_F(SystemAudio, anotherProgramsToneComesThroughWholeAtItsPlayedLevelAndTheStudiosTinkDoesNot)
{
    const QString tone = path(QStringLiteral("tone.wav"));
    ASSERT_TRUE(ToneFile::write(tone, 8.0, 440));
    Player player(sink->name(), tone);
    // The program's own stream recorded plainly beside the capture: a break in it is the server's.
    auto programHeard = ReferenceRecording::startOfProgram(player.processId(), path(QStringLiteral("program.raw")));
    ASSERT_TRUE(programHeard);
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
    const std::vector<float> programSound = programHeard->stop();
    EXPECT_TRUE(capture->recordsSinglePrograms());

    const Recording::Track track = captured.track(), whole = heard.track();
    ASSERT_GT(track.left.size(), static_cast<size_t>(3 * rate));
    EXPECT_LT(track.largestGapSeconds, 1e-6);
    // A program already playing sounds from the track's first block.
    std::printf("the tone starts %.1f ms into the track\n", (firstLoud(track, 0.05f) - track.startSeconds) * 1000);
    EXPECT_LT(firstLoud(track, 0.05f) - track.startSeconds, streamTimingWithin());
    const ToneFile::Breaks breaks = ToneFile::breaksIn(track.left, rate, 0, 440);
    // The plain recording's sound began up to half a second after parec was asked to start.
    const double launched = std::chrono::duration<double>(programHeard->launchedAt().time_since_epoch()).count() - track.startSeconds;
    const std::vector<double> serversBreaks = ToneFile::breaksIn(programSound, rate, 0, 440).at;
    const std::vector<double> studiosBreaks = ReferenceRecording::breaksNotHeard(breaks.at, serversBreaks, -launched - 0.5, -launched + 0.05);
    std::printf("%d dropouts and %d phase jumps, %zu of them not in the program's own stream\n", breaks.dropouts, breaks.phaseJumps, studiosBreaks.size());
    EXPECT_TRUE(studiosBreaks.empty()) << "the first at " << (studiosBreaks.empty() ? 0 : studiosBreaks.front()) << " s";
    // Levels are judged away from the server's own breaks, whose clicks ring at every frequency.
    const double length = static_cast<double>(track.left.size()) / rate;
    const std::vector<double> tone440 = cellsAwayFrom(levels(track, 440, 0.1, length - 0.1), 0.1, breaks.at);
    const auto [quietest, loudest] = std::minmax_element(tone440.begin(), tone440.end());
    std::printf("tone: %.2f to %.2f dBFS (played %.2f)\n", *quietest, *loudest, playedDecibels);
    EXPECT_NEAR(*quietest, playedDecibels, 1.0);
    EXPECT_NEAR(*loudest, playedDecibels, 1.0);
    // The Tink rings at 2600 Hz: loud on the output, absent from the track (judged where the tone is).
    const std::vector<double> tinkHeard = levels(whole, 2600, 0, static_cast<double>(whole.left.size()) / rate);
    const std::vector<double> tinkRecorded = cellsAwayFrom(levels(track, 2600, 0.1, length - 0.1), 0.1, breaks.at);
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
    // Silent while its volume is set.
    ASSERT_TRUE(ToneFile::write(tone, 1.9, 660, rate, 2, [](double t) { return t >= 0.4; }));
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
    EXPECT_GE(started, startedOnOutput - streamTimingWithin());
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

// PipeWire's sound server sends a program that starts while another plays in fits, hundreds of milliseconds
// late; PulseAudio sends it in time. Either way each is heard whole, in step with the output, to the stop.
TEST_F(SystemAudio, programsJoiningOneAnotherAreEachHeardWholeInStepWithTheOutputUpToTheStop)
{
    const std::vector<double> frequencies{440, 660, 880};
    std::vector<std::unique_ptr<Player>> players;
    startBoth();
    const double started = HostClock::nowSeconds();
    for (double frequency : frequencies) {
        // A quarter of full scale each, so the three together never clip.
        const QString tone = path(QStringLiteral("tone%1.wav").arg(frequency));
        ASSERT_TRUE(ToneFile::write(tone, 8.0, frequency, rate, 2, {}, 8000));
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        players.push_back(std::make_unique<Player>(sink->name(), tone));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    stopBoth();

    // Each program starts where it did on the output, and every tenth of a second after is as loud as there.
    const Recording::Track track = captured.between(started, HostClock::nowSeconds()), whole = heard.between(started, HostClock::nowSeconds());
    const double length = static_cast<double>(std::min(track.left.size(), whole.left.size())) / rate;
    const Jumps trackJumps = jumps(track.left, frequencies), outputJumps = jumps(whole.left, frequencies);
    for (const auto& [name, found] : {std::pair{"track", trackJumps}, std::pair{"output", outputJumps}}) {
        std::printf("the %s's sound jumps %zu times (the programs' starts among them):", name, found.size());
        for (const auto& [first, end] : found)
            std::printf(" %.3f s for %.1f ms", static_cast<double>(first) / rate, static_cast<double>(end - first) * 1000 / rate);
        std::printf("\n");
    }
    for (size_t tone = 0; tone < frequencies.size(); ++tone) {
        const double frequency = frequencies[tone];
        const double start = onset(whole, frequency), recordedStart = onset(track, frequency);
        std::printf("%.0f Hz starts %+.1f ms after it did on the output\n", frequency, (recordedStart - start) * 1000);
        // The server announces a program once it plays, so what it played before its own stream could be
        // listened to is not heard (a block or two; more on a busy machine); from there on it is whole.
        EXPECT_GT(recordedStart - start, -0.005) << frequency;
        EXPECT_LT(recordedStart - start, 0.150) << frequency;
        const double from = std::max(start, recordedStart) + 0.05;
        const auto onOutput = stretchLevels(whole.left, frequencies, tone, from, length - 0.05, outputJumps);
        const auto recorded = stretchLevels(track.left, frequencies, tone, from, length - 0.05, trackJumps);
        int notWhole = 0;
        for (size_t cell = 0; cell < onOutput.size(); ++cell) {
            // The tenth is as loud as on the output, and no stretch of it quieter than the output's quietest: a hole
            // the server leaves in what the output plays is in the output's recording too, and is not the studio's.
            const auto [quietest, loudest] = recorded[cell];
            const auto [quietestThere, loudestThere] = onOutput[cell];
            if (std::fabs(loudest - loudestThere) > 1.0 || quietest < quietestThere - 1.0) {
                ++notWhole;
                std::printf("%.0f Hz at %.2f s: %.1f to %.1f dBFS, %.1f to %.1f on the output\n", frequency, from + static_cast<double>(cell) / 10,
                    quietest, loudest, quietestThere, loudestThere);
            }
        }
        std::printf("%.0f Hz: %d of %zu tenths of a second not whole\n", frequency, notWhole, onOutput.size());
        EXPECT_GE(onOutput.size(), 20u) << frequency;
        EXPECT_EQ(notWhole, 0) << frequency;
    }
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

namespace {

// Two outputs of the test's own, the first the server's default; the server's default is restored after.
class SystemAudioOutputChange : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        if (!PrivateNullSink::testServerRunning())
            GTEST_SKIP() << "the test PulseAudio server is not running";
        const auto state = PulseAudioCatalog().query();
        ASSERT_TRUE(state);
        formerDefault = state->defaultSink;
        formerInput = state->defaultSource;
        first = PrivateNullSink::load(QStringLiteral("first_output"));
        second = PrivateNullSink::load(QStringLiteral("second_output"));
        ASSERT_TRUE(first && second);
        ASSERT_TRUE(makeDefault(first->name()));
        // 60 ms beeps of 2 kHz every quarter of a second, and a steady 440 Hz tone (played at half volume, below
        // the beeps' threshold).
        beeps = path(QStringLiteral("beeps.wav"));
        steady = path(QStringLiteral("steady.wav"));
        ASSERT_TRUE(ToneFile::write(beeps, 12.0, 2000, rate, 2, [](double t) { return std::fmod(t, 0.25) < 0.06; }));
        ASSERT_TRUE(ToneFile::write(steady, 12.0, 440));
    }
    void TearDown() override
    {
        if (!formerDefault.isEmpty())
            makeDefault(formerDefault);
        if (!formerInput.isEmpty())
            makeDefault(formerInput, "source");
        SandboxTest::TearDown();
    }
    // Returns once the server names it (PipeWire's session manager takes a moment to), so a program
    // starting next plays on it.
    static bool makeDefault(const QString& device, const char* kind = "sink")
    {
        if (QProcess::execute(QStringLiteral("pactl"), {QStringLiteral("set-default-") + QLatin1String(kind), device}) != 0)
            return false;
        return TestEnvironment::waitUntil([&] {
            const auto state = PulseAudioCatalog().query();
            return state && (qstrcmp(kind, "sink") == 0 ? state->defaultSink : state->defaultSource) == device;
        }, 3000);
    }
    static QStringList pactlRows(const QString& what)
    {
        QProcess pactl;
        pactl.start(QStringLiteral("pactl"), {QStringLiteral("list"), QStringLiteral("short"), what});
        pactl.waitForFinished(5000);
        return QString::fromUtf8(pactl.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    // A program the user moved to the first output, which the server keeps there when the default changes
    // (it moves the others along). It keeps only a move made while another output is the default.
    std::unique_ptr<Player> playMovedToFirst(const QString& file, int volume)
    {
        makeDefault(second->name());
        auto player = std::make_unique<Player>(second->name(), file, volume);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        QString index;
        for (const QString& row : pactlRows(QStringLiteral("sinks")))
            if (row.section(QLatin1Char('\t'), 1, 1) == second->name())
                index = row.section(QLatin1Char('\t'), 0, 0);
        for (const QString& row : pactlRows(QStringLiteral("sink-inputs")))
            if (row.section(QLatin1Char('\t'), 1, 1) == index)
                QProcess::execute(QStringLiteral("pactl"), {QStringLiteral("move-sink-input"), row.section(QLatin1Char('\t'), 0, 0), first->name()});
        makeDefault(first->name());
        return player;
    }

    // The first output unplugged and the second made the default: the host times before and after.
    std::pair<double, double> unplugFirst()
    {
        const double before = HostClock::nowSeconds();
        first.reset();
        EXPECT_TRUE(makeDefault(second->name()));
        return {before, HostClock::nowSeconds()};
    }

    // The capture under test and, beside it, everything each output plays (their monitors).
    void startAll(PulseSystemAudioCapture& capture)
    {
        ASSERT_FALSE(capture.start({AudioCapture::Source::systemAudio, {}, rate, 2}, captured.handler(), [this](const QString&) { ++failures; }));
        ASSERT_FALSE(onFirst.start({AudioCapture::Source::named, first->monitor(), rate, 2}, heardOnFirst.handler()));
        ASSERT_FALSE(onSecond.start({AudioCapture::Source::named, second->monitor(), rate, 2}, heardOnSecond.handler()));
        capture.waitUntilFlowing();
        onFirst.waitUntilFlowing();
        onSecond.waitUntilFlowing();
        started = HostClock::nowSeconds();
    }
    void stopAll(PulseSystemAudioCapture& capture)
    {
        capture.stop();
        onFirst.stop();
        onSecond.stop();
    }

    // Every beep `heard` between two host times (five at least), found on the captured track where it was heard.
    void expectBeepsWhereHeard(const Recording& heard, double from, double to, const char* when)
    {
        const std::vector<double> recorded = captured.onsets(beepThreshold);
        int judged = 0;
        for (double beep : heard.onsets(beepThreshold)) {
            if (beep < from || beep > to)
                continue;
            ++judged;
            const auto nearest = std::min_element(recorded.begin(), recorded.end(), [&](double a, double b) { return std::fabs(a - beep) < std::fabs(b - beep); });
            ASSERT_NE(nearest, recorded.end()) << when;
            std::printf("%s: beep %.3f s in, %+.1f ms on the track\n", when, beep - started, (*nearest - beep) * 1000);
            EXPECT_LT(std::fabs(*nearest - beep), 0.045) << when << ", the beep heard " << beep - started << " s in";
        }
        EXPECT_GE(judged, 5) << when;
    }
    // A capture that followed the beeps from the first output (until `left`) to the second (from `changed`).
    void expectFollowed(const PulseSystemAudioCapture& capture, double left, double changed, double stopped)
    {
        expectBeepsWhereHeard(heardOnFirst, started + 0.2, left - 0.1, "on the first output");
        expectBeepsWhereHeard(heardOnSecond, changed + 0.1, stopped - 0.3, "on the second output");
        // The time without an output is a gap; two outputs' sound may overlap by no more than the writer absorbs.
        EXPECT_LT(captured.largestOverlapSeconds(), 0.010);
        EXPECT_EQ(failures.load(), 0);
        EXPECT_FALSE(readLog().contains(QStringLiteral("stopped")));
        EXPECT_TRUE(capture.recordsSinglePrograms());
    }
    // The level of `frequency` between two host times on the captured track, dBFS of its peak.
    double loudest(double frequency, double from, double to) const
    {
        const Recording::Track part = captured.between(from, to);
        const std::vector<double> level = levels(part, frequency, 0, static_cast<double>(part.left.size()) / rate);
        return level.empty() ? -200.0 : *std::max_element(level.begin(), level.end());
    }

    // A steady 3 kHz tone at half volume and the beeps play on the default output while the capture runs; 2 s
    // in, `change` changes the output and returns the host times before and after it, and the capture runs
    // `runOn` seconds more. Every beep after the change must keep the beat it had before.
    struct ThroughChange {
        double before = 0, after = 0, stopped = 0;
        int beepsAfter = 0;
        int longestSilentTenths = 0; // of the tone, from just before the change to the stop
    };
    ThroughChange captureTheBeatThrough(const std::function<std::pair<double, double>()>& change, double runOn);

    static constexpr int halfVolume = 32768;
    static constexpr float beepThreshold = 0.2f;
    const double steadyDecibels = playedDecibels + 60 * std::log10(0.5);
    QString beeps, steady;
    QString formerDefault, formerInput;
    std::unique_ptr<PrivateNullSink> first, second;
    PulseAudioCapture onFirst, onSecond;
    Recording captured, heardOnFirst, heardOnSecond;
    std::atomic<int> failures{0};
    double started = 0;
};

} // namespace

// Unplugged headphones: their sink goes, the server moves what played there to another output, which the
// desktop then makes the default.
TEST_F(SystemAudioOutputChange, whenTheRecordedOutputIsRemovedTheNewDefaultIsRecordedAndItsSoundLandsWhereItWasHeard)
{
    Player player({}, beeps);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    PulseSystemAudioCapture capture;
    startAll(capture);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const auto [removed, changed] = unplugFirst();
    std::this_thread::sleep_for(std::chrono::seconds(4));
    stopAll(capture);
    expectFollowed(capture, removed, changed, HostClock::nowSeconds());
}

// The recorded output's monitor is never moved with its output gone: the server would move it onto the
// default input, and the voice would be recorded as the computer's sound until the capture turns to the new
// default output, or for good when none is named.
TEST_F(SystemAudioOutputChange, whenTheRecordedOutputIsRemovedTheMicrophoneIsNeverRecordedAsTheComputersSound)
{
    auto desk = PrivateNullSink::load(QStringLiteral("desk"), true);
    ASSERT_TRUE(desk);
    ASSERT_TRUE(makeDefault(desk->microphone(), "source"));
    const QString voice = path(QStringLiteral("voice.wav"));
    ASSERT_TRUE(ToneFile::write(voice, 12.0, 1000));
    Player speaking(desk->name(), voice);
    Player player({}, beeps);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    PulseSystemAudioCapture capture;
    startAll(capture);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const double removed = HostClock::nowSeconds();
    first.reset();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    stopAll(capture);
    const double stopped = HostClock::nowSeconds();

    std::printf("the voice: %.1f dBFS before, %.1f dBFS after the output went\n", loudest(1000, started, removed), loudest(1000, removed, stopped));
    EXPECT_LT(loudest(1000, started, stopped), -40.0);
    // The beeps went on from the output the server chose.
    EXPECT_FALSE(captured.onsets(beepThreshold).empty());
    EXPECT_EQ(failures.load(), 0);
}

// The monitor stream is recorded where the capture put it: a server that would move it elsewhere (onto the
// default input when its output is unplugged, or another client asking) records something else as the
// computer's sound, which only the capture itself may choose.
TEST_F(SystemAudioOutputChange, theOutputsMonitorStreamStaysOnItsOutput)
{
    PulseSystemAudioCapture capture;
    startAll(capture);
    const auto sourceIndex = [](const QString& name) {
        for (const QString& row : pactlRows(QStringLiteral("sources")))
            if (row.section(QLatin1Char('\t'), 1, 1) == name)
                return row.section(QLatin1Char('\t'), 0, 0);
        return QString();
    };
    const QString monitor = sourceIndex(first->name() + QStringLiteral(".monitor"));
    ASSERT_FALSE(monitor.isEmpty());
    // The capture's own stream, by its name: the fixture records the monitors too.
    QString stream;
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"), {QStringLiteral("list"), QStringLiteral("source-outputs")});
    pactl.waitForFinished(5000);
    for (const QString& output : QString::fromUtf8(pactl.readAllStandardOutput()).split(QStringLiteral("Source Output #"))) {
        if (output.contains(QStringLiteral("media.name = \"system audio\"")) && output.contains(QStringLiteral("Source: ") + monitor + QLatin1Char('\n')))
            stream = output.section(QLatin1Char('\n'), 0, 0).trimmed();
    }
    ASSERT_FALSE(stream.isEmpty()) << "the capture records the output's monitor";
    QProcess::execute(QStringLiteral("pactl"), {QStringLiteral("move-source-output"), stream, second->name() + QStringLiteral(".monitor")});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    bool stayed = false;
    for (const QString& row : pactlRows(QStringLiteral("source-outputs")))
        stayed = stayed || (row.section(QLatin1Char('\t'), 0, 0) == stream && row.section(QLatin1Char('\t'), 1, 1) == monitor);
    EXPECT_TRUE(stayed) << "the monitor stream was moved off its output";
    stopAll(capture);
    EXPECT_EQ(failures.load(), 0);
}

// The capture's streams by name, each with its source and its client, from pactl's long list.
struct RecordingStream {
    QString name, source, client;
};
static std::vector<RecordingStream> recordingStreams()
{
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"), {QStringLiteral("list"), QStringLiteral("source-outputs")});
    pactl.waitForFinished(5000);
    std::vector<RecordingStream> streams;
    for (const QString& output : QString::fromUtf8(pactl.readAllStandardOutput()).split(QStringLiteral("Source Output #"), Qt::SkipEmptyParts)) {
        RecordingStream stream;
        for (const QString& line : output.split(QLatin1Char('\n'))) {
            const QString field = line.trimmed();
            if (field.startsWith(QStringLiteral("media.name = \"")))
                stream.name = field.section(QLatin1Char('"'), 1, 1);
            else if (field.startsWith(QStringLiteral("Source: ")))
                stream.source = field.mid(8);
            else if (field.startsWith(QStringLiteral("Client: ")))
                stream.client = field.mid(8);
        }
        streams.push_back(stream);
    }
    return streams;
}

// On a busy machine pipewire-pulse (0.3.65) sends a client's record stream nothing while another stream's sound
// waits to go out to it: programs sharing the monitor's client came in fits of a second or more, or not at all.
TEST_F(SystemAudioOutputChange, everyProgramIsRecordedOnAConnectionOfItsOwn)
{
    Player steadily({}, steady, halfVolume);
    Player beeping({}, beeps);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    PulseSystemAudioCapture capture;
    startAll(capture);
    Player joining({}, beeps);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::set<QString> clients;
    int programs = 0;
    for (const RecordingStream& stream : recordingStreams()) {
        if (stream.name == QStringLiteral("system audio program")) {
            ++programs;
            clients.insert(stream.client);
        }
    }
    EXPECT_EQ(programs, 3) << "two programs playing at the start and one joining";
    EXPECT_EQ(clients.size(), 3u) << "their streams share a connection";
    for (const RecordingStream& stream : recordingStreams())
        EXPECT_TRUE(stream.name != QStringLiteral("system audio") || clients.count(stream.client) == 0) << "a program shares the output's connection";
    stopAll(capture);
    EXPECT_EQ(failures.load(), 0);
}

// Headphones pulled, and at once the desktop makes another output the default: pipewire-pulse first names its
// fallback output, and an existing connection may go on naming it after the desktop chose.
TEST_F(SystemAudioOutputChange, anOutputUnpluggedAndAnotherMadeTheDefaultAtOnceIsFollowedThereEveryTime)
{
    std::vector<std::unique_ptr<PrivateNullSink>> outputs;
    for (int round = 1; round <= 5; ++round) {
        outputs.push_back(PrivateNullSink::load(QStringLiteral("output_%1").arg(round)));
        ASSERT_TRUE(outputs.back());
    }
    Player beeping({}, beeps);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    PulseSystemAudioCapture capture;
    startAll(capture);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::unique_ptr<PrivateNullSink> playing = std::move(first);
    std::vector<double> changes;
    for (std::unique_ptr<PrivateNullSink>& next : outputs) {
        playing.reset();
        ASSERT_TRUE(makeDefault(next->name()));
        changes.push_back(HostClock::nowSeconds());
        // The player moves along with the default, and its beeps must reach the track from there.
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        playing = std::move(next);
    }
    capture.stop();
    onFirst.stop();
    onSecond.stop();
    const std::vector<double> recorded = captured.onsets(beepThreshold);
    for (size_t round = 0; round < changes.size(); ++round) {
        const auto heard = std::count_if(recorded.begin(), recorded.end(), [&](double onset) { return onset > changes[round] + 0.4 && onset < changes[round] + 1.4; });
        EXPECT_GE(heard, 3) << "round " << round + 1 << ": the beeps on the new default output are not on the track";
    }
    EXPECT_EQ(failures.load(), 0);
}

// Another output chosen in the desktop's sound settings: what plays moves there, and so does the track.
TEST_F(SystemAudioOutputChange, whenAnotherOutputBecomesTheDefaultItIsRecordedInsteadOfTheFirst)
{
    const auto left = playMovedToFirst(steady, halfVolume);
    Player beeping({}, beeps);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    PulseSystemAudioCapture capture;
    startAll(capture);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double before = HostClock::nowSeconds();
    ASSERT_TRUE(makeDefault(second->name()));
    const double changed = HostClock::nowSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(4));
    stopAll(capture);
    const double stopped = HostClock::nowSeconds();

    expectFollowed(capture, before, changed, stopped);
    // The tone that stays on the first output is heard until the change, not after.
    std::printf("440 Hz: %.1f dBFS before, %.1f dBFS after the change\n", loudest(440, started, before), loudest(440, changed + 0.1, stopped));
    EXPECT_NEAR(loudest(440, started, before), steadyDecibels, 1.0);
    EXPECT_LT(loudest(440, changed + 0.1, stopped), steadyDecibels - 20);
}

TEST_F(SystemAudioOutputChange, aNamedOutputIsRecordedOnWhenAnotherBecomesTheDefault)
{
    const auto staying = playMovedToFirst(steady, halfVolume);
    Player beeping({}, beeps);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    PulseSystemAudioCapture capture(first->name());
    startAll(capture);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    ASSERT_TRUE(makeDefault(second->name()));
    const double changed = HostClock::nowSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    stopAll(capture);
    const double stopped = HostClock::nowSeconds();

    const Recording::Track track = captured.track();
    EXPECT_LT(track.largestGapSeconds, 1e-6);
    EXPECT_NEAR(loudest(440, started, changed), steadyDecibels, 1.0);
    EXPECT_NEAR(loudest(440, changed + 0.1, stopped), steadyDecibels, 1.0);
    // The beeps moved to the new default, away from the recorded output.
    const std::vector<double> recorded = captured.onsets(beepThreshold);
    EXPECT_TRUE(std::none_of(recorded.begin(), recorded.end(), [&](double at) { return at > changed + 0.1; }));
    EXPECT_FALSE(heardOnSecond.onsets(beepThreshold).empty());
    EXPECT_FALSE(readLog().contains(QStringLiteral("the output changed")));
}

TEST_F(SystemAudioOutputChange, aStopWhileTheOutputChangesEndsTheCaptureOnce)
{
    for (int round = 0; round < 12; ++round) {
        PulseSystemAudioCapture capture;
        std::atomic<int> blocks{0};
        ASSERT_FALSE(capture.start({AudioCapture::Source::systemAudio, {}, rate, 2}, [&](const MediaSample&) { ++blocks; }, [this](const QString&) { ++failures; }));
        QProcess::startDetached(QStringLiteral("pactl"), {QStringLiteral("set-default-sink"), (round % 2 ? first : second)->name()});
        // pactl starts in a few milliseconds, or tens on a busy machine.
        std::this_thread::sleep_for(std::chrono::milliseconds(round * 4));
        capture.stop();
        const int stopped = blocks.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(blocks.load(), stopped) << "round " << round << ": a block came after the stop returned";
    }
    // Most stops come after the switch began, some before it.
    EXPECT_GT(readLog().count(QStringLiteral("the output changed")), 0);
    EXPECT_EQ(failures.load(), 0);
}

namespace {

// Where `heard`'s beeps fall, as the phase (seconds) of a beep every `period` seconds; the beeps' onsets
// between two host times, at least three.
double beepPhase(const Recording& heard, double from, double to, double period)
{
    double sumSin = 0, sumCos = 0;
    int count = 0;
    for (double beep : heard.onsets(0.2f)) {
        if (beep < from || beep > to)
            continue;
        const double angle = 2 * std::numbers::pi * std::fmod(beep, period) / period;
        sumSin += std::sin(angle);
        sumCos += std::cos(angle);
        ++count;
    }
    if (count < 3)
        return -1;
    const double phase = std::atan2(sumSin, sumCos) / (2 * std::numbers::pi) * period;
    return phase < 0 ? phase + period : phase;
}

// How far `at` lies from the nearest beat of a period starting at `phase`, signed.
double offBeat(double at, double phase, double period)
{
    const double off = std::fmod(at - phase, period);
    return off > period / 2 ? off - period : (off < -period / 2 ? off + period : off);
}

SystemAudioOutputChange::ThroughChange SystemAudioOutputChange::captureTheBeatThrough(
    const std::function<std::pair<double, double>()>& change, double runOn)
{
    ThroughChange result;
    const QString tone = path(QStringLiteral("tone.wav"));
    EXPECT_TRUE(ToneFile::write(tone, 12.0, 3000));
    Player steadyTone({}, tone, halfVolume);
    Player beeping({}, beeps);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    PulseSystemAudioCapture capture;
    EXPECT_FALSE(capture.start({AudioCapture::Source::systemAudio, {}, rate, 2}, captured.handler(), [this](const QString&) { ++failures; }));
    capture.waitUntilFlowing();
    started = HostClock::nowSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    std::tie(result.before, result.after) = change();
    std::this_thread::sleep_for(std::chrono::duration<double>(runOn));
    capture.stop();
    result.stopped = HostClock::nowSeconds();

    const double period = 0.25;
    const double phase = beepPhase(captured, started + 0.2, result.before - 0.1, period);
    EXPECT_GE(phase, 0) << "no beat before the change";
    for (double beep : captured.onsets(beepThreshold)) {
        if (phase < 0 || beep < result.after || beep > result.stopped - 0.3)
            continue;
        ++result.beepsAfter;
        std::printf("beep %.3f s in: %+.1f ms off its beat\n", beep - started, offBeat(beep, phase, period) * 1000);
        EXPECT_LT(std::fabs(offBeat(beep, phase, period)), 0.045) << "the beep " << beep - started << " s in";
    }
    result.longestSilentTenths = longestSilentTenths(captured.laidOut(result.before - 0.5, result.stopped - 0.2), 3000, steadyDecibels - 20);
    std::printf("%d beeps after the change; the tone's longest silence %d00 ms; the change took %.0f ms; largest gap %.1f ms\n", result.beepsAfter,
        result.longestSilentTenths, (result.after - result.before) * 1000, captured.track().largestGapSeconds * 1000);
    return result;
}

} // namespace

// Headphones unplugged while speakers sat idle: the server moves the programs onto an output that was
// rendering nothing (nobody listened to it), which starts again only when they come.
TEST_F(SystemAudioOutputChange, switchedToAnIdleOutputTheTrackRunsOnAndTheProgramsSoundKeepsItsBeat)
{
    const ThroughChange result = captureTheBeatThrough([this] { return unplugFirst(); }, 4.0);
    EXPECT_GE(result.beepsAfter, 5);
    // An output nobody listened to renders seconds of what is moved onto it at once, before a listener can be
    // there (about 2 s on PulseAudio's null sink); one listened to does not.
    EXPECT_LE(result.longestSilentTenths, 3);
    // The track goes on through the switch: the new output's time is there from about the moment it changed.
    EXPECT_LT(captured.track().largestGapSeconds, 0.200);
    EXPECT_LT(captured.largestOverlapSeconds(), 0.010);
    EXPECT_EQ(failures.load(), 0);
}

// Another output made the default while the first stays: the session manager moves the programs over only
// after the change, and the first output goes later still.
TEST_F(SystemAudioOutputChange, programsMovedToANewDefaultAreHeardFromTheChangeBeforeTheOldOutputGoes)
{
    const ThroughChange result = captureTheBeatThrough(
        [this] {
            const double before = HostClock::nowSeconds();
            EXPECT_TRUE(makeDefault(second->name()));
            const double after = HostClock::nowSeconds();
            std::this_thread::sleep_for(std::chrono::seconds(2));
            first.reset();
            return std::make_pair(before, after);
        },
        2.0);
    EXPECT_GE(result.beepsAfter, 12);
    EXPECT_LE(result.longestSilentTenths, 3);
    EXPECT_EQ(failures.load(), 0);
}

// The output changed just before the user stopped: the new output's monitor sent nothing yet, and the
// take's system sound still runs to the stop.
TEST_F(SystemAudioOutputChange, aChangeToAnIdleOutputJustBeforeTheStopKeepsTheTrackToTheStop)
{
    Player beeping({}, beeps);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    PulseSystemAudioCapture capture;
    ASSERT_FALSE(capture.start({AudioCapture::Source::systemAudio, {}, rate, 2}, captured.handler(), [this](const QString&) { ++failures; }));
    capture.waitUntilFlowing();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    unplugFirst();
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    const double stopping = HostClock::nowSeconds();
    capture.stop();
    const Recording::Track track = captured.track();
    std::printf("the track ends %+.1f ms from the stop, largest gap %.1f ms\n", (track.endSeconds() - stopping) * 1000, track.largestGapSeconds * 1000);
    EXPECT_GT(track.endSeconds(), stopping - 0.1);
    EXPECT_LT(track.largestGapSeconds, 0.200);
    EXPECT_LT(captured.largestOverlapSeconds(), 0.010);
    EXPECT_EQ(failures.load(), 0);
}

namespace {

// Outputs that sleep when nothing plays, as a desktop's do (PulseAudio's suspend-on-idle; WirePlumber
// suspends idle nodes itself), on a server of the test's own so the shared one keeps its settings.
class SystemAudioSleepingOutput : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        const bool onPipeWire = qgetenv("OLVENNAR_TEST_SOUND_SERVER") == "pipewire";
        server = PrivateSoundServer::start(onPipeWire ? PrivateSoundServer::Kind::pipeWire : PrivateSoundServer::Kind::pulseAudio);
        if (!server)
            GTEST_SKIP() << "a private sound server could not start";
        ASSERT_TRUE(server->pactl({QStringLiteral("load-module"), QStringLiteral("module-null-sink"), QStringLiteral("sink_name=private_spare"), QStringLiteral("rate=48000")}));
        if (!onPipeWire) {
            ASSERT_TRUE(server->pactl({QStringLiteral("load-module"), QStringLiteral("module-suspend-on-idle"), QStringLiteral("timeout=1")}));
        }
    }
    void TearDown() override
    {
        server.reset();
        SandboxTest::TearDown();
    }
    QString sinkState(const QString& sink) const
    {
        for (const QString& row : server->pactl({QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sinks")}).value_or(QString()).split(QLatin1Char('\n'))) {
            if (row.section(QLatin1Char('\t'), 1, 1) == sink)
                return row.section(QLatin1Char('\t'), -1).trimmed();
        }
        return {};
    }

    std::unique_ptr<PrivateSoundServer> server;
    Recording captured;
};

} // namespace

// Headphones pulled while the speakers slept: what plays moves onto an output that wakes for it. Listening
// ahead to it does not wake it before on PulseAudio, the programs' sound goes on from the move, and the track
// runs on to the stop after they end.
TEST_F(SystemAudioSleepingOutput, programsMovedOntoASleepingOutputAreHeardFromTheMoveAndTheTrackRunsToTheStop)
{
    const QString tone = path(QStringLiteral("tone.wav"));
    ASSERT_TRUE(ToneFile::write(tone, 10.0, 3000));
    auto steadyTone = std::make_unique<Player>(QStringLiteral("private_out"), tone);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    PulseSystemAudioCapture capture;
    ASSERT_FALSE(capture.start({AudioCapture::Source::systemAudio, {}, rate, 2}, captured.handler()));
    capture.waitUntilFlowing();
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    // pipewire-pulse wakes an output for every listener.
    if (qgetenv("OLVENNAR_TEST_SOUND_SERVER") != "pipewire") {
        EXPECT_EQ(sinkState(QStringLiteral("private_spare")), QStringLiteral("SUSPENDED"));
    }

    const double moving = HostClock::nowSeconds();
    QString player;
    for (const QString& row : server->pactl({QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sink-inputs")}).value_or(QString()).split(QLatin1Char('\n'))) {
        if (!row.isEmpty())
            player = row.section(QLatin1Char('\t'), 0, 0);
    }
    ASSERT_FALSE(player.isEmpty());
    ASSERT_TRUE(server->pactl({QStringLiteral("move-sink-input"), player, QStringLiteral("private_spare")}));
    ASSERT_TRUE(server->pactl({QStringLiteral("set-default-sink"), QStringLiteral("private_spare")}));
    std::this_thread::sleep_for(std::chrono::seconds(2));
    // The program ends; the output it woke would sleep again a second later, were nobody listening.
    const double ended = HostClock::nowSeconds();
    steadyTone.reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    const double stopping = HostClock::nowSeconds();
    capture.stop();

    const int longest = longestSilentTenths(captured.laidOut(moving - 0.5, ended - 0.2), 3000, playedDecibels - 20);
    const Recording::Track track = captured.track();
    std::printf("the tone's longest silence across the move: %d00 ms; the track ends %+.1f ms from the stop\n", longest, (track.endSeconds() - stopping) * 1000);
    EXPECT_LE(longest, 3);
    EXPECT_GT(track.endSeconds(), stopping - 0.1);
    EXPECT_LT(track.largestGapSeconds, 0.2);
}
