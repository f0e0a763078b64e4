#include "finishing/RenderWork.h"

#include "finishing/FinishOutcome.h"
#include "finishing/FinishQueue.h"
#include "finishing/FinishingTools.h"
#include "finishing/PendingNote.h"
#include "finishing/TakePieces.h"
#include "platform/system/Diagnostics.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <utility>

RenderWork::RenderWork(PendingRender::Job job, HeldSidecars refused)
    : job_(std::move(job))
    , refused_(std::move(refused))
{
    auto plan = std::make_shared<Mixdown::Request>(std::exchange(job_.request, {}));
    if (job_.folder)
        PendingRender::move(*plan, folderPath(), reached());
    plan_ = std::move(plan);
}

PendingRender::Job RenderWork::job() const
{
    PendingRender::Job job = job_;
    job.request = *plan_;
    if (job_.folder)
        PendingRender::move(job.request, reached(), folderPath());
    return job;
}

QString RenderWork::folderPath() const { return QFileInfo(job_.finalURL).absolutePath(); }

QString RenderWork::reached() const { return job_.folder ? job_.folder->throughDescriptor() : folderPath(); }

QStringList RenderWork::ownMovies() const
{
    // A phone movie recorded elsewhere is none of the take's pieces. The plan names the take's own movies
    // where the render reaches them.
    const QString folder = QDir::cleanPath(reached());
    QStringList names;
    for (const std::optional<QString>& movie : {std::optional<QString>(plan_->rawURL), plan_->cameraURL, plan_->phoneURL}) {
        if (movie && QDir::cleanPath(QFileInfo(*movie).absolutePath()) == folder)
            names << QFileInfo(*movie).fileName();
    }
    return names;
}

bool RenderWork::takeGone() const { return lost_ || (!tidied_ && job_.pieces.firstLost(reached(), ownMovies())); }

std::optional<FinishWork::Note> RenderWork::note() const
{
    FinishWork::Note own = PendingRender::note(job_, *plan_, reached());
    // A render whose take is gone never writes or removes a note at its name that is not its own: the next
    // take's, filmed under the same name once this take's files were deleted. Read only then: a note is large.
    if (takeGone() && !noteStands()
        && PendingNote::holder({QDir(reached()).filePath(QFileInfo(own.path).fileName()), own.content}) == PendingNote::Holder::another)
        return std::nullopt;
    return own;
}

std::optional<FinishWork::Note> RenderWork::noteHead() const
{
    // Whether another take's note holds its name is what note() weighs, its digest read once.
    if (takeGone() && !note())
        return std::nullopt;
    return PendingRender::head(job_);
}

bool RenderWork::noteStands() const
{
    return job_.counted && PendingNote::stillHolds(QDir(reached()).filePath(QFileInfo(PendingRender::markerPath(job_.finalURL)).fileName()), *job_.counted);
}

void RenderWork::follow(const QString& now)
{
    const QString was = folderPath();
    // Its note is written anew, naming where the folder lies now.
    job_.counted.reset();
    PendingRender::move(job_, was, now);
    refused_.moveTo(was, now);
}

QCoro::Task<FinishWork::Outcome> RenderWork::run(Run run)
{
    // Everything is read and written through the held folder: a take folder renamed or moved while the render
    // runs is still where the render reads its take and writes its final, and a folder made since under its
    // old name (the next take's) is never touched.
    const QString folder = folderPath();
    const QString reached = RenderWork::reached();
    const auto named = [folder, held = job_.folder](const QString& text) {
        return held ? QString(text).replace(held->throughDescriptor(), held->now(folder).value_or(folder)) : text;
    };
    // Before anything is read or written: a take whose movies were deleted or replaced since the stop is gone,
    // and a file at their names now is another take's (the next one, filmed under the same name). Its files are
    // let go, as holding a deleted raw would keep its space on the disk taken.
    if (!lost_)
        lost_ = job_.pieces.firstLost(reached, ownMovies());
    if (lost_) {
        job_.pieces.clear();
        co_return Outcome{HeldPieces::lostFailure(QFileInfo(job_.finalURL).fileName() + QStringLiteral(" was not made"), *lost_), {}, {}};
    }
    // First, so the take's pointer log and description reach the disk even when the render fails; what the
    // disk still refuses stays held for the next attempt, and what it wrote is the take's own from now on.
    refusedBefore_ = refused_.refusedNote();
    refused_.moveTo(folder, reached);
    QStringList written = refused_.names();
    refused_.writeAll();
    for (const QString& name : refused_.names())
        written.removeAll(name);
    job_.pieces.holdWritten(reached, written);
    refused_.moveTo(reached, folder);
    const Mixdown::Request& request = *plan_;
    const QString finalURL = HeldFolder::moved(job_.finalURL, folder, reached);
    // A resumed note that asks for what no studio writes would make a broken final: nothing is made or moved.
    if (job_.unwritten) {
        co_return Outcome{ErrorInfo{QStringLiteral("Olvennar.PendingRender"), 1,
                              QFileInfo(finalURL).fileName() + QStringLiteral(" was not made: its note holds ") + *job_.unwritten
                                  + QStringLiteral(", which no studio writes; the take's files stay as they are")},
            {}, {}};
    }
    // Awaited by name: g++ 12 may destroy a co_await expression's temporaries twice.
    QCoro::Task<FinishingTools::RenderResult> compose = request.isPassthrough() ? run.tools->composePassthrough(request.rawURL, finalURL, run.progress)
                                                                                : run.tools->composeWithOverlays(plan_, finalURL, run.progress);
    FinishingTools::RenderResult rendered = co_await compose;
    if (rendered.failure) {
        rendered.failure->description = named(rendered.failure->description);
        co_return Outcome{rendered.failure, {}, {}};
    }
    // A final that holds less than the take, less sound than picture, or left damaged pictures out, says so in
    // the row and under the window. The tools read the final on their own thread: opening a movie may wait on the disk.
    QCoro::Task<FinishOutcome::MovieLengths> reading = run.tools->measureFinal(finalURL);
    const FinishOutcome::MovieLengths finished = co_await reading;
    const QString rawName = QFileInfo(request.rawURL).fileName();
    // A final read back with no picture in it is no final: it goes, and the take's pieces stay where they are.
    if (finished.seconds && !(finished.pictureSeconds > 0)) {
        QFile::remove(finalURL);
        co_return Outcome{ErrorInfo{QStringLiteral("Olvennar.RenderWork"), 1,
                              QFileInfo(finalURL).fileName() + QStringLiteral(" was not kept: it held no picture of ") + rawName
                                  + QStringLiteral("; the take's files stay as they are")},
            {}, {}};
    }
    const std::optional<QString> shortened =
        finished.seconds ? FinishOutcome::shortNote(*finished.seconds, request.recordedSeconds, rawName) : std::nullopt;
    QString note = FinishOutcome::joined(shortened, FinishOutcome::shortSoundNote(finished, request.recordedSeconds, rawName),
        FinishOutcome::damagedNote(rendered.damagedPictures, rawName));
    if (!refused_.empty())
        note = FinishOutcome::joined(note.isEmpty() ? std::nullopt : std::optional<QString>(note), refused_.refusedNote());
    TakePieces::moveTakePiecesToRaw(finalURL, [this, &reached](const QString& name) { return job_.pieces.ownAt(reached, name); });
    // Nothing is read or tidied any more: the take's files are let go.
    tidied_ = true;
    job_.pieces.clear();
    if (!note.isEmpty())
        Diagnostics::log(QFileInfo(finalURL).fileName() + QStringLiteral(": ") + note);
    co_return Outcome{std::nullopt, named(finalURL), note};
}

void RenderWork::succeeded(FinishQueue& queue, const Outcome& outcome)
{
    Diagnostics::log(job_.summary);
    queue.restate(*this, refusedBefore_, refused_.refusedNote());
    queue.studio().showFinished(outcome.path, outcome.note);
}

void RenderWork::failed(FinishQueue& queue, const QUuid& id, const ErrorInfo& failure)
{
    queue.restate(*this, refusedBefore_, refused_.refusedNote());
    queue.studio().showFinishFailed(id, failure.description);
}
