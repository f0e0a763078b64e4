#include "finishing/EnhanceQueue.h"

#include "platform/system/Diagnostics.h"
#include "platform/system/WorkerPool.h"

#include <QCoreApplication>
#include <QPointer>

EnhanceQueue::EnhanceQueue(Pipeline pipeline, QObject* parent)
    : QObject(parent)
    , pipeline_(std::move(pipeline))
{
}

EnhanceQueue::EnhanceJob* EnhanceQueue::row(const QUuid& id)
{
    for (EnhanceJob& job : jobs_) {
        if (job.id == id)
            return &job;
    }
    return nullptr;
}

QUuid EnhanceQueue::enqueue(const QString& sourcePath)
{
    const QUuid id = QUuid::createUuid();
    jobs_.push_back(EnhanceJob{id, sourcePath, EnhanceJob::State::queued, QString()});
    queue_.push_back(id);
    Q_EMIT changed();
    runEnhanceQueueIfIdle();
    return id;
}

void EnhanceQueue::retryEnhance(const QUuid& id)
{
    EnhanceJob* job = row(id);
    if (!job)
        return;
    job->state = EnhanceJob::State::queued;
    job->result.clear();
    queue_.push_back(id);
    Q_EMIT changed();
    runEnhanceQueueIfIdle();
}

void EnhanceQueue::removeEnhanceJob(const QUuid& id)
{
    // A queued id whose row is gone is skipped when its turn comes.
    if (std::erase_if(jobs_, [&id](const EnhanceJob& job) { return job.id == id; }) > 0)
        Q_EMIT changed();
}

void EnhanceQueue::runEnhanceQueueIfIdle()
{
    while (!workerBusy_ && !queue_.empty()) {
        const QUuid id = queue_.front();
        queue_.pop_front();
        EnhanceJob* job = row(id);
        if (!job)
            continue; // its row is gone: the next id
        workerBusy_ = true;
        job->state = EnhanceJob::State::running;
        Q_EMIT changed();
        const QString source = job->sourcePath;
        const QString output = EnhancePipeline::outputPath(source);
        QPointer<EnhanceQueue> self(this);
        Pipeline pipeline = pipeline_;
        WorkerPool::enhancement().start([self, pipeline, id, source, output] {
            const std::optional<ErrorInfo> error = pipeline(source, output);
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [self, id, error, output] {
                    if (!self)
                        return;
                    if (error) {
                        Diagnostics::log(*error, QStringLiteral("enhance"));
                        self->finishEnhanceJob(id, EnhanceJob::State::failed, error->description);
                    } else {
                        self->finishEnhanceJob(id, EnhanceJob::State::succeeded, output);
                    }
                },
                Qt::QueuedConnection);
        });
        return;
    }
}

void EnhanceQueue::finishEnhanceJob(const QUuid& id, EnhanceJob::State state, const QString& result)
{
    if (EnhanceJob* job = row(id)) {
        job->state = state;
        job->result = result;
    }
    workerBusy_ = false;
    Q_EMIT changed();
    runEnhanceQueueIfIdle();
}
