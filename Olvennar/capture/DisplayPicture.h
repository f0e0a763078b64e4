#pragma once

#include "capture/PictureArea.h"
#include "platform/x11/ScreenDisplay.h"
#include "platform/x11/ScreenLayoutSource.h"

#include <QRect>
#include <QRectF>
#include <QSize>

#include <optional>

// Where a screen take's picture lies on the desktop while the screen changes under it: the grabber's own
// decision (DisplayFollow) on the screen as laid out now, so the pointer, its clicks and zoom marks are logged
// where the picture shows them. Main thread only, like the trackers that ask it.
class DisplayPicture {
public:
    // What the take films, as the grabber found it at the start.
    struct Start {
        ScreenDisplay display;  // the display followed; the whole screen as one display when `wholeScreen`
        bool wholeScreen = false;
        QRect configured;       // root pixels filmed while the display is as it was
        QSize output;           // the take's frame
        QRectF captureRect;     // the desktop rectangle the logs measure against meanwhile
        int rootHeight = 0;     // the root's height then
    };

    // A picture of one rectangle, whatever the screen does.
    explicit DisplayPicture(const QRectF& captureRect);
    // Follows the screen as `layout` reports it from now on; `configured` and `output` are the grabber's.
    DisplayPicture(ScreenLayoutSource& layout, const QRect& configured, const QSize& output, const QRectF& captureRect);

    // Where the picture lies now; where it last lay while the screen cannot be read or the display went.
    PictureArea area();

    // The start found on the screen as laid out at the start: the display the rectangle lies on, or the whole
    // screen when it lies across displays, as the grabber does.
    static Start started(const ScreenLayoutSource::Layout& layout, const QRect& configured, const QSize& output, const QRectF& captureRect);
    // Where the picture lies with the screen laid out as now; nothing once the display went (the take ends).
    // While the display is as it was, exactly `captureRect`, moved only with the root's bottom edge.
    static std::optional<PictureArea> areaOn(const Start& start, const ScreenLayoutSource::Layout& now);

private:
    ScreenLayoutSource* layout_ = nullptr;
    Start start_;
    PictureArea area_;
};
