#pragma once

#include "views/framing/CameraPreview.h"
#include "framing/LivePreviewSource.h"

#include <QPainterPath>
#include <QRectF>

#include <memory>

// A live camera picture placed at a given rectangle (which may reach past the view on any side) and seen only
// through an outline, both in the view's own coordinates (origin top-left). An empty rectangle fits the whole
// picture into the view instead. Used by the framing check's stage and the short preview.
class LivePreviewView : public CameraPreview {
    Q_OBJECT

public:
    explicit LivePreviewView(QWidget* parent = nullptr);

    // The same source again only moves and reshapes the picture; another one (or none) replaces it.
    void set(std::shared_ptr<const LivePreviewSource> source, const QRectF& cameraRect, const QPainterPath& mask);

    const std::shared_ptr<const LivePreviewSource>& source() const { return source_; }
    const QRectF& cameraRect() const { return cameraRect_; }
    const QPainterPath& mask() const { return mask_; }

private:
    std::shared_ptr<const LivePreviewSource> source_;
    QRectF cameraRect_;
    QPainterPath mask_;
};
