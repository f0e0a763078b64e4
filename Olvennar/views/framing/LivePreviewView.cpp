#include "views/framing/LivePreviewView.h"

LivePreviewView::LivePreviewView(QWidget* parent)
    : CameraPreview(parent)
{
    // Under the stage's guides: clicks belong to the window, and where no picture is the stage shows.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setBackground(Qt::transparent);
    setGravity(Gravity::fit);
}

void LivePreviewView::set(std::shared_ptr<const LivePreviewSource> source, const QRectF& cameraRect, const QPainterPath& mask)
{
    if (source != source_) {
        source_ = std::move(source);
        setMirrored(source_ && source_->mirrored);
        setTap(source_ ? source_->tap : nullptr);
    }
    cameraRect_ = cameraRect;
    mask_ = mask;
    setPlacement(cameraRect.width() > 0 && cameraRect.height() > 0 ? cameraRect : QRectF());
    setClipPath(mask);
}
