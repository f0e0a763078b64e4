#pragma once

#include "capture/RemoteButton.h"
#include "takedata/StudioLook.h"
#include "core/CaptureDeviceInfo.h"
#include "takedata/CaptureMode.h"
#include "core/FinishJob.h"
#include "platform/system/Permissions.h"
#include "core/Platform.h"
#include "takedata/RecordingChannel.h"
#include "takedata/RecordingPhase.h"
#include "core/RecordingQuality.h"
#include "takedata/LayoutMode.h"
#include "takedata/ZoomMode.h"
#include "takedata/BubbleShape.h"
#include "compositing/FaceCardFraming.h"
#include "takedata/ClipSegment.h"
#include "platform/x11/ScreenDisplay.h"
#include "takedata/NextRecording.h"

#include <QDateTime>
#include <QJsonObject>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <qcorotask.h>

class CameraBubbleWindow;
class ClickTracker;
class ControllerHooks;
class FinishingTools;
class Scheduler;
struct SaveJobHandover;
namespace Mixdown {
struct Request;
}
class CancelToken;
class EnhanceQueue;
class CountdownWindow;
struct ErrorInfo;
class OverlayRecorder;
class PointerTracker;
class QTimer;
class RecordingClock;
class ScreenRecorder;
class TakeServices;
class ZoomMarker;
struct ZoomTimeline;
struct FramingReport;

// The one controller of the process: owns every recorder, tracker, panel and job queue and publishes the
// state every view shows. Lives on the GUI thread from first need to the end of the process.
//
// Each published property is a getter plus a setter that stores the value, runs its observer (persisting
// its setting where it has one) and emits changed(). Views re-read on changed().
class RecordingController : public QObject {
    Q_OBJECT

public:
    using Phase = RecordingPhase;
    using CaptureMode = ::CaptureMode;
    using Quality = ScreenQuality;
    using CameraQuality = ::CameraQuality;
    using FinishJob = ::FinishJob;
    // The normalized centre of the 9:16 crop of a short, each 0...1.
    struct ShortPosition {
        double x = 0.5;
        double y = 0.5;
        friend bool operator==(const ShortPosition&, const ShortPosition&) = default;
    };

    // Settings keys the controller reads at construction and writes on change.
    struct Keys {
        static QString shortSafeZones() { return QStringLiteral("shortSafeZones"); }
        static QString shortFramingGuide() { return QStringLiteral("shortFramingGuide"); }
        static QString shortMirrorFile() { return QStringLiteral("shortMirrorFile"); }
        static QString framingHintsOnBubble() { return QStringLiteral("framingHintsOnBubble"); }
        static QString cameraGrade() { return QStringLiteral("cameraGrade.2026-10-22"); }
        static QString frameFocusedWindow() { return QStringLiteral("frameFocusedWindow"); }
        static QString export4K() { return QStringLiteral("export4K"); }
        static QString clickHighlight() { return QStringLiteral("clickHighlight.2026-10-30"); }
        static QString ownCursor() { return QStringLiteral("ownCursor"); }
        static QString zoomMode() { return QStringLiteral("zoomMode"); }
        static QString screenLayout() { return QStringLiteral("screenLayout"); }
        static QString faceLayout() { return QStringLiteral("faceLayout"); }
        static QString studioBackground() { return QStringLiteral("studioBackground"); }
        static QString layoutMode() { return QStringLiteral("layoutMode"); }
        static QString shortCropX() { return QStringLiteral("shortCropX"); }
        static QString shortCropY() { return QStringLiteral("shortCropY"); }
        static QString preferredMicName() { return QStringLiteral("preferredMicName"); }
        static QString shortIgnoredNextTake() { return QStringLiteral("shortIgnoredNextTake"); }
        static QString shortAutoSwitchedHandoff() { return QStringLiteral("shortAutoSwitchedHandoff"); }
        static QString longformIgnoredNextRecording() { return QStringLiteral("longformIgnoredNextRecording"); }
        static QString longformHandledNextRecording() { return QStringLiteral("longformHandledNextRecording"); }
    };

    explicit RecordingController(Platform platform, QObject* parent = nullptr);
    ~RecordingController() override;

    Platform& platform() { return platform_; }

    // Filming: counting down, preparing, recording or paused. Busy: filming or finishing.
    static bool isFilming(const Phase& phase) { return phase.isFilming(); }
    static bool isBusy(const Phase& phase) { return phase.isBusy(); }
    // "mm:ss" below an hour, "h:mm:ss" from there; "00:00" for negative or non-finite input.
    static QString timeString(double seconds);
    // Center Stage does not exist on Linux cameras: the camera never follows or zooms on its own.
    static void applyCenterStagePolicy(CaptureMode mode) { (void)mode; }

    // "modeSetting." + name + "." + the current capture mode's raw text.
    QString modeKey(const QString& name) const;
    void restoreModeSettings();

    // Finish jobs still working (the quit guard asks).
    int finishingCount() const;
    // Checks access and lists displays and devices.
    QCoro::Task<> checkPermissionAndLoadDisplays();

    // Take operations: every take goes through these, whether a window button, a hot key or the remote asks.
    QCoro::Task<> start();
    QCoro::Task<> stop();
    QCoro::Task<> discard();
    void togglePause();

    // Global hot keys and the remote button.
    void registerHotKeys();
    void markZoom(bool zoomIn);
    void registerRemoteButton();
    QCoro::Task<> remoteToggle();
    void remoteLongPress();
    bool hasPendingRemoteStop() const { return pendingRemoteStop_ != nullptr; }
    // Set just before a stop the remote asked for; the stop reads and clears it to trim the take's tail.
    bool stopCameFromRemote() const { return stopCameFromRemote_; }
    void setStopCameFromRemote(bool fromRemote) { stopCameFromRemote_ = fromRemote; }

    // Back to idle after a take: the phase observer runs, elapsed is cleared, the destination recomputed.
    void reset();

    // Take state.
    CaptureMode captureMode() const { return captureMode_; }
    void setCaptureMode(CaptureMode mode);
    const Phase& phase() const { return phase_; }
    void setPhase(const Phase& phase);
    bool finishWaitingForBreak() const { return finishWaitingForBreak_; }
    void setFinishWaitingForBreak(bool waiting) { publish(finishWaitingForBreak_, waiting); }
    double elapsed() const { return elapsed_; }
    void setElapsed(double seconds) { publish(elapsed_, seconds); }
    QDateTime lastTakeEndedAt() const { return lastTakeEndedAt_; }
    bool isRestoringModeSettings() const { return restoringModeSettings_; }

    // Screen and sound.
    const std::vector<DisplayInfo>& displays() const { return displays_; }
    void setDisplays(std::vector<DisplayInfo> displays) { publish(displays_, std::move(displays)); }
    std::optional<quint32> selectedDisplayID() const { return selectedDisplayID_; }
    void setSelectedDisplayID(std::optional<quint32> id) { publish(selectedDisplayID_, id); }
    bool captureMicrophone() const { return captureMicrophone_; }
    void setCaptureMicrophone(bool on) { publish(captureMicrophone_, on); }
    bool captureSystemAudio() const { return captureSystemAudio_; }
    void setCaptureSystemAudio(bool on) { publish(captureSystemAudio_, on); }
    const std::vector<CaptureDeviceInfo>& microphones() const { return microphones_; }
    void setMicrophones(std::vector<CaptureDeviceInfo> microphones) { publish(microphones_, std::move(microphones)); }
    const std::optional<QString>& selectedMicrophoneID() const { return selectedMicrophoneID_; }
    void setSelectedMicrophoneID(const std::optional<QString>& id);
    Quality quality() const { return quality_; }
    void setQuality(Quality quality) { publish(quality_, quality); }

    // Permissions.
    bool hasScreenPermission() const { return hasScreenPermission_; }
    void setHasScreenPermission(bool granted) { publish(hasScreenPermission_, granted); }
    Permissions::State micPermission() const { return micPermission_; }
    void setMicPermission(Permissions::State state) { publish(micPermission_, state); }
    Permissions::State cameraPermission() const { return cameraPermission_; }
    void setCameraPermission(Permissions::State state) { publish(cameraPermission_, state); }

    // Destination.
    const QString& destinationName() const { return destinationName_; }
    void refreshDestinationName();
    const std::optional<QString>& lastFinalURL() const { return lastFinalURL_; }
    void setLastFinalURL(const std::optional<QString>& path) { publish(lastFinalURL_, path); }
    const std::optional<QString>& destinationFolder() const { return destinationFolder_; }
    void setDestinationFolder(const std::optional<QString>& folder);
    RecordingChannel channel() const { return channel_; }
    void setChannel(RecordingChannel channel) { publish(channel_, channel); }
    const QStringList& existingFolders() const { return existingFolders_; }
    // The folder the next short take will create, "~" for the home folder.
    QString shortDestinationName() const;
    RecordingChannel shortTakeChannel() const { return shortTakeChannel_; }
    void setShortTakeChannel(RecordingChannel channel) { shortTakeChannel_ = channel; }
    RecordingChannel shortHeaderChannel() const;
    bool shortCropLocked() const { return phase_.isBusy(); }

    // Camera bubble.
    const std::vector<CaptureDeviceInfo>& cameras() const { return cameras_; }
    void setCameras(std::vector<CaptureDeviceInfo> cameras) { publish(cameras_, std::move(cameras)); }
    const std::optional<QString>& selectedCameraID() const { return selectedCameraID_; }
    void setSelectedCameraID(const std::optional<QString>& id) { publish(selectedCameraID_, id); }
    bool cameraEnabled() const { return cameraEnabled_; }
    void setCameraEnabled(bool on);
    BubbleShape bubbleShape() const { return bubbleShape_; }
    void setBubbleShape(BubbleShape shape);
    double bubbleTilt() const { return bubbleTilt_; }
    void setBubbleTilt(double degrees) { publish(bubbleTilt_, degrees); }
    double bubbleSize() const { return bubbleSize_; }
    void setBubbleSize(double size);
    bool mirrorCamera() const { return mirrorCamera_; }
    void setMirrorCamera(bool mirrored);
    CameraQuality cameraQuality() const { return cameraQuality_; }
    void setCameraQuality(CameraQuality quality);
    // The qualities the selected camera (else the first listed) offers.
    std::vector<CameraQuality> cameraQualityOptions() const;
    const std::optional<QString>& cameraOnlyPreviewCameraID() const { return cameraOnlyPreviewCameraID_; }
    void setCameraOnlyPreviewCameraID(const std::optional<QString>& id) { cameraOnlyPreviewCameraID_ = id; }

    // Short mode.
    ShortPosition shortPosition() const { return shortPosition_; }
    void setShortPosition(ShortPosition position);
    bool shortSafeZones() const { return shortSafeZones_; }
    void setShortSafeZones(bool on);
    bool shortFramingGuide() const { return shortFramingGuide_; }
    void setShortFramingGuide(bool on);
    bool shortMirrorFile() const { return shortMirrorFile_; }
    void setShortMirrorFile(bool on);
    QSizeF shortFrameSize() const { return shortFrameSize_; }
    void setShortFrameSize(QSizeF size) { publish(shortFrameSize_, size); }
    const std::optional<QString>& lastShortURL() const { return lastShortURL_; }
    void setLastShortURL(const std::optional<QString>& path) { publish(lastShortURL_, path); }

    // Long-form handoff.
    const std::optional<NextRecording>& nextRecording() const { return nextRecording_; }
    void setNextRecording(const std::optional<NextRecording>& record) { publish(nextRecording_, record); }
    // ".next_recording.json" in the recordings root, or nothing; a reason to ignore it is logged once.
    std::optional<NextRecording> loadNextRecording();
    void markRecordingHandled(const NextRecording& record);
    const std::optional<QString>& handledNextRecording() const { return handledNextRecording_; }
    const std::optional<QString>& ignoredNextRecording() const { return ignoredNextRecording_; }
    const std::optional<QString>& handledNextTake() const { return handledNextTake_; }
    const std::optional<QString>& ignoredNextTake() const { return ignoredNextTake_; }

    // iPhone screen.
    const std::vector<CaptureDeviceInfo>& phones() const { return phones_; }
    void setPhones(std::vector<CaptureDeviceInfo> phones) { publish(phones_, std::move(phones)); }
    const std::optional<QString>& selectedPhoneID() const { return selectedPhoneID_; }
    void setSelectedPhoneID(const std::optional<QString>& id) { publish(selectedPhoneID_, id); }
    bool phoneEnabled() const { return phoneEnabled_; }
    void setPhoneEnabled(bool on);
    bool phoneWaiting() const { return phoneWaiting_; }
    void setPhoneWaiting(bool waiting) { publish(phoneWaiting_, waiting); }
    bool phoneShowsFrame() const { return phoneShowsFrame_; }
    void setPhoneShowsFrame(bool showsFrame);
    double phoneHeight() const { return phoneHeight_; }
    void setPhoneHeight(double height);

    // Zoom and look.
    ZoomMode zoomMode() const { return zoomMode_; }
    void setZoomMode(ZoomMode mode);
    double zoomAmount() const { return zoomAmount_; }
    void setZoomAmount(double amount) { publish(zoomAmount_, amount); }
    int zoomMarkCount() const { return zoomMarkCount_; }
    void setZoomMarkCount(int count) { publish(zoomMarkCount_, count); }
    bool clickHighlight() const { return clickHighlight_; }
    void setClickHighlight(bool on);
    bool ownCursor() const { return ownCursor_; }
    void setOwnCursor(bool on);
    bool cameraGrade() const { return cameraGrade_; }
    void setCameraGrade(bool on);
    bool frameFocusedWindow() const { return frameFocusedWindow_; }
    void setFrameFocusedWindow(bool on);
    bool export4K() const { return export4K_; }
    void setExport4K(bool on);
    ScreenLayout screenLayout() const { return screenLayout_; }
    void setScreenLayout(ScreenLayout layout);
    FaceLayout faceLayout() const { return faceLayout_; }
    void setFaceLayout(FaceLayout layout);
    StudioBackground studioBackground() const { return studioBackground_; }
    void setStudioBackground(StudioBackground background);
    LayoutMode layoutMode() const { return layoutMode_; }
    void setLayoutMode(LayoutMode mode);

    // Panels.
    int countdownSeconds() const { return countdownSeconds_; }
    void setCountdownSeconds(int seconds) { publish(countdownSeconds_, seconds); }
    bool teleprompterVisible() const { return teleprompterVisible_; }
    void setTeleprompterVisible(bool visible) { publish(teleprompterVisible_, visible); }
    bool framingHintsOnBubble() const { return framingHintsOnBubble_; }
    void setFramingHintsOnBubble(bool on);
    const RemoteButton::Status& remoteStatus() const { return remoteStatus_; }
    void setRemoteStatus(const RemoteButton::Status& status) { publish(remoteStatus_, status); }

    // Voice-enhancement rows and their one worker; a listed row is put back in line by retryEnhance.
    EnhanceQueue& enhanceQueue() { return *enhanceQueue_; }
    void retryEnhance(const QUuid& id);

    // Finish queue.
    const std::vector<FinishJob>& finishJobs() const { return finishJobs_; }
    void setFinishJobs(std::vector<FinishJob> jobs) { publish(finishJobs_, std::move(jobs)); }
    void dismissFinishJob(const QUuid& id);

    // Save and render jobs (RecordingControllerFinish.cpp). The media work goes through the finishing
    // tools; waits and the break clock through the platform's scheduler.
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
    // The ownCursor setting as it was when the current (or last) screen take started.
    bool takeDrawsOwnCursor() const { return takeDrawsOwnCursor_; }
    // Moves a finished take's pieces into "Raw/" beside its final movie.
    static void moveTakePiecesToRaw(const QString& finalPath);

    // Devices.
    // The first listed microphone whose name contains the "preferredMicName" text (any letter case).
    std::optional<CaptureDeviceInfo> preferredMicrophone() const;
    std::optional<QString> selectedMicrophoneName() const;
    // The selected microphone ranks below the best listed one.
    bool usingWorseMicrophoneThanAvailable() const;
    // "<screen name> — W×H", or "Display <id> — W×H" when no screen matches.
    static QString displayName(const DisplayInfo& display);

    // Main-window actions.
    void replayLastShort();
    void revealLastRecording();

    // Refreshes the handoff now and keeps one 2.0 s poll running.
    void watchNextTake(bool watch);
    void refreshNextTake();
    int handoffRefreshCount() const { return handoffRefreshCount_; }
    bool isWatchingNextTake() const { return nextTakeWatch_ != nullptr; }

    static QString launchLine(const QString& version, const QString& screen, const QString& microphone, const QString& camera);

    // Permissions, device lists and the two floating panels.
    void refreshPermissions();
    void refreshDevices();
    // Make the bubble and the phone panel match their switches and the devices present.
    void reconcileCamera();
    void reconcilePhone();
    QCoro::Task<> enableCamera();
    // The 2.0 s poll for a phone while the phone panel waits for one.
    void watchForPhone(bool on);
    bool isWatchingForPhone() const { return phoneWatch_ != nullptr; }
    void showBubbleWindow();
    void showPhoneWindow();
    CameraBubbleWindow* bubbleWindow() const { return bubbleWindow_.get(); }
    CameraBubbleWindow* phoneWindow() const { return phoneWindow_.get(); }
    // The screen a take records and the panels stand on, in desktop coordinates (origin top-left), with
    // the part not covered by panels and docks.
    struct ScreenPlace {
        ScreenDisplay display;
        QRect visibleFrame;
    };
    // The selected display's screen; the primary (else first) one when none is selected or none matches.
    std::optional<ScreenPlace> selectedScreen() const;
    const std::vector<ScreenDisplay>& screenDisplays() const { return screenDisplays_; }
    std::optional<FaceCardFraming> studioBubbleFraming() const;
    QSizeF bubbleWindowSize(const std::optional<FaceCardFraming>& framing) const { return bubbleWindowSize(bubbleSize_, framing); }
    static QSizeF bubbleWindowSize(double bubbleSize, const std::optional<FaceCardFraming>& framing);
    static QSizeF phoneWindowSize(double phoneHeight, QSize frameSize);

    // Reactions to the panel switches and the look.
    void cameraEnabledChanged();
    void phoneEnabledChanged();
    void applyBubbleLayout(bool reanchor);
    void applyPhoneLayout();
    void refreshCameraFormatForLayout();
    // The desk camera's framing verdict as the bubble's pill, while hints are on in a screen take and the
    // desk monitor analyses; hidden otherwise.
    void showFramingOnBubble(const FramingReport& report, bool monitorRunning);

    // The running take.
    const std::optional<QString>& projectFolder() const { return projectFolder_; }
    const QString& takeSuffix() const { return takeSuffix_; }
    bool createdProjectFolder() const { return createdProjectFolder_; }
    bool isTickerRunning() const { return ticker_ != nullptr; }
    bool hasScreenRecorder() const { return screenRecorder_ != nullptr; }
    CountdownWindow& countdown() { return *countdown_; }
    ClickTracker* clickTracker() const { return clickTracker_.get(); }
    PointerTracker* pointerTracker() const { return pointerTracker_.get(); }
    // Shared take helpers of every capture mode.
    void startTicker();
    void discardEmptyProjectFolder();
    void settleOverlayWindows();
    // Stops the screen recorder (when one runs), then the desk camera and the iPhone recorder, letting each
    // finish its file. False when the controller went away meanwhile.
    QCoro::Task<bool> stopTakeRecorders();
    // The part of a display a screen take films (the largest centred 16:9 rectangle), in desktop
    // coordinates with the origin at the bottom left of a root window `rootHeight` high.
    static QRectF captureRect(const QRect& displayFrame, int rootHeight);
    // "none", else "start-end" per span with one decimal, joined by ",".
    static QString describe(const std::vector<ClipSegment>& segments);
    // {"mode", "zooms": [{start, fullFrom, fullTo, end, scale, x, y, reason}]} pretty-printed with sorted
    // keys through a hidden sibling; a failure is logged.
    static void saveZoomSidecar(const ZoomTimeline& zoom, ZoomMode mode, const QString& path);
    // The take description's "look" object, in its own lower-case words, from the current settings.
    QJsonObject harnessLook() const;
    // Removes the take's movie and sidecar files with the suffix, each on its own, ignoring failures.
    static void deleteTakeFiles(const QString& folder, const QString& suffix);
    // Removes a folder whose successful listing shows only ".DS_Store" or zero-byte files of the take with
    // this suffix (deleting those by name first); true when the folder went.
    static bool removeFolderIfOnlyLeftovers(const QString& folder, const QString& suffix);

Q_SIGNALS:
    void changed();

private:
    template <typename T>
    void publish(T& field, T value)
    {
        field = std::move(value);
        Q_EMIT changed();
    }
    void publishSetting(bool& field, bool value, const QString& key);
    Scheduler& scheduler() { return *scheduler_; }
    std::shared_ptr<FinishingTools> finishingTools();
    // Returns once no take is filming and 5 s have passed since the last one ended, looking every 2 s.
    static QCoro::Task<> waitForRecordingBreak(QPointer<RecordingController> weak);
    static QCoro::Task<> saveTask(QPointer<RecordingController> weak, std::shared_ptr<FinishingTools> tools, SaveJobHandover job);
    static QCoro::Task<> renderTask(QPointer<RecordingController> weak, QCoro::Task<> previous, std::shared_ptr<FinishingTools> tools,
        QUuid id, Mixdown::Request request, QString finalURL, QString stopSidecar, bool byRemote, QString summary);

    ControllerHooks& hooks();
    void readSettings();
    void writeLaunchLine();

    Platform platform_;
    void playSound(const QString& name);
    void cancelPendingRemoteStop();
    QCoro::Task<> delayedRemoteStop(CancelToken* token);
    CancelToken* pendingRemoteStop_ = nullptr;
    EnhanceQueue* enhanceQueue_ = nullptr; // child object
    bool stopCameFromRemote_ = false;

    CaptureMode captureMode_ = CaptureMode::screen;
    Phase phase_;
    bool finishWaitingForBreak_ = false;
    double elapsed_ = 0;
    QDateTime lastTakeEndedAt_;
    bool restoringModeSettings_ = false;

    std::vector<DisplayInfo> displays_;
    std::optional<quint32> selectedDisplayID_;
    bool captureMicrophone_ = true;
    bool captureSystemAudio_ = true;
    std::vector<CaptureDeviceInfo> microphones_;
    std::optional<QString> selectedMicrophoneID_;
    Quality quality_ = Quality::native;

    bool hasScreenPermission_ = true;
    Permissions::State micPermission_ = Permissions::State::notAsked;
    Permissions::State cameraPermission_ = Permissions::State::notAsked;

    QString destinationName_;
    std::optional<QString> lastFinalURL_;
    std::optional<QString> destinationFolder_;
    RecordingChannel channel_ = RecordingChannel::ai;
    RecordingChannel shortTakeChannel_ = RecordingChannel::ai;
    QStringList existingFolders_;

    std::vector<CaptureDeviceInfo> cameras_;
    std::optional<QString> selectedCameraID_;
    bool cameraEnabled_ = false;
    BubbleShape bubbleShape_ = BubbleShape::circle;
    double bubbleTilt_ = 0;
    double bubbleSize_ = 260;
    bool mirrorCamera_ = true;
    CameraQuality cameraQuality_ = CameraQuality::best;
    std::optional<QString> cameraOnlyPreviewCameraID_;

    ShortPosition shortPosition_;
    bool shortSafeZones_ = true;
    bool shortFramingGuide_ = true;
    bool shortMirrorFile_ = false;
    QSizeF shortFrameSize_;
    std::optional<QString> lastShortURL_;

    std::optional<NextRecording> nextRecording_;
    std::optional<QString> ignoredNextTake_;
    std::optional<QString> handledNextTake_;
    std::optional<QString> ignoredNextRecording_;
    std::optional<QString> handledNextRecording_;
    QString lastHandoffComplaint_;

    std::vector<CaptureDeviceInfo> phones_;
    std::optional<QString> selectedPhoneID_;
    bool phoneEnabled_ = false;
    bool phoneWaiting_ = false;
    bool phoneShowsFrame_ = true;
    double phoneHeight_ = 460;

    ZoomMode zoomMode_ = ZoomMode::smart;
    double zoomAmount_ = 1.9;
    int zoomMarkCount_ = 0;
    bool clickHighlight_ = false;
    bool ownCursor_ = true;
    bool cameraGrade_ = false;
    bool frameFocusedWindow_ = false;
    bool export4K_ = false;
    ScreenLayout screenLayout_ = ScreenLayout::studio;
    FaceLayout faceLayout_ = FaceLayout::tallLeft;
    StudioBackground studioBackground_ = StudioBackground::blushMesh;
    LayoutMode layoutMode_ = LayoutMode::dynamic;

    int countdownSeconds_ = 3;
    bool teleprompterVisible_ = false;
    bool framingHintsOnBubble_ = true;
    RemoteButton::Status remoteStatus_;

    std::vector<FinishJob> finishJobs_;
    QCoro::Task<> finishTail_;
    QHash<QUuid, std::function<void()>> finishRetries_;
    std::shared_ptr<FinishingTools> finishingTools_;
    std::unique_ptr<Scheduler> mainLoopScheduler_;
    Scheduler* scheduler_ = nullptr;

    QTimer* nextTakeWatch_ = nullptr;
    int handoffRefreshCount_ = 0;

    // Devices and panels.
    TakeServices* takeServices() const { return platform_.takes; }
    OverlayRecorder* cameraRecorder() const;
    OverlayRecorder* phoneRecorder() const;
    void watchDeviceChanges();
    std::unique_ptr<CameraBubbleWindow> makePanel(OverlayRecorder& recorder, QSizeF size, double cornerRadius);
    std::vector<ScreenDisplay> screenDisplays_;
    std::unique_ptr<CameraBubbleWindow> bubbleWindow_;
    std::unique_ptr<CameraBubbleWindow> phoneWindow_;
    QTimer* phoneWatch_ = nullptr;
    bool preferredMicWasPresent_ = false;
    bool modeSettingsRestoredOnce_ = false;

    // The screen take.
    QCoro::Task<> startScreen();
    // `keepsFailedMovie`: a movie the recorder kept after its writer failed is saved like any take.
    QCoro::Task<> stopScreen(bool byRemote, bool keepsFailedMovie = false);
    QCoro::Task<> failDuringTake(ErrorInfo error);
    bool resolveProjectFolder(QString& folder, ErrorInfo& error);
    void stopInputs();
    std::unique_ptr<CountdownWindow> countdown_;
    std::unique_ptr<ClickTracker> clickTracker_;
    std::unique_ptr<PointerTracker> pointerTracker_;
    std::unique_ptr<ZoomMarker> ownZoomMarker_;
    std::shared_ptr<RecordingClock> clock_;
    std::unique_ptr<ScreenRecorder> screenRecorder_;
    std::optional<QString> projectFolder_;
    QString takeSuffix_;
    bool createdProjectFolder_ = false;
    bool takeDrawsOwnCursor_ = false;
    QTimer* ticker_ = nullptr;
    QDateTime tickerStartedAt_;
    // A start is between its guard and its recording phase (awaiting access or the countdown).
    bool startInFlight_ = false;
    CancelToken* countdownToken_ = nullptr;
    // The take that failed mid-way is being wound down.
    bool windingDown_ = false;
};
