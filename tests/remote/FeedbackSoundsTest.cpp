#include "platform/audio/FeedbackSounds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

TEST(FeedbackSoundsTest, EachSoundIsShortQuietAndStartsAndEndsAtSilence)
{
    for (const char* name : {"Funk", "Basso", "Pop", "Tink"}) {
        const auto samples = FeedbackSounds::synthesize(QString::fromLatin1(name));
        ASSERT_FALSE(samples.empty()) << name;
        EXPECT_LT(samples.size(), static_cast<size_t>(FeedbackSounds::sampleRate / 2)) << name;
        float peak = 0;
        for (float s : samples) {
            ASSERT_TRUE(std::isfinite(s));
            peak = std::max(peak, std::abs(s));
        }
        EXPECT_GT(peak, 0.05f) << name;
        EXPECT_LT(peak, 0.5f) << name;
        EXPECT_LT(std::abs(samples.front()), 1e-3f) << name;
        EXPECT_LT(std::abs(samples.back()), 1e-3f) << name;
    }
}

} // namespace
