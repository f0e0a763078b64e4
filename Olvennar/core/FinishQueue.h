#pragma once

#include "core/FinishJob.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUuid>

#include <functional>
#include <memory>
#include <vector>

#include <qcorotask.h>

class FinishingTools;
class Scheduler;
struct SaveJobHandover;
namespace Mixdown {
struct Request;
}

// The studio's save and render jobs: a row per job, one render chain that waits for a recording break,
// throttled progress and one retry per failed row. Main thread only; the media work runs in the finishing
// tools, waits on the studio's scheduler.
class FinishQueue : public QObject {
    Q_OBJECT

public:
    // What the queue reads and shows in the studio.
    class Studio {
    public:
        virtual ~Studio() = default;
        virtual bool filming() const = 0;
        // The scheduler's seconds when the last take stopped filming.
        virtual double lastTakeEndedSeconds() const = 0;
        virtual void setFinishWaitingForBreak(bool waiting) = 0;
        // A finished file shows only while the studio shows no other take; `note` says what of the take it
        // holds when not all of it.
        virtual void showFinished(const QString& path, const QString& note) = 0;
        // A failed job's sentence shows, with its Retry, while the studio shows no take.
        virtual void showFinishFailed(const QUuid& id, const QString& message) = 0;
    };

    // A recording break: nothing filming for this long after the last take, before a render starts.
    static constexpr double breakSeconds = 5.0;

    FinishQueue(Studio& studio, Scheduler& scheduler, QObject* parent = nullptr);
    ~FinishQueue() override;

    const std::vector<FinishJob>& finishJobs() const { return finishJobs_; }
    void setFinishJobs(std::vector<FinishJob> jobs);
    // Rows still working (the quit guard asks).
    int finishingCount() const;
    // Lists a stopped take's row; its save starts when the job comes back through runSaveJob.
    void listSaveJob(const QUuid& id, const QString& title);
    void dismissFinishJob(const QUuid& id);
    // The real mixdown and compositor unless set.
    void setFinishingTools(std::shared_ptr<FinishingTools> tools);
    // Starts the save of a stopped screen take on the row job.id (already listed); returns at once.
    void runSaveJob(const SaveJobHandover& job);
    // Adds a render row and queues its job at the end of the chain; returns at once.
    void startFinishJob(const QString& title, const Mixdown::Request& request, const QString& finalURL, const QString& stopSidecar,
        bool byRemote, const QString& summary);
    // Queues the render job of an existing row again (a retry).
    void runFinishJob(const QUuid& id, const Mixdown::Request& request, const QString& finalURL, const QString& stopSidecar,
        bool byRemote, const QString& summary);
    // The one way rows change: replaces the state of the first row with that id.
    void setFinishState(const QUuid& id, const FinishJob::State& state);
    // The row's Retry: takes its retry action out and runs it once; nothing when there is none.
    void retryFinishJob(const QUuid& id);
    bool hasFinishRetry(const QUuid& id) const { return finishRetries_.contains(id); }

Q_SIGNALS:
    void changed();

private:
    std::shared_ptr<FinishingTools> finishingTools();
    // Returns once no take is filming and 5 s have passed since the last one ended, looking every 2 s.
    static QCoro::Task<> waitForRecordingBreak(QPointer<FinishQueue> weak);
    static QCoro::Task<> saveTask(QPointer<FinishQueue> weak, std::shared_ptr<FinishingTools> tools, SaveJobHandover job);
    static QCoro::Task<> renderTask(QPointer<FinishQueue> weak, QCoro::Task<> previous, std::shared_ptr<FinishingTools> tools, QUuid id,
        Mixdown::Request request, QString finalURL, QString stopSidecar, bool byRemote, QString summary);

    Studio& studio_;
    Scheduler& scheduler_;
    std::vector<FinishJob> finishJobs_;
    QCoro::Task<> finishTail_;
    QHash<QUuid, std::function<void()>> finishRetries_;
    std::shared_ptr<FinishingTools> finishingTools_;
};
