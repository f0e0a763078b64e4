#pragma once

#include "takedata/CaptureMode.h"
#include "takedata/NextRecording.h"
#include "takedata/NextTake.h"
#include "takedata/RecordingChannel.h"
#include "takes/HandoffReader.h"

#include <QObject>
#include <QRect>
#include <QString>

#include <optional>

#include <qcorotask.h>

class HandoffPrompter;
class QTimer;
class Settings;

// The watch over the two handoff records another program drops for the studio: the pending short
// (".next_take.json") and long-form (".next_recording.json") records. Every 2 s both files are read, one
// wins, and the winner is applied once while the studio is free; the tokens of applied, superseded and
// declined handoffs live in the settings, so a handoff never applies twice, also across launches.
//
// Threading: the watch lives on the main thread and its fields are only touched there. The poll's read of
// both records and a long-form win's folder and script run on the handoff worker; they get their paths,
// the time and the studio's places as copies and hand back a reading (or a preparation) by value, which the
// main thread decides and applies when it resumes. A handoff that arrives while a take is under way (from
// the start request on, before its phase shows it) waits until the studio is idle: a take's mode, folder and
// script are fixed at its start.
class HandoffWatch : public QObject {
    Q_OBJECT

public:
    // What the watch reads of the studio and changes in it.
    class Studio {
    public:
        virtual ~Studio() = default;
        // From a start request through filming and finishing: mode, folder and script stay as they are.
        virtual bool takeUnderWay() const = 0;
        // Filming or finishing: the short header shows the script of that take.
        virtual bool busy() const = 0;
        virtual CaptureMode captureMode() const = 0;
        virtual void setCaptureMode(CaptureMode mode) = 0;
        virtual RecordingChannel channel() const = 0;
        virtual void setDestinationFolder(const std::optional<QString>& folder) = 0;
        // The frame of the screen the teleprompter panel opens on; none without a screen.
        virtual std::optional<QRect> prompterScreen() const = 0;
        virtual void setTeleprompterVisible(bool visible) = 0;
    };

    // `shortMode` is the capture mode that films shorts, none when no kind does; `prompter` may be none.
    HandoffWatch(Studio& studio, Settings& settings, HandoffPrompter* prompter, std::optional<CaptureMode> shortMode,
        QObject* parent = nullptr);
    ~HandoffWatch() override;

    const std::optional<NextTake>& nextTake() const { return nextTake_; }
    const std::optional<NextRecording>& nextRecording() const { return nextRecording_; }
    // Read the file now (on this thread), drop a declined record, publish only a change. A reason to
    // ignore a file is logged once, not on every poll.
    std::optional<NextTake> loadNextTake();
    std::optional<NextRecording> loadNextRecording();
    // Remember a handoff as applied (or superseded), also across launches.
    void markHandoffHandled(const std::optional<NextTake>& take);
    void markRecordingHandled(const std::optional<NextRecording>& record);
    // Carries out a long-form win: mode, project folder, script.
    QCoro::Task<> applyNextRecording(NextRecording record);
    // The pending short of the studio's channel.
    std::optional<NextTake> channelNextTake() const;
    // While busy, the script of the short being filmed or finished; else the pending one.
    std::optional<NextTake> shortHeaderScript() const;
    const std::optional<NextTake>& shortTakeScript() const { return shortTakeScript_; }
    // Record was pressed for a short: the pending short of the channel is its script, whatever is written
    // meanwhile.
    void holdStartScript();
    // The short's folder is being made: its script is the one held at the start (the pending one when
    // `fromStart` is false) and stays the shown take's script until the next short.
    std::optional<NextTake> fixTakeScript(bool fromStart);
    // "Not this one": the pending short handoff is declined until its file is rewritten.
    void ignoreNextTake();
    const std::optional<QString>& handledNextRecording() const { return marks_.handledNextRecording; }
    const std::optional<QString>& ignoredNextRecording() const { return marks_.ignoredNextRecording; }
    const std::optional<QString>& handledNextTake() const { return marks_.handledNextTake; }
    const std::optional<QString>& ignoredNextTake() const { return marks_.ignoredNextTake; }
    const std::optional<QString>& longformLoadedText() const { return longformLoadedText_; }
    // Refreshes the handoff now and keeps one 2.0 s poll running.
    void watchNextTake(bool watch);
    // One poll: both files are read off the main thread, then decided and applied here. A poll that
    // finds the last one still reading or applying is skipped.
    void refreshNextTake();
    int handoffRefreshCount() const { return handoffRefreshCount_; }
    int handoffPollsCompleted() const { return handoffPollsCompleted_; }
    bool isPollingHandoffs() const { return pollReading_; }
    bool isWatchingNextTake() const { return timer_ != nullptr; }
    // After a take or a start that made none: a handoff held back meanwhile applies on a later turn.
    void studioMayBeIdle();
    bool holdsHandoff() const { return held_.has_value(); }

Q_SIGNALS:
    void changed();

private:
    // Which handoff records were already acted on or turned down, by their tokens.
    struct Marks {
        std::optional<QString> ignoredNextTake;
        std::optional<QString> handledNextTake;
        std::optional<QString> ignoredNextRecording;
        std::optional<QString> handledNextRecording;
    };
    // A long-form handoff prepared while a take was under way.
    struct Held {
        NextRecording record;
        HandoffReader::Preparation preparation;
    };

    QString takePath() const;
    QString recordingPath() const;
    void setNextTake(const std::optional<NextTake>& take);
    void setNextRecording(const std::optional<NextRecording>& record);
    QCoro::Task<> pollHandoffs();
    std::optional<NextTake> acceptNextTake(std::optional<NextTake> take, const QString& complaint);
    std::optional<NextRecording> acceptNextRecording(std::optional<NextRecording> record, const QString& complaint);
    // Marks the winner handled; a long-form winner comes back for applying.
    std::optional<NextRecording> decideHandoffs(const std::optional<NextTake>& take, const std::optional<NextRecording>& recording);
    // The prepared folder and script of a long-form handoff, on the main thread while the studio is idle.
    void applyPreparedHandoff(const NextRecording& record, const HandoffReader::Preparation& preparation);
    void applyScript(const NextRecording& record, const HandoffReader::Preparation& preparation);

    Studio& studio_;
    Settings& settings_;
    HandoffPrompter* prompter_;
    std::optional<CaptureMode> shortMode_;
    std::optional<NextTake> nextTake_;
    std::optional<NextRecording> nextRecording_;
    std::optional<NextTake> shortTakeScript_;
    // The short handoff pending when the start began.
    std::optional<NextTake> startScript_;
    Marks marks_;
    // The script text the last long-form handoff put into the teleprompter; never the user's own.
    std::optional<QString> longformLoadedText_;
    QString lastTakeComplaint_;
    QString lastRecordingComplaint_;
    QTimer* timer_ = nullptr;
    int handoffRefreshCount_ = 0;
    int handoffPollsCompleted_ = 0;
    bool pollReading_ = false;
    std::optional<Held> held_;
};
