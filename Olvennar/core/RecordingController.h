#pragma once

#include "takedata/CaptureMode.h"
#include "finishing/FinishJob.h"
#include "finishing/FinishDisplay.h"
#include "finishing/FinishQueue.h"
#include "core/CameraBubblePanel.h"
#include "core/Platform.h"
#include "core/PhoneScreenPanel.h"
#include "framing/CameraPanel.h"
#include "framing/FramingCheckDisplay.h"
#include "takedata/RecordingChannel.h"
#include "core/RecordingControllerKeys.h"
#include "core/RecordingControllerSettings.h"
#include "core/RemoteTakeControl.h"
#include "platform/system/GuiStallProbe.h"
#include "takedata/RecordingPhase.h"
#include "core/HandoffWatch.h"
#include "core/TakeSequence.h"
#include "shorts/ShortFramingAccumulator.h"
#include "takes/CameraRouting.h"
#include "takes/TakeKinds.h"
#include "takes/TakeLook.h"

#include <QDateTime>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <map>
#include <memory>
#include <optional>
#include <vector>

#include <qcorotask.h>

class CameraFrameTap;
class CameraOnlyRecorder;
class CancelToken;
class ControllerHandoffStudio;
class ControllerFinishStudio;
class ControllerHooks;
class ControllerTakeStudio;
class EnhanceQueue;
class FramingMonitor;
struct LivePreviewSource;
class QTimer;
class Scheduler;
class Take;
class ZoomMarker;
struct FramingCropSpec;
struct SaveJobHandover;
namespace Mixdown {
struct Request;
}

// The one controller of the process: publishes the state every view shows, keeps the settings, and runs
// each take through the take of the current capture mode. Owns the panels and job queue. Lives on the GUI
// thread from first need to the end of the process.
//
// Each published property is a getter plus a setter that stores the value, runs its observer (persisting
// its setting where it has one) and emits changed(). Views re-read on changed().
class RecordingController : public QObject, private RemoteTakeControl::Studio, private PhoneScreenPanel::Studio,
                            private CameraBubblePanel::Studio {
    Q_OBJECT

public:
    using Phase = RecordingPhase;
    using CaptureMode = ::CaptureMode;
    using Quality = ScreenQuality;
    using CameraQuality = ::CameraQuality;
    using FinishJob = ::FinishJob;
    using Keys = RecordingControllerKeys;
    using Devices = std::vector<CaptureDeviceInfo>;
    using ShortPosition = ShortSettings::Position;

    explicit RecordingController(Platform platform, QObject* parent = nullptr);
    ~RecordingController() override;

    Platform& platform() { return platform_; }
    // A take is under way and not yet stopping.
    static bool recordingOrPaused(const Phase& phase) { return phase.isRolling(); }
    // "mm:ss" below an hour, "h:mm:ss" from there; "00:00" for negative or non-finite input.
    static QString timeString(double seconds);
    // Center Stage does not exist on Linux cameras: the camera never follows or zooms on its own.
    static void applyCenterStagePolicy(CaptureMode mode) { (void)mode; }
    static QString launchLine(const QString& version, const QString& screen, const QString& microphone, const QString& camera);
    // "modeSetting." + name + "." + the current capture mode's raw text.
    QString modeKey(const QString& name) const;
    void restoreModeSettings();
    // Takes whose finish jobs are still working, each once.
    int finishingCount() const { return finishQueue_->finishingCount(); }
    // What a quit now would cut short, each take once (the quit guard asks): the take recording, paused or
    // stopping (its save is listed only at its hand-over, when it stops counting itself) and the takes whose
    // finish jobs are still working.
    int takesStillFinishing() const { return finishingCount() + (takes_->takeToFinish() ? 1 : 0); }
    // The studio is ending: no take starts from now on, a countdown stops, a take recording or paused is
    // stopped the normal way and a take stopping reaches its end, so its recorders close their movies. Returns
    // once no take is under way and, with `saves`, no finish work runs that the next launch could not
    // resume. The caller bounds the wait.
    QCoro::Task<> windDown(bool saves);
    // "Quit anyway": the finish jobs are given up and every export under way stops without writing.
    void giveUpFinishing();
    // What of the take the shown finished file holds, when not all of it; empty otherwise.
    const QString& finishNote() const { return finish_->note(); }
    // What the footer tells beside its form: a take's lost frames, a reveal that found no file manager.
    // Empty once a new take starts.
    const QString& notice() const { return notice_; }
    // Logs the sentence and shows it as the footer's notice.
    void inform(const QString& sentence);
    // The shown failure is a finish job's, and its Retry has not been used.
    bool canRetryFinish() const { return finish_->canRetry(); }
    // Runs the shown failed finish job again, back to idle meanwhile.
    void retryFinish() { finish_->retry(); }
    // The failure shown, with the failed render's sentence under it while its Retry waits.
    QString failureText() const { return finish_->failureText(); }
    // Checks access and lists displays and devices.
    QCoro::Task<> checkPermissionAndLoadDisplays();
    // Take operations: every take goes through these, whether a window button, a hot key or the remote asks.
    QCoro::Task<> start() override { return takes_->start(); }
    QCoro::Task<> stop() override;
    QCoro::Task<> discard() override;
    void togglePause() { takes_->togglePause(); }
    // The shared take sequence: the takes, the one running, the ticker.
    TakeSequence& takes() { return *takes_; }
    Take* activeTake() const { return takes_->activeTake(); }
    Take* takeOf(CaptureMode mode) const { return takes_->takeOf(mode); }
    // What the current capture mode's take records and can do.
    TakeTraits traits() const { return takes_->kinds().traits(captureMode_); }
    // Global hot keys and the remote button.
    void registerHotKeys();
    void markZoom(bool zoomIn);
    RemoteTakeControl& remote() { return *remote_; }
    // Back to idle after a take: the phase observer runs, elapsed is cleared, the destination recomputed.
    void reset();
    // Take state. A mode change is refused from a start request until the studio is idle again.
    CaptureMode captureMode() const { return captureMode_; } void setCaptureMode(CaptureMode mode);
    // From a start request (awaiting access, warm-up or countdown) through filming and finishing.
    bool takeUnderWay() const { return takes_->takeUnderWay(); }
    const Phase& phase() const override { return phase_; } void setPhase(const Phase& phase) override;
    bool finishWaitingForBreak() const { return finishWaitingForBreak_; } void setFinishWaitingForBreak(bool waiting);
    double elapsed() const { return elapsed_; } void setElapsed(double seconds) { publish(elapsed_, seconds); }
    QDateTime lastTakeEndedAt() const { return lastTakeEndedAt_; }
    // A start/stop press this soon after a take stopped on its own (a full disk, a lost source) raced that stop:
    // the user was stopping the take, not asking for a new one.
    static constexpr double pressAfterOwnStopSeconds = 1.0;
    bool pressRacedTheTakesOwnStop() const override;
    // Screen and sound.
    const std::vector<DisplayInfo>& displays() const { return screen_.displays; } void setDisplays(std::vector<DisplayInfo> displays);
    std::optional<quint32> selectedDisplayID() const { return screen_.selectedDisplayID; }
    void setSelectedDisplayID(std::optional<quint32> id);
    bool captureMicrophone() const { return screen_.captureMicrophone; } void setCaptureMicrophone(bool on);
    bool captureSystemAudio() const { return screen_.captureSystemAudio; } void setCaptureSystemAudio(bool on);
    const Devices& microphones() const { return screen_.microphones; } void setMicrophones(Devices microphones);
    const std::optional<QString>& selectedMicrophoneID() const { return screen_.selectedMicrophoneID; }
    void setSelectedMicrophoneID(const std::optional<QString>& id);
    Quality quality() const { return screen_.quality; } void setQuality(Quality quality) { publish(screen_.quality, quality); }
    // Permissions.
    bool hasScreenPermission() const { return access_.hasScreenPermission; } void setHasScreenPermission(bool granted);
    Permissions::State micPermission() const { return access_.micPermission; } void setMicPermission(Permissions::State state);
    Permissions::State cameraPermission() const { return access_.cameraPermission; } void setCameraPermission(Permissions::State state);
    // Destination.
    const QString& destinationName() const { return destination_.destinationName; }
    void refreshDestinationName();
    const std::optional<QString>& lastFinalURL() const { return destination_.lastFinalURL; }
    void setLastFinalURL(const std::optional<QString>& path);
    const std::optional<QString>& destinationFolder() const { return destination_.destinationFolder; }
    void setDestinationFolder(const std::optional<QString>& folder);
    RecordingChannel channel() const { return destination_.channel; } void setChannel(RecordingChannel channel);
    const QStringList& existingFolders() const { return destination_.existingFolders; }
    // The folder the next short take will create, "~" for the home folder.
    QString shortDestinationName() const;
    RecordingChannel shortTakeChannel() const { return destination_.shortTakeChannel; } void setShortTakeChannel(RecordingChannel channel);
    RecordingChannel shortHeaderChannel() const;
    bool shortCropLocked() const { return phase_.isBusy(); }
    // Camera bubble.
    const Devices& cameras() const { return bubble_.cameras; } void setCameras(Devices cameras);
    const std::optional<QString>& selectedCameraID() const { return bubble_.selectedCameraID; }
    void setSelectedCameraID(const std::optional<QString>& id) override;
    bool cameraEnabled() const { return bubble_.cameraEnabled; } void setCameraEnabled(bool on);
    BubbleShape bubbleShape() const { return bubble_.bubbleShape; } void setBubbleShape(BubbleShape shape);
    double bubbleTilt() const { return bubble_.bubbleTilt; } void setBubbleTilt(double degrees) { publish(bubble_.bubbleTilt, degrees); }
    double bubbleSize() const { return bubble_.bubbleSize; } void setBubbleSize(double size);
    bool mirrorCamera() const { return bubble_.mirrorCamera; } void setMirrorCamera(bool mirrored);
    CameraQuality cameraQuality() const { return bubble_.cameraQuality; } void setCameraQuality(CameraQuality quality);
    // The qualities the selected camera (else the first listed) offers.
    std::vector<CameraQuality> cameraQualityOptions() const;
    // Short mode.
    ShortPosition shortPosition() const { return short_.shortPosition; } void setShortPosition(ShortPosition position);
    bool shortSafeZones() const { return short_.shortSafeZones; } void setShortSafeZones(bool on);
    bool shortFramingGuide() const { return short_.shortFramingGuide; } void setShortFramingGuide(bool on);
    bool shortMirrorFile() const { return short_.shortMirrorFile; } void setShortMirrorFile(bool on);
    QSizeF shortFrameSize() const { return short_.shortFrameSize; } void setShortFrameSize(QSizeF size);
    const std::optional<QString>& lastShortURL() const { return short_.lastShortURL; }
    void setLastShortURL(const std::optional<QString>& path);
    // Handoffs: the pending short (".next_take.json") and long-form (".next_recording.json") records.
    HandoffWatch& handoffs() { return *handoffs_; }
    const HandoffWatch& handoffs() const { return *handoffs_; }
    // iPhone screen: its switch, settings, list and panel.
    PhoneScreenPanel& phone() { return *phone_; }
    const PhoneScreenPanel& phone() const { return *phone_; }
    // Zoom and look: one group, read whole by the screen take's stop.
    const TakeLook& look() const { return look_; }
    ZoomMode zoomMode() const { return look_.zoomMode; } void setZoomMode(ZoomMode mode);
    double zoomAmount() const { return look_.zoomAmount; } void setZoomAmount(double amount) { publish(look_.zoomAmount, amount); }
    int zoomMarkCount() const { return zoomMarkCount_; } void setZoomMarkCount(int count) { publish(zoomMarkCount_, count); }
    bool clickHighlight() const { return look_.clickHighlight; } void setClickHighlight(bool on);
    bool ownCursor() const { return look_.ownCursor; } void setOwnCursor(bool on);
    bool cameraGrade() const { return look_.cameraGrade; } void setCameraGrade(bool on);
    bool frameFocusedWindow() const { return look_.frameFocusedWindow; } void setFrameFocusedWindow(bool on);
    bool export4K() const { return look_.export4K; } void setExport4K(bool on);
    ScreenLayout screenLayout() const { return look_.screenLayout; } void setScreenLayout(ScreenLayout layout);
    FaceLayout faceLayout() const { return look_.faceLayout; } void setFaceLayout(FaceLayout layout);
    StudioBackground studioBackground() const { return look_.studioBackground; } void setStudioBackground(StudioBackground background);
    LayoutMode layoutMode() const { return look_.layoutMode; } void setLayoutMode(LayoutMode mode);
    // Panels.
    int countdownSeconds() const { return panels_.countdownSeconds; } void setCountdownSeconds(int seconds);
    bool teleprompterVisible() const { return panels_.teleprompterVisible; } void setTeleprompterVisible(bool visible);
    bool framingHintsOnBubble() const { return panels_.framingHintsOnBubble; } void setFramingHintsOnBubble(bool on);
    // Voice-enhancement rows and their one worker; a listed row is put back in line by retryEnhance.
    EnhanceQueue& enhanceQueue() { return *enhanceQueue_; }
    void retryEnhance(const QUuid& id);
    // Save and render jobs; the take's row is listed at its stop.
    FinishQueue& finishQueue() { return *finishQueue_; }
    const std::vector<FinishJob>& finishJobs() const { return finishQueue_->finishJobs(); }
    // Devices. The first listed microphone whose name contains the "preferredMicName" text (any letter case).
    std::optional<CaptureDeviceInfo> preferredMicrophone() const;
    std::optional<QString> selectedMicrophoneName() const;
    // The selected microphone ranks below the best listed one.
    bool usingWorseMicrophoneThanAvailable() const;
    // No capture device exists (none listed and none refused for want of access): said as missing, never as access.
    bool noCameraDevice() const;
    // Asks for camera access, then opens the "Short frame" window or brings it forward (Short mode only).
    // Entering Short runs it too, from the picker or a handoff. A camera that cannot be opened shows the access
    // instruction; with no camera at all nothing is put up and the phase says none was found.
    QCoro::Task<> openShortPreview();
    // Main-window actions.
    void replayLastShort();
    void revealLastRecording();
    // Permissions and device lists (RecordingControllerDevices.cpp).
    void refreshPermissions();
    void refreshDevices() override;
    // The displays listed again as they measure now, the choice left as it is; nothing without screen access.
    void refreshDisplays();
    QCoro::Task<> enableCamera();
    // The desk camera's bubble: its recorder, window and layout.
    CameraBubblePanel& bubblePanel() { return *bubblePanel_; }
    const CameraBubblePanel& bubblePanel() const { return *bubblePanel_; }
    // The desk camera's newest frame (the export preview's card); none without a camera recorder.
    std::shared_ptr<CameraFrameTap> deskCameraFrameTap() const;
    using ScreenPlace = ::ScreenPlace;
    // The selected display's screen; the primary (else first) one when none is selected or none matches.
    std::optional<ScreenPlace> selectedScreen() const override;
    // Where a "Just me", short or voice countdown shows: the selected screen while its display is listed
    // and the countdown is at least a second; none means the take starts without counting.
    std::optional<QRect> countdownFrame() const;
    const std::vector<ScreenDisplay>& screenDisplays() const { return screenDisplays_; }
    // Reactions to the panel switches and the look.
    void cameraEnabledChanged();
    void applyBubbleLayout(bool reanchor) { bubblePanel_->applyLayout(reanchor); }
    // The panels match their switches again after a take.
    void settleOverlayWindows();
    // Camera routing (CameraRouting) runs after every published change; it is idempotent and cheap.
    void updateFramingRouting() override;
    // Which picture each framing monitor reads, the camera-only preview and its recorder, the windows' state.
    CameraRouting& routing() { return *routing_; }
    const CameraRouting& routing() const { return *routing_; }
    // The crops the desk monitor judges in the current mode and look.
    std::vector<FramingCropSpec> framingSpecs() const;
    // The framing-check and short preview windows say when they open and close.
    void setFramingWindowOpen(bool open);
    // The main window's "Check framing": "Short" opens the short preview instead; "Just me" asks for the camera
    // first, the other modes switch the bubble camera on. An open window is only brought forward.
    QCoro::Task<> openFramingCheck();
    // The open "Check framing" window; none once it closed.
    FramingCheckDisplay* framingWindow() const { return framingWindow_.get(); }
    void setShortWindowOpen(bool open);
    // The short preview shows the file's side while shortViewerView is on, else the mirror setting.
    void setShortViewerView(bool fileSide);
    // The take description's "look" object, in its own lower-case words, from the current settings.
    QJsonObject harnessLook() const;

Q_SIGNALS:
    void changed();

private:
    template <typename T> void publish(T& field, T value) { field = std::move(value); Q_EMIT changed(); }
    void publishSetting(bool& field, bool value, const QString& key);
    // Opens the stall probe's window when a start or stop begins, closes it when the phase moves on.
    void measureStalls(const Phase& old, const Phase& phase);
    Scheduler& scheduler() { return *scheduler_; }
    bool selectedDisplayListed() const;
    // Reads the displays into the list the window shows; false when the screen cannot be reached.
    bool listDisplays();
    // Asks for the camera a window shows; a refusal fails the phase with the sentence (or "No camera found."
    // without any camera), except during a take, which only loses the window (logged under `window`).
    QCoro::Task<bool> askCameraForWindow(QString window, QString refusedSentence);
    // The take sequence reads and changes the studio through the controller's own names and these.
    friend class ControllerTakeStudio;
    // What camera routing reads in the studio.
    CameraRouting::Inputs routingInputs() const;
    // The take failed while filming: the failure sound, the beep, and the studio comes to the front.
    void alarmTakeFailed();
    // A take is between its start and filming, or filming: the camera-only preview belongs to it.
    bool cameraOnlyTakeOwnsPreview() const;
    void watchFramingInputs();
    // The check window's close, on a later turn: forgets the window (unless it was shown again) and re-routes.
    void framingCheckClosed(FramingCheckDisplay* window);

    ControllerHooks& hooks();
    void readSettings();
    void writeLaunchLine();
    void playSound(const QString& name);
    TakeServices* takeServices() const { return platform_.takes; }
    const BubbleSettings& bubbleSettings() const override { return bubble_; }
    // The desk camera's framing verdict as the bubble's pill, while hints are on in a screen take and the
    // desk monitor analyses; hidden otherwise.
    void showFramingOnBubble();
    void watchDeviceChanges();

    Platform platform_;
    EnhanceQueue* enhanceQueue_ = nullptr; // child object
    CaptureMode captureMode_ = CaptureModes::allCases.front();
    Phase phase_;
    bool finishWaitingForBreak_ = false;
    double elapsed_ = 0;
    QDateTime lastTakeEndedAt_;
    bool stopAsked_ = false; // the take under way was asked to stop or discard
    std::optional<double> stoppedOnItsOwnAt_; // scheduler seconds
    bool restoringModeSettings_ = false;
    ScreenAndSound screen_;
    AccessState access_;
    DestinationState destination_;
    BubbleSettings bubble_;
    ShortSettings short_;
    // The handoff watch and the studio it sees; the watch goes first.
    std::unique_ptr<ControllerHandoffStudio> handoffStudio_;
    std::unique_ptr<HandoffWatch> handoffs_;
    TakeLook look_;
    int zoomMarkCount_ = 0;
    PanelSwitches panels_;
    std::unique_ptr<RemoteTakeControl> remote_;
    std::unique_ptr<Scheduler> mainLoopScheduler_;
    Scheduler* scheduler_ = nullptr;
    // What the studio shows of finished takes and finish jobs, and the studio it sees; both outlive the queue.
    std::unique_ptr<ControllerFinishStudio> finishStudio_;
    std::unique_ptr<FinishDisplay> finish_;
    std::unique_ptr<FinishQueue> finishQueue_;
    QString notice_;
    std::vector<ScreenDisplay> screenDisplays_;
    std::unique_ptr<CameraBubblePanel> bubblePanel_;
    std::unique_ptr<PhoneScreenPanel> phone_;
    bool preferredMicWasPresent_ = false;
    bool modeSettingsRestoredOnce_ = false;
    // Camera routing and the camera-only recorder; the takes filmed with it reach it, so it outlives them.
    std::unique_ptr<CameraRouting> routing_;
    std::unique_ptr<FramingCheckDisplay> framingWindow_;
    bool routingQueued_ = false;
    // How long the GUI thread is held during a start (countdown's end to capture) and a stop (GUI thread).
    GuiStallProbe stallProbe_{GuiStallProbe::enabledByEnvironment()};
    // The take sequence and the studio it sees; the sequence and its takes go first, before the camera
    // routing whose recorder they film with.
    std::unique_ptr<ControllerTakeStudio> takeStudio_;
    std::unique_ptr<TakeSequence> takes_;
};
