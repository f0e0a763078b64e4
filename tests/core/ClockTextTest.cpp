#include "takedata/ClockText.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using Form = ClockText::Form;

TEST(ClockText, EachFormUnderAMinuteInMinutesAndFromAnHour)
{
    const struct {
        double seconds;
        const char* hours;
        const char* padded;
        const char* minutes;
        const char* ofTheHour;
    } cases[] = {
        {0, "00:00", "00:00", "0:00", "00:00"},
        {59.99, "00:59", "00:59", "0:59", "00:59"},
        {65.9, "01:05", "01:05", "1:05", "01:05"},
        {3599.99, "59:59", "59:59", "59:59", "59:59"},
        {3600, "1:00:00", "60:00", "60:00", "00:00"},
        {3661, "1:01:01", "61:01", "61:01", "01:01"},
        {86400, "24:00:00", "1440:00", "1440:00", "00:00"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ClockText::format(c.seconds, Form::hoursFromAnHour), QString::fromLatin1(c.hours)) << c.seconds;
        EXPECT_EQ(ClockText::format(c.seconds, Form::paddedMinutes), QString::fromLatin1(c.padded)) << c.seconds;
        EXPECT_EQ(ClockText::format(c.seconds, Form::minutes), QString::fromLatin1(c.minutes)) << c.seconds;
        EXPECT_EQ(ClockText::format(c.seconds, Form::minutesOfTheHour), QString::fromLatin1(c.ofTheHour)) << c.seconds;
    }
}

TEST(ClockText, NegativeAndNonFiniteSecondsShowZero)
{
    const double zeros[] = {-1, -0.5, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity()};
    for (const double seconds : zeros) {
        EXPECT_EQ(ClockText::format(seconds, Form::hoursFromAnHour), QStringLiteral("00:00")) << seconds;
        EXPECT_EQ(ClockText::format(seconds, Form::paddedMinutes), QStringLiteral("00:00")) << seconds;
        EXPECT_EQ(ClockText::format(seconds, Form::minutes), QStringLiteral("0:00")) << seconds;
        EXPECT_EQ(ClockText::format(seconds, Form::minutesOfTheHour), QStringLiteral("00:00")) << seconds;
    }
    // Far beyond any take: still a clock, not an overflow.
    EXPECT_TRUE(ClockText::format(1e300, Form::hoursFromAnHour).endsWith(QStringLiteral(":00")));
}

} // namespace
