#include "platform/audio/AudioTimestamper.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {
constexpr int64_t ms = 1'000'000;
}

TEST(AudioTimestamper, firstBlockStartsAtNowLessLatencyAndDurationThenAdvancesBySampleCount)
{
    AudioTimestamper stamps(48000);
    // 480 frames = 10 ms; read at 1000 ms with 5 ms latency: the block began at 985 ms.
    EXPECT_EQ(stamps.stamp(1000 * ms, 5 * ms, 480), 985 * ms);
    // Read 3 ms late: jitter does not reach the stamp beyond a 1/64 pull.
    const int64_t second = stamps.stamp(1013 * ms, 5 * ms, 480);
    EXPECT_EQ(second, 995 * ms + 3 * ms / 64);
    // 441 frames at 44.1 kHz add up to exact seconds over many blocks (no rounding drift).
    AudioTimestamper cd(44100);
    int64_t now = 10'000 * ms;
    const int64_t first = cd.stamp(now, 0, 441);
    int64_t last = first;
    for (int i = 1; i <= 1000; ++i) {
        now += 10 * ms;
        last = cd.stamp(now, 0, 441);
    }
    EXPECT_EQ(last - first, 10'000 * ms);
}

TEST(AudioTimestamper, followsASlowDriftAndRestartsAfterAGap)
{
    AudioTimestamper stamps(48000);
    // The card runs 0.1 % fast against the host clock: 480 frames every 9.99 ms.
    int64_t now = 0;
    int64_t stamp = 0;
    for (int i = 0; i < 3000; ++i) {
        now += 9'990'000;
        stamp = stamps.stamp(now, 2 * ms, 480);
    }
    const int64_t measured = now - 2 * ms - 10 * ms;
    EXPECT_LT(std::llabs(stamp - measured), 1 * ms);

    // A 200 ms hole (an overrun) restarts from the measurement instead of smearing it over seconds.
    now += 200 * ms;
    EXPECT_EQ(stamps.stamp(now, 2 * ms, 480), now - 12 * ms);
}
