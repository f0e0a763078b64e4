#pragma once

#include "framing/FramingCropSpec.h"
#include "shorts/ShortFramingAccumulator.h"
#include "takedata/CaptureDeviceInfo.h"
#include "takes/CameraOnlyPreview.h"
#include "takes/TakeStart.h"

#include <QObject>
#include <QSizeF>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CameraOnlyRecorder;
class FramingMonitor;
class OverlayRecorder;
struct LivePreviewSource;

// Which picture each framing monitor reads, the camera-only recorder's preview between takes (the short
// preview's or "Just me"'s framing check), and the picture the "Check framing" window shows live. Routing
// runs again whenever the studio asks; it is idempotent and cheap. Main thread only.
class CameraRouting final : public QObject, public CameraOnlyPreview {
    Q_OBJECT

public:
    // What routing reads in the studio, taken afresh every time.
    struct Inputs {
        // The current capture mode's take.
        TakeTraits mode;
        // Recording or paused: the monitors analyse slowly.
        bool rolling = false;
        // A start request is under way, or the studio is filming or finishing.
        bool takeUnderWay = false;
        // Also a take that still runs: the camera-only preview belongs to it.
        bool takeOwnsPreview = false;
        std::vector<CaptureDeviceInfo> cameras;
        std::optional<QString> selectedCameraID;
        bool mirrorCamera = true;
        bool cameraEnabled = false;
        std::optional<int> maxHeight;
        bool shortMirrorFile = false;
        QSizeF shortFrameSize;
        // The desk camera's bubble shows, and carries framing hints.
        bool bubbleShown = false;
        bool framingHintsOnBubble = false;
        bool cameraMissing = false;
        // The crops the desk monitor judges.
        std::vector<FramingCropSpec> specs;
        // The bubble's recorder; none without take services.
        OverlayRecorder* deskCamera = nullptr;
    };

    // `recorder` may be none: then no camera-only preview runs.
    CameraRouting(std::unique_ptr<CameraOnlyRecorder> recorder, std::function<Inputs()> inputs);
    ~CameraRouting() override;

    // The short preview's feed changed its size.
    std::function<void(QSizeF)> onShortFrameSize;

    void route();
    FramingMonitor& framing() { return *framing_; }
    FramingMonitor& shortFraming() { return *shortFraming_; }
    // The framing-check and short preview windows say when they open and close; the next routing follows.
    bool framingWindowOpen() const { return framingWindowOpen_; } void setFramingWindowOpen(bool open) { framingWindowOpen_ = open; }
    bool shortWindowOpen() const { return shortWindowOpen_; } void setShortWindowOpen(bool open) { shortWindowOpen_ = open; }
    // The camera the preview runs on; none while it does not run.
    const std::optional<QString>& previewCameraID() const { return previewCameraID_; }
    bool previewShort() const { return previewShort_; }
    // Starts the preview when it does not run on the right camera and profile (between takes only).
    void ensurePreview();
    // The short preview shows the file's side while the viewer view is on, else the mirror setting.
    bool viewerView() const { return viewerView_; } void setViewerView(bool fileSide);
    void applyViewerDisplay();
    void applyShortMirroring();
    // The mirror setting changed: a preview between takes follows it.
    void mirror(bool mirrored);
    // Between takes the preview lost its stream: it is forgotten, to start afresh.
    void streamLost();
    // After a device change: a preview that is not streaming tries again.
    void retryStalledPreview();

    // What the camera-only takes reach.
    CameraOnlyRecorder* recorder() override { return recorder_.get(); }
    bool isWarm(const QString& cameraID) const override;
    void startPreview(const CaptureDeviceInfo& camera) override;
    void setShortProfile(bool shortProfile) override;
    void settle() override;
    void forget() override { previewCameraID_.reset(); }
    ShortFramingAccumulator& framingTotals() override { return shortFramingAccum_; }
    void showShortFeed(QSizeF size) override;

private:
    // The preview camera: the selected one, else the first listed.
    static const CaptureDeviceInfo* previewCamera(const Inputs& inputs);
    void stopPreview(const Inputs& inputs);
    // What the check window shows live: the picture the desk monitor reads, wrapped once per recorder.
    void routeFramingCheckPreview(const Inputs& inputs);

    std::function<Inputs()> inputs_;
    std::unique_ptr<CameraOnlyRecorder> recorder_;
    std::unique_ptr<FramingMonitor> framing_;
    std::unique_ptr<FramingMonitor> shortFraming_;
    ShortFramingAccumulator shortFramingAccum_;
    std::optional<QString> previewCameraID_;
    bool previewShort_ = false;
    bool framingWindowOpen_ = false;
    bool shortWindowOpen_ = false;
    bool viewerView_ = false;
    std::shared_ptr<const LivePreviewSource> framingCameraPreview_;
    std::shared_ptr<const LivePreviewSource> cameraOnlyFramingPreview_;
};
