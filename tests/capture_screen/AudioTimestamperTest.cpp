#include "platform/audio/AudioTimestamper.h"

#include "support/SimulatedSoundCard.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr int64_t millisecond = 1'000'000;

int64_t startOf(const MediaSample& block) { return block.presentationTime().valueIn(1'000'000'000).value_or(0); }
int64_t endOf(const MediaSample& block) { return startOf(block) + block.audio->frameCount() * 1'000'000'000 / 48000; }

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
        while (card.elapsedSeconds() < seconds) {
            const SimulatedSoundCard::Read read = card.next();
            take(stamper.feed(read.now, read.reportedLatency, read.samples.data(), read.frames), stamper);
        }
    }
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
