#include "views/shorts/ShortFrameStage.h"
#include "views/shorts/ShortFramingBadge.h"

#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

// The overlay drawn over a mid-grey picture, as the stage lays it out for a 1080p camera on 620×400.
QImage drawn(const ShortFrameStage::Look& look, ShortFraming::Position position = {})
{
    QImage image(620, 400, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(128, 128, 128));
    QPainter painter(&image);
    ShortFrameStage::paintOverlay(painter, ShortStageLayout::compute({620, 400}, {1920, 1080}, position, look.viewerView), look);
    return image;
}

ShortFrameStage::Look plain()
{
    ShortFrameStage::Look look;
    look.safeZones = false;
    look.framingGuide = false;
    return look;
}

TEST(ShortFrameStageTest, DarkensOutsideTheCropAndBordersIt)
{
    // Crop at 215..405 × 31.25..368.75 on the stage.
    const QImage whole = drawn(plain());
    EXPECT_EQ(qGray(whole.pixel(100, 200)), 49) << "outside: grey under black at 0.62";
    EXPECT_EQ(qGray(whole.pixel(300, 200)), 128) << "inside the crop stays clear";
    EXPECT_GT(qGray(whole.pixel(214, 200)), 200) << "the cream border 1 point outside the crop";
    EXPECT_EQ(qGray(whole.pixel(5, 5)), 128) << "outside the picture nothing is drawn";

    ShortFrameStage::Look viewer = plain();
    viewer.viewerView = true;
    EXPECT_EQ(qGray(drawn(viewer).pixel(250, 200)), 128) << "the viewer view is not darkened";
}

TEST(ShortFrameStageTest, FillsTheCaptionsZoneAndOnlyOutlinesTheOthers)
{
    ShortFrameStage::Look look = plain();
    look.safeZones = true;
    const QImage image = drawn(look);
    // k = 190 / 1080: captions y 1200..1340 → 242.4..265.6 on the stage; top bar y 0..290 → 31.25..82.3.
    const QRgb captions = image.pixel(260, 255);
    EXPECT_GT(qRed(captions), qBlue(captions) + 3) << "rose fill";
    const QRgb topBar = image.pixel(300, 60);
    EXPECT_GT(qGray(topBar), 128);
    EXPECT_LT(qGray(topBar), 140) << "white at 0.06";
    EXPECT_EQ(qRed(topBar), qBlue(topBar));
}

TEST(ShortFrameStageTest, EyeLineStaysOnTheEyesAlsoWhenThePictureIsMirroredTheOtherWay)
{
    ShortFrameStage::Look look = plain();
    look.framingGuide = true;
    FaceMeasurement face;
    face.face = QRectF(0.05, 0.3, 0.2, 0.3);
    face.eyes = std::make_pair(QPointF(0.1, 0.4), QPointF(0.2, 0.4));
    look.framing.face = face;
    look.framing.perCrop = {{FramingStatus::good, {}}};
    // Camera on stage: x 10..610, y 31.25..368.75; eyes at x 70 and 130, y 166.25.
    const QImage straight = drawn(look);
    EXPECT_GT(qGray(straight.pixel(70, 166)), 180) << "eye dot in the cream of good";
    EXPECT_EQ(qGray(straight.pixel(550, 166)), 49) << "nothing on the mirrored side";
    look.eyeLineFlipped = true;
    const QImage flipped = drawn(look);
    EXPECT_GT(qGray(flipped.pixel(550, 166)), 180) << "eye dot mirrored: 1 − 0.1 of the picture";
    EXPECT_EQ(qGray(flipped.pixel(70, 166)), 49);
    look.framing.face.reset();
    EXPECT_EQ(qGray(drawn(look).pixel(70, 166)), 49) << "no face, no eye line";
}

TEST(ShortFrameStageTest, DragWritesThePositionUnlessLockedOrInTheViewerView)
{
    ShortFrameStage stage;
    stage.resize(620, 400);
    stage.setFrameSize({1920, 1080});
    std::vector<ShortFraming::Position> written;
    QObject::connect(&stage, &ShortFrameStage::positionDragged, [&](ShortFraming::Position p) { written.push_back(p); });
    auto drag = [&stage](double dx) {
        const QPointF from(300, 200);
        QMouseEvent press(QEvent::MouseButtonPress, from, from, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QMouseEvent move(QEvent::MouseMove, from + QPointF(dx, 7), from + QPointF(dx, 7), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, from + QPointF(dx, 7), from + QPointF(dx, 7), Qt::LeftButton, Qt::NoButton,
            Qt::NoModifier);
        QCoreApplication::sendEvent(&stage, &press);
        QCoreApplication::sendEvent(&stage, &move);
        QCoreApplication::sendEvent(&stage, &release);
    };
    drag(41);
    ASSERT_EQ(written.size(), 1u);
    EXPECT_NEAR(written[0].x, 0.6, 1e-9);
    EXPECT_EQ(written[0].y, 0.5);
    stage.setLocked(true);
    drag(41);
    EXPECT_EQ(written.size(), 1u) << "locked";
    stage.setLocked(false);
    ShortFrameStage::Look viewer;
    viewer.viewerView = true;
    stage.setLook(viewer);
    drag(41);
    EXPECT_EQ(written.size(), 1u) << "the viewer view has no drag surface";
}

TEST(ShortFramingBadgeTest, ShowsTwoHintsAtMost)
{
    ShortFramingBadge badge;
    badge.setAdvice({FramingStatus::adjust, {}});
    const int dotOnly = badge.sizeHint().width();
    EXPECT_TRUE(badge.shownHints().isEmpty());
    badge.setAdvice({FramingStatus::adjust, {QStringLiteral("Move up"), QStringLiteral("Closer"), QStringLiteral("Light")}});
    EXPECT_EQ(badge.shownHints(), (QStringList {QStringLiteral("Move up"), QStringLiteral("Closer")}));
    EXPECT_GT(badge.sizeHint().width(), dotOnly);
}

} // namespace
