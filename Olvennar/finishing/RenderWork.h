#pragma once

#include "finishing/FinishWork.h"
#include "finishing/HeldSidecars.h"
#include "finishing/PendingRender.h"

// The render of a saved screen take into its finished movie: waits its turn and a recording break, writes the
// take's JSON files the disk refused so far, copies or draws the movie, tidies the take's pieces into "Raw/"
// and shows the final (saying which files the disk still refuses).
class RenderWork final : public FinishWork {
public:
    // `refused`: the take's files the disk refused; they are held only in this job, never in its note.
    explicit RenderWork(PendingRender::Job job, HeldSidecars refused = {}) : job_(std::move(job)), refused_(std::move(refused)) {}

    const PendingRender::Job& job() const { return job_; }

    QString title() const override { return job_.title; }
    bool waitsForBreak() const override { return true; }
    std::optional<Note> note() const override;
    QString take() const override { return job_.finalURL; }
    QString failureContext() const override { return QStringLiteral("finish"); }
    std::shared_ptr<const HeldFolder> folder() const override { return job_.folder; }
    QString folderPath() const override;
    void follow(const QString& now) override;
    QCoro::Task<Outcome> run(Run run) override;
    void succeeded(FinishQueue& queue, const Outcome& outcome) override;
    void failed(FinishQueue& queue, const QUuid& id, const ErrorInfo& failure) override;

private:
    // Where the job reads and writes the take's folder: through the held folder when there is one.
    QString reachedFolder() const;
    // The movies the render reads that the take recorded in its own folder, by name.
    QStringList ownMovies() const;
    // The take's movies were deleted or replaced since the job knew them, and it made nothing of them.
    bool takeGone() const;

    PendingRender::Job job_;
    // Which of the take's movies was found deleted or replaced when the job ran: it never runs again.
    std::optional<QString> lost_;
    // The take's pieces were tidied into Raw/: the movies are gone from their names on purpose.
    bool tidied_ = false;
    // Each attempt, a Retry's too, writes these first and lets go of those written.
    HeldSidecars refused_;
    // What the take's rows said of the refused files when the attempt began: restated once it ends.
    QString refusedBefore_;
};
