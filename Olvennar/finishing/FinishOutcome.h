#pragma once

#include <QString>

#include <optional>

// What a finished movie holds of its take, said when it is not all of it.
namespace FinishOutcome {

// A final more than half a second shorter than the recorded take:
// "Finished the first 0:12 of 0:20 — the rest of raw.mov could not be read". Nothing when all of it is
// there or the recorded length is unknown (0).
std::optional<QString> shortNote(double finishedSeconds, double recordedSeconds, const QString& rawName);

} // namespace FinishOutcome
