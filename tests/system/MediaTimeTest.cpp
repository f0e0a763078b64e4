#include "platform/system/MediaTime.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(MediaTimeTest, ArithmeticIsExactAcrossTimescales)
{
    const MediaTime a(1, 3); // 1/3 s
    const MediaTime b(1, 6); // 1/6 s
    EXPECT_EQ(a + b, MediaTime(1, 2));
    EXPECT_EQ(a - b, MediaTime(1, 6));
    // 90 kHz video against 48 kHz audio: 3003/90000 − 1600/48000 = 1001/30000 − 1/30 = 1/30000 s exactly.
    EXPECT_EQ(MediaTime(3003, 90000) - MediaTime(1600, 48000), MediaTime(1, 30000));
}

TEST(MediaTimeTest, NanosecondHostTimesDoNotOverflow)
{
    // A monotonic clock after 100 days of uptime.
    const MediaTime host = MediaTime::fromNanoseconds(8'640'000'000'000'000);
    const MediaTime later = host + MediaTime(1, 48000);
    // Timescales without a common multiple in 32 bits meet at the finer one: exact to the nanosecond.
    EXPECT_NEAR((later - host).seconds(), 1.0 / 48000, 1e-9);
    EXPECT_EQ(*MediaTime(3, 2).valueIn(90000), 135000);
}

} // namespace
