#pragma once

#include "finishing/EnhancePipeline.h"

#include <QObject>
#include <QString>
#include <QUuid>

#include <deque>
#include <functional>
#include <vector>

// Voice-enhancement rows and their one worker: jobs run one at a time in queue order, off the GUI thread.
// Rows and queue are touched only on the GUI thread.
class EnhanceQueue : public QObject {
    Q_OBJECT

public:
    struct EnhanceJob {
        enum class State { queued, running, succeeded, failed };
        QUuid id;
        QString sourcePath;
        State state = State::queued;
        QString result; // succeeded: the enhanced movie; failed: the message shown
        friend bool operator==(const EnhanceJob&, const EnhanceJob&) = default;
    };
    // Runs one job's tools (blocking, on a worker thread); an error fails the row.
    using Pipeline = std::function<std::optional<ErrorInfo>(const QString& source, const QString& output)>;

    explicit EnhanceQueue(Pipeline pipeline, QObject* parent = nullptr);

    const std::vector<EnhanceJob>& enhanceJobs() const { return jobs_; }
    bool isWorkerBusy() const { return workerBusy_; }

    // A new row for a take's movie, queued at once.
    QUuid enqueue(const QString& sourcePath);
    // Puts a listed row back at the end of the queue.
    void retryEnhance(const QUuid& id);
    // Drops every row with this id (a dismissed row); the other rows keep their order.
    void removeEnhanceJob(const QUuid& id);

Q_SIGNALS:
    void changed();

private:
    void runEnhanceQueueIfIdle();
    void finishEnhanceJob(const QUuid& id, EnhanceJob::State state, const QString& result);
    EnhanceJob* row(const QUuid& id);

    Pipeline pipeline_;
    std::vector<EnhanceJob> jobs_;
    std::deque<QUuid> queue_;
    bool workerBusy_ = false;
};
