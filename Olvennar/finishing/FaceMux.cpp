#include "finishing/FaceMux.h"

#include "platform/media/MovieAsset.h"
#include "platform/media/Remux.h"
#include "platform/system/AtomicFile.h"
#include "platform/system/Diagnostics.h"

#include <QFile>
#include <QFileInfo>


namespace FaceMux {

QString Failure::description() const
{
    switch (kind) {
    case Kind::exportFailed: return QStringLiteral("face.mov export failed: ") + detail;
    case Kind::verifyFailed: return QStringLiteral("face.mov did not match camera.mov: ") + detail;
    case Kind::noCameraVideo: return QStringLiteral("camera.mov has no video track");
    case Kind::noMic: return QStringLiteral("raw.mov has no audio track");
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

Outcome write(const QString& cameraURL, const QString& rawURL, const QString& destination, bool keepCamera)
{
    auto cameraOpened = MovieAsset::open(cameraURL);
    if (auto* failure = std::get_if<MediaError>(&cameraOpened))
        return *failure;
    const MovieAsset& camera = std::get<MovieAsset>(cameraOpened);
    const MovieTrack* cameraVideo = camera.firstTrack(MovieTrack::MediaType::video);
    if (!cameraVideo)
        return Failure {Failure::Kind::noCameraVideo, {}};
    auto rawOpened = MovieAsset::open(rawURL);
    if (auto* failure = std::get_if<MediaError>(&rawOpened))
        return *failure;
    const MovieTrack* mic = std::get<MovieAsset>(rawOpened).firstTrack(MovieTrack::MediaType::audio);
    if (!mic)
        return Failure {Failure::Kind::noMic, {}};

    const MediaSpan cameraSpan = mediaSpan(*cameraVideo);
    // The camera keeps its own place in time; the microphone runs from the start of the take.
    const QString work = AtomicFile::hiddenSibling(destination, QStringLiteral("facemux"));
    const std::vector<Remux::Insert> inserts {
        {cameraURL, cameraVideo->index, cameraSpan.start, cameraSpan.length, cameraSpan.start},
        {rawURL, mic->index, MediaTime::zero(), mic->end(), MediaTime::zero()},
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

    // One rename swaps the checked file in: an old face file is never removed before the new one is in place.
    if (auto failure = AtomicFile::replace(work, destination)) {
        QFile::remove(work);
        return MediaError {QStringLiteral("could not move the face file into place: ") + *failure, 0};
    }
    if (!keepCamera)
        QFile::remove(cameraURL);
    Diagnostics::log(QString::asprintf("face.mov: %s camera from %.2fs, %.1fs + mic (camera.mov %s)",
        qUtf8Printable(QFileInfo(destination).fileName()), cameraSpan.start.seconds(), cameraSpan.length.seconds(),
        keepCamera ? "kept" : "removed"));
    return destination;
}

} // namespace FaceMux
