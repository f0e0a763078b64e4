#pragma once

#include "finishing/FinishJob.h"
#include "finishing/FinishWork.h"
#include "finishing/NoteFolders.h"

#include <QFuture>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <qcorotask.h>

class FinishingTools;
class Scheduler;
class Settings;

// Where every stopped take's finishing runs: a row per listed job, one render chain that waits for a recording
// break, throttled progress, one retry per failed row and a note beside the output while a job runs, which
// the next launch resumes from after a crash (a job that fails loses its note; its Retry, the user's new run,
// writes it again with no relaunch counted). The folders holding notes are listed in the settings.
// Main thread only; the media work runs in the jobs and the finishing tools, waits on the studio's scheduler.
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
    // Sees each submitted job once its row is listed (if it has one); one that returns true keeps the job from running.
    using Tap = std::function<bool(const std::shared_ptr<FinishWork>& work)>;

    // A recording break: nothing filming for this long after the last take, before a render starts.
    static constexpr double breakSeconds = 5.0;

    FinishQueue(Studio& studio, Scheduler& scheduler, Settings& settings, QObject* parent = nullptr);
    ~FinishQueue() override;

    Studio& studio() { return studio_; }
    const std::vector<FinishJob>& finishJobs() const { return finishJobs_; }
    void setFinishJobs(std::vector<FinishJob> jobs);
    // Takes with a row still working (the quit guard asks): a take's save and its render are one take.
    int finishingCount() const;
    // Work runs that leaves no note (a take's save), so the next launch could not finish it: an end the
    // system asks for waits for it, never for a noted render.
    bool runsUnnotedWork() const;
    // The file names of the takes in `folder` whose jobs run or wait now: a take's save leaves no note while it
    // runs, so the next take's number skips these as it skips a note.
    QStringList takesUnderWay(const QString& folder) const;
    void dismissFinishJob(const QUuid& id);
    // The real mixdown and compositor unless set.
    void setFinishingTools(std::shared_ptr<FinishingTools> tools);
    void setTap(Tap tap) { tap_ = std::move(tap); }
    // Lists the job's row under `id` (kept when a row of that id is listed already; none for unlisted work),
    // notes it for a resume and starts it; returns at once. The future ends with the first attempt's outcome;
    // a failed listed job's Retry notes it again and runs it on the same row.
    QFuture<FinishWork::Outcome> submit(std::shared_ptr<FinishWork> work, const QUuid& id = QUuid::createUuid());
    // The one way rows change: replaces the state of the first row with that id.
    void setFinishState(const QUuid& id, const FinishJob::State& state);
    // The row's Retry: takes its retry action out and runs it once; nothing when there is none.
    void retryFinishJob(const QUuid& id);
    // Lists work that does not run by itself (a render the launch's crash guard stopped) as a failed row
    // saying `reason`, with its Retry: the user's new run, noted with no relaunch counted.
    void listFailed(std::shared_ptr<FinishWork> work, const QString& reason);
    // A take's later job found what an earlier row says stale (the files a full disk refused are written
    // now): the finished rows of the work's take that say `was` say `now` instead.
    void restate(const FinishWork& work, const QString& was, const QString& now);
    // "Quit anyway": every working and waiting job is given up. Their resume notes go (a deliberate quit is
    // not a crash), one log line names them, and no job starts or reports from now on. The caller stops the
    // exports under way (the export gate). Returns how many rows were given up.
    int giveUp();
    // The studio ends in order (a quit, a signal, at its bound or at once): nothing that waits or runs was cut
    // short by a crash, so their notes are written again counting no relaunch, and the next launch resumes
    // them however often the studio ended this way. Nothing after a give-up.
    void keepNotesForNextLaunch();
    bool hasFinishRetry(const QUuid& id) const { return finishRetries_.contains(id); }
    // Every job still kept (waiting, running, or on a failed row with its Retry) lets go of its take's files
    // deleted since it knew them: held, a deleted file keeps its space taken, and the next take may need it long
    // before the job's turn. Looked at when a take starts and while renders wait for their break.
    void letGoOfDeletedFiles();

Q_SIGNALS:
    void changed();

private:
    struct Attempt;
    std::shared_ptr<FinishingTools> finishingTools();
    void start(std::shared_ptr<Attempt> attempt);
    // Lists the work's row under `id` in `state` (kept when a row of that id is listed already).
    void listRow(const FinishWork& work, const QUuid& id, const FinishJob::State& state);
    // The failed row's Retry: runs the work anew on the same row. `noted`: the relaunches its note left in its
    // folder counts, if one is there.
    void offerRetry(const QUuid& id, std::shared_ptr<FinishWork> work, std::optional<int> noted);
    // Returns once no take is filming and 5 s have passed since the last one ended, looking every 2 s.
    static QCoro::Task<> waitForRecordingBreak(QPointer<FinishQueue> weak);
    static QCoro::Task<> runAttempt(QPointer<FinishQueue> weak, QCoro::Task<> previous, std::shared_ptr<Attempt> attempt);

    Studio& studio_;
    Scheduler& scheduler_;
    NoteFolders noteFolders_;
    std::vector<FinishJob> finishJobs_;
    // The take of each row listed with one (its folder and final, or FinishWork::take()); a row without is a
    // take of its own.
    QHash<QUuid, QString> rowTakes_;
    // The newest job that waits for a break; each such job awaits the one before it.
    QCoro::Task<> finishTail_;
    QHash<QUuid, std::function<void()>> finishRetries_;
    // Every job started and not yet ended, by row: what a give-up removes the notes of.
    QHash<QUuid, std::shared_ptr<FinishWork>> unfinished_;
    // Every job submitted or listed, while something keeps it: what lets go of its take's deleted files.
    std::vector<std::weak_ptr<FinishWork>> kept_;
    bool givenUp_ = false;
    std::shared_ptr<FinishingTools> finishingTools_;
    Tap tap_;
};
