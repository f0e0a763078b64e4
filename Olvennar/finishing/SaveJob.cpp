#include "finishing/SaveJob.h"

#include "finishing/PendingRender.h"
#include "finishing/TakeDescription.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace SaveJob {

void move(SaveJobHandover& job, const QString& from, const QString& to)
{
    PendingRender::move(job.request, from, to);
    if (job.faceURL)
        job.faceURL = HeldFolder::moved(*job.faceURL, from, to);
    for (QString* path : {&job.takeJSON, &job.previewURL, &job.stopSidecar})
        *path = HeldFolder::moved(*path, from, to);
    job.refusedSidecars.moveTo(from, to);
}

double describedDuration(double duration, std::optional<FinishingTools::TrimResult> trim)
{
    const double left = duration - (trim ? trim->trimmed : 0.0);
    return std::isfinite(left) ? std::max(left, 0.0) : 0.0;
}

QCoro::Task<Outcome> saveFiles(std::shared_ptr<FinishingTools> tools, SaveJobHandover job, std::function<QDateTime()> now)
{
    Outcome outcome;
    outcome.pieces = std::move(job.pieces);
    // The hand-over names every file of the take in its folder, reached as the save reaches it.
    const QString folder = QFileInfo(job.takeJSON).absolutePath();
    const auto name = [](const QString& path) { return QFileInfo(path).fileName(); };
    const QString rawName = name(job.request.rawURL);
    // A name whose file is no longer the take's own: what stands there now is another take's, never touched.
    const auto lost = [&outcome, &folder](const QStringList& names) { return outcome.lost = outcome.pieces.firstLost(folder, names); };

    outcome.refused = job.refusedSidecars;
    QStringList rewritten = outcome.refused.names();
    outcome.refused.writeAll();
    for (const QString& refused : outcome.refused.names())
        rewritten.removeAll(refused);
    outcome.pieces.holdWritten(folder, rewritten);
    if (job.faceURL && job.request.cameraURL) {
        const QString cameraName = name(*job.request.cameraURL);
        const QString faceName = name(*job.faceURL);
        if (lost({rawName, cameraName, faceName}))
            co_return outcome;
        if (QFileInfo::exists(*job.request.cameraURL)) {
            // Awaited by name: g++ 12 may destroy a co_await expression's temporaries twice.
            QCoro::Task<FinishingTools::FaceResult> mux = tools->faceMux(*job.request.cameraURL, job.request.rawURL, *job.faceURL,
                FaceMux::Own{outcome.pieces.held(cameraName), outcome.pieces.held(rawName)});
            FinishingTools::FaceResult muxed = co_await mux;
            if (muxed.failure) {
                // A movie deleted or replaced while the mux ran is what the take lost, whatever the mux said.
                if (!lost({rawName, cameraName}))
                    outcome.failure = std::move(muxed.failure);
                co_return outcome;
            }
            // The camera movie is in the face file now, which is the take's own as the mux wrote it.
            outcome.pieces.letGoOf(cameraName);
            outcome.pieces.hold(faceName, std::move(muxed.face));
            outcome.facePath = *job.faceURL;
        } else if (QFileInfo::exists(*job.faceURL)) {
            // A retry after the mux already consumed the camera movie.
            outcome.facePath = *job.faceURL;
        }
    }

    std::optional<FinishingTools::TrimResult> trim;
    if (job.byRemote) {
        if (lost({rawName}))
            co_return outcome;
        QCoro::Task<std::optional<FinishingTools::TrimResult>> rawTrim = tools->tailTrim(job.request.rawURL, remoteTailSeconds, outcome.pieces.held(rawName));
        trim = co_await rawTrim;
        // The cut raw is the take's own from the moment it took the name; a raw deleted or replaced while it
        // was cut kept the name's file as it was.
        if (trim)
            outcome.pieces.hold(rawName, trim->written);
        if (lost({rawName}))
            co_return outcome;
        if (outcome.facePath) {
            const QString faceName = name(*outcome.facePath);
            QCoro::Task<std::optional<FinishingTools::TrimResult>> faceTrim =
                tools->tailTrim(*outcome.facePath, remoteTailSeconds, outcome.pieces.held(faceName));
            const std::optional<FinishingTools::TrimResult> faceCut = co_await faceTrim;
            if (faceCut)
                outcome.pieces.hold(faceName, faceCut->written);
            if (lost({rawName, faceName}))
                co_return outcome;
        }
        tools->writeStopSidecar(job.stopSidecar, QStringLiteral("remote-button"), trim ? trim->trimmed : 0.0,
            trim ? std::optional<double>(trim->duration) : std::nullopt);
        outcome.pieces.holdWritten(folder, {name(job.stopSidecar)});
    }

    TakeDescription::Fields fields;
    fields.screenName = rawName;
    fields.duration = describedDuration(job.duration, trim);
    outcome.duration = fields.duration;
    fields.cameraSegments = job.cameraSegments;
    fields.look = job.look;
    fields.recordedAt = now();
    if (outcome.facePath)
        fields.faceName = name(*outcome.facePath);
    if (job.request.phoneURL)
        fields.phoneName = name(*job.request.phoneURL);
    if (!job.previewURL.isEmpty())
        fields.previewName = name(job.previewURL);
    if (lost({rawName}))
        co_return outcome;
    if (TakeDescription::write(job.takeJSON, TakeDescription::object(fields), outcome.refused))
        outcome.pieces.holdWritten(folder, {name(job.takeJSON)});
    if (!outcome.refused.empty())
        outcome.note = outcome.refused.refusedNote();
    co_return outcome;
}

} // namespace SaveJob
