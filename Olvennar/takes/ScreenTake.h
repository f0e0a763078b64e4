#pragma once

#include "capture/ScreenRecorder.h"
#include "takes/Take.h"
#include "takes/TakeHost.h"

#include <memory>
#include <optional>

class ClickTracker;
class PointerTracker;
class PointerTrackerMarker;
class RecordingClock;
class TakeServices;
struct StoppedScreenTake;

// A take of one display with its microphone and system sound, the desk camera and phone panels filmed
// beside it, and the clicks and pointer that plan its zooms and layout. One object serves every screen
// take of the studio; its trackers outlive a take so the hot keys can mark zooms.
//
// Main thread only. The recorder's failure report arrives on its writer queue and hops here.
class ScreenTake final : public Take {
    Q_OBJECT

public:
    // Without services no take can start.
    ScreenTake(TakeHost& host, TakeServices* services);
    ~ScreenTake() override;

    // The microphone when its switch is on, the camera when the bubble is.
    TakeAccess access(const TakeStart& start) const override;
    std::optional<QString> refusal(const TakeStart& start) const override;
    QCoro::Task<std::optional<QString>> choose(const TakeStart& start) override;
    QRect countdownFrame(const TakeStart& start) const override { return start.display ? start.display->frame : QRect(); }
    QCoro::Task<std::optional<QString>> record(const TakeStart& start, const TakeFolder& folder) override;
    // Opens the microphone, the system sound and the encoders on a worker while the countdown runs.
    QCoro::Task<std::optional<QString>> prepareDevices() override;
    void releaseDevices() override;
    QCoro::Task<> stop(bool byRemote) override;
    QCoro::Task<> discard() override;
    void pause() override;
    void resume() override;
    bool isRunning() const override { return hasScreenRecorder(); }
    bool hasScreenRecorder() const { return screenRecorder_ != nullptr; }
    double elapsedSeconds() const override;
    const std::optional<TakeFolder>& folder() const override { return folder_; }
    ZoomMarker* zoomMarker() override;
    QJsonObject lookObject(const TakeLook& look) const override;
    std::optional<QString> projectFolder() const { return folder_ ? std::optional<QString>(folder_->path) : std::nullopt; }
    QString takeSuffix() const { return folder_ ? folder_->suffix : QString(); }
    bool createdProjectFolder() const { return folder_ && folder_->created; }

    // A recorder failed mid-take: everything stops, the take is saved as far as it got (every file stays when
    // not one picture was written), and the status line says why it stopped and what was kept.
    QCoro::Task<> failDuringTake(ScreenRecorder::RecorderError error);
    // The ownCursor setting as it was when the current (or last) take started.
    bool takeDrawsOwnCursor() const { return takeDrawsOwnCursor_; }
    ClickTracker* clickTracker() const { return clickTracker_.get(); }
    PointerTracker* pointerTracker() const { return pointerTracker_.get(); }

private:
    ScreenRecorder::Options recorderOptions(const TakeStart& settings) const;
    // `failure`: the recorder failure that ends the take; the movie the recorder kept up to it is saved like
    // any take, unless it holds no picture, and the failure's notice shows. True when the take was handed to
    // its save.
    QCoro::Task<bool> stopScreen(bool byRemote, std::optional<ScreenRecorder::RecorderError> failure);
    // Stops the screen recorder (when one runs), then the desk camera and the phone recorder, letting each
    // finish its file. False when the take went away meanwhile.
    QCoro::Task<bool> stopRecorders();
    // Closes the panels' movies after a good screen movie; false when the take went away meanwhile.
    QCoro::Task<bool> stopOverlays(StoppedScreenTake& stopped);
    QCoro::Task<> finishStop(StoppedScreenTake stopped, TakeFolder folder, bool byRemote, std::optional<ScreenRecorder::RecorderError> failure);
    void stopTrackers();
    // Ends a take whose stop or recording failed: the failure shows and a folder the take made goes when empty.
    void abandon(const QString& sentence);

    TakeHost& host_;
    TakeServices* services_;
    std::unique_ptr<ClickTracker> clickTracker_;
    std::unique_ptr<PointerTracker> pointerTracker_;
    std::unique_ptr<PointerTrackerMarker> zoomMarker_;
    std::shared_ptr<RecordingClock> clock_;
    // Shared with the worker that opens its sound while the countdown runs.
    std::shared_ptr<ScreenRecorder> preparedRecorder_;
    std::shared_ptr<ScreenRecorder> screenRecorder_;
    // The settings of the take being started.
    TakeStart settings_;
    std::optional<TakeFolder> folder_;
    bool takeDrawsOwnCursor_ = false;
    // The take that failed mid-way is being wound down.
    bool windingDown_ = false;
};
