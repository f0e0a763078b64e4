#pragma once

#include "platform/media/MediaError.h"
#include "platform/system/ErrorInfo.h"
#include "platform/system/MediaTime.h"

#include <QString>

#include <variant>

struct MovieTrack;

// Turns the take's camera movie (video only) into the face file: the camera video with the screen
// recording's microphone, copied without re-encoding, checked against the camera before it replaces anything.
namespace FaceMux {

struct Failure {
    enum class Kind { exportFailed, verifyFailed, noCameraVideo, noMic };
    Kind kind = Kind::exportFailed;
    QString detail;

    QString description() const;
    ErrorInfo info() const { return {QStringLiteral("Olvennar.FaceMux.Failure"), static_cast<int>(kind), description()}; }
};

// Where a track's media really lies on the movie timeline: after any opening empty edit, never before 0.
struct MediaSpan {
    MediaTime start;
    MediaTime length;
};
MediaSpan mediaSpan(const MovieTrack& track);
// The face file's video counts as the camera's when both start and length differ by less than 1/24 s.
bool spansMatch(const MediaSpan& face, const MediaSpan& camera);

// The destination on success; a Failure, or the media layer's error when a movie cannot be opened or the
// work file cannot be moved into place. Blocking: run it off the main thread. Whatever fails, the old
// destination and the camera movie stay as they were and no work file is left behind.
using Outcome = std::variant<QString, Failure, MediaError>;
Outcome write(const QString& cameraURL, const QString& rawURL, const QString& destination, bool keepCamera);

} // namespace FaceMux
