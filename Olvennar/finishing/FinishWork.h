#pragma once

#include "platform/system/ErrorInfo.h"
#include "platform/system/HeldFolder.h"

#include <QJsonObject>
#include <QString>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

#include <qcorotask.h>

class FinishQueue;
class FinishingTools;

// One piece of finishing a stopped take hands to the finish queue: what to run, the row's title, and the
// note that lets the next launch resume it after a crash. The queue gives every listed kind the same row,
// progress and Retry, and every noted kind its resume; the work does the files. Created and called on the main
// thread; run() may await workers.
class FinishWork {
public:
    struct Outcome {
        std::optional<ErrorInfo> failure;
        QString path; // done: the file made
        QString note; // done: what of the take the file holds, when not all of it
    };
    // What a run gets from the queue. `progress` may be called from any thread with a fraction 0...1.
    struct Run {
        std::shared_ptr<FinishingTools> tools;
        std::function<void(double)> progress;
    };
    // A crash-resume note: the hidden file beside what the work makes, and what it holds.
    struct Note {
        QString path;
        QJsonObject content;
    };

    virtual ~FinishWork() = default;

    virtual QString title() const = 0;
    // A row in the finish list, its Retry and a place in the finishing count. A take's own finishing that its
    // stop awaits is not listed: the studio shows it as "finishing" and then its file or its failure.
    virtual bool listed() const { return true; }
    // Renders take turns, each after a recording break; everything else starts at once.
    virtual bool waitsForBreak() const { return false; }
    // Nothing: a crash leaves nothing to resume.
    virtual std::optional<Note> note() const { return std::nullopt; }
    // The note's path, kind, output and relaunches without what else it carries (a render's plan): what the
    // queue reads of a note it does not write.
    virtual std::optional<Note> noteHead() const { return note(); }
    // Whether the note in the work's folder is already the one counted for it when a launch found it, so the
    // run need not write it out again: a render's plan may take hundreds of MB to encode.
    virtual bool noteStands() const { return false; }
    // The take it finishes, named by the file that finishes it, so a take's rows count once at quit; empty
    // for work that is a take of its own.
    virtual QString take() const { return {}; }
    // The take folder the work reads and writes in, held open, and the path the work names it by now; nothing
    // for work bound to no take folder. The queue finds the folder again before it notes, runs or ends the work.
    virtual std::shared_ptr<const HeldFolder> folder() const { return nullptr; }
    virtual QString folderPath() const { return {}; }
    // The folder was renamed or moved to `now`: the work names its own files there from now on.
    virtual void follow(const QString& now) { (void)now; }
    // Lets go of the take's files deleted since the job knew them, so their space on the disk is free again
    // long before the job's turn; the job then fails saying so when it runs.
    virtual void letGoOfDeleted() { }
    // Whether running it again after a failure could do anything: not once it found its take gone.
    virtual bool retryable() const { return true; }
    // What a failure is logged under.
    virtual QString failureContext() const = 0;
    // Does the work; a retry runs it again from the start with the same inputs.
    virtual QCoro::Task<Outcome> run(Run run) = 0;
    // After a success, the row done and the queue still there.
    virtual void succeeded(FinishQueue& queue, const Outcome& outcome) { (void)queue, (void)outcome; }
    // After a failure, the row failed with its Retry and the queue still there.
    virtual void failed(FinishQueue& queue, const QUuid& id, const ErrorInfo& failure) { (void)queue, (void)id, (void)failure; }
};
