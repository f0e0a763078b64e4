#include "ScreenTakeFixture.h"

#include "compositing/StudioGeometry.h"
#include "views/framing/CameraBubbleWindow.h"
#include "takes/ScreenStopPlan.h"
#include "takes/TakeFiles.h"
#include "takes/TakeGeometry.h"

#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

TEST(RectInRenderSpace, mapsThePanelFromItsScreenIntoTheRenderWithTheOriginAtTheBottomLeft)
{
    const QSizeF render(1920, 1080);
    const QRectF screen(0, 0, 1280, 720);
    // Bottom-left corner of the screen (y down: its bottom edge is the screen's).
    EXPECT_EQ(CameraBubbleWindow::rectInRenderSpace(QRectF(0, 620, 100, 100), screen, render), QRectF(0, 0, 150, 150));
    EXPECT_EQ(CameraBubbleWindow::rectInRenderSpace(screen, screen, render), QRectF(0, 0, 1920, 1080));
    // Top-right corner: high up in render space.
    EXPECT_EQ(CameraBubbleWindow::rectInRenderSpace(QRectF(1180, 0, 100, 100), screen, render), QRectF(1770, 930, 150, 150));
    // A second screen to the right and lower: only the position within it counts.
    EXPECT_EQ(CameraBubbleWindow::rectInRenderSpace(QRectF(1320, 400, 200, 100), QRectF(1280, 200, 640, 360), QSizeF(640, 360)),
        QRectF(40, 60, 200, 100));
    EXPECT_EQ(CameraBubbleWindow::rectInRenderSpace(QRectF(0, 0, 10, 10), QRectF(0, 0, 0, 720), render), QRectF());
    EXPECT_EQ(CameraBubbleWindow::rectInRenderSpace(QRectF(0, 0, 10, 10), QRectF(0, 0, 720, -1), render), QRectF());
}

TEST(StudioSlot, placesTheBubbleFortyPointsInFromItsEdges)
{
    const QRect visible(0, 30, 1280, 690);
    EXPECT_EQ(CameraBubbleWindow::studioSlotOrigin(visible, QSizeF(200, 300), FaceLayout::tallLeft), QPoint(40, 225));
    EXPECT_EQ(CameraBubbleWindow::studioSlotOrigin(visible, QSizeF(200, 300), FaceLayout::bottomRight), QPoint(1040, 380));
}

TEST(PanelSizes, keepTheBubblesAreaAndGiveThePhoneItsAspect)
{
    FaceCardFraming fourByThree;
    fourByThree.visibleRect = QRectF(0, 0, 400, 300);
    EXPECT_EQ(TakeGeometry::bubbleWindowSize(200, fourByThree), QSizeF(231, 173));
    FaceCardFraming sliver;
    sliver.visibleRect = QRectF(0, 0, 10, 1000);
    const QSizeF narrow = TakeGeometry::bubbleWindowSize(200, sliver);
    EXPECT_EQ(narrow, QSizeF(std::round(200 * std::sqrt(0.05)), std::round(200 / std::sqrt(0.05))));
    EXPECT_EQ(TakeGeometry::bubbleWindowSize(260, std::nullopt), QSizeF(260, 260));
    EXPECT_NEAR(TakeGeometry::phoneWindowSize(460, QSize()).width(), 460 * 6.0 / 13.0, 1e-9);
    EXPECT_EQ(TakeGeometry::phoneWindowSize(100, QSize()).width(), 80) << "never narrower than 80";
    EXPECT_EQ(TakeGeometry::phoneWindowSize(400, QSize(1080, 1920)), QSizeF(225, 400));
}

TEST(CaptureRect, filmsTheLargestCentred16By9PartInBottomLeftDesktopCoordinates)
{
    const QRectF tall = TakeGeometry::captureRect(QRect(0, 0, 1728, 1117), 1117);
    EXPECT_DOUBLE_EQ(tall.width(), 1728);
    EXPECT_DOUBLE_EQ(tall.height(), 972);
    EXPECT_DOUBLE_EQ(tall.y(), 72.5);
    // A wide display beside a taller one: cut at the sides, measured from the root's bottom edge.
    const QRectF wide = TakeGeometry::captureRect(QRect(1728, 0, 2560, 1080), 1117);
    EXPECT_DOUBLE_EQ(wide.x(), 1728 + (2560 - 1920) / 2.0);
    EXPECT_DOUBLE_EQ(wide.y(), 37);
    EXPECT_DOUBLE_EQ(wide.width(), 1920);
}

TEST(SpanText, describesSpansWithOneDecimal)
{
    EXPECT_EQ(ScreenStopPlan::describe({}), QStringLiteral("none"));
    EXPECT_EQ(ScreenStopPlan::describe({{0, 1.25}, {2.04, 3.96}}), QStringLiteral("0.0-1.2,2.0-4.0"));
}

class LeftoverFolder : public SandboxTest {
protected:
    QString make(const QStringList& emptyFiles, const QStringList& filledFiles = {})
    {
        const QString takeFolder = path(QStringLiteral("video 1"));
        QDir().mkpath(takeFolder);
        for (const QString& name : emptyFiles)
            QFile(QDir(takeFolder).filePath(name)).open(QIODevice::WriteOnly);
        for (const QString& name : filledFiles) {
            QFile file(QDir(takeFolder).filePath(name));
            file.open(QIODevice::WriteOnly);
            file.write("data");
        }
        return takeFolder;
    }
};

TEST_F(LeftoverFolder, goesOnlyWhenNothingButFinderJunkAndEmptyFilesOfThisTakeRemain)
{
    const QString takeFolder = make({QStringLiteral("raw-2.mov"), QStringLiteral("cursor-2.json")}, {QStringLiteral(".DS_Store")});
    EXPECT_TRUE(TakeFiles::removeFolderIfOnlyLeftovers(takeFolder, QStringLiteral("-2")));
    EXPECT_FALSE(QDir(takeFolder).exists());
}

TEST_F(LeftoverFolder, staysForAnythingElse)
{
    for (const auto& [empty, filled] : {std::pair{QStringList{QStringLiteral("raw.mov")}, QStringList{}}, // another take's
             std::pair{QStringList{QStringLiteral("notes.txt")}, QStringList{}},
             std::pair{QStringList{}, QStringList{QStringLiteral("raw-2.mov")}}}) {
        const QString takeFolder = make(empty, filled);
        EXPECT_FALSE(TakeFiles::removeFolderIfOnlyLeftovers(takeFolder, QStringLiteral("-2"))) << empty.join(',').toStdString();
        EXPECT_TRUE(QDir(takeFolder).exists());
        QDir(takeFolder).removeRecursively();
    }
    const QString sub = make({});
    QDir(sub).mkdir(QStringLiteral("Raw"));
    EXPECT_FALSE(TakeFiles::removeFolderIfOnlyLeftovers(sub, QString()));
    EXPECT_TRUE(QDir(sub + QStringLiteral("/Raw")).exists()) << "never recursive";
}

TEST_F(LeftoverFolder, anUnreadableFolderIsKept)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every takeFolder";
    const QString takeFolder = make({});
    chmod(takeFolder.toLocal8Bit().constData(), 0300);
    EXPECT_FALSE(TakeFiles::removeFolderIfOnlyLeftovers(takeFolder, QString()));
    chmod(takeFolder.toLocal8Bit().constData(), 0700);
    EXPECT_TRUE(QDir(takeFolder).exists());
}

TEST_F(ScreenTakeFlow, aVanishedCameraIsLetGoAndTheSelectionAttachedInstead)
{
    plugInCamera();
    ASSERT_EQ(services.camera.device, QStringLiteral("desk"));
    services.cameraList = {device(QStringLiteral("usb"))};
    services.announceDeviceChange();
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(services.camera.device, QStringLiteral("usb"));
    EXPECT_EQ(controller->selectedCameraID(), QStringLiteral("usb"));
    EXPECT_TRUE(services.camera.calls.contains(QStringLiteral("detach")));
    // A camera that stays listed is kept even when the selection changes.
    services.cameraList.push_back(device(QStringLiteral("other")));
    controller->setSelectedCameraID(QStringLiteral("other"));
    controller->bubblePanel().reconcile();
    EXPECT_EQ(services.camera.device, QStringLiteral("usb"));
}

TEST_F(ScreenTakeFlow, theBubbleStandsInItsStudioSlotOrAtTheBottomRightInTheClassicLook)
{
    services.displays = std::vector<ScreenDisplay>{{7, QStringLiteral("fake"), QRect(0, 0, 1280, 720), true}};
    QCoro::waitFor(controller->checkPermissionAndLoadDisplays());
    controller->setFaceLayout(FaceLayout::bottomRight);
    plugInCamera();
    auto* bubble = static_cast<CameraBubbleWindow*>(controller->bubblePanel().window());
    ASSERT_TRUE(bubble);
    const QSizeF size = controller->bubblePanel().windowSize(controller->bubblePanel().studioFraming());
    EXPECT_EQ(bubble->size(), size.toSize());
    EXPECT_EQ(bubble->pos(), QPoint(1280 - bubble->width() - 40, 720 - bubble->height() - 40));
    EXPECT_EQ(bubble->hostView().guideOpacity(), 1.0) << "the studio slot flashes its guide";
    EXPECT_FALSE(bubble->hostView().outline().isEmpty());

    const QPointF centre = QRectF(bubble->geometry()).center();
    controller->setBubbleSize(200);
    EXPECT_NEAR(QRectF(bubble->geometry()).center().x(), centre.x(), 1.0) << "a new size keeps the centre";

    controller->setScreenLayout(ScreenLayout::classic);
    EXPECT_EQ(bubble->size(), QSize(200, 200));
    EXPECT_EQ(bubble->pos(), QPoint(1280 - 240, 720 - 240));
    EXPECT_EQ(bubble->hostView().guideOpacity(), 0.0);
}

TEST(OverlayHost, thePillFitsTheBubbleAndNeverShowsOnThePhone)
{
    OverlayHostView host(nullptr);
    host.resize(200, 200);
    host.bubbleShape = BubbleShape::circle;
    host.layoutPreview();
    host.setPill(FramingStatus::adjust, QString(200, QLatin1Char('w')), 1);
    ASSERT_TRUE(host.isPillShown());
    EXPECT_DOUBLE_EQ(host.pillRect().width(), 0.72 * 200);
    EXPECT_DOUBLE_EQ(host.pillRect().height(), 20);
    host.setPill(std::nullopt, QString(), 1);
    EXPECT_FALSE(host.isPillShown());

    host.studioFraming = FaceCardFraming{QRectF(0, 0, 100, 200), 10, QRectF(0, 0, 100, 200), 1, QRectF(-50, 0, 200, 200)};
    host.layoutPreview();
    host.setPill(FramingStatus::good, QString(200, QLatin1Char('w')), 1);
    EXPECT_DOUBLE_EQ(host.pillRect().width(), 200 - 14);
    // The whole camera picture lies larger than the card; only the card shows.
    EXPECT_EQ(host.previewRect(), QRectF(-100, 0, 400, 400));

    host.showsPhoneFrame = true;
    host.layoutPreview();
    host.setPill(FramingStatus::good, QStringLiteral("Looks good"), 1);
    EXPECT_FALSE(host.isPillShown());
    ASSERT_TRUE(host.islandRect());
    EXPECT_NEAR(host.islandRect()->width(), 60, 1e-9);
}

TEST(OverlayHost, theGuideShowsOnlyWithAStudioFramingAndFadesAfterItsTime)
{
    OverlayHostView host(nullptr);
    host.resize(100, 100);
    host.flashGuide(0.05);
    EXPECT_EQ(host.guideOpacity(), 0.0);
    host.studioFraming = FaceCardFraming{QRectF(0, 0, 100, 100), 10, QRectF(0, 0, 100, 100), 1, QRectF(0, 0, 100, 100)};
    host.flashGuide(0.05);
    EXPECT_EQ(host.guideOpacity(), 1.0);
    EXPECT_TRUE(TestEnvironment::waitUntil([&] {
        QCoreApplication::processEvents();
        return host.guideOpacity() == 0.0;
    }, 3000));
    const QPainterPath lines = OverlayHostView::guideLines(QRectF(0, 0, 100, 100));
    EXPECT_EQ(lines.elementAt(0).x, 12);
    EXPECT_EQ(lines.elementAt(0).y, 10);
    EXPECT_EQ(lines.elementAt(3).y, 36);
}

} // namespace
