#pragma once

#include "framing/FaceMeasurement.h"
#include "framing/FramingReport.h"
#include "framing/FramingStageLayout.h"
#include "framing/LivePreviewSource.h"
#include "framing/ResolvedFramingCrop.h"

#include <QImage>
#include <QPainterPath>
#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

class LivePreviewView;
class QPainter;

// The picture a stage shows: the live camera (none: no picture) or a still of the whole camera frame (null:
// no picture).
struct FramingStageContent {
    static FramingStageContent live(std::shared_ptr<const LivePreviewSource> source) { return {true, std::move(source), {}}; }
    static FramingStageContent still(QImage image) { return {false, nullptr, std::move(image)}; }

    bool isLive = false;
    std::shared_ptr<const LivePreviewSource> source;
    QImage image;
};

// The picture area of the framing check: the camera picture cut to one crop (crop view) or whole with the crop
// outlined (sensor view), under a guide layer of thirds, centre line, head and eye bands, the other crops'
// outlines and the eye line in the verdict's colour. Without guides it draws the crop strip's thumbnails.
// The guides are only ever on screen. Main thread.
class FramingStage : public QWidget {
    Q_OBJECT

public:
    struct Model {
        FramingStageContent content = FramingStageContent::still({});
        QSizeF cameraSize;                       // only its proportions matter
        std::optional<ResolvedFramingCrop> crop; // the crop shown and guided
        std::vector<ResolvedFramingCrop> allCrops;
        bool sensor = false;
        bool guides = true;
        std::optional<FaceMeasurement> face;
        FramingStatus status = FramingStatus::unknown;
    };

    explicit FramingStage(QWidget* parent = nullptr);

    void setModel(Model model);
    const Model& model() const { return model_; }
    FramingStageLayout layout() const;
    // The outline the picture is seen through: the crop's shape in the crop view, else the shown area.
    QPainterPath pictureOutline(const FramingStageLayout& layout) const;
    // The live picture's host; null while the content is a still.
    LivePreviewView* livePreview() const { return live_; }

    // Draws the guide layer for a stage of the given size.
    static void drawGuides(QPainter& painter, QSizeF size, const Model& model, const FramingStageLayout& layout);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    class GuideLayer;
    void relayout();

    Model model_;
    LivePreviewView* live_ = nullptr;
    GuideLayer* guideLayer_ = nullptr;
};
