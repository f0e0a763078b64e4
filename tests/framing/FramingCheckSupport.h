#pragma once

#include "framing/FramingAnalyzer.h"
#include "framing/FramingMonitor.h"
#include "support/TestEnvironment.h"

#include <memory>
#include <vector>

// What a fake analyser sees in any frame: one centred face in even light, on a flat thumbnail of the frame's size.
inline FramingAnalyzer::Result centredFaceResult(const PixelBuffer& frame)
{
    FrameReading reading;
    reading.cameraSize = QSizeF(frame.width(), frame.height());
    reading.luma = {10, 10, std::vector<float>(100, 0.5f)};
    FaceMeasurement face;
    face.face = QRectF(0.44, 0.26, 0.12, 0.21);
    face.eyes = std::make_pair(QPointF(0.47, 0.33), QPointF(0.53, 0.33));
    reading.face = face;
    reading.faceCount = 1;
    QImage thumbnail(frame.width(), frame.height(), QImage::Format_ARGB32_Premultiplied);
    thumbnail.fill(QColor(90, 110, 130));
    return FramingAnalyzer::Result{reading, thumbnail};
}

// A monitor's analyser that judges every frame as centredFaceResult, so the framing check's views can be
// driven through the real monitor and coach without a camera or a detector.
class FixedReadingAnalyzer final : public FramingAnalyzer {
public:
    FixedReadingAnalyzer() : FramingAnalyzer(nullptr) {}
    std::optional<Result> analyze(const PixelBuffer& frame) override { return centredFaceResult(frame); }
};

struct JudgedMonitor {
    std::shared_ptr<CameraFrameTap> tap = std::make_shared<CameraFrameTap>();
    FramingMonitor monitor{std::make_shared<FixedReadingAnalyzer>()};

    JudgedMonitor() { tap->store(std::make_shared<const PixelBuffer>(320, 180)); }

    // Judges these crops and waits for the report that lists them.
    bool judge(const std::vector<FramingCropSpec>& specs)
    {
    monitor.update(specs, false, tap, false);
    return TestEnvironment::waitUntil([&] {
        const FramingReport& report = monitor.report();
        return report.crops.size() == specs.size() && report.perCrop.size() == specs.size()
            && report.cameraSize == QSizeF(320, 180);
    });
    }
};
