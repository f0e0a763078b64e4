#pragma once

#include "platform/media/MediaSample.h"
#include "platform/x11/ScreenDisplay.h"
#include "platform/x11/ScreenFrameRate.h"
#include "platform/x11/WindowInfo.h"

#include <QRect>
#include <QSize>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// The screen grabber a take uses: frames of one rectangle of the screen at a fixed rate, stamped on the host
// clock at grab, with excluded windows painted over by what lies beneath them. The display the rectangle lies
// on is followed: resized or moved during the take, the whole display as it now is is fitted into the output
// size (aspect kept, between bars); gone, capture ends through onStopped. A handler that keeps a frame
// keeps its memory from the grabber's pool: dropping it returns it.
class ScreenCapture {
public:
    struct Configuration {
        QRect sourceRect;  // root pixels
        QSize outputSize;  // scaled when it differs from the source rectangle
        int frameRate = ScreenFrameRate::perSecond;
        bool showsCursor = true;
        // Asked for every viewable window each time the window list is refreshed.
        std::function<bool(const WindowInfo&)> excludes;
        double windowRefreshSeconds = 1.0;
        // Frames as 4:2:0 PlanarPictures, converted on the grabber thread straight from the grab, for an
        // encoder that takes them as they are; otherwise BGRA PixelBuffers.
        bool planar = false;
        // Called on the grabber thread when capture ends on its own (the X server went away, the display
        // went); the reason is a sentence for the user.
        std::function<void(const QString& reason)> onStopped;
    };
    struct Statistics {
        int64_t framesDelivered = 0;
        int64_t framesMissed = 0; // ticks that passed while a grab was still running
    };
    using FrameHandler = std::function<void(const MediaSample&)>;

    virtual ~ScreenCapture() = default;
    // Nothing when the screen cannot be reached.
    virtual std::optional<std::vector<ScreenDisplay>> availableDisplays() = 0;
    // The error sentence, or nothing once the grabber runs. Frames arrive on the grabber's own thread.
    virtual std::optional<QString> start(const Configuration& configuration, FrameHandler onFrame) = 0;
    // Returns when no more frames will be delivered. Any thread, also two at once or again after a stop.
    virtual void stop() = 0;
    // The running (or last) capture's counts; also from the frame handler, from the first frame on.
    virtual Statistics statistics() const = 0;
};
