#include "platform/vision/DlibFaceDetector.h"

#include "platform/system/Diagnostics.h"
#include "platform/vision/LandmarkFace.h"

#include <dlib/image_processing.h>
#include <dlib/image_processing/frontal_face_detector.h>
#include <dlib/opencv/cv_image.h>

#include <opencv2/imgproc.hpp>

#include <QFileInfo>

#include <map>
#include <set>
#include <utility>

namespace {

std::mutex cacheLock;

// The model is ~100 MB: read once per file while anyone holds it.
std::shared_ptr<const dlib::shape_predictor> loadModel(const QString& path, QString& failure)
{
    static std::map<QString, std::weak_ptr<const dlib::shape_predictor>> cache;
    std::lock_guard guard(cacheLock);
    if (auto cached = cache[path].lock())
        return cached;
    if (!QFileInfo(path).isFile()) {
        failure = QStringLiteral("The face landmark model is missing: %1").arg(path);
        return nullptr;
    }
    try {
        auto model = std::make_shared<dlib::shape_predictor>();
        dlib::deserialize(path.toStdString()) >> *model;
        if (model->num_parts() != LandmarkFace::pointCount) {
            failure = QStringLiteral("The face landmark model has %1 points, not 68: %2").arg(model->num_parts()).arg(path);
            return nullptr;
        }
        cache[path] = model;
        return model;
    } catch (const std::exception& error) {
        failure = QStringLiteral("The face landmark model could not be read: %1 (%2)").arg(path, QString::fromUtf8(error.what()));
        return nullptr;
    }
}

// Both monitors look for the same model: one log line per missing or broken file, not one per detector.
bool firstFailureOf(const QString& path)
{
    static std::set<QString> reported;
    std::lock_guard guard(cacheLock);
    return reported.insert(path).second;
}

} // namespace

struct DlibFaceDetector::Engine {
    dlib::frontal_face_detector detector = dlib::get_frontal_face_detector();
    std::shared_ptr<const dlib::shape_predictor> landmarks;
    cv::Mat enlarged;
};

DlibFaceDetector::DlibFaceDetector(QString modelPath) : modelPath_(std::move(modelPath)) {}

DlibFaceDetector::~DlibFaceDetector() = default;

bool DlibFaceDetector::ready()
{
    if (failed_)
        return false;
    if (!engine_) {
        QString failure;
        auto model = loadModel(modelPath_, failure);
        if (!model) {
            // Not retried: the monitor asks several times a second.
            failed_ = true;
            if (firstFailureOf(modelPath_))
                Diagnostics::log(ErrorInfo{QStringLiteral("FaceDetector"), 1, failure}, QStringLiteral("framing"));
            return false;
        }
        engine_ = std::make_unique<Engine>();
        engine_->landmarks = std::move(model);
    }
    return true;
}

FaceDetector::Detection DlibFaceDetector::detect(const GreyImage& image)
{
    std::lock_guard guard(lock_);
    if (!ready())
        return {{}, false};
    return scan(image, {}, QSizeF(image.width, image.height));
}

FaceDetector::Detection DlibFaceDetector::detectAround(const GreyImage& image, const QRectF& region)
{
    std::lock_guard guard(lock_);
    if (!ready())
        return {{}, false};
    const QRect window = region.toAlignedRect().intersected(QRect(0, 0, image.width, image.height));
    if (!image.pixels || window.isEmpty())
        return {};
    const GreyImage part {image.pixels + static_cast<size_t>(window.y()) * image.bytesPerRow + static_cast<size_t>(window.x()), window.width(),
        window.height(), image.bytesPerRow};
    return scan(part, window.topLeft(), QSizeF(image.width, image.height));
}

FaceDetector::Detection DlibFaceDetector::scan(const GreyImage& image, QPoint offset, QSizeF whole)
{
    if (!image.pixels || image.width < 1 || image.height < 1)
        return {};

    const cv::Mat grey(image.height, image.width, CV_8UC1, const_cast<uint8_t*>(image.pixels), image.bytesPerRow);
    cv::resize(grey, engine_->enlarged, cv::Size(), upsampling, upsampling, cv::INTER_LINEAR);
    const dlib::cv_image<unsigned char> picture(engine_->enlarged);
    std::vector<std::pair<double, dlib::rectangle>> hits;
    engine_->detector(picture, hits, minimumScore);

    Detection detection;
    for (const auto& hit : hits) {
        const dlib::full_object_detection shape = (*engine_->landmarks)(picture, hit.second);
        std::array<QPointF, LandmarkFace::pointCount> points;
        for (int index = 0; index < LandmarkFace::pointCount; ++index) {
            const dlib::point& point = shape.part(static_cast<unsigned long>(index));
            // Pixel centres: +0.5 before scaling back, -0.5 after.
            points[index] = QPointF((point.x() + 0.5) / upsampling - 0.5, (point.y() + 0.5) / upsampling - 0.5) + QPointF(offset);
        }
        detection.faces.push_back(LandmarkFace::observation(points, whole));
    }
    return detection;
}
