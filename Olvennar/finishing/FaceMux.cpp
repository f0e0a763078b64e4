#include "finishing/FaceMux.h"

#include "platform/media/MovieAsset.h"
#include "platform/media/Remux.h"
#include "platform/system/AtomicFile.h"
#include "platform/system/Diagnostics.h"

#include <QFile>
#include <QFileInfo>

#include <optional>
#include <utility>


namespace FaceMux {

QString Failure::description() const
{
    switch (kind) {
    case Kind::exportFailed: return QStringLiteral("face.mov export failed: ") + detail;
    case Kind::verifyFailed: return QStringLiteral("face.mov did not match camera.mov: ") + detail;
    case Kind::noCameraVideo: return QStringLiteral("camera.mov has no video track");
    case Kind::noMic: return QStringLiteral("raw.mov has no audio track");
    case Kind::takeGone: return detail + QStringLiteral(" was deleted or replaced after the take stopped");
    }
    return {};
}

MediaSpan mediaSpan(const MovieTrack& track)
{
    const MediaTime start = track.mediaStart();
    return {start, track.end() - start};
}

bool spansMatch(const MediaSpan& face, const MediaSpan& camera)
{
    // Exact rational differences, so a difference of exactly 1/24 s fails whatever the timescales.
    const MediaTime tolerance(1, 24);
    auto close = [&](const MediaTime& a, const MediaTime& b) {
        const MediaTime difference = a > b ? a - b : b - a;
        return difference.isNumeric() && difference < tolerance;
    };
    return close(face.start, camera.start) && close(face.length, camera.length);
}

namespace {

// The first of the take's movies its name no longer names.
std::optional<QString> firstGone(const Own& own, const QString& cameraURL, const QString& rawURL)
{
    for (const auto& [held, path] : {std::pair{own.camera, cameraURL}, std::pair{own.raw, rawURL}}) {
        if (held && !held->isAt(path))
            return QFileInfo(path).fileName();
    }
    return std::nullopt;
}

} // namespace

Outcome write(const QString& cameraURL, const QString& rawURL, const QString& destination, bool keepCamera, const Own& own,
    std::shared_ptr<const HeldFile>* written)
{
    // Read through what the take holds: a file put at their names since is another take's.
    const QString cameraRead = own.camera ? own.camera->throughDescriptor() : cameraURL;
    const QString rawRead = own.raw ? own.raw->throughDescriptor() : rawURL;
    auto cameraOpened = MovieAsset::open(cameraRead);
    if (auto* failure = std::get_if<MediaError>(&cameraOpened))
        return *failure;
    const MovieAsset& camera = std::get<MovieAsset>(cameraOpened);
    const MovieTrack* cameraVideo = camera.firstTrack(MovieTrack::MediaType::video);
    if (!cameraVideo)
        return Failure {Failure::Kind::noCameraVideo, {}};
    auto rawOpened = MovieAsset::open(rawRead);
    if (auto* failure = std::get_if<MediaError>(&rawOpened))
        return *failure;
    const MovieTrack* mic = std::get<MovieAsset>(rawOpened).firstTrack(MovieTrack::MediaType::audio);
    if (!mic)
        return Failure {Failure::Kind::noMic, {}};

    const MediaSpan cameraSpan = mediaSpan(*cameraVideo);
    // The camera keeps its own place in time; the microphone runs from the start of the take.
    const QString work = AtomicFile::hiddenSibling(destination, QStringLiteral("facemux"));
    const std::vector<Remux::Insert> inserts {
        {cameraRead, cameraVideo->index, cameraSpan.start, cameraSpan.length, cameraSpan.start},
        {rawRead, mic->index, MediaTime::zero(), mic->end(), MediaTime::zero()},
    };
    if (auto failure = Remux::write(work, inserts, {MovieFileType::quickTimeMovie, QStringLiteral("facemux")})) {
        QFile::remove(work);
        return Failure {Failure::Kind::exportFailed, failure->description};
    }

    auto faceOpened = MovieAsset::open(work);
    if (auto* failure = std::get_if<MediaError>(&faceOpened)) {
        QFile::remove(work);
        return *failure;
    }
    const MovieAsset& face = std::get<MovieAsset>(faceOpened);
    const MovieTrack* faceVideo = face.firstTrack(MovieTrack::MediaType::video);
    if (!faceVideo || !face.firstTrack(MovieTrack::MediaType::audio)) {
        QFile::remove(work);
        return Failure {Failure::Kind::verifyFailed, QStringLiteral("a track is missing")};
    }
    const MediaSpan faceSpan = mediaSpan(*faceVideo);
    if (!spansMatch(faceSpan, cameraSpan)) {
        QFile::remove(work);
        return Failure {Failure::Kind::verifyFailed,
            QString::asprintf("start %.3f vs %.3f, length %.3f vs %.3f", faceSpan.start.seconds(), cameraSpan.start.seconds(),
                faceSpan.length.seconds(), cameraSpan.length.seconds())};
    }

    // Right before the face file goes in: a take whose movies were deleted or replaced meanwhile is gone, and
    // the files at their names now are another take's, filmed under the same name.
    if (const std::optional<QString> gone = firstGone(own, cameraURL, rawURL)) {
        QFile::remove(work);
        return Failure {Failure::Kind::takeGone, *gone};
    }
    std::shared_ptr<const HeldFile> made = HeldFile::hold(work);
    // One rename swaps the checked file in: an old face file is never removed before the new one is in place.
    if (auto failure = AtomicFile::replace(work, destination)) {
        QFile::remove(work);
        return MediaError {QStringLiteral("could not move the face file into place: ") + *failure, 0};
    }
    if (written)
        *written = std::move(made);
    // Only the take's own camera movie goes.
    const bool removeCamera = !keepCamera && (!own.camera || own.camera->isAt(cameraURL));
    if (removeCamera)
        QFile::remove(cameraURL);
    Diagnostics::log(QString::asprintf("face.mov: %s camera from %.2fs, %.1fs + mic (camera.mov %s)",
        qUtf8Printable(QFileInfo(destination).fileName()), cameraSpan.start.seconds(), cameraSpan.length.seconds(),
        removeCamera ? "removed" : keepCamera ? "kept" : "left: not the take's own"));
    return destination;
}

} // namespace FaceMux
