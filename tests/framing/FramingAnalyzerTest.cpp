#include "framing/FramingAnalyzer.h"
#include "framing/FramingCoach.h"
#include "platform/media/PixelBuffer.h"
#include "platform/vision/DlibFaceDetector.h"
#include "platform/vision/FaceDetector.h"

#include "support/TestEnvironment.h"

#include <QImage>

#include "QtPrinters.h"

#include <gtest/gtest.h>

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
