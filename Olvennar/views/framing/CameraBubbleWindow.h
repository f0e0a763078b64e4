#pragma once

#include "compositing/FaceCardFraming.h"
#include "framing/CameraPanel.h"
#include "views/framing/OverlayHostView.h"
#include "takedata/StudioLook.h"

#include <QPoint>
#include <QRect>
#include <QRectF>
#include <QSizeF>
#include <QWidget>

#include <optional>

// The floating panel of the camera bubble and of the phone screen: frameless, above every window, on every
// workspace, never taking the focus, dragged by its background. The screen recorder leaves it out of the
// movie (it is one of our own windows); its rectangle is measured when a take stops so the finished movie
// draws the camera where the panel stood.
//
// Screens are given as rectangles in desktop coordinates of the window system (origin top-left, y down).
class CameraBubbleWindow : public QWidget, public CameraPanel {
    Q_OBJECT

public:
    // `preview` (may be null) is the live picture; it becomes the host view's child.
    CameraBubbleWindow(QWidget* preview, QSizeF size, double cornerRadius);
    ~CameraBubbleWindow() override;

    OverlayHostView& hostView() { return *hostView_; }

    void setStudioFraming(const std::optional<FaceCardFraming>& framing) override;
    // The face slot of the studio layout within the screen's visible area: tall left 40 in from the left
    // edge and vertically centred; bottom right 40 in from the right and bottom edges.
    void moveToStudioSlot(const QRect& visibleArea, FaceLayout face) override;
    static QPoint studioSlotOrigin(const QRect& visibleArea, QSizeF panelSize, FaceLayout face);

    // The panel's frame relative to the filmed part of the screen, scaled to the render size, origin
    // bottom-left; the zero rectangle for a filmed area without size.
    QRectF rectInRenderSpace(const QRectF& filmed, QSizeF renderSize) const override;
    static QRectF rectInRenderSpace(const QRectF& panel, const QRectF& filmed, QSizeF renderSize);

    // Keeps the centre.
    void resizeTo(QSizeF size, double cornerRadius) override;
    void setShape(BubbleShape shape, double tilt) override;
    void setShowsPhoneFrame(bool shows) override;
    void setPill(std::optional<FramingStatus> status, const QString& text, double scale) override;
    void flashGuide(double seconds) override;

    // Orders the panel in without activating anything.
    void orderFront() override;
    void placeAt(QPoint topLeft) override { move(topLeft); }
    QSize panelSize() const override { return size(); }
    bool isShown() const override { return isVisible(); }
    void hidePanel() override { hide(); }
    double pixelRatio() const override { return devicePixelRatioF(); }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    OverlayHostView* hostView_;
    std::optional<QPoint> dragOffset_;
};
