#include "framing/FramingAnalyzer.h"

#include "platform/media/PixelBuffer.h"
#include "platform/vision/DlibFaceDetector.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <numbers>

namespace {

std::optional<QPointF> centre(const std::vector<QPointF>& points)
{
    if (points.empty())
        return std::nullopt;
    QPointF sum;
    for (const QPointF& point : points)
        sum += point;
    return sum / static_cast<double>(points.size());
}

double degrees(double radians) { return radians * 180.0 / std::numbers::pi; }

} // namespace

FramingAnalyzer::FramingAnalyzer() : FramingAnalyzer(std::make_shared<DlibFaceDetector>()) {}

FramingAnalyzer::FramingAnalyzer(std::shared_ptr<FaceDetector> detector) : detector_(std::move(detector)) {}

FramingAnalyzer::~FramingAnalyzer() = default;

std::optional<FramingAnalyzer::Result> FramingAnalyzer::analyze(const PixelBuffer& frame)
{
    const int width = frame.width();
    const int height = frame.height();
    if (width < 16 || height < 16)
        return std::nullopt;
    const double scale = std::min(static_cast<double>(thumbnailWidth) / width, 1.0);
    const int thumbWidth = static_cast<int>(std::round(width * scale));
    const int thumbHeight = static_cast<int>(std::round(height * scale));

    // Camera frames are opaque BGRA, which is QImage's premultiplied ARGB32 in memory.
    QImage thumbnail(thumbWidth, thumbHeight, QImage::Format_ARGB32_Premultiplied);
    if (thumbnail.isNull())
        return std::nullopt;
    const cv::Mat source(height, width, CV_8UC4, const_cast<uint8_t*>(frame.data()), frame.bytesPerRow());
    cv::Mat target(thumbHeight, thumbWidth, CV_8UC4, thumbnail.bits(), static_cast<size_t>(thumbnail.bytesPerLine()));
    if (thumbWidth == width && thumbHeight == height)
        source.copyTo(target);
    else
        cv::resize(source, target, target.size(), 0, 0, cv::INTER_AREA);

    auto reading = analyze(thumbnail, QSizeF(width, height));
    if (!reading)
        return std::nullopt;
    return Result{std::move(*reading), std::move(thumbnail)};
}

std::optional<FrameReading> FramingAnalyzer::analyze(const QImage& image, const QSizeF& cameraSize)
{
    if (image.width() < 16 || image.height() < 16)
        return std::nullopt;
    const QImage pixels = image.format() == QImage::Format_ARGB32_Premultiplied || image.format() == QImage::Format_RGB32
        ? image
        : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int width = pixels.width();
    const int height = pixels.height();
    const size_t bytesPerRow = static_cast<size_t>(pixels.bytesPerLine());

    FrameReading reading;
    reading.cameraSize = cameraSize;
    // B, G, R, A bytes in memory.
    reading.luma = LumaMap::fromPixels(pixels.constBits(), width, height, bytesPerRow, 2, 1, 0);

    const cv::Mat colour(height, width, CV_8UC4, const_cast<uchar*>(pixels.constBits()), bytesPerRow);
    cv::Mat grey;
    cv::cvtColor(colour, grey, cv::COLOR_BGRA2GRAY);
    const FaceDetector::GreyImage greyImage {grey.data, grey.cols, grey.rows, grey.step[0]};
    FaceDetector::Detection detection {{}, false};
    bool nearby = false;
    if (detector_) {
        if (const std::optional<QRectF> region = searchRegion(QSize(width, height))) {
            detection = detector_->detectAround(greyImage, *region);
            nearby = detection.available && detection.faces.size() == 1;
        }
        if (!nearby)
            detection = detector_->detect(greyImage);
    }
    if (followsFace_ && detection.available && detection.faces.size() == 1)
        followed_ = Followed {detection.faces.front().boundingBox, QSize(width, height), nearby ? followed_->looksSinceFull + 1 : 0};
    else
        followed_.reset();
    reading.faceCheckAvailable = detection.available;
    reading.faceCount = static_cast<int>(detection.faces.size());
    const FaceObservation* largest = nullptr;
    for (const FaceObservation& face : detection.faces) {
        const double area = face.boundingBox.width() * face.boundingBox.height();
        if (!largest || area > largest->boundingBox.width() * largest->boundingBox.height())
            largest = &face;
    }
    if (largest)
        reading.face = measure(*largest, static_cast<double>(width) / height);
    return reading;
}

void FramingAnalyzer::setFollowsFace(bool follows)
{
    followsFace_ = follows;
    followed_.reset();
}

std::optional<QRectF> FramingAnalyzer::searchRegion(QSize pictureSize) const
{
    if (!followsFace_ || !followed_ || followed_->pictureSize != pictureSize || followed_->looksSinceFull + 1 >= fullLookEvery)
        return std::nullopt;
    const QRectF& f = followed_->face;
    const QRectF face(f.x() * pictureSize.width(), f.y() * pictureSize.height(), f.width() * pictureSize.width(), f.height() * pictureSize.height());
    return face.adjusted(-face.width(), -face.height(), face.width(), face.height());
}

FaceMeasurement FramingAnalyzer::measure(const FaceObservation& face, double aspect)
{
    FaceMeasurement measurement;
    measurement.face = face.boundingBox;
    auto left = centre(face.leftPupil);
    if (!left)
        left = centre(face.leftEye);
    auto right = centre(face.rightPupil);
    if (!right)
        right = centre(face.rightEye);
    if (left && right) {
        const QPointF first = left->x() <= right->x() ? *left : *right;
        const QPointF second = left->x() <= right->x() ? *right : *left;
        measurement.eyes = std::make_pair(first, second);
        measurement.rollDegrees = degrees(std::atan2(second.y() - first.y(), aspect * (second.x() - first.x())));
    } else {
        measurement.rollDegrees = face.rollRadians ? degrees(*face.rollRadians) : 0.0;
    }
    if (face.pitchRadians)
        measurement.pitchDegrees = degrees(*face.pitchRadians);
    if (face.yawRadians)
        measurement.yawDegrees = degrees(*face.yawRadians);
    return measurement;
}
