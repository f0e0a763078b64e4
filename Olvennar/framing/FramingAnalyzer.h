#pragma once

#include "framing/FaceMeasurement.h"
#include "framing/FrameReading.h"

#include <QImage>
#include <QSizeF>

#include <memory>
#include <optional>

class FaceDetector;
struct FaceObservation;
class PixelBuffer;

// Measures one camera picture: the largest face, the number of faces and the light grid. It judges nothing.
// One caller at a time; nothing is kept between calls.
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

private:
    std::shared_ptr<FaceDetector> detector_;
};
