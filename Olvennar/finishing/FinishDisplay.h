#pragma once

#include "finishing/FinishQueue.h"
#include "takedata/RecordingPhase.h"

#include <QObject>
#include <QString>
#include <QUuid>

#include <optional>

// What the studio shows of its finished takes and finish jobs: a finished file with what it lacks, and a
// failed job's sentence with its Retry until the Retry is used. It is the finish queue's view of the studio.
//
// Threading: lives on the main thread and is only called there, by the queue and the studio alike.
class FinishDisplay final : public QObject, public FinishQueue::Studio {
    Q_OBJECT

public:
    // What the display reads of the studio and changes in it.
    class Studio {
    public:
        virtual ~Studio() = default;
        virtual const RecordingPhase& phase() const = 0;
        virtual void setPhase(const RecordingPhase& phase) = 0;
        // Back to idle: elapsed cleared, the destination recomputed.
        virtual void reset() = 0;
        virtual void setLastFinalURL(const std::optional<QString>& path) = 0;
        // The scheduler's seconds when the last take stopped filming.
        virtual double lastTakeEndedSeconds() const = 0;
        virtual void setFinishWaitingForBreak(bool waiting) = 0;
        virtual FinishQueue& finishQueue() = 0;
    };

    explicit FinishDisplay(Studio& studio, QObject* parent = nullptr);

    // What of the take the shown finished file holds, when not all of it; empty otherwise.
    const QString& note() const { return note_; }
    // The note belongs to the finished file shown: a new phase forgets it.
    void forgetNote() { note_.clear(); }
    // The phase shows a take's finished file; `note` says what the file lacks, when it holds less than the take.
    void showFinishedTake(const QString& path, const QString& note);
    // The shown failure is a finish job's, and its Retry has not been used.
    bool canRetry() const;
    // Runs the shown failed finish job again, back to idle meanwhile.
    void retry();
    // The failure shown, with the failed render's sentence under it while its Retry waits.
    QString failureText() const;

    bool filming() const override { return studio_.phase().isFilming(); }
    double lastTakeEndedSeconds() const override { return studio_.lastTakeEndedSeconds(); }
    void setFinishWaitingForBreak(bool waiting) override { studio_.setFinishWaitingForBreak(waiting); }
    void showFinished(const QString& path, const QString& note) override;
    void showFinishFailed(const QUuid& id, const QString& message) override;

Q_SIGNALS:
    void changed();

private:
    Studio& studio_;
    // The last failed finish job whose Retry waits, with its sentence.
    std::optional<QUuid> failed_;
    QString failedMessage_;
    QString note_;
};
