#pragma once

#include <QSizeF>
#include <QString>

class CameraOnlyRecorder;
class ShortFramingAccumulator;
struct CaptureDeviceInfo;

// The one camera-only recorder and its live preview between takes, as the takes filmed with it reach them:
// a take takes the preview's session over while it films and gives it back after. Main thread only.
class CameraOnlyPreview {
public:
    virtual ~CameraOnlyPreview() = default;

    // None when the studio has no camera-only recorder.
    virtual CameraOnlyRecorder* recorder() = 0;
    // The preview runs on this camera with the current profile, so filming needs no warm-up.
    virtual bool isWarm(const QString& cameraID) const = 0;
    // Brings the preview up on this camera with the current profile (a voice track's desk camera warms up so).
    virtual void startPreview(const CaptureDeviceInfo& camera) = 0;
    virtual void setShortProfile(bool shortProfile) = 0;
    // After a take: the preview restarts for an open window, else the camera stops.
    virtual void settle() = 0;
    // Filming took the preview's session over: the next preview is configured afresh.
    virtual void forget() = 0;
    // The short's framing verdicts gathered while it films.
    virtual ShortFramingAccumulator& framingTotals() = 0;
    // The short preview follows the feed's size and the viewer-side mirroring.
    virtual void showShortFeed(QSizeF size) = 0;
};
