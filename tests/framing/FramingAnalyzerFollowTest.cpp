#include "framing/FramingAnalyzer.h"
#include "platform/media/PixelBuffer.h"
#include "platform/vision/FaceDetector.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <vector>

namespace {

// Hands back the scripted faces and remembers where each look searched (nothing: the whole picture).
class LookingDetector : public FaceDetector {
public:
    Detection detect(const GreyImage&) override
    {
        looks.push_back(std::nullopt);
        return whole;
    }
    Detection detectAround(const GreyImage&, const QRectF& region) override
    {
        looks.push_back(region);
        return around;
    }
    Detection whole;
    Detection around;
    std::vector<std::optional<QRectF>> looks;
};

QImage blank(int width, int height)
{
    QImage picture(width, height, QImage::Format_ARGB32_Premultiplied);
    picture.fill(QColor(90, 90, 90));
    return picture;
}

FaceObservation faceAt(double x, double y, double w, double h)
{
    FaceObservation face;
    face.boundingBox = QRectF(x, y, w, h);
    return face;
}

TEST(FramingAnalyzerFollowTest, FollowingSearchesAroundTheLastFaceAndTheWholePictureEverySixthLook)
{
    auto detector = std::make_shared<LookingDetector>();
    FramingAnalyzer analyzer(detector);
    analyzer.setFollowsFace(true);
    const QImage picture = blank(200, 100);
    detector->whole.faces = {faceAt(0.4, 0.2, 0.1, 0.3)}; // 20 × 30 pixels at (80, 20)
    detector->around.faces = detector->whole.faces;
    for (int look = 0; look < 8; ++look)
        ASSERT_EQ(analyzer.analyze(picture, QSizeF(200, 100))->faceCount, 1);
    // Whole, five around the face (grown by its size on every side), whole again, then around.
    ASSERT_EQ(detector->looks.size(), 8u);
    for (int look : {0, 6})
        EXPECT_FALSE(detector->looks[static_cast<size_t>(look)]) << look;
    for (int look : {1, 2, 3, 4, 5, 7}) {
        ASSERT_TRUE(detector->looks[static_cast<size_t>(look)]) << look;
        EXPECT_EQ(*detector->looks[static_cast<size_t>(look)], QRectF(60, -10, 60, 90)) << look;
    }
}

TEST(FramingAnalyzerFollowTest, AMissASecondFaceOrAnotherSizeSearchesTheWholePicture)
{
    auto detector = std::make_shared<LookingDetector>();
    FramingAnalyzer analyzer(detector);
    analyzer.setFollowsFace(true);
    const QImage picture = blank(200, 100);
    detector->whole.faces = {faceAt(0.4, 0.2, 0.1, 0.3)};
    analyzer.analyze(picture, QSizeF(200, 100));

    // Nothing around the face: the same look searches the whole picture, which reports what it finds.
    detector->whole.faces = {faceAt(0.4, 0.2, 0.1, 0.3), faceAt(0.1, 0.1, 0.1, 0.2)};
    detector->looks.clear();
    EXPECT_EQ(analyzer.analyze(picture, QSizeF(200, 100))->faceCount, 2);
    EXPECT_EQ(detector->looks.size(), 2u);
    // Two faces are not followed.
    detector->looks.clear();
    analyzer.analyze(picture, QSizeF(200, 100));
    ASSERT_EQ(detector->looks.size(), 1u);
    EXPECT_FALSE(detector->looks[0]);

    // A picture of another size starts over.
    detector->whole.faces = {faceAt(0.4, 0.2, 0.1, 0.3)};
    detector->around.faces = detector->whole.faces;
    analyzer.analyze(picture, QSizeF(200, 100));
    detector->looks.clear();
    analyzer.analyze(blank(100, 50), QSizeF(100, 50));
    ASSERT_EQ(detector->looks.size(), 1u);
    EXPECT_FALSE(detector->looks[0]);

    // Not following (the default), every look is whole.
    FramingAnalyzer plain(detector);
    detector->looks.clear();
    plain.analyze(picture, QSizeF(200, 100));
    plain.analyze(picture, QSizeF(200, 100));
    EXPECT_EQ(detector->looks, (std::vector<std::optional<QRectF>> {std::nullopt, std::nullopt}));
}

// The portrait's face at about 64 analysed pixels, as a desk camera frames it.
PixelBuffer deskFrame(QPoint portraitAt)
{
    const QImage portrait(QStringLiteral(OLVENNAR_TEST_DATA "/portrait-astronaut.png"));
    QImage canvas(1280, 720, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(QColor(120, 110, 100));
    QPainter painter(&canvas);
    painter.drawImage(QRectF(portraitAt, QSizeF(750, 750)), portrait);
    painter.end();
    PixelBuffer frame(1280, 720);
    for (int y = 0; y < 720; ++y)
        std::memcpy(frame.row(y), canvas.constScanLine(y), 1280 * 4);
    return frame;
}

TEST(FramingAnalyzerFollowTest, FollowedPortraitIsFoundWhereTheWholePictureFindsIt)
{
    FramingAnalyzer whole;
    FramingAnalyzer following;
    following.setFollowsFace(true);
    // The face stays, then moves a little: each look, whole or around it, finds it in the same place.
    for (const QPoint at : {QPoint(280, -20), QPoint(280, -20), QPoint(280, -20), QPoint(300, -10), QPoint(320, 0)}) {
        const PixelBuffer frame = deskFrame(at);
        const auto expected = whole.analyze(frame);
        const auto followed = following.analyze(frame);
        ASSERT_TRUE(expected && followed);
        ASSERT_EQ(expected->reading.faceCount, 1);
        ASSERT_EQ(followed->reading.faceCount, 1);
        ASSERT_TRUE(followed->reading.face);
        const QRectF a = expected->reading.face->face, b = followed->reading.face->face;
        EXPECT_NEAR(a.center().x() * 640, b.center().x() * 640, 3) << at.x();
        EXPECT_NEAR(a.center().y() * 360, b.center().y() * 360, 3) << at.x();
        EXPECT_NEAR(a.width() * 640, b.width() * 640, 4) << at.x();
        EXPECT_NEAR(expected->reading.face->rollDegrees, followed->reading.face->rollDegrees, 2) << at.x();
    }
}

} // namespace
