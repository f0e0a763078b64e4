#include "platform/audio/AudioTimestamper.h"

#include "support/SimulatedSoundCard.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr int64_t millisecond = 1'000'000;

int64_t startOf(const MediaSample& block) { return block.presentationTime().valueIn(1'000'000'000).value_or(0); }
int64_t endOf(const MediaSample& block) { return startOf(block) + block.audio->frameCount() * 1'000'000'000 / 48000; }
// The milliseconds a "sound timeline moved by" note says.
double movedBy(const QString& note) { return note.section(QLatin1Char(' '), 4, 4).toDouble(); }

// Everything the timestamper gives out for a card, with the gaps between consecutive blocks.
struct StampedRun {
    std::vector<MediaSample> blocks;
    std::vector<QString> notes;
    int64_t largestGap = 0; // |next start − previous end|, nanoseconds
    double largestStretch = 0;

    void take(AudioTimestamper::Fed fed, const AudioTimestamper& stamper)
    {
        if (!fed.note.isEmpty())
            notes.push_back(fed.note);
        for (MediaSample& block : fed.blocks) {
            if (!blocks.empty()) {
                largestGap = std::max<int64_t>(largestGap, std::llabs(startOf(block) - endOf(blocks.back())));
            }
            blocks.push_back(std::move(block));
        }
        largestStretch = std::max(largestStretch, std::abs(stamper.stretchRatio() - 1));
    }

    // Runs `card` for `seconds`, reading every block.
    void play(SimulatedSoundCard& card, AudioTimestamper& stamper, double seconds)
    {
        while (card.elapsedSeconds() < seconds)
            read(card, stamper);
    }
    // Reads for `nanoseconds` of host time from the next read on (a burst's reads come right after each other).
    void runFor(SimulatedSoundCard& card, AudioTimestamper& stamper, int64_t nanoseconds)
    {
        const int64_t until = read(card, stamper) + nanoseconds;
        while (read(card, stamper) < until) {
        }
    }
    int64_t read(SimulatedSoundCard& card, AudioTimestamper& stamper)
    {
        const SimulatedSoundCard::Read read = card.next();
        framesRead += read.frames;
        take(stamper.feed(read.now, read.reportedLatency, read.samples.data(), read.frames), stamper);
        return read.now;
    }
    int64_t framesRead = 0;
};

} // namespace

TEST(AudioTimestamper, jitterAndBurstsNeverMoveTheStampsOffTheSampleCount)
{
    SimulatedSoundCard card;
    card.jitter = 25 * millisecond;
    AudioTimestamper stamper{48000, 2};
    StampedRun run;
    run.play(card, stamper, 10);
    ASSERT_TRUE(stamper.settled());
    EXPECT_LE(run.largestGap, 1) << "only rounding between blocks";
    // The earliest readings of each second are the truth: the first frame sits where it was captured.
    EXPECT_NEAR(startOf(run.blocks.front()), card.firstFrameAt(), 2 * millisecond);
    EXPECT_LT(run.largestStretch, 1e-4);
    ASSERT_EQ(run.notes.size(), 1u);
    EXPECT_TRUE(run.notes[0].startsWith(QStringLiteral("sound latency settled")));
}

TEST(AudioTimestamper, aLatencyThatSettlesIsHeldBackAndPlacedByCountFromTheSettledMeasurement)
{
    // Table: the latency the server first reports, how long it sticks there, and when it reaches 10 ms.
    struct Row {
        int64_t startLatency;
        double stuckSeconds;
        double settledAt;
    };
    // The last row is what a remapped source on a test daemon reported: stuck at 155 ms, then falling fast.
    for (const Row& row : {Row{250 * millisecond, 0.0, 3.0}, Row{400 * millisecond, 0.8, 3.0}, Row{330 * millisecond, 0.5, 2.0},
             Row{155 * millisecond, 0.9, 1.05}}) {
        SCOPED_TRACE(row.startLatency / millisecond);
        SimulatedSoundCard card;
        card.reportedLatency = SimulatedSoundCard::settling(row.startLatency, 10 * millisecond, row.stuckSeconds, row.settledAt);
        AudioTimestamper stamper{48000, 2};
        StampedRun run;
        run.play(card, stamper, row.settledAt - 0.3);
        EXPECT_TRUE(run.blocks.empty()) << "nothing leaves before the latency settled";
        run.play(card, stamper, 10);
        ASSERT_TRUE(stamper.settled());
        EXPECT_LE(run.largestGap, 1);
        EXPECT_NEAR(startOf(run.blocks.front()), card.firstFrameAt(), 3 * millisecond);
        EXPECT_NEAR(endOf(run.blocks.back()), card.nextFrameAt(), 3 * millisecond);
        for (const QString& note : run.notes)
            EXPECT_FALSE(note.contains(QStringLiteral("moved"))) << note.toStdString();
    }
}

TEST(AudioTimestamper, aDeviceThatNeverSettlesIsReleasedAfterTheLimit)
{
    SimulatedSoundCard card;
    card.reportedLatency = [](double) { return 900 * millisecond; };
    AudioTimestamper stamper{48000, 2};
    StampedRun run;
    run.play(card, stamper, 3.9);
    EXPECT_TRUE(run.blocks.empty());
    run.play(card, stamper, 4.2);
    EXPECT_TRUE(stamper.settled());
    EXPECT_FALSE(run.blocks.empty());
    ASSERT_EQ(run.notes.size(), 1u);
    EXPECT_TRUE(run.notes[0].startsWith(QStringLiteral("sound latency still unsettled")));
}

TEST(AudioTimestamper, aHoleOrAnOverflowStepsTheTimelineAndOnlyTheOverflowIsANote)
{
    SimulatedSoundCard card;
    AudioTimestamper stamper{48000, 2};
    StampedRun run;
    run.play(card, stamper, 2);
    ASSERT_TRUE(stamper.settled());
    const int64_t heldNotes = static_cast<int64_t>(run.notes.size());

    // The server reports 50 ms recorded as nothing.
    card.skip(2400);
    stamper.skip(2400);
    const int64_t before = endOf(run.blocks.back());
    const size_t after = run.blocks.size();
    run.play(card, stamper, 2.1);
    ASSERT_GT(run.blocks.size(), after);
    EXPECT_NEAR(startOf(run.blocks[after]) - before, 50 * millisecond, millisecond);
    run.largestGap = 0;

    // The server threw 300 ms away: the next block is placed where it is measured, and the log says so.
    card.skip(14400);
    stamper.resynchronize();
    run.play(card, stamper, 2.5);
    ASSERT_EQ(static_cast<int64_t>(run.notes.size()), heldNotes + 1);
    EXPECT_TRUE(run.notes.back().startsWith(QStringLiteral("sound timeline moved by 30")));
    EXPECT_NEAR(endOf(run.blocks.back()), card.nextFrameAt(), 2 * millisecond);
}

TEST(AudioTimestamper, aCardThatDriftsIsFollowedByStretchingWithinATenthOfAPercent)
{
    for (double ppm : {100.0, -100.0, 300.0}) {
        SCOPED_TRACE(ppm);
        SimulatedSoundCard card;
        card.driftPartsPerMillion = ppm;
        card.jitter = 3 * millisecond;
        AudioTimestamper stamper{48000, 2};
        StampedRun run;
        int64_t worst = 0;
        while (card.elapsedSeconds() < 600) {
            const SimulatedSoundCard::Read read = card.next();
            run.take(stamper.feed(read.now, read.reportedLatency, read.samples.data(), read.frames), stamper);
            if (!run.blocks.empty() && card.elapsedSeconds() > 1) {
                worst = std::max<int64_t>(worst, std::llabs(endOf(run.blocks.back()) - card.nextFrameAt()));
            }
        }
        EXPECT_LE(run.largestGap, 1);
        EXPECT_LE(run.largestStretch, 0.001);
        EXPECT_LT(worst, 16 * millisecond) << "within a frame of the host clock all along";
        EXPECT_EQ(run.notes.size(), 1u);
    }
}

TEST(AudioTimestamper, soundThatStopsComingKeepsItsPlaceWhileLateReadsMoveNothing)
{
    // Table: how long no sound came (nobody reported a hole), and how late reads come.
    struct Row {
        double breakSeconds;
        int64_t jitter;
    };
    for (const Row& row : {Row{1.0, 3 * millisecond}, Row{0.4, 0}, Row{0, 60 * millisecond}, Row{0, 150 * millisecond}}) {
        SCOPED_TRACE(testing::Message() << row.breakSeconds << " s, jitter " << row.jitter / millisecond);
        SimulatedSoundCard card;
        card.jitter = row.jitter;
        AudioTimestamper stamper{48000, 2};
        StampedRun run;
        run.play(card, stamper, 3);
        ASSERT_TRUE(stamper.settled());
        const size_t before = run.blocks.size();
        card.skip(std::llround(row.breakSeconds * 48000));
        run.play(card, stamper, 6);
        ASSERT_GT(run.blocks.size(), before);
        const int64_t step = startOf(run.blocks[before]) - endOf(run.blocks[before - 1]);
        if (row.breakSeconds > 0) {
            EXPECT_NEAR(step, std::llround(row.breakSeconds * 1000) * millisecond, row.jitter + millisecond) << "the next block sits where it was heard";
            EXPECT_NEAR(endOf(run.blocks.back()), card.nextFrameAt(), row.jitter + 2 * millisecond) << "and so does all that follows";
            ASSERT_EQ(run.notes.size(), 2u);
            EXPECT_NEAR(movedBy(run.notes.back()), row.breakSeconds * 1000, 4);
            EXPECT_TRUE(run.notes.back().endsWith(QStringLiteral("after a break in the sound"))) << run.notes.back().toStdString();
        } else {
            EXPECT_LE(run.largestGap, 1) << "late reads never step the timeline";
            EXPECT_EQ(run.notes.size(), 1u);
        }
    }
}

TEST(AudioTimestamper, aStreamMovedToAnotherSourceSettlesAgainAndItsSoundKeepsItsPlace)
{
    // The take's microphone is unplugged 3 s in: the server moves the stream to another one, whose first
    // sound comes 0.9 s later, with a latency reported stuck high before it falls to its real 25 ms.
    SimulatedSoundCard card;
    card.jitter = 2 * millisecond;
    AudioTimestamper stamper{48000, 2};
    StampedRun run;
    run.play(card, stamper, 3);
    ASSERT_TRUE(stamper.settled());
    const size_t before = run.blocks.size();
    const double movedAt = card.elapsedSeconds();
    stamper.resettle(QStringLiteral("the stream moved to desk_mic"));
    card.skip(43200);
    const int64_t firstHeardAt = card.nextFrameAt();
    card.trueLatency = 25 * millisecond;
    card.reportedLatency = [movedAt](double t) {
        return t < movedAt ? 10 * millisecond : SimulatedSoundCard::settling(300 * millisecond, 25 * millisecond, movedAt + 1.4, movedAt + 2.0)(t);
    };
    run.play(card, stamper, 4.5);
    EXPECT_EQ(run.blocks.size(), before) << "held while the new source's latency settles";
    run.play(card, stamper, 10);
    ASSERT_GT(run.blocks.size(), before);
    EXPECT_NEAR(startOf(run.blocks[before]), firstHeardAt, 3 * millisecond);
    EXPECT_NEAR(endOf(run.blocks.back()), card.nextFrameAt(), 3 * millisecond);
    for (size_t i = before + 1; i < run.blocks.size(); ++i)
        ASSERT_LE(std::llabs(startOf(run.blocks[i]) - endOf(run.blocks[i - 1])), 1) << "one gap, at the move";
    ASSERT_EQ(run.notes.size(), 2u);
    EXPECT_TRUE(run.notes.back().startsWith(QStringLiteral("sound timeline moved by"))) << run.notes.back().toStdString();
    EXPECT_NEAR(movedBy(run.notes.back()), 900, 3);
    EXPECT_TRUE(run.notes.back().contains(QStringLiteral("after the stream moved to desk_mic; sound latency settled"))) << run.notes.back().toStdString();

    // Stopped while it settles again: what was heard is released in place.
    stamper.resettle(QStringLiteral("the source woke"));
    const size_t held = run.blocks.size();
    const int64_t heardAt = card.nextFrameAt();
    run.play(card, stamper, 10.5);
    EXPECT_EQ(run.blocks.size(), held);
    run.take(stamper.flush(), stamper);
    ASSERT_GT(run.blocks.size(), held);
    EXPECT_NEAR(startOf(run.blocks[held]), heardAt, 3 * millisecond);
}

TEST(AudioTimestamper, aReadingThreadHeldUpKeepsItsSoundInPlaceWhetherItsLatencyCountsTheWaitOrNot)
{
    // Table: how long the reads stopped, and whether the reported latency grows by the sound that waited (a
    // microphone's) or stays (the system sound's, which counts only what reached the client).
    struct Row {
        double heldSeconds;
        bool waitCounts;
    };
    for (const Row& row : {Row{0.25, false}, Row{0.4, false}, Row{1, false}, Row{10, false}, Row{0.25, true}, Row{0.4, true}, Row{1, true},
             Row{10, true}}) {
        SCOPED_TRACE(testing::Message() << row.heldSeconds << " s, latency " << (row.waitCounts ? "grows" : "stays"));
        SimulatedSoundCard card;
        card.jitter = 3 * millisecond;
        AudioTimestamper stamper{48000, 2};
        StampedRun run;
        run.play(card, stamper, 3);
        ASSERT_TRUE(stamper.settled());
        const size_t before = run.blocks.size();
        const int64_t firstAfter = card.nextFrameAt();
        card.holdUp(std::llround(row.heldSeconds * 1e9), row.waitCounts);
        run.play(card, stamper, 3 + row.heldSeconds + 4);
        ASSERT_GT(run.blocks.size(), before);
        EXPECT_NEAR(startOf(run.blocks[before]), firstAfter, 4 * millisecond) << "the sound that waited sits where it was heard";
        EXPECT_LE(run.largestGap, 1) << "nothing was lost, so nothing steps";
        EXPECT_NEAR(endOf(run.blocks.back()), card.nextFrameAt(), 5 * millisecond) << "and what follows is in step";
        for (const QString& note : run.notes)
            EXPECT_FALSE(note.contains(QStringLiteral("moved"))) << note.toStdString();
    }
}

TEST(AudioTimestamper, aHoldUpLongerThanTheServerKeepsStepsWhereTheSoundCameAgainAndAStopMidBurstKeepsEveryBlock)
{
    // 12 s without a read; the server kept the first 10 s and lost what came until the reads went on.
    SimulatedSoundCard card;
    card.jitter = 3 * millisecond;
    AudioTimestamper stamper{48000, 2};
    StampedRun run;
    run.play(card, stamper, 3);
    const size_t before = run.blocks.size();
    const int64_t heldFrom = card.nextFrameAt();
    card.holdUp(12'000 * millisecond, false, 10.0);
    run.play(card, stamper, 20);
    ASSERT_GT(run.blocks.size(), before);
    EXPECT_NEAR(startOf(run.blocks[before]), heldFrom, 4 * millisecond) << "what the server kept sits where it was heard";
    EXPECT_NEAR(endOf(run.blocks.back()), card.nextFrameAt(), 5 * millisecond) << "and what came after the loss too";
    size_t steps = 0;
    for (size_t i = before + 1; i < run.blocks.size(); ++i) {
        const int64_t gap = startOf(run.blocks[i]) - endOf(run.blocks[i - 1]);
        if (std::llabs(gap) > 1) {
            ++steps;
            EXPECT_NEAR(gap, 2000 * millisecond, 15 * millisecond);
            EXPECT_NEAR(endOf(run.blocks[i - 1]) - heldFrom, 10'000 * millisecond, 15 * millisecond) << "the gap is where the sound was lost";
        }
    }
    EXPECT_EQ(steps, 1u);
    ASSERT_FALSE(run.notes.empty());
    EXPECT_TRUE(run.notes.back().endsWith(QStringLiteral("after a break in the sound"))) << run.notes.back().toStdString();
    EXPECT_NEAR(movedBy(run.notes.back()), 2000, 15);

    // Stopped while the sound that waited through a hold-up is still coming: all of it goes out, in place.
    const size_t held = run.blocks.size();
    const int64_t waitedFrom = card.nextFrameAt();
    card.holdUp(1000 * millisecond, false);
    for (int read = 0; read < 20; ++read) {
        const SimulatedSoundCard::Read next = card.next();
        run.take(stamper.feed(next.now, next.reportedLatency, next.samples.data(), next.frames), stamper);
    }
    EXPECT_EQ(run.blocks.size(), held) << "late blocks are held while the reads catch up";
    run.take(stamper.flush(), stamper);
    ASSERT_EQ(run.blocks.size(), held + 20);
    EXPECT_NEAR(startOf(run.blocks[held]), waitedFrom, 4 * millisecond);
    EXPECT_NEAR(endOf(run.blocks.back()) - startOf(run.blocks[held]), 200 * millisecond, 1) << "by count: nothing is known lost";
}

TEST(AudioTimestamper, soundSettledAgainAfterItsReadsStoppedNeverGoesBeforeWhatWasGivenOut)
{
    // The microphone settles again when its reads stopped a while; whatever its first measurements say after,
    // its sound lands after what was given out and in step once settled. Table: how long the reads stopped,
    // how much of it the server kept, and how early the first measurements after it come.
    struct Row {
        double heldSeconds;
        double keptSeconds;
        int64_t early;
    };
    for (const Row& row : {Row{0.5, 1e9, 0}, Row{10, 1e9, 0}, Row{60, 10.9, 0}, Row{0.5, 1e9, 3 * millisecond}}) {
        SCOPED_TRACE(testing::Message() << row.heldSeconds << " s held, " << row.keptSeconds << " s kept");
        SimulatedSoundCard card;
        card.jitter = 2 * millisecond;
        AudioTimestamper stamper{48000, 2};
        StampedRun run;
        run.play(card, stamper, 3);
        const size_t before = run.blocks.size();
        const double heldAt = card.elapsedSeconds();
        card.holdUp(std::llround(row.heldSeconds * 1e9), true, row.keptSeconds);
        card.reportedLatency = [heldAt, early = row.early](double t) { return 10 * millisecond + (t < heldAt + 3 ? early : 0); };
        stamper.resettle(QStringLiteral("no block was read"));
        run.play(card, stamper, 3 + row.heldSeconds + 5);
        ASSERT_GT(run.blocks.size(), before);
        for (size_t i = before; i < run.blocks.size(); ++i)
            ASSERT_GE(startOf(run.blocks[i]) - endOf(run.blocks[i - 1]), -1) << "block " << i << " overlaps the one before";
        EXPECT_NEAR(endOf(run.blocks.back()), card.nextFrameAt(), 4 * millisecond);
    }
}

TEST(AudioTimestamper, onlyLatenessThatStaysLevelOverReadsInRealTimeStepsTheTimeline)
{
    // What happens 3 s into a steady stream: the reads stop a while (the sound waits in the server), the reads
    // run a while (a burst), or the source sends nothing a while (a break nobody reports).
    struct Event {
        enum Kind { stopped, running, silent } kind;
        double seconds;
        double keptSeconds = 1e9;
    };
    // Table: the lateness's shape, the events, how long a read of a burst takes, how long to play in all,
    // the sound lost, and where (seconds of sound after the events began) the step may lie.
    struct Row {
        const char* shape;
        std::vector<Event> events;
        int64_t readCost;
        double playSeconds;
        double lostSeconds;
        double stepFrom = 0;
        double stepTo = 0;
        // Reads of two tenths of a second in three come this much later from the events on (a busy machine).
        int64_t busy = 0;
    };
    using E = Event;
    const int64_t fast = 20'000;
    for (const Row& row : {
             Row{"a real break", {E{E::silent, 1.0}}, fast, 8, 1.0, 0, 0},
             Row{"a level plateau after what the server kept", {E{E::stopped, 12, 10}}, fast, 20, 2.0, 10, 10},
             Row{"a rise during the drain: 10 s / 1 ms / 1 s", {E{E::stopped, 10}, E{E::running, 0.001}, E{E::stopped, 1}}, fast, 20, 0},
             Row{"two hold-ups, a slower drain: 10 s / 20 ms / 1 s", {E{E::stopped, 10}, E{E::running, 0.02}, E{E::stopped, 1}}, 2'000'000, 22, 0},
             Row{"two hold-ups: 5 s / 5 ms / 1 s", {E{E::stopped, 5}, E{E::running, 0.005}, E{E::stopped, 1}}, fast, 14, 0},
             Row{"three hold-ups: 10 s / 1 ms / 1 s / 1 ms / 1 s",
                 {E{E::stopped, 10}, E{E::running, 0.001}, E{E::stopped, 1}, E{E::running, 0.001}, E{E::stopped, 1}}, fast, 22, 0},
             Row{"three hold-ups past the time limit: 5 s / 5 ms / 1 s / 5 ms / 2.5 s",
                 {E{E::stopped, 5}, E{E::running, 0.005}, E{E::stopped, 1}, E{E::running, 0.005}, E{E::stopped, 2.5}}, fast, 18, 0},
             Row{"a slow drain past the time limit", {E{E::stopped, 10}}, 6'000'000, 45, 0},
             Row{"a break inside a drain", {E{E::stopped, 5}, E{E::running, 0.002}, E{E::silent, 1}}, fast, 14, 1.0, 1.0, 5.0},
             Row{"hold-ups every half second past the time limit",
                 {E{E::stopped, 1}, E{E::running, 0.001}, E{E::stopped, 0.6}, E{E::running, 0.001}, E{E::stopped, 0.6},
                     E{E::running, 0.001}, E{E::stopped, 0.6}, E{E::running, 0.001}, E{E::stopped, 0.6}, E{E::running, 0.001},
                     E{E::stopped, 0.6}, E{E::running, 0.001}, E{E::stopped, 0.6}, E{E::running, 0.001}, E{E::stopped, 0.6}},
                 fast, 14, 0},
             Row{"a break on a busy machine, never three tenths level", {E{E::silent, 1.0}}, fast, 12, 1.0, 0, 0.2, 40 * millisecond},
         }) {
        SCOPED_TRACE(row.shape);
        SimulatedSoundCard card;
        card.jitter = 3 * millisecond;
        card.readCost = row.readCost;
        AudioTimestamper stamper{48000, 2};
        StampedRun run;
        run.play(card, stamper, 3);
        ASSERT_TRUE(stamper.settled());
        const size_t before = run.blocks.size();
        const int64_t heardFrom = card.nextFrameAt();
        if (row.busy > 0) {
            card.delay = [busy = row.busy](double t) { return static_cast<int64_t>(t * 10) % 3 == 0 ? 0 : busy; };
        }
        for (const Event& event : row.events) {
            if (event.kind == Event::stopped)
                card.holdUp(std::llround(event.seconds * 1e9), false, event.keptSeconds);
            else if (event.kind == Event::running)
                run.runFor(card, stamper, std::llround(event.seconds * 1e9));
            else
                card.skip(std::llround(event.seconds * 48000));
        }
        run.play(card, stamper, row.playSeconds);
        run.take(stamper.flush(), stamper);

        ASSERT_GT(run.blocks.size(), before);
        if (row.events.front().kind != Event::silent)
            EXPECT_NEAR(startOf(run.blocks[before]), heardFrom, 4 * millisecond) << "the sound that waited sits where it was heard";
        EXPECT_NEAR(endOf(run.blocks.back()), card.nextFrameAt(), 5 * millisecond) << "and the last is in step";
        int64_t given = 0;
        for (const MediaSample& block : run.blocks)
            given += block.audio->frameCount();
        EXPECT_NEAR(given, run.framesRead, run.framesRead / 1000 + 480) << "every frame read is given out";
        std::vector<std::pair<double, int64_t>> steps; // seconds of sound after `heardFrom`, and the gap
        for (size_t i = before; i < run.blocks.size(); ++i) {
            const int64_t gap = startOf(run.blocks[i]) - endOf(run.blocks[i - 1]);
            if (std::llabs(gap) > 1)
                steps.emplace_back(static_cast<double>(endOf(run.blocks[i - 1]) - heardFrom) / 1e9, gap);
        }
        if (row.lostSeconds == 0) {
            EXPECT_TRUE(steps.empty()) << steps.size() << " steps, the first of " << steps.front().second / millisecond << " ms at "
                                       << steps.front().first << " s";
            for (const QString& note : run.notes)
                EXPECT_FALSE(note.contains(QStringLiteral("moved"))) << note.toStdString();
            continue;
        }
        ASSERT_EQ(steps.size(), 1u);
        EXPECT_NEAR(steps[0].second, std::llround(row.lostSeconds * 1000) * millisecond, 15 * millisecond);
        EXPECT_GE(steps[0].first, row.stepFrom - 0.015) << "no sound that came before the loss moves";
        EXPECT_LE(steps[0].first, row.stepTo + 0.015);
        EXPECT_TRUE(run.notes.back().endsWith(QStringLiteral("after a break in the sound"))) << run.notes.back().toStdString();
    }
}
