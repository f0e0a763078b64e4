#pragma once

#include "framing/FramingReport.h"
#include "framing/LivePreviewSource.h"
#include "shorts/ShortStageLayout.h"

#include <QColor>
#include <QWidget>

#include <memory>
#include <optional>

class LivePreviewView;
class QPainter;
class ShortStageOverlay;

// The picture area of the "Short frame" window: the camera picture (whole with the 9:16 crop marked, or cut to
// the crop in the viewer view), the darkened outside, the safe zones, the framing guide and the border. In the
// whole-camera view a drag anywhere slides the crop; the new position goes out through positionDragged and the
// owner stores it. Main thread only.
class ShortFrameStage : public QWidget {
    Q_OBJECT

public:
    // What the overlay draws, besides the layout.
    struct Look {
        bool safeZones = true;
        bool viewerView = false;
        bool framingGuide = true;
        bool eyeLineFlipped = false; // the analysed picture is mirrored the other way from the shown one
        FramingReport framing;
        QColor cream = QColor::fromRgbF(0.961f, 0.929f, 0.847f);
        QColor rose = QColor::fromRgbF(0.831f, 0.643f, 0.604f);
    };

    explicit ShortFrameStage(QWidget* parent = nullptr);

    // The live camera picture, placed over the whole camera rectangle and seen only through the visible part;
    // none leaves the placeholder area. The same source again keeps the picture running.
    void setLive(std::shared_ptr<const LivePreviewSource> source);
    LivePreviewView& liveView() const { return *live_; }

    void setFrameSize(const QSizeF& frameSize);
    void setPosition(const ShortFraming::Position& position);
    void setLocked(bool locked);
    void setLook(const Look& look);
    const Look& look() const { return look_; }
    const ShortStageLayout& layout() const { return layout_; }
    bool isDragging() const { return dragStart_.has_value(); }

    // The overlay in the drawing order: darkening, safe zones, framing guide, border.
    static void paintOverlay(QPainter& painter, const ShortStageLayout& layout, const Look& look);

Q_SIGNALS:
    void positionDragged(ShortFraming::Position position);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void relayout();

    QSizeF frameSize_;
    ShortFraming::Position position_;
    bool locked_ = false;
    Look look_;
    ShortStageLayout layout_;
    std::shared_ptr<const LivePreviewSource> source_;
    LivePreviewView* live_ = nullptr;      // child, under the overlay
    ShortStageOverlay* overlay_ = nullptr; // child
    std::optional<QPointF> pressPoint_;
    std::optional<ShortFraming::Position> dragStart_;
};
