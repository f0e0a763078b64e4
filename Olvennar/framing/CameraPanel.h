#pragma once

#include "compositing/FaceCardFraming.h"
#include "framing/FramingReport.h"
#include "takedata/BubbleShape.h"
#include "takedata/StudioLook.h"

#include <QPoint>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QString>

#include <optional>

// A floating panel (the camera bubble or the phone screen) as the studio places and measures it. Screens
// and positions are in desktop coordinates of the window system (origin top-left, y down).
class CameraPanel {
public:
    virtual ~CameraPanel() = default;

    virtual void setStudioFraming(const std::optional<FaceCardFraming>& framing) = 0;
    virtual void moveToStudioSlot(const QRect& visibleArea, FaceLayout face) = 0;
    // Where the panel stands in a movie of renderSize pixels that films `filmed` (render space, y up).
    virtual QRectF rectInRenderSpace(const QRectF& filmed, QSizeF renderSize) const = 0;
    virtual void resizeTo(QSizeF size, double cornerRadius) = 0;
    virtual void setShape(BubbleShape shape, double tilt) = 0;
    virtual void setShowsPhoneFrame(bool shows) = 0;
    virtual void setPill(std::optional<FramingStatus> status, const QString& text, double scale) = 0;
    virtual void flashGuide(double seconds) = 0;
    virtual void orderFront() = 0;
    // The panel's top-left corner goes here.
    virtual void placeAt(QPoint topLeft) = 0;
    virtual QSize panelSize() const = 0;
    virtual bool isShown() const = 0;
    virtual void hidePanel() = 0;
    // Device pixels per panel point.
    virtual double pixelRatio() const = 0;
};
