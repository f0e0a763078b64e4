#pragma once

#include "framing/CountdownDisplay.h"
#include "platform/system/ErrorInfo.h"
#include "takedata/BubbleShape.h"
#include "takedata/CaptureMode.h"
#include "takedata/RecordingChannel.h"
#include "takedata/RecordingPhase.h"
#include "takes/TakeHost.h"
#include "takes/TakeKinds.h"

#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <optional>
#include <variant>

#include <qcorotask.h>

class AccessProbe;
class CameraPanel;
class CancelToken;
class HandoffWatch;
class QTimer;
class Settings;
class Take;

// The steps every kind of take shares, run once for all of them: the start's guard, access, the countdown
// beside the take's device warm-up, the take folder, the phases, the elapsed ticker, pause, stop, discard and
// what a take's end shows. Holds one take of each kind in the table and the one a start chose, which every
// operation reaches until the studio is idle again; the capture mode cannot change meanwhile. Takes report
// to it as their host.
//
// Threading: lives on the main thread and is only called there; the takes, the ticker and the countdown run
// there too. A start awaits access, the countdown and the take's own workers; after every await it checks
// that the sequence still exists and that its take is still the running one before it changes a phase or
// arms a device.
class TakeSequence : public QObject, private TakeHost {
    Q_OBJECT

public:
    // What the sequence reads of the studio and changes in it.
    class Studio {
    public:
        virtual ~Studio() = default;
        virtual const RecordingPhase& phase() const = 0;
        virtual void setPhase(const RecordingPhase& phase) = 0;
        // Idle again: elapsed cleared, the destination recomputed.
        virtual void reset() = 0;
        virtual void setElapsed(double seconds) = 0;
        virtual void setZoomMarkCount(int count) = 0;
        virtual CaptureMode captureMode() const = 0;
        virtual RecordingChannel channel() const = 0;
        // The settings a take starts with, as they stand now.
        virtual TakeStart settings() const = 0;
        virtual HandoffWatch& handoffs() = 0;
        virtual void refreshPermissions() = 0;
        virtual void refreshDevices() = 0;
        // The displays listed again, as they measure now: one may have been resized since they were read.
        virtual void refreshDisplays() = 0;
        virtual bool noCameraDevice() const = 0;
        virtual int countdownSeconds() const = 0;
        virtual const std::optional<QString>& destinationFolder() const = 0;
        virtual void setDestinationFolder(const std::optional<QString>& folder) = 0;
        virtual void refreshDestinationName() = 0;
        virtual void setShortTakeChannel(RecordingChannel channel) = 0;
        virtual void setLastFinalURL(const std::optional<QString>& path) = 0;
        virtual void setLastShortURL(const std::optional<QString>& path) = 0;
        // The phase shows the finished file; `note` says what it lacks.
        virtual void showFinishedTake(const QString& path, const QString& note) = 0;
        // The footer's notice, logged.
        virtual void inform(const QString& sentence) = 0;
        virtual void playSound(const QString& name) = 0;
        // The failure sound, the beep, and the studio to the front.
        virtual void alarmTakeFailed() = 0;
        virtual const TakeLook& look() const = 0;
        virtual FinishQueue& finishQueue() = 0;
        // The file names of takes in `folder` whose jobs still run (FinishQueue::takesUnderWay).
        virtual QStringList takesUnderWay(const QString& folder) const = 0;
        // The floating panels: the screen they stand on, their windows and look, re-placing and settling them.
        virtual std::optional<QRect> screenFrame() const = 0;
        virtual const CameraPanel* bubbleWindow() const = 0;
        virtual const CameraPanel* phoneWindow() const = 0;
        virtual BubbleShape bubbleShape() const = 0;
        virtual double bubbleTilt() const = 0;
        virtual double bubbleSize() const = 0;
        virtual bool phoneShowsFrame() const = 0;
        virtual void applyBubbleLayout(bool reanchor) = 0;
        virtual void settleOverlayWindows() = 0;
    };

    // One take per row of `kinds` is made here. `countdown` may be none: then no start counts.
    TakeSequence(Studio& studio, const TakeKinds& kinds, Settings& settings, AccessProbe& access,
        std::unique_ptr<CountdownDisplay> countdown, TakeServices* services, CameraOnlyPreview* preview);
    ~TakeSequence() override;

    const TakeKinds& kinds() const { return kinds_; }
    // The take a start chose (a short's voice track is recorded by the kind that records voice tracks) until
    // the studio is idle again, else the take of the current capture mode; none for a mode without a take.
    Take* activeTake() const;
    // The take of a capture mode; none for a mode without a row.
    Take* takeOf(CaptureMode mode) const;
    // What a take of the table records and can do, by its own row whatever the mode is now.
    TakeTraits traitsOf(const Take& take) const;
    // From a start request (awaiting access, warm-up or countdown) through filming and finishing.
    bool takeUnderWay() const;
    // A take a quit now would cut short: recording, paused or stopping (not a discard, which keeps nothing),
    // or already recording while its start settles. A countdown has nothing to lose yet.
    bool takeToFinish() const;
    // The studio is ending: no take starts from now on.
    void refuseStarts() { startsRefused_ = true; }
    QCoro::Task<> start();
    // `byRemote` trims the tail of a stop the remote asked for.
    QCoro::Task<> stop(bool byRemote);
    QCoro::Task<> discard();
    void togglePause();
    // The studio's phase changed: a countdown whose phase was changed under it must not go on into a take.
    void phaseChanged(const RecordingPhase& phase);
    bool isTickerRunning() const { return ticker_ != nullptr; }
    // The pending short handoff of this channel asks for a voice track instead of a filmed short.
    bool shortWantsVoiceTrack();
    // The take description's "look" object of the kind that marks zooms; empty without one.
    QJsonObject lookObject(const TakeLook& look) const;

Q_SIGNALS:
    void changed();

private:
    using Phase = RecordingPhase;

    // What the takes reach.
    void enter(TakeStep step) override;
    void fail(const QString& sentence) override;
    // A start turned away before anything was opened: the sentence is shown, and nothing is logged, since
    // no take began.
    void refuse(const QString& sentence);
    void inform(const QString& sentence) override { studio_.inform(sentence); }
    bool rolling() const override;
    void ended(const TakeEnd& end) override;
    void handOver(const SaveJobHandover& job) override;
    const TakeLook& look() const override { return studio_.look(); }
    OverlayPanels measurePanels(QSizeF renderSize) const override;
    void applyBubbleLayout(bool reanchor) override { studio_.applyBubbleLayout(reanchor); }
    void settleOverlayWindows() override { studio_.settleOverlayWindows(); }
    FinishQueue& finishQueue() override { return studio_.finishQueue(); }
    void preparedDeviceFailed() override;

    // The steps every kind's start shares, from the start's guard to recording.
    QCoro::Task<> runStart(Take& take, TakeTraits traits, bool voiceTrack);
    TakeStart takeStart(bool voiceTrack) const;
    // Asks for what the take needs; nothing when a refusal failed the start (shown and logged), else whether
    // the camera was granted.
    QCoro::Task<std::optional<bool>> askAccess(TakeAccess access);
    // Counts down over the frame when a countdown is set while take.prepareDevices() opens the take's
    // devices; true once both are done and the devices flow. False when something interrupted the countdown
    // or a device failed (shown and logged); the take's devices are then released.
    QCoro::Task<bool> countDown(QRect frame, Take& take);
    // The chosen folder with its next take suffix, else a new project folder.
    std::variant<TakeFolder, ErrorInfo> openTakeFolder();
    // Creates a new short's dated folder; the start gets the script.
    std::variant<TakeFolder, ErrorInfo> resolveShortFolder(TakeStart& start);
    void startTicker();
    void stopTicker();

    Studio& studio_;
    Settings& settings_;
    AccessProbe& access_;
    std::unique_ptr<CountdownDisplay> countdown_;
    // The kinds of take by capture mode and one take of each; a mode without a row cannot start.
    TakeKinds kinds_;
    std::map<CaptureMode, std::unique_ptr<Take>> takes_;
    QTimer* ticker_ = nullptr;
    // A start is between its guard and its recording phase (awaiting access or the countdown).
    bool startInFlight_ = false;
    bool startsRefused_ = false;
    // A discard is clearing the take's files.
    bool discarding_ = false;
    // The take the last start chose; stop, discard and pause reach it until the studio is idle again.
    QPointer<Take> runningTake_;
    CancelToken* countdownToken_ = nullptr;
    // The countdown was ended early by a device that failed under it: the start goes on to say why.
    bool countdownCutByDevice_ = false;
};
