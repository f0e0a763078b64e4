#include "platform/audio/AudioTimestamper.h"

#include <gtest/gtest.h>

#include <random>

namespace {

constexpr int64_t millisecond = 1'000'000;

// Blocks of 480 frames (10 ms at 48 kHz) whose true start is `truth(i)`, read late by up to `jitter`.
struct Stream {
    AudioTimestamper stamper{48000};
    std::mt19937 random{7};
    int64_t jitter = 0;

    int64_t read(int64_t trueStart, int64_t frames = 480)
    {
        const int64_t late = jitter > 0 ? std::uniform_int_distribution<int64_t>(0, jitter)(random) : 0;
        // Read `late` after the block ended; the server reports no latency.
        return stamper.stamp(trueStart + frames * 1'000'000'000 / 48000 + late, 0, frames);
    }
};

} // namespace

TEST(AudioTimestamper, jitterAndBurstsNeverMoveTheStampsOffTheSampleCount)
{
    Stream stream;
    stream.jitter = 25 * millisecond;
    const int64_t first = stream.read(1000 * millisecond);
    EXPECT_GE(first, 1000 * millisecond);
    EXPECT_LE(first, 1025 * millisecond);
    // Ten seconds of blocks, small ones among them as the server sometimes splits a fragment.
    int64_t frames = 480;
    for (int i = 1; i < 1200; ++i) {
        const int64_t size = i % 7 == 0 ? 4 : 480;
        const int64_t stamp = stream.read(1000 * millisecond + frames * 1'000'000'000 / 48000, size);
        EXPECT_EQ(stamp, first + frames * 1'000'000'000 / 48000) << "block " << i;
        EXPECT_EQ(stream.stamper.lastRealignment(), 0);
        frames += size;
    }
}

TEST(AudioTimestamper, aHoleIsSteppedOverAndAnOverflowOrALastingDriftRealigns)
{
    Stream stream;
    int64_t next = stream.read(0) + 10 * millisecond;
    stream.stamper.skip(2400); // the server reports 50 ms recorded as nothing
    next += 50 * millisecond;
    EXPECT_EQ(stream.read(next), next);
    next += 10 * millisecond;

    // After an overflow the next block is placed where it was measured.
    stream.stamper.resynchronize();
    EXPECT_EQ(stream.read(next + 300 * millisecond), next + 300 * millisecond);
    EXPECT_EQ(stream.stamper.lastRealignment(), 300 * millisecond);
    next += 310 * millisecond;

    // The sound card runs 40 ms behind the host clock from here on: a second of it is tolerated, the
    // second second moves the timeline once by the drift seen.
    int moves = 0;
    for (int i = 0; i < 300; ++i) {
        const int64_t stamp = stream.read(next + 40 * millisecond);
        if (stream.stamper.lastRealignment() != 0) {
            ++moves;
            EXPECT_EQ(stream.stamper.lastRealignment(), 40 * millisecond);
            next += 40 * millisecond;
        }
        EXPECT_EQ(stamp, next);
        next += 10 * millisecond;
    }
    EXPECT_EQ(moves, 1);
}
