#pragma once

#include <QString>

// A take's length as the clock texts the studio shows: whole seconds, rounded down; negative, infinite or
// not-a-number seconds show zero. The forms differ only in the minutes and from an hour on.
namespace ClockText {

enum class Form {
    hoursFromAnHour, // "00:59", "59:59", "1:00:00"
    paddedMinutes,   // "00:59", "61:00": the minutes never roll into hours
    minutes,         // "0:59", "61:00"
    minutesOfTheHour, // "00:59", "01:00" at 1:01:00, for a timer that never runs near an hour
};

QString format(double seconds, Form form);

} // namespace ClockText
