#pragma once

#include "framing/FaceMeasurement.h"
#include "framing/FrameReading.h"

#include <QImage>
#include <QRectF>
#include <QSize>
#include <QSizeF>

#include <memory>
#include <optional>

class FaceDetector;
struct FaceObservation;
class PixelBuffer;

// Measures one camera picture: the largest face, the number of faces and the light grid. It judges nothing.
// One caller at a time. Nothing is kept between calls, unless it follows the face: then, while the last look
// found one face in a picture of the same size, the next looks search only around it, and every
// `fullLookEvery`-th look (or a miss) searches the whole picture again, so a second face shows up within that
// many looks.
class FramingAnalyzer {
public:
    static constexpr int thumbnailWidth = 640;

    struct Result {
        FrameReading reading;
        QImage thumbnail; // the down-scaled picture the reading was made on
    };

    // The dlib detector with the system's landmark model.
    FramingAnalyzer();
    explicit FramingAnalyzer(std::shared_ptr<FaceDetector> detector);
    virtual ~FramingAnalyzer();
    FramingAnalyzer(const FramingAnalyzer&) = delete;
    FramingAnalyzer& operator=(const FramingAnalyzer&) = delete;

    // Shrinks the frame to at most 640 pixels wide (never enlarges) and analyses that. None below 16 pixels.
    virtual std::optional<Result> analyze(const PixelBuffer& frame);
    // Analyses the picture as it is; `cameraSize` is the size of the frame it came from.
    std::optional<FrameReading> analyze(const QImage& image, const QSizeF& cameraSize);

    // `aspect`: the analysed picture's width over height, so the roll is measured in square units.
    static FaceMeasurement measure(const FaceObservation& face, double aspect);

    static constexpr int fullLookEvery = 6;
    void setFollowsFace(bool follows);
    // Where the next look searches, in the analysed picture's pixels: the last face grown by its own size on
    // every side; nothing for the whole picture.
    std::optional<QRectF> searchRegion(QSize pictureSize) const;

private:
    struct Followed {
        QRectF face; // normalised
        QSize pictureSize;
        int looksSinceFull = 0;
    };
    std::shared_ptr<FaceDetector> detector_;
    bool followsFace_ = false;
    std::optional<Followed> followed_;
};
