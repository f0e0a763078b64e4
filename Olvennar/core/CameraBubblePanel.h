#pragma once

#include "compositing/FaceCardFraming.h"
#include "core/ScreenPlace.h"
#include "framing/CameraPanel.h"
#include "takedata/BubbleShape.h"
#include "takedata/CaptureDeviceInfo.h"
#include "takedata/RecordingPhase.h"
#include "core/RecordingQuality.h"

#include <QObject>
#include <QSizeF>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class OverlayRecorder;
class StudioWindows;
class TakeServices;
struct FramingReport;
struct Platform;
struct TakeLook;

// The desk camera's bubble and the camera-only takes' camera.
struct BubbleSettings {
    std::vector<CaptureDeviceInfo> cameras;
    std::optional<QString> selectedCameraID;
    bool cameraEnabled = false;
    BubbleShape bubbleShape = BubbleShape::circle;
    double bubbleTilt = 0;
    double bubbleSize = 260;
    bool mirrorCamera = true;
    CameraQuality cameraQuality = CameraQuality::best;
};

// The desk camera as a floating bubble: keeps the camera recorder on the selected camera (also when one is
// plugged in or pulled during a take), shapes and places the bubble's window for the look, and shows the
// framing pill on it. The bubble's settings stay with the studio, which publishes them.
//
// Threading: GUI thread only, like the controller that owns it. The recorder's frame-size callback may come
// from its capture thread; it is posted to the main loop before it touches the panel.
class CameraBubblePanel : public QObject {
    Q_OBJECT

public:
    // What the bubble reads from and reports to the studio.
    class Studio {
    public:
        virtual const RecordingPhase& phase() const = 0;
        virtual void setPhase(const RecordingPhase& phase) = 0;
        virtual const BubbleSettings& bubbleSettings() const = 0;
        virtual const TakeLook& look() const = 0;
        virtual void setSelectedCameraID(const std::optional<QString>& id) = 0;
        virtual std::optional<ScreenPlace> selectedScreen() const = 0;
        // The framing monitors follow the bubble's picture once it shows.
        virtual void updateFramingRouting() = 0;

    protected:
        ~Studio() = default;
    };

    CameraBubblePanel(Studio& studio, const Platform& platform, QObject* parent = nullptr);
    ~CameraBubblePanel() override;

    // The desk camera's recorder; none without take services.
    OverlayRecorder* recorder() const;
    // Makes the bubble match its switch and the cameras present.
    void reconcile();
    void showWindow();
    CameraPanel* window() const { return window_.get(); }
    // The switch went off: the camera is let go and the window hidden, and closed unless a take runs.
    void switchedOff();
    // Between takes a bubble switched off goes; during one the hidden panel stays, so the stop can measure it.
    void dropWindowIfOff();
    // Re-shapes the window for the settings and the look; `reanchor` moves it to its place for the look.
    void applyLayout(bool reanchor);
    // Lets the camera prefer a tall format in the studio look; never during a take.
    void refreshFormatForLayout();
    // The framing verdict's first hint as the bubble's pill while `shown`; no pill otherwise.
    void showFraming(const FramingReport& report, bool shown);
    // The face card's framing in the studio look; none in the classic one.
    std::optional<FaceCardFraming> studioFraming() const;
    QSizeF windowSize(const std::optional<FaceCardFraming>& framing) const;

private:
    double cornerRadius(QSizeF size) const;
    // The classic bubble sits in the screen's bottom-right corner; the studio card in its slot for the look.
    void place(CameraPanel& panel, const ScreenPlace& screen, bool studio);

    Studio& studio_;
    TakeServices* takes_;
    StudioWindows* windows_;
    std::unique_ptr<CameraPanel> window_;
};
