#include "framing/FramingAnalyzer.h"
#include "framing/FramingCoach.h"
#include "platform/media/PixelBuffer.h"
#include "platform/vision/DlibFaceDetector.h"
#include "platform/vision/FaceDetector.h"
#include "platform/vision/LandmarkFace.h"

#include "support/TestEnvironment.h"

#include <QImage>
#include <QTransform>

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

QImage portrait()
{
    return QImage(QStringLiteral(OLVENNAR_TEST_DATA "/portrait-astronaut.png")).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

PixelBuffer bufferOf(const QImage& image)
{
    const QImage pixels = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    PixelBuffer buffer(pixels.width(), pixels.height());
    for (int y = 0; y < pixels.height(); ++y)
        std::memcpy(buffer.row(y), pixels.constScanLine(y), static_cast<size_t>(pixels.width()) * 4);
    return buffer;
}

// Scripted detector: hands back the given faces, or reports that it cannot run.
class ScriptedDetector : public FaceDetector {
public:
    Detection detect(const GreyImage& image) override
    {
        lastWidth = image.width;
        return next;
    }
    Detection next;
    int lastWidth = 0;
};

FaceObservation boxOnly(double x, double y, double w, double h)
{
    FaceObservation face;
    face.boundingBox = QRectF(x, y, w, h);
    return face;
}

// The portrait: dlib finds the face at about (179, 83)-(266, 170) of 512x512.
class PortraitTest : public ::testing::Test {
protected:
    static FramingAnalyzer& analyzer()
    {
        static FramingAnalyzer shared;
        return shared;
    }
};

TEST_F(PortraitTest, OneLevelFaceWithTheEyeLineAThirdDownTheBox)
{
    const QImage image = portrait();
    ASSERT_FALSE(image.isNull());
    const auto result = analyzer().analyze(bufferOf(image));
    ASSERT_TRUE(result);
    const FrameReading& reading = result->reading;
    EXPECT_TRUE(reading.faceCheckAvailable);
    EXPECT_EQ(reading.faceCount, 1);
    ASSERT_TRUE(reading.face);
    const FaceMeasurement& face = *reading.face;
    EXPECT_EQ(reading.cameraSize, QSizeF(512, 512));
    EXPECT_EQ(result->thumbnail.size(), QSize(512, 512)); // never enlarged

    // Across the cheeks of the detector's face square; from a third above the eyes down to the chin (~180).
    const QRectF box(face.face.x() * 512, face.face.y() * 512, face.face.width() * 512, face.face.height() * 512);
    EXPECT_NEAR(box.center().x(), 224, 8);
    EXPECT_NEAR(box.width(), 90, 10);
    EXPECT_NEAR(box.bottom(), 180, 8);
    // The head top (0.4 box heights above the box) is the top of her hair, at about y = 18.
    EXPECT_NEAR(box.y() - 0.4 * box.height(), 18, 10);

    ASSERT_TRUE(face.eyes);
    EXPECT_LT(face.eyes->first.x(), face.eyes->second.x());
    const double eyeLine = (face.eyes->first.y() + face.eyes->second.y()) / 2 * 512;
    EXPECT_NEAR((eyeLine - box.y()) / box.height(), 1.0 / 3.0, 0.01);
    EXPECT_NEAR(eyeLine, 103, 6);
    // Her head leans about 3 degrees: a small roll that stays under the tilt rule's 5 degrees.
    EXPECT_GT(face.rollDegrees, 0.5);
    EXPECT_LT(face.rollDegrees, 5.0);
    EXPECT_FALSE(face.pitchDegrees);
    EXPECT_FALSE(face.yawDegrees);
}

TEST_F(PortraitTest, CoachReadsTheWholeHeadInFrameAndLevelEyes)
{
    const auto result = analyzer().analyze(bufferOf(portrait()));
    ASSERT_TRUE(result);
    FramingCoach coach;
    const FramingReport report = coach.step(result->reading, {FramingCropSpec::fullFrame()}, false, 0, true, {},
        {FramingStatus::good, {QStringLiteral("Looks good ✓")}});
    ASSERT_EQ(report.metrics.size(), 1u);
    ASSERT_TRUE(report.metrics[0]);
    const CropMetrics& m = *report.metrics[0];
    EXPECT_GT(m.headTop, 0.0); // her hair is inside the picture
    // The eye line sits high in this studio portrait (0.20 against 0.29...0.38); the rest is right: the face
    // is full-frame sized, centred enough, level, lit and whole.
    EXPECT_EQ(report.overall.status, FramingStatus::adjust);
    EXPECT_EQ(report.overall.hints, QStringList{QStringLiteral("Tilt the camera up a little")});
}

TEST_F(PortraitTest, FaceOfSixtyFourPixelsIsStillFound)
{
    // 87 px face -> 64 px.
    const int side = static_cast<int>(std::round(512 * 64.0 / 87.0));
    const QImage small = portrait().scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const auto result = analyzer().analyze(bufferOf(small));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->reading.faceCount, 1);
    ASSERT_TRUE(result->reading.face);
    EXPECT_NEAR(result->reading.face->face.center().x() * side, 222.5 * side / 512, 8);
    EXPECT_LT(std::abs(result->reading.face->rollDegrees), 5.0);
}

TEST_F(PortraitTest, TinyAndFaceFreePicturesFindNothing)
{
    PixelBuffer tiny(16, 16);
    tiny.fill(200, 200, 200, 255);
    const auto result = analyzer().analyze(tiny);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->reading.faceCount, 0);
    EXPECT_TRUE(result->reading.faceCheckAvailable);
    // The portrait's lower half (suit, badge, helmet) holds no face.
    const auto lower = analyzer().analyze(bufferOf(portrait().copy(0, 256, 512, 256)));
    ASSERT_TRUE(lower);
    EXPECT_EQ(lower->reading.faceCount, 0);
}

TEST_F(PortraitTest, TurnedPictureGivesTheRollOfTheEyes)
{
    // Turning the picture clockwise lowers the eye on the right: the roll grows by the turn.
    const auto level = analyzer().analyze(bufferOf(portrait()));
    ASSERT_TRUE(level && level->reading.face);
    QTransform turn;
    turn.rotate(10);
    const QImage turned = portrait().transformed(turn, Qt::SmoothTransformation);
    const auto result = analyzer().analyze(bufferOf(turned));
    ASSERT_TRUE(result);
    ASSERT_TRUE(result->reading.face);
    EXPECT_NEAR(result->reading.face->rollDegrees, level->reading.face->rollDegrees + 10, 1.5);
}

TEST(FramingAnalyzerTest, ShrinksWideFramesTo640AndKeepsTheCameraSize)
{
    auto detector = std::make_shared<ScriptedDetector>();
    FramingAnalyzer analyzer(detector);
    PixelBuffer frame(1920, 1080);
    frame.fill(40, 40, 40, 255);
    const auto result = analyzer.analyze(frame);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->thumbnail.size(), QSize(640, 360));
    EXPECT_EQ(detector->lastWidth, 640);
    EXPECT_EQ(result->reading.cameraSize, QSizeF(1920, 1080));
    EXPECT_EQ(result->reading.luma.width, 80);
    EXPECT_EQ(result->reading.luma.height, 45);
    EXPECT_FALSE(result->reading.face);
    EXPECT_EQ(result->reading.faceCount, 0);

    PixelBuffer small(320, 240);
    EXPECT_EQ(analyzer.analyze(small)->thumbnail.size(), QSize(320, 240));
    EXPECT_FALSE(analyzer.analyze(PixelBuffer(15, 1000)));
    EXPECT_TRUE(analyzer.analyze(PixelBuffer(16, 16)));
}

TEST(FramingAnalyzerTest, LargestFaceWinsAndTheFirstOnEqualAreas)
{
    auto detector = std::make_shared<ScriptedDetector>();
    FramingAnalyzer analyzer(detector);
    const QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
    detector->next.faces = {boxOnly(0.1, 0.1, 0.2, 0.2), boxOnly(0.5, 0.5, 0.3, 0.3)};
    auto reading = analyzer.analyze(image, QSizeF(64, 64));
    EXPECT_EQ(reading->faceCount, 2);
    EXPECT_EQ(reading->face->face, QRectF(0.5, 0.5, 0.3, 0.3));
    detector->next.faces = {boxOnly(0.1, 0.1, 0.2, 0.2), boxOnly(0.5, 0.5, 0.2, 0.2)};
    reading = analyzer.analyze(image, QSizeF(64, 64));
    EXPECT_EQ(reading->faceCount, 2);
    EXPECT_EQ(reading->face->face, QRectF(0.1, 0.1, 0.2, 0.2));
}

TEST(FramingAnalyzerTest, EyesFromPupilsElseOutlinesAndRollInSquareUnits)
{
    FaceObservation face = boxOnly(0.4, 0.3, 0.2, 0.3);
    face.leftEye = {{0.56, 0.39}, {0.58, 0.41}}; // outline centre (0.57, 0.40)
    face.rightEye = {{0.42, 0.39}, {0.44, 0.41}};
    face.rightPupil = {{0.45, 0.40}};
    face.rollRadians = 0.5; // ignored while both eyes are known
    FaceMeasurement measured = FramingAnalyzer::measure(face, 1.0);
    ASSERT_TRUE(measured.eyes);
    EXPECT_EQ(measured.eyes->first, QPointF(0.45, 0.40));
    EXPECT_NEAR(measured.eyes->second.x(), 0.57, 1e-9);
    EXPECT_NEAR(measured.rollDegrees, 0.0, 1e-9);

    // The right eye (larger x) lower in the picture: positive roll; the aspect makes x and y comparable.
    face.leftPupil = {{0.55, 0.45}};
    measured = FramingAnalyzer::measure(face, 2.0);
    EXPECT_NEAR(measured.rollDegrees, std::atan2(0.05, 2.0 * 0.10) * 180 / M_PI, 1e-9);

    // One eye only: the detector's own roll, else level.
    face.leftEye.clear();
    face.leftPupil.clear();
    face.pitchRadians = M_PI / 18;
    measured = FramingAnalyzer::measure(face, 1.0);
    EXPECT_FALSE(measured.eyes);
    EXPECT_NEAR(measured.rollDegrees, 0.5 * 180 / M_PI, 1e-9);
    EXPECT_NEAR(*measured.pitchDegrees, 10, 1e-9);
    face.rollRadians.reset();
    EXPECT_EQ(FramingAnalyzer::measure(face, 1.0).rollDegrees, 0.0);
}

TEST(FramingAnalyzerTest, LandmarksGiveACalibratedBox)
{
    std::array<QPointF, LandmarkFace::pointCount> points;
    points.fill(QPointF(100, 100));
    for (int index = 0; index <= 16; ++index)
        points[index] = QPointF(60 + 5 * index, 120); // jaw 60...140
    points[8] = QPointF(100, 190);                     // chin tip
    for (int index = 36; index <= 41; ++index)
        points[index] = QPointF(80, 100);
    for (int index = 42; index <= 47; ++index)
        points[index] = QPointF(120, 100);
    const FaceObservation face = LandmarkFace::observation(points, QSizeF(200, 400));
    // Eyes to chin 90 px -> box 135 px tall, top 45 px above the eyes.
    EXPECT_NEAR(face.boundingBox.y() * 400, 55, 1e-9);
    EXPECT_NEAR(face.boundingBox.height() * 400, 135, 1e-9);
    EXPECT_NEAR(face.boundingBox.x() * 200, 60, 1e-9);
    EXPECT_NEAR(face.boundingBox.width() * 200, 80, 1e-9);
    ASSERT_EQ(face.leftEye.size(), 6u);
    EXPECT_EQ(face.rightEye.front(), QPointF(0.4, 0.25));
    EXPECT_FALSE(face.rollRadians);
}

class MissingModelTest : public SandboxTest {};

TEST_F(MissingModelTest, IsReportedOnceAsUnavailable)
{
    // Two monitors' analysers, several passes each.
    const QString missing = path(QStringLiteral("missing.dat"));
    FramingAnalyzer desk(std::make_shared<DlibFaceDetector>(missing));
    FramingAnalyzer phone(std::make_shared<DlibFaceDetector>(missing));
    const QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
    for (int pass = 0; pass < 3; ++pass) {
        for (FramingAnalyzer* analyzer : {&desk, &phone}) {
            const auto reading = analyzer->analyze(image, QSizeF(64, 64));
            ASSERT_TRUE(reading);
            EXPECT_FALSE(reading->faceCheckAvailable);
            EXPECT_FALSE(reading->face);
        }
    }
    EXPECT_EQ(readLog().count(QStringLiteral("The face landmark model is missing")), 1);
}

} // namespace
