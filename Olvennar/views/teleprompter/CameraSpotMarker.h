#pragma once

#include <QObject>
#include <QPointF>

#include <functional>
#include <memory>

class CameraSpotPanel;
class TeleprompterModel;

// The small floating cross with which the user marks the camera lens: a 250 × 156 panel whose cross centre
// sits 22 points below its top edge, placed so the cross covers `start` (desktop points, y up). After every
// move by the user it reports the new cross point; placing it at the start reports nothing. Done closes it
// and then calls onDone, which may destroy the marker. Main thread only.
class CameraSpotMarker : public QObject {
    Q_OBJECT

public:
    static constexpr double panelWidth = 250;
    static constexpr double panelHeight = 156;
    static constexpr double crossBelowTop = 22;

    CameraSpotMarker(TeleprompterModel& model, QPointF start);
    ~CameraSpotMarker() override;

    void show();
    // Safe when never shown or already closed.
    void close();
    // Presses Done.
    void done();

    CameraSpotPanel* panel() const { return panel_.get(); }
    QPointF start() const { return start_; }
    // The panel's lower-left corner for a cross at `cross`, and the cross of a panel frame (desktop points).
    static QPointF originFor(QPointF cross);
    static QPointF crossOf(const QRectF& panelFrame);

    std::function<void(QPointF)> onMove;
    std::function<void()> onDone;

private:
    void panelMoved();

    TeleprompterModel& model_;
    QPointF start_;
    std::unique_ptr<CameraSpotPanel> panel_;
};
