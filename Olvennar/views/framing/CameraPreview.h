#pragma once

#include <QColor>
#include <QPainterPath>
#include <QRectF>
#include <QTimer>
#include <QWidget>

#include <memory>

class CameraFrameTap;
class PixelBuffer;

// Shows the newest frame of a camera's frame tap. It polls the tap at the display's refresh rate and only
// copies the frame reference under the tap's lock, so the capture thread never waits for painting.
class CameraPreview : public QWidget {
    Q_OBJECT

public:
    enum class Gravity {
        fit, // the whole picture, letterboxed
        fill // covers the widget, cropping the overflow
    };

    explicit CameraPreview(QWidget* parent = nullptr);

    void setTap(std::shared_ptr<CameraFrameTap> tap);
    void setGravity(Gravity gravity);
    Gravity gravity() const { return gravity_; }
    // Flips the picture left to right on screen.
    void setMirrored(bool mirrored);
    bool isMirrored() const { return mirrored_; }
    // Outline in widget coordinates; an empty path shows the whole widget.
    void setClipPath(const QPainterPath& path);
    // Where the whole frame is drawn, stretched, in widget coordinates; it may reach past the widget's edges.
    // An empty rectangle places the frame by gravity.
    void setPlacement(const QRectF& placement);
    // What shows where no picture is: behind a letterboxed frame and while no frame has come.
    void setBackground(const QColor& colour);

    // Takes the tap's newest frame now; true when it is a new one.
    bool pollTap();
    // Where the frame lands in the widget: the placement, else by gravity.
    QRectF frameRect() const;
    static QRectF frameRect(const QSizeF& frame, const QRectF& bounds, Gravity gravity);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void restartTimer();

    std::shared_ptr<CameraFrameTap> tap_;
    std::shared_ptr<const PixelBuffer> frame_;
    Gravity gravity_ = Gravity::fill;
    bool mirrored_ = false;
    QPainterPath clipPath_;
    QRectF placement_;
    QColor background_ = Qt::black;
    QTimer timer_;
};
