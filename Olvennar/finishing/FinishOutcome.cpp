#include "finishing/FinishOutcome.h"

#include <cmath>

namespace FinishOutcome {

namespace {

// The shortfall a whole take never shows: a frame or two of rounding and the sound's last block.
constexpr double toleranceSeconds = 0.5;

// "0:12", "1:05", "61:00": whole seconds, rounded down.
QString clock(double seconds)
{
    const int whole = static_cast<int>(std::floor(std::max(seconds, 0.0)));
    return QString::asprintf("%d:%02d", whole / 60, whole % 60);
}

} // namespace

std::optional<QString> shortNote(double finishedSeconds, double recordedSeconds, const QString& rawName)
{
    if (!(recordedSeconds > 0) || !std::isfinite(recordedSeconds) || !(finishedSeconds < recordedSeconds - toleranceSeconds))
        return std::nullopt;
    return QStringLiteral("Finished the first ") + clock(finishedSeconds) + QStringLiteral(" of ") + clock(recordedSeconds)
        + QStringLiteral(" — the rest of ") + rawName + QStringLiteral(" could not be read");
}

} // namespace FinishOutcome
