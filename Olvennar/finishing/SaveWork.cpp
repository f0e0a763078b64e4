#include "finishing/SaveWork.h"

#include "finishing/FinishQueue.h"
#include "finishing/RenderWork.h"
#include "platform/system/Diagnostics.h"

#include <QFileInfo>

QCoro::Task<FinishWork::Outcome> SaveWork::run(Run run)
{
    // Awaited by name: g++ 12 may destroy a co_await expression's temporaries twice.
    QCoro::Task<SaveJob::Outcome> saving = SaveJob::saveFiles(run.tools, job_, [] { return QDateTime::currentDateTimeUtc(); });
    saved_ = co_await saving;
    if (saved_.failure)
        co_return Outcome{saved_.failure, {}, {}};
    co_return Outcome{std::nullopt, saved_.facePath.value_or(job_.request.rawURL), saved_.note.value_or(QString())};
}

void SaveWork::succeeded(FinishQueue& queue, const Outcome& outcome)
{
    Diagnostics::log(job_.summary + QStringLiteral(" saved:raw+")
        + (saved_.facePath ? QFileInfo(*saved_.facePath).fileName() : QStringLiteral("no camera")));
    queue.studio().showFinished(outcome.path, outcome.note);
    if (job_.previewURL.isEmpty())
        return;
    // The face file carries the camera and the raw file's microphone; the tail is already cut.
    Mixdown::Request render = job_.request;
    render.cameraURL = saved_.facePath;
    render.recordedSeconds = saved_.duration;
    queue.submit(std::make_shared<RenderWork>(PendingRender::Job{job_.title + QStringLiteral(" video"), QStringLiteral("video ") + job_.title,
        job_.previewURL, job_.stopSidecar, render, 0, std::nullopt}, saved_.refused));
}
