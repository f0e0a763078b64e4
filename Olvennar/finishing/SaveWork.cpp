#include "finishing/SaveWork.h"

#include "finishing/FinishQueue.h"
#include "finishing/RenderWork.h"
#include "platform/system/Diagnostics.h"

#include <QFileInfo>

#include <utility>

QString SaveWork::folderPath() const { return QFileInfo(job_.takeJSON).absolutePath(); }

QString SaveWork::reachedFolder() const { return job_.folder ? job_.folder->throughDescriptor() : folderPath(); }

void SaveWork::follow(const QString& now)
{
    const QString was = folderPath();
    SaveJob::move(job_, was, now);
    if (saved_.facePath)
        saved_.facePath = HeldFolder::moved(*saved_.facePath, was, now);
    saved_.refused.moveTo(was, now);
}

QCoro::Task<FinishWork::Outcome> SaveWork::run(Run run)
{
    // Read and written through the held folder, so a take folder renamed or moved during the save is still
    // where every file of the take lands, and nothing reaches a folder made since under its old name.
    const QString folder = folderPath();
    const QString reached = reachedFolder();
    // Before anything is read or written: a raw deleted or replaced since the stop leaves no take to save, and a
    // file at its name now is another take's. The take's files are let go, and a Retry finds it gone still.
    const auto gone = [this] {
        job_.pieces.clear();
        return Outcome{HeldPieces::lostFailure(job_.title + QStringLiteral(" was not saved"), *lost_), {}, {}};
    };
    if (!lost_)
        lost_ = job_.pieces.firstLost(reached, {QFileInfo(job_.request.rawURL).fileName()});
    if (lost_)
        co_return gone();
    SaveJobHandover handover = job_;
    SaveJob::move(handover, folder, reached);
    // Awaited by name: g++ 12 may destroy a co_await expression's temporaries twice.
    QCoro::Task<SaveJob::Outcome> saving = SaveJob::saveFiles(run.tools, std::move(handover), [] { return QDateTime::currentDateTimeUtc(); });
    saved_ = co_await saving;
    // What the save left of the take and wrote for it, known by what it is, for a Retry and the render.
    job_.pieces = std::exchange(saved_.pieces, {});
    lost_ = saved_.lost;
    if (lost_)
        co_return gone();
    // Named where the take was when the save began; the queue follows the folder from there.
    if (saved_.facePath)
        saved_.facePath = HeldFolder::moved(*saved_.facePath, reached, folder);
    saved_.refused.moveTo(reached, folder);
    if (saved_.failure) {
        if (job_.folder)
            saved_.failure->description.replace(reached, folder);
        co_return Outcome{saved_.failure, {}, {}};
    }
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
    // The take's files as the save left them: what it took in (the camera movie, now in the face movie) let go
    // of, what it wrote held as it wrote it, never a file found at their names now. A job that never knew its
    // take's files takes those there now.
    HeldPieces pieces = job_.pieces;
    if (!pieces.known())
        pieces.holdPresent(HeldFolder::moved(job_.previewURL, folderPath(), reachedFolder()));
    queue.submit(std::make_shared<RenderWork>(PendingRender::Job{job_.title + QStringLiteral(" video"), QStringLiteral("video ") + job_.title,
        job_.previewURL, job_.stopSidecar, std::move(render), 0, std::nullopt, job_.folder, std::move(pieces)}, saved_.refused));
}
