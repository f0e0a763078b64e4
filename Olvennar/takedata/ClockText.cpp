#include "takedata/ClockText.h"

#include <algorithm>
#include <cmath>

namespace ClockText {

QString format(double seconds, Form form)
{
    // The cap lies beyond any real take and keeps the integer conversion defined.
    const qint64 whole = std::isfinite(seconds) && seconds > 0 ? static_cast<qint64>(std::min(seconds, 9.0e15)) : 0;
    const qint64 minutes = whole / 60;
    const qint64 rest = whole % 60;
    switch (form) {
    case Form::hoursFromAnHour:
        if (whole >= 3600)
            return QString::asprintf("%lld:%02lld:%02lld", whole / 3600, minutes % 60, rest);
        break;
    case Form::paddedMinutes:
        break;
    case Form::minutes:
        return QString::asprintf("%lld:%02lld", minutes, rest);
    case Form::minutesOfTheHour:
        return QString::asprintf("%02lld:%02lld", minutes % 60, rest);
    }
    return QString::asprintf("%02lld:%02lld", minutes, rest);
}

} // namespace ClockText
