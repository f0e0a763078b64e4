#include "framing/FramingCoach.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace {

using Kind = FramingIssueKind;

const FramingAdvice good{FramingStatus::good, {QStringLiteral("Looks good ✓")}};

// A 1600x900 camera: the full frame is the whole picture, the circle bubble the centred 900x900 square.
FrameReading readingOf(std::optional<FaceMeasurement> face)
{
    FrameReading reading;
    reading.cameraSize = QSizeF(1600, 900);
    reading.luma = {20, 20, std::vector<float>(400, 0.5f)};
    reading.faceCount = face ? 1 : 0;
    reading.face = face;
    return reading;
}

// A face of `height` (picture heights), centred at x, eyes a third down, level.
FaceMeasurement faceAt(double centreX, double height, double top = 0.2)
{
    FaceMeasurement face;
    const double width = height * 900.0 / 1600.0;
    face.face = QRectF(centreX - width / 2, top, width, height);
    const double eyeY = top + height / 3;
    face.eyes = std::make_pair(QPointF(centreX - width / 4, eyeY), QPointF(centreX + width / 4, eyeY));
    return face;
}

// Good for the full frame: eyes at 0.33, 0.21 tall, centred.
FaceMeasurement deskFace() { return faceAt(0.5, 0.21, 0.26); }

class FramingCoachTest : public ::testing::Test {
protected:
    FramingReport step(const std::optional<FrameReading>& reading, double now, bool instant = false,
        const std::vector<FramingCropSpec>& specs = {FramingCropSpec::fullFrame()},
        const FramingMessageProvider& message = {})
    {
        return coach.step(reading, specs, false, now, instant, message, good);
    }
    // For the debounce: a good desk face and the same face far off to the right, smoothing off so each
    // step's advice is exact.
    FramingAdvice startDebounce()
    {
        coach.smoothing = 1.0;
        off.face.moveLeft(0.75);
        off.eyes = std::make_pair(QPointF(0.78, 0.33), QPointF(0.84, 0.33));
        return step(readingOf(desk), 0.0).overall;
    }
    FramingCoach coach;
    const FaceMeasurement desk = deskFace();
    FaceMeasurement off = deskFace();
};

TEST_F(FramingCoachTest, GoodFaceGivesTheGoodAdviceAndAReadinglessStepIsIdle)
{
    const FramingReport report = step(readingOf(deskFace()), 0);
    EXPECT_EQ(report.overall, good);
    ASSERT_EQ(report.perCrop.size(), 1u);
    EXPECT_EQ(report.perCrop[0], good);
    ASSERT_EQ(report.metrics.size(), 1u);
    EXPECT_TRUE(report.metrics[0]);
    EXPECT_EQ(report.cameraSize, QSizeF(1600, 900));
    EXPECT_EQ(step(std::nullopt, 0.1), FramingReport::idle());
    // Memory survives the idle step: the smoothed face is still there.
    EXPECT_TRUE(coach.face());
}

TEST_F(FramingCoachTest, MergedOppositesKeepTheLargerExcessAndNameTheCrop)
{
    const std::vector<FramingCropSpec> both{FramingCropSpec::fullFrame(), FramingCropSpec::shape(BubbleShape::circle)};
    // 0.27 tall: too close for the full frame (excess 0.02), too far for the bubble (0.05).
    FramingReport report = step(readingOf(faceAt(0.5, 0.27, 0.25)), 0, true, both);
    EXPECT_EQ(report.overall.status, FramingStatus::adjust);
    EXPECT_EQ(report.overall.hints, QStringList{"Move a little closer (Circle)"});
    EXPECT_EQ(report.perCrop[0].hints, QStringList{"Move back a little — too close"});
    // 0.30 tall: too close by 0.05 beats too far by 0.02.
    report = step(readingOf(faceAt(0.5, 0.30, 0.24)), 0, true, both);
    EXPECT_EQ(report.overall.hints.front(), "Move back a little — too close (Full frame)");

    // An issue on every crop names none.
    report = step(readingOf(faceAt(0.5, 0.21, 0.26)), 0, true, both); // good desk, too far for the bubble
    EXPECT_EQ(report.overall.hints, QStringList{"Move closer — too far (Circle)"});
    report = step(readingOf(faceAt(0.5, 0.12, 0.3)), 0, true, both);
    EXPECT_EQ(report.overall.hints, QStringList{"Move closer — too far"});
}

TEST_F(FramingCoachTest, AtMostTwoLinesMajorFirstAndNoRepeats)
{
    // Dark, tilted and off to the left: the major one leads, the third is cut.
    FaceMeasurement face = deskFace();
    face.face.moveLeft(0.1);
    face.eyes = std::make_pair(QPointF(0.13, 0.33), QPointF(0.2, 0.34));
    face.rollDegrees = 12;
    FrameReading reading = readingOf(face);
    reading.luma.values.assign(400, 0.2f);
    FramingReport report = step(reading, 0, true);
    EXPECT_EQ(report.overall.status, FramingStatus::fix);
    ASSERT_EQ(report.overall.hints.size(), 2);
    EXPECT_EQ(report.overall.hints[0], "Move to your left");          // major
    EXPECT_EQ(report.overall.hints[1], "Straighten the camera (or your head)"); // major, later kind
    EXPECT_EQ(report.perCrop[0].hints[0], "Too dark — add a light in front of you"); // kind order per crop

    // A provider that words everything alike gives one line.
    const FramingMessageProvider same = [](Kind, bool, bool, const std::optional<QString>&) { return QStringLiteral("Fix it"); };
    report = step(reading, 0, true, {FramingCropSpec::fullFrame()}, same);
    EXPECT_EQ(report.overall.hints, QStringList{"Fix it"});
    EXPECT_EQ(report.perCrop[0].hints, QStringList{"Fix it"});
}

TEST_F(FramingCoachTest, FullFrameAloneUsesTheHandsWording)
{
    const FaceMeasurement big = faceAt(0.5, 0.36, 0.2);
    FramingReport report = step(readingOf(big), 0, true);
    EXPECT_EQ(report.overall.hints.front(), "Move back — show your hands and the desk");
    report = step(readingOf(big), 0, true, {FramingCropSpec::fullFrame(), FramingCropSpec::short_()});
    EXPECT_TRUE(report.overall.hints.front().startsWith("Move back — too close"));
}

TEST_F(FramingCoachTest, DebounceShowsANewAdviceAfterSettleAndMinimumShowTime)
{
    const FramingAdvice adviceA = startDebounce();
    EXPECT_EQ(adviceA, good);
    const FramingAdvice adviceB = step(readingOf(off), 0.0, true).overall;
    ASSERT_NE(adviceA, adviceB);

    for (int tenth = 1; tenth <= 4; ++tenth)
        EXPECT_EQ(step(readingOf(desk), tenth / 10.0).overall, adviceA);
    // B from 0.5 s on: pending 1.0 s at 1.5 s, but A has only been up 1.5 s.
    for (int tenth = 5; tenth <= 15; ++tenth)
        EXPECT_EQ(step(readingOf(off), tenth / 10.0).overall, adviceA) << tenth;
    EXPECT_EQ(step(readingOf(off), 1.6).overall, adviceB);
    EXPECT_EQ(step(readingOf(off), 1.7).overall, adviceB);
}

TEST_F(FramingCoachTest, NothingToJudgeIsUnknownNotGood)
{
    // A camera too small for the short: no crop resolves.
    FrameReading reading = readingOf(deskFace());
    reading.cameraSize = QSizeF(1, 1);
    const FramingReport report = step(reading, 0, false, {FramingCropSpec::short_()});
    EXPECT_EQ(report.overall.status, FramingStatus::unknown);
    EXPECT_TRUE(report.crops.empty() && report.perCrop.empty() && report.metrics.empty());
    EXPECT_EQ(step(reading, 0.1, false, {}).overall.status, FramingStatus::unknown);
}

TEST_F(FramingCoachTest, DetectorThatCannotRunIsUnknownNeverNoFace)
{
    FrameReading reading = readingOf(std::nullopt);
    reading.faceCheckAvailable = false;
    for (double now : {0.0, 2.0, 5.0}) {
        const FramingReport report = step(reading, now);
        EXPECT_EQ(report.overall.status, FramingStatus::unknown);
        EXPECT_EQ(report.overall.hints, QStringList{FramingCoach::faceCheckUnavailableHint()});
        ASSERT_EQ(report.perCrop.size(), 1u);
        EXPECT_EQ(report.perCrop[0].status, FramingStatus::unknown);
        EXPECT_FALSE(report.metrics[0]);
    }
}

} // namespace
