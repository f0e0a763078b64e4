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
    explicit RenderWork(PendingRender::Job job, HeldSidecars refused = {});

    // The job as its note names it, with a copy of its plan.
    PendingRender::Job job() const;

    QString title() const override { return job_.title; }
    bool waitsForBreak() const override { return true; }
    std::optional<Note> note() const override;
    std::optional<Note> noteHead() const override;
    bool noteStands() const override;
    QString take() const override { return job_.finalURL; }
    QString failureContext() const override { return QStringLiteral("finish"); }
    bool retryable() const override { return !lost_; }
    void letGoOfDeleted() override { job_.pieces.letGoOfDeleted(); }
    std::shared_ptr<const HeldFolder> folder() const override { return job_.folder; }
    QString folderPath() const override;
    void follow(const QString& now) override;
    QCoro::Task<Outcome> run(Run run) override;
    void succeeded(FinishQueue& queue, const Outcome& outcome) override;
    void failed(FinishQueue& queue, const QUuid& id, const ErrorInfo& failure) override;

private:
    // The take's folder as the render reaches it: through its descriptor when it is held.
    QString reached() const;
    // The movies the render reads that the take recorded in its own folder, by name.
    QStringList ownMovies() const;
    // The take's movies were deleted or replaced since the job knew them, and it made nothing of them.
    bool takeGone() const;

    // Its plan kept apart, in `plan_`.
    PendingRender::Job job_;
    // The plan, its take's movies named through the held folder wherever the folder goes, so following the
    // folder never changes it: kept once, and shared with the render's worker rather than copied for it (a
    // day's take's is some 170 MB).
    std::shared_ptr<const Mixdown::Request> plan_;
    // Which of the take's movies was found deleted or replaced when the job ran: it never runs again.
    std::optional<QString> lost_;
    // The take's pieces were tidied into Raw/: the movies are gone from their names on purpose.
    bool tidied_ = false;
    // Each attempt, a Retry's too, writes these first and lets go of those written.
    HeldSidecars refused_;
    // What the take's rows said of the refused files when the attempt began: restated once it ends.
    QString refusedBefore_;
};
