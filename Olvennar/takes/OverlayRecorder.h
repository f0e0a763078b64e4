#pragma once

#include "takedata/ClipSegment.h"

#include <QSize>
#include <QString>

#include <qcorotask.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CameraFrameTap;
class QWidget;
class RecordingClock;

// A device whose picture floats over the screen during a screen take and is filmed into its own movie:
// the desk camera of the bubble or the tethered phone's screen. It keeps streaming between takes for the
// live panel; a take only adds the movie.
//
// Called on the main thread. onFrameSizeKnown may be called on any thread; the owner hops.
class OverlayRecorder {
public:
    virtual ~OverlayRecorder() = default;

    // Attaches the device with the unique ID; the error sentence leaves the recorder detached.
    virtual std::optional<QString> configure(const QString& deviceID, bool mirrored) = 0;
    virtual void detach() = 0;
    virtual bool isAttached() const = 0;
    // The unique ID of the attached device; empty when detached.
    virtual QString attachedDeviceID() const = 0;
    virtual void startPreview() = 0;
    virtual void stopPreview() = 0;
    virtual void setMirrored(bool mirrored) = 0;
    virtual bool preferTallFormat() const = 0;
    virtual void setPreferTallFormat(bool preferTall) = 0;
    virtual void refreshFormat() = 0;
    // Zero until the first frame of the device is known.
    virtual QSize frameSize() const = 0;

    // Prepares the take's movie; frames start it. Never fails outright: a take without frames has no movie.
    virtual void startRecording(const QString& path, std::shared_ptr<RecordingClock> clock) = 0;
    // The finished movie, or nothing when the take had no usable frame. Asked even when nothing was filmed.
    virtual QCoro::Task<std::optional<QString>> stopRecording() = 0;
    // Spans of take seconds that had frames; complete once stopRecording() returned.
    virtual std::vector<ClipSegment> recordedSegments() = 0;

    // The live picture for the floating panel, owned by the parent.
    virtual QWidget* createPreview(QWidget* parent) = 0;
    // The newest frame, for the framing monitor and the export preview; none when the device offers no live frames.
    virtual std::shared_ptr<CameraFrameTap> frameTap() const { return nullptr; }

    std::function<void(QSize)> onFrameSizeKnown;
};
