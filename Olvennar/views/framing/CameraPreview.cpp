#include "views/framing/CameraPreview.h"

#include "platform/media/PixelBuffer.h"
#include "takedata/CameraFrameTap.h"

#include <QImage>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <cmath>

CameraPreview::CameraPreview(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (pollTap())
            update();
    });
}

void CameraPreview::setTap(std::shared_ptr<CameraFrameTap> tap)
{
    tap_ = std::move(tap);
    frame_.reset();
    pollTap();
    update();
    restartTimer();
}

void CameraPreview::setGravity(Gravity gravity)
{
    gravity_ = gravity;
    update();
}

void CameraPreview::setMirrored(bool mirrored)
{
    mirrored_ = mirrored;
    update();
}

void CameraPreview::setClipPath(const QPainterPath& path)
{
    clipPath_ = path;
    update();
}

bool CameraPreview::pollTap()
{
    std::shared_ptr<const PixelBuffer> newest = tap_ ? tap_->newest() : nullptr;
    if (newest == frame_)
        return false;
    frame_ = std::move(newest);
    return true;
}

void CameraPreview::setPlacement(const QRectF& placement)
{
    placement_ = placement;
    update();
}

void CameraPreview::setBackground(const QColor& colour)
{
    background_ = colour;
    update();
}

QRectF CameraPreview::frameRect(const QSizeF& frame, const QRectF& bounds, Gravity gravity)
{
    if (frame.width() <= 0 || frame.height() <= 0 || bounds.isEmpty())
        return {};
    const double sx = bounds.width() / frame.width();
    const double sy = bounds.height() / frame.height();
    const double scale = gravity == Gravity::fit ? std::min(sx, sy) : std::max(sx, sy);
    const QSizeF size(frame.width() * scale, frame.height() * scale);
    return QRectF(bounds.center().x() - size.width() / 2, bounds.center().y() - size.height() / 2, size.width(), size.height());
}

QRectF CameraPreview::frameRect() const
{
    if (!placement_.isEmpty())
        return placement_;
    if (!frame_)
        return {};
    return frameRect(QSizeF(frame_->width(), frame_->height()), QRectF(rect()), gravity_);
}

void CameraPreview::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!clipPath_.isEmpty())
        painter.setClipPath(clipPath_);
    if (!frame_ || frame_->isEmpty()) {
        painter.fillRect(rect(), background_);
        return;
    }
    // Wraps the shared frame without copying; the shared pointer keeps it alive while we paint.
    const QImage image(frame_->data(), frame_->width(), frame_->height(), static_cast<qsizetype>(frame_->bytesPerRow()),
        QImage::Format_ARGB32_Premultiplied);
    const QRectF target = frameRect();
    if (placement_.isEmpty() && gravity_ == Gravity::fit)
        painter.fillRect(rect(), background_);
    if (mirrored_) {
        // About the frame's own centre, so a placed frame stays where it was put.
        painter.translate(2 * target.center().x(), 0);
        painter.scale(-1, 1);
    }
    painter.drawImage(target, image);
}

void CameraPreview::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    restartTimer();
}

void CameraPreview::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    timer_.stop();
}

void CameraPreview::restartTimer()
{
    if (!tap_ || !isVisible()) {
        timer_.stop();
        return;
    }
    const QScreen* display = screen();
    const double hertz = display && display->refreshRate() >= 1 ? display->refreshRate() : 60.0;
    timer_.start(std::max(1, static_cast<int>(std::lround(1000.0 / hertz))));
}
