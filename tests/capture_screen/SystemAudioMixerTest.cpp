#include "platform/audio/SystemAudioMixer.h"
#include "platform/audio/SystemAudioPrograms.h"

#include <pulse/def.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr int rate = 48000;
constexpr int channels = 2;
constexpr int64_t blockFrames = 480;
constexpr int64_t holdFrames = 1440;
constexpr int64_t millisecond = 1'000'000;
constexpr int64_t origin = 5'000 * millisecond;

int64_t timeOf(int64_t position) { return origin + position * 1'000'000'000 / rate; }

// Sound whose every frame says where it belongs: position × 1e-6 on both channels.
std::vector<float> marked(int64_t position, int64_t frames)
{
    std::vector<float> samples;
    for (int64_t frame = 0; frame < frames; ++frame)
        samples.insert(samples.end(), channels, static_cast<float>((position + frame) * 1e-6));
    return samples;
}

// A monitor whose 10 ms blocks are read as their last frame is rendered, and the track the mixer gives out.
struct MixedRun {
    SystemAudioMixer mixer{rate, channels, holdFrames};
    std::vector<SystemAudioMixer::Block> blocks;
    std::vector<float> track; // left channel
    int64_t monitorFrames = 0;
    int64_t paused = 0; // nanoseconds the monitor's sound stopped for, uncounted

    void monitor(int count = 1, float value = 0.25f)
    {
        for (int i = 0; i < count; ++i) {
            const std::vector<float> samples(blockFrames * channels, value);
            take(mixer.addMonitor(timeOf(monitorFrames + blockFrames) + paused, -10 * millisecond, samples.data(), blockFrames));
            monitorFrames += blockFrames;
        }
    }
    // A program's block for `position`, read `delay` after its last frame was rendered.
    void program(uint32_t id, int64_t position, int64_t frames = blockFrames, int64_t delay = 0)
    {
        const std::vector<float> samples = marked(position, frames);
        mixer.addProgramSound(id, timeOf(position + frames) + paused + delay, samples.data(), frames);
    }
    // `count` monitor blocks, each with program `id`'s sound of the same frames.
    void playing(uint32_t id, int count)
    {
        for (int k = 0; k < count; ++k) {
            monitor();
            program(id, monitorFrames - blockFrames);
        }
    }
    void flush() { take(mixer.flush()); }
    void take(std::vector<SystemAudioMixer::Block> out)
    {
        for (SystemAudioMixer::Block& block : out) {
            for (size_t i = 0; i < block.samples.size(); i += channels)
                track.push_back(block.samples[i]);
            blocks.push_back(std::move(block));
        }
    }
    // Whether frames [from, to) hold the program sound that belongs there.
    ::testing::AssertionResult carries(int64_t from, int64_t to, float extra = 0) const
    {
        for (int64_t p = from; p < to; ++p) {
            if (std::fabs(track.at(static_cast<size_t>(p)) - static_cast<float>(p * 1e-6 + extra)) > 1e-7f)
                return ::testing::AssertionFailure() << "frame " << p << " holds " << track[static_cast<size_t>(p)];
        }
        return ::testing::AssertionSuccess();
    }
    ::testing::AssertionResult silent(int64_t from, int64_t to) const
    {
        for (int64_t p = from; p < to; ++p) {
            if (track.at(static_cast<size_t>(p)) != 0.0f)
                return ::testing::AssertionFailure() << "frame " << p << " holds " << track[static_cast<size_t>(p)];
        }
        return ::testing::AssertionSuccess();
    }
};

} // namespace

TEST(SystemAudioMixer, withNothingPlayingEveryMonitorBlockComesOutOnceInOrderAsSilenceWithItsReadings)
{
    MixedRun run;
    run.monitor(100);
    EXPECT_EQ(run.blocks.size(), 97u) << "30 ms held for the programs of the same moment";
    run.flush();
    ASSERT_EQ(run.blocks.size(), 100u);
    for (size_t k = 0; k < run.blocks.size(); ++k) {
        EXPECT_EQ(run.blocks[k].readAt, timeOf(static_cast<int64_t>(k + 1) * blockFrames));
        EXPECT_EQ(run.blocks[k].latency, -10 * millisecond);
        EXPECT_FALSE(run.blocks[k].afterOverflow);
        ASSERT_EQ(run.blocks[k].samples.size(), static_cast<size_t>(blockFrames * channels));
    }
    EXPECT_TRUE(run.silent(0, 100 * blockFrames)) << "the monitor's own sound (the studio's included) never comes out";
}

TEST(SystemAudioMixer, aProgramLandsSampleExactWhereItsFirstReadFallsThenFollowsByCountWhateverItsLaterReadsSay)
{
    MixedRun run;
    run.mixer.addProgram(7);
    run.monitor(10);
    // It starts a quarter into the 11th block; later reads come up to 3 ms late, and none moves it.
    const int64_t start = 10 * blockFrames + 123;
    for (int k = 0; k < 40; ++k) {
        run.monitor();
        run.program(7, start + k * blockFrames, blockFrames, k == 0 ? 0 : (k % 4) * millisecond);
    }
    run.monitor(10);
    run.flush();
    EXPECT_TRUE(run.silent(0, start));
    EXPECT_TRUE(run.carries(start, start + 40 * blockFrames));
    EXPECT_TRUE(run.silent(start + 40 * blockFrames, run.monitorFrames));
}

// The server sends a new program's first frames as soon as they are rendered, while the monitor waits for
// the rest of the chunk; or a program that came in the middle of a chunk gets only its tail, with the monitor's.
TEST(SystemAudioMixer, aProgramsShortFirstBlockLandsWhereItWasRenderedWhetherTheHeadOrTheTailOfTheMonitorsChunk)
{
    const int64_t chunk = 5 * blockFrames, piece = 346;
    for (const bool head : {true, false}) {
        MixedRun run;
        run.mixer.addProgram(7);
        run.monitor(5);
        const int64_t first = head ? chunk : chunk + blockFrames - piece;
        if (head) {
            run.program(7, first, piece);
            run.monitor();
            run.program(7, chunk + piece, blockFrames - piece, 300'000);
        } else {
            run.monitor();
            run.program(7, first, piece);
        }
        for (int k = 1; k < 10; ++k) {
            run.monitor();
            run.program(7, chunk + k * blockFrames, blockFrames, 200'000);
        }
        run.monitor(5);
        run.flush();
        EXPECT_TRUE(run.silent(0, first)) << head;
        EXPECT_TRUE(run.carries(first, chunk + 10 * blockFrames)) << head;
    }
}

TEST(SystemAudioMixer, programsAreSummedAndSoundArrivingAfterTheMonitorsIsMixedWithinTheHoldAndLostOnlyForFramesAlreadyGivenOut)
{
    MixedRun run;
    run.mixer.addProgram(1);
    run.mixer.addProgram(2);
    run.monitor(20); // frames up to 17 blocks are given out
    const int64_t givenOut = 17 * blockFrames;
    ASSERT_EQ(run.track.size(), static_cast<size_t>(givenOut));
    run.program(1, givenOut, 2 * blockFrames); // two blocks behind the monitor's newest: in time
    run.program(2, givenOut - 100, blockFrames); // its first 100 frames are already out
    run.monitor(5);
    run.flush();
    EXPECT_TRUE(run.silent(givenOut - 100, givenOut));
    // Where both sound, their marks are equal, so the mix holds twice the mark.
    for (int64_t p = givenOut; p < givenOut + 380; ++p)
        ASSERT_NEAR(run.track[static_cast<size_t>(p)], 2 * p * 1e-6, 1e-6) << p;
    EXPECT_TRUE(run.carries(givenOut + 380, givenOut + 2 * blockFrames));
}

TEST(SystemAudioMixer, anEndedProgramPlaysOutWhatItSentAndThenIsGone)
{
    MixedRun run;
    run.mixer.addProgram(4);
    run.monitor(2);
    run.program(4, 2 * blockFrames, 3 * blockFrames);
    run.mixer.endProgram(4);
    EXPECT_TRUE(run.mixer.hasProgram(4));
    run.program(4, 5 * blockFrames); // nothing comes after the end
    run.monitor(10);
    EXPECT_FALSE(run.mixer.hasProgram(4));
    run.flush();
    EXPECT_TRUE(run.carries(2 * blockFrames, 5 * blockFrames));
    EXPECT_TRUE(run.silent(5 * blockFrames, run.monitorFrames));
}

TEST(SystemAudioMixer, soundReadBeforeTheMonitorsFirstBlockIsPlacedOnceTheMonitorArrives)
{
    MixedRun run;
    run.mixer.addProgram(5);
    run.program(5, 240);
    run.monitor(8);
    run.flush();
    EXPECT_TRUE(run.silent(0, 240));
    EXPECT_TRUE(run.carries(240, 720));
}

TEST(SystemAudioMixer, theWholeMonitorReplacesTheMixFromTheNextBlockGivenOutAndProgramsAreDropped)
{
    MixedRun run;
    run.mixer.addProgram(6);
    run.playing(6, 10);
    const size_t mixed = run.track.size();
    run.mixer.mixWholeMonitor();
    EXPECT_EQ(run.mixer.programCount(), 0u);
    run.program(6, 10 * blockFrames);
    run.monitor(5);
    run.flush();
    EXPECT_TRUE(run.carries(0, static_cast<int64_t>(mixed)));
    ASSERT_EQ(run.track.size(), static_cast<size_t>(15 * blockFrames));
    for (size_t p = mixed; p < run.track.size(); ++p)
        ASSERT_EQ(run.track[p], 0.25f) << p;
}

TEST(SystemAudioMixer, afterTheServerDroppedSoundTheNextMonitorBlockIsMarkedAndProgramsArePlacedByTheirTimeAgain)
{
    MixedRun run;
    run.mixer.addProgram(8);
    run.playing(8, 8);
    // The server threw away 20 ms of the program's sound, then 100 ms of both; counts go on without them.
    run.monitor(2);
    run.mixer.programOverflowed(8);
    run.mixer.monitorOverflowed();
    for (int k = 0; k < 10; ++k) {
        const std::vector<float> samples(blockFrames * channels, 0.25f);
        const int64_t truePosition = run.monitorFrames + 4800;
        run.take(run.mixer.addMonitor(timeOf(truePosition + blockFrames), -10 * millisecond, samples.data(), blockFrames));
        const std::vector<float> program(blockFrames * channels, 0.125f);
        run.mixer.addProgramSound(8, timeOf(truePosition + blockFrames), program.data(), blockFrames);
        run.monitorFrames += blockFrames;
    }
    run.flush();
    ASSERT_EQ(run.blocks.size(), 20u);
    for (size_t k = 0; k < run.blocks.size(); ++k)
        EXPECT_EQ(run.blocks[k].afterOverflow, k == 10) << k;
    EXPECT_TRUE(run.carries(0, 8 * blockFrames));
    EXPECT_TRUE(run.silent(8 * blockFrames, 10 * blockFrames));
    for (int64_t p = 10 * blockFrames; p < 20 * blockFrames; ++p)
        ASSERT_EQ(run.track[static_cast<size_t>(p)], 0.125f) << "placed on the monitor's frames of the same moment, " << p;
}

// The output suspended (a Bluetooth drop-out, a machine frozen): the monitor sends nothing for a while and
// its count goes on after as if the break were not there. A burst read late after a hold-up is no break.
TEST(SystemAudioMixer, aProgramStartingAfterABreakInTheMonitorsSoundLandsWhereItWasRenderedOnce)
{
    for (const int64_t breakMilliseconds : {2'000, 10'000}) {
        for (const int64_t startsAfter : {int64_t{300}, int64_t{750}}) {
            MixedRun run;
            run.mixer.addProgram(3);
            run.monitor(150);
            run.paused = breakMilliseconds * millisecond;
            const int64_t woke = run.monitorFrames;
            const int64_t start = woke + startsAfter * rate / 1000;
            while (run.monitorFrames < start + 50 * blockFrames) {
                run.monitor();
                if (run.monitorFrames > start)
                    run.program(3, run.monitorFrames - blockFrames);
            }
            run.flush();
            const std::string at = std::to_string(breakMilliseconds) + " ms break, program " + std::to_string(startsAfter) + " ms after";
            EXPECT_TRUE(run.silent(0, start)) << at;
            EXPECT_TRUE(run.carries(start, run.monitorFrames)) << at;
        }
    }
    // Half a second of monitor and program sound read at once after the reading thread was held up: each
    // block measured later the less was queued behind it; a program starting after lands by the earlier readings.
    MixedRun run;
    run.mixer.addProgram(3);
    run.monitor(150);
    for (int k = 0; k < 50; ++k) {
        const std::vector<float> samples(blockFrames * channels, 0.25f);
        const int64_t readAt = timeOf(150 * blockFrames) + 500 * millisecond + k * 100'000;
        run.take(run.mixer.addMonitor(readAt, -10 * millisecond, samples.data(), blockFrames));
        run.monitorFrames += blockFrames;
    }
    const int64_t start = run.monitorFrames + 30 * rate / 1000;
    while (run.monitorFrames < start + 50 * blockFrames) {
        run.monitor();
        if (run.monitorFrames > start)
            run.program(3, run.monitorFrames - blockFrames);
    }
    run.flush();
    EXPECT_TRUE(run.silent(0, start));
    EXPECT_TRUE(run.carries(start, run.monitorFrames));
}

namespace {

// A program that starts while another plays, as pipewire-pulse sends it: nothing for a while, then all that
// was rendered since at once, each block read with nothing queued behind it.
struct FitsOfLateBlocks {
    uint32_t id = 2;
    int64_t start = 0; // its first frame
    int64_t sent = 0; // frames sent so far
    int64_t playing = 0; // frames it plays in all

    void sendUpTo(MixedRun& run, int64_t renderedUpTo)
    {
        while (sent < playing && start + sent + blockFrames <= renderedUpTo) {
            run.program(id, start + sent, blockFrames, timeOf(renderedUpTo) - timeOf(start + sent + blockFrames));
            sent += blockFrames;
        }
    }
};

} // namespace

TEST(SystemAudioMixer, aProgramSentInFitsOfLateBlocksComesOutWholeInItsPlaceBesideOneSentInTime)
{
    MixedRun run;
    const std::vector<float> steady(blockFrames * channels, 0.125f);
    run.mixer.addProgram(1);
    FitsOfLateBlocks late{2, 30 * blockFrames + 200, 0, 150 * blockFrames};
    // Monitor blocks between the fits: the first comes 250 ms after the program started, later ones 100–300 ms apart.
    const int gaps[] = {25, 12, 30, 18, 22, 10, 28, 15};
    int64_t nextFit = 30 + 1 + gaps[0];
    size_t fit = 1;
    for (int64_t k = 0; k < 220; ++k) {
        if (k == 30)
            run.mixer.addProgram(late.id);
        run.monitor();
        run.mixer.addProgramSound(1, timeOf(run.monitorFrames), steady.data(), blockFrames);
        if (k == nextFit) {
            late.sendUpTo(run, run.monitorFrames);
            nextFit += gaps[fit++ % std::size(gaps)];
        }
    }
    late.sendUpTo(run, run.monitorFrames);
    run.monitor(5);
    run.flush();
    // A fit is sent at the end of a server cycle, after its last block was rendered: it lands within a block
    // of its place (its first fit's promptest read), every frame of it, in order.
    const auto heard = std::find_if(run.track.begin(), run.track.end(), [](float x) { return x != 0.125f; });
    ASSERT_NE(heard, run.track.end()) << "the late program is heard";
    const int64_t shift = (heard - run.track.begin()) - late.start;
    EXPECT_GE(shift, 0);
    EXPECT_LE(shift, blockFrames);
    const int64_t end = late.start + late.playing;
    for (int64_t p = 0; p < 220 * blockFrames; ++p) {
        const bool playing = p >= late.start + shift && p < end + shift;
        const float expected = 0.125f + (playing ? static_cast<float>((p - shift) * 1e-6) : 0.0f);
        ASSERT_NEAR(run.track[static_cast<size_t>(p)], expected, 1e-7) << "frame " << p << ", the late program placed " << shift << " frames late";
    }
}

TEST(SystemAudioMixer, monitorBlocksWaitForAProgramThatOwesTheirSoundButNeverLongerThanTheLongestHold)
{
    const int64_t longestHold = SystemAudioMixer::longestHoldNanoseconds * rate / 1'000'000'000;
    MixedRun run;
    run.monitor(5);
    run.mixer.addProgram(3);
    run.monitor(20);
    EXPECT_EQ(run.track.size(), static_cast<size_t>(2 * blockFrames)) << "a program that joined has not sent its first sound yet";
    EXPECT_TRUE(run.mixer.awaitsPrograms());
    // Its first fit: the blocks wait no longer once its sound is there.
    FitsOfLateBlocks late{3, 5 * blockFrames, 0, 1000 * blockFrames};
    late.sendUpTo(run, run.monitorFrames);
    EXPECT_FALSE(run.mixer.awaitsPrograms());
    run.monitor();
    EXPECT_EQ(run.track.size(), static_cast<size_t>(run.monitorFrames - 3 * blockFrames)) << "back to the short hold";
    EXPECT_TRUE(run.carries(late.start, static_cast<int64_t>(run.track.size())));
    // Then it owes sound again: a stop waits for it (awaitsPrograms), the track waits at most the longest hold.
    run.monitor(10);
    EXPECT_TRUE(run.mixer.awaitsPrograms());
    const int64_t silentFor = longestHold + 10 * blockFrames;
    run.monitor(static_cast<int>(silentFor / blockFrames));
    EXPECT_GE(static_cast<int64_t>(run.track.size()), run.monitorFrames - longestHold - blockFrames);
    // Silent for longer than that (paused, or done and not yet gone): the track does not wait for it.
    EXPECT_FALSE(run.mixer.awaitsPrograms());
    EXPECT_EQ(run.track.size(), static_cast<size_t>(run.monitorFrames - 3 * blockFrames));
    // An ended program is not waited for either.
    run.mixer.addProgram(4);
    run.monitor(5);
    EXPECT_TRUE(run.mixer.awaitsPrograms());
    run.mixer.endProgram(4);
    EXPECT_FALSE(run.mixer.awaitsPrograms());
}

TEST(SystemAudioPrograms, followsEveryStreamOnTheOutputButTheStudiosOwnAndLeavesOnesThatMoveAway)
{
    using SystemAudioPrograms::Action;
    const uint32_t output = 4;
    const QString own = QStringLiteral("1234");
    struct Case {
        bool followed;
        uint32_t sink;
        const char* process;
        Action expected;
    };
    const Case cases[] = {
        {false, 4, "999", Action::follow},
        {false, 4, "", Action::follow}, // a server module plays for no process
        {false, 4, "1234", Action::nothing}, // a feedback sound of the studio
        {false, 5, "999", Action::nothing},
        {true, 4, "999", Action::nothing},
        {true, 5, "999", Action::leave},
        {true, 4, "1234", Action::leave},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SystemAudioPrograms::actionFor(c.followed, c.sink, QString::fromLatin1(c.process), output, own), c.expected)
            << c.followed << " " << c.sink << " " << c.process;
}

TEST(SystemAudioPrograms, onlyAnAnswerThatIsNotAboutTheProgramGoingAwayCountsAsARefusal)
{
    struct Case {
        int error;
        bool stillOnOutput;
        bool refused;
    };
    const Case cases[] = {
        {PA_ERR_NOENTITY, true, false}, // it ended before its stream opened
        {PA_ERR_KILLED, true, false},
        {PA_ERR_INVALID, false, false}, // it moved to another output
        {PA_ERR_INVALID, true, true},
        {PA_ERR_NOTSUPPORTED, true, true},
        {PA_ERR_ACCESS, true, true},
        {PA_ERR_PROTOCOL, true, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SystemAudioPrograms::refusesSinglePrograms(c.error, c.stillOnOutput), c.refused) << c.error << " " << c.stillOnOutput;
}
