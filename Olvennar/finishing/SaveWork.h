#pragma once

#include "finishing/FinishWork.h"
#include "finishing/SaveJob.h"
#include "finishing/SaveJobHandover.h"

// A stopped screen take's save on its first row: the face file, a remote stop's trim and the take
// description; once saved it shows the take and queues the render of its finished movie.
class SaveWork final : public FinishWork {
public:
    explicit SaveWork(SaveJobHandover job) : job_(std::move(job)) {}

    const SaveJobHandover& handover() const { return job_; }

    QString title() const override { return job_.title; }
    // The final its render makes, else the raw movie it saves.
    QString take() const override { return job_.previewURL.isEmpty() ? job_.request.rawURL : job_.previewURL; }
    bool retryable() const override { return !lost_; }
    void letGoOfDeleted() override { job_.pieces.letGoOfDeleted(); }
    QString failureContext() const override { return QStringLiteral("save take"); }
    std::shared_ptr<const HeldFolder> folder() const override { return job_.folder; }
    QString folderPath() const override;
    void follow(const QString& now) override;
    QCoro::Task<Outcome> run(Run run) override;
    void succeeded(FinishQueue& queue, const Outcome& outcome) override;

private:
    // Where the save reads and writes the take's folder: through the held folder when there is one.
    QString reachedFolder() const;

    SaveJobHandover job_;
    // What the last attempt saved, for the render it queues.
    SaveJob::Outcome saved_;
    // The take's raw found deleted or replaced when the save ran: it never runs again.
    std::optional<QString> lost_;
};
