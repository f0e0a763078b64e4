#pragma once

#include "platform/vision/FaceDetector.h"

#include <QPoint>
#include <QSizeF>
#include <QString>

#include <memory>
#include <mutex>

// dlib's HOG frontal face detector plus the 68-point shape predictor. The picture is enlarged by 1.25 before
// the scan so that faces of about 60 pixels are found and boxed well; dlib's usual 2x enlargement finds
// smaller faces still but costs twice the per-frame budget on one core. Hits scoring below 0.2 are dropped:
// badges and patterns score around 0, real faces above 0.8. The landmark model is read on first use and
// shared by every detector that names the same file.
class DlibFaceDetector final : public FaceDetector {
public:
    static QString defaultModelPath() { return QStringLiteral("/usr/share/dlib/shape_predictor_68_face_landmarks.dat"); }
    static constexpr double upsampling = 1.25;
    static constexpr double minimumScore = 0.2;

    explicit DlibFaceDetector(QString modelPath = defaultModelPath());
    ~DlibFaceDetector() override;

    Detection detect(const GreyImage& image) override;
    // The same scan over the region only: its cost falls with its area.
    Detection detectAround(const GreyImage& image, const QRectF& region) override;

private:
    struct Engine;
    bool ready();
    // Scans `part` (a window of the image at `offset`, image pixels) and reports faces normalised to `whole`.
    Detection scan(const GreyImage& part, QPoint offset, QSizeF whole);
    QString modelPath_;
    std::mutex lock_;
    std::unique_ptr<Engine> engine_;
    bool failed_ = false;
};
