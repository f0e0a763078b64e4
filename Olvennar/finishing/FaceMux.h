#pragma once

#include "platform/media/MediaError.h"
#include "platform/system/ErrorInfo.h"
#include "platform/system/HeldFile.h"
#include "platform/system/MediaTime.h"

#include <QString>

#include <memory>
#include <variant>

struct MovieTrack;

// Turns the take's camera movie (video only) into the face file: the camera video with the screen
// recording's microphone, copied without re-encoding, checked against the camera before it replaces anything.
namespace FaceMux {

struct Failure {
    // takeGone: the movie named in `detail` was deleted or replaced while the face file was made.
    enum class Kind { exportFailed, verifyFailed, noCameraVideo, noMic, takeGone };
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

// The take's own camera and raw movies as its save holds them: each is read through what it is, and the face
// file goes in and the camera movie goes only while their names still name them; a file at such a name that
// is not the one held is another take's and stays as it is. A null one is whatever its name names.
struct Own {
    std::shared_ptr<const HeldFile> camera;
    std::shared_ptr<const HeldFile> raw;
};

// The destination on success; a Failure, or the media layer's error when a movie cannot be opened or the
// work file cannot be moved into place. Blocking: run it off the main thread. Whatever fails, the old
// destination and the camera movie stay as they were and no work file is left behind. `written`, when
// given, gets the face file as written, held from before it took its name.
using Outcome = std::variant<QString, Failure, MediaError>;
Outcome write(const QString& cameraURL, const QString& rawURL, const QString& destination, bool keepCamera, const Own& own = {},
    std::shared_ptr<const HeldFile>* written = nullptr);

} // namespace FaceMux
