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
    outcome.refused = job.refusedSidecars;
    outcome.refused.writeAll();
    if (job.faceURL && job.request.cameraURL) {
        if (QFileInfo::exists(*job.request.cameraURL)) {
            // Awaited by name: g++ 12 may destroy a co_await expression's temporaries twice.
            QCoro::Task<std::optional<ErrorInfo>> mux = tools->faceMux(*job.request.cameraURL, job.request.rawURL, *job.faceURL);
            std::optional<ErrorInfo> failure = co_await mux;
            if (failure) {
                outcome.failure = std::move(failure);
                co_return outcome;
            }
            outcome.facePath = *job.faceURL;
        } else if (QFileInfo::exists(*job.faceURL)) {
            // A retry after the mux already consumed the camera movie.
            outcome.facePath = *job.faceURL;
        }
    }

    std::optional<FinishingTools::TrimResult> trim;
    if (job.byRemote) {
        QCoro::Task<std::optional<FinishingTools::TrimResult>> rawTrim = tools->tailTrim(job.request.rawURL, remoteTailSeconds);
        trim = co_await rawTrim;
        if (outcome.facePath) {
            QCoro::Task<std::optional<FinishingTools::TrimResult>> faceTrim = tools->tailTrim(*outcome.facePath, remoteTailSeconds);
            co_await faceTrim;
        }
        tools->writeStopSidecar(job.stopSidecar, QStringLiteral("remote-button"), trim ? trim->trimmed : 0.0,
            trim ? std::optional<double>(trim->duration) : std::nullopt);
    }

    TakeDescription::Fields fields;
    fields.screenName = QFileInfo(job.request.rawURL).fileName();
    fields.duration = describedDuration(job.duration, trim);
    outcome.duration = fields.duration;
    fields.cameraSegments = job.cameraSegments;
    fields.look = job.look;
    fields.recordedAt = now();
    if (outcome.facePath)
        fields.faceName = QFileInfo(*outcome.facePath).fileName();
    if (job.request.phoneURL)
        fields.phoneName = QFileInfo(*job.request.phoneURL).fileName();
    if (!job.previewURL.isEmpty())
        fields.previewName = QFileInfo(job.previewURL).fileName();
    TakeDescription::write(job.takeJSON, TakeDescription::object(fields), outcome.refused);
    if (!outcome.refused.empty())
        outcome.note = outcome.refused.refusedNote();
    co_return outcome;
}

} // namespace SaveJob
