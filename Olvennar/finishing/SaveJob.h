#pragma once

#include "finishing/FinishingTools.h"
#include "finishing/SaveJobHandover.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

// The file work of a stopped screen take's save, apart from the rows and the render queue it feeds.
namespace SaveJob {

// Seconds the remote button's reach takes off a take's tail.
inline constexpr double remoteTailSeconds = 1.5;

struct Outcome {
    // The face file after step one: muxed now, or left by an earlier attempt.
    std::optional<QString> facePath;
    // The face mux failed: nothing else was done.
    std::optional<ErrorInfo> failure;
    // The take's length as its description gives it.
    double duration = 0;
    // Said on the take's row when its description or a sidecar could not be written (a full disk): the movies stay.
    std::optional<QString> note;
    // What of the take's JSON files the disk still refuses, for the render to write first.
    HeldSidecars refused;
    // The take's files as the save leaves them: those the stop held, less the camera movie the face file took
    // in, with what the save wrote held from the moment it wrote it.
    HeldPieces pieces;
    // The take's file found deleted or replaced before the save wrote over or beside it: nothing more was done.
    std::optional<QString> lost;
};

// In order: the sidecars the stop could not write, the face file, the tail trim of a remote stop with its
// stop record, and the take description. `now` stamps "recorded_at". A retry runs the same hand-over again.
// Before each step the take's raw must still be the one the stop held; the face mux and the trim read the
// take's movies through what they are and replace or remove only those.
QCoro::Task<Outcome> saveFiles(std::shared_ptr<FinishingTools> tools, SaveJobHandover job, std::function<QDateTime()> now);

// The hand-over's files directly in the folder `from`, named in `to` instead.
void move(SaveJobHandover& job, const QString& from, const QString& to);

// The take description's "duration": what the stop measured less what the trim really cut.
double describedDuration(double duration, std::optional<FinishingTools::TrimResult> trim);

} // namespace SaveJob
