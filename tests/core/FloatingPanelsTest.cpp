#include "core/CameraBubblePanel.h"
#include "core/PhoneScreenPanel.h"
#include "core/Platform.h"
#include "framing/CountdownDisplay.h"
#include "framing/FramingCheckDisplay.h"
#include "framing/StudioWindows.h"
#include "support/FakeAccessProbe.h"
#include "support/FakeTakeServices.h"
#include "support/TestEnvironment.h"
#include "takes/TakeLook.h"

#include <QWidget>

#include <gtest/gtest.h>

namespace {

// A panel that only remembers what it was told.
class RecordedPanel final : public CameraPanel {
public:
    RecordedPanel(QWidget* shownPreview, QSizeF initialSize) : preview(shownPreview), size(initialSize.toSize()) { }
    void setStudioFraming(const std::optional<FaceCardFraming>& framing) override { studio = framing.has_value(); }
    void moveToStudioSlot(const QRect&, FaceLayout) override { ++slotMoves; }
    QRectF rectInRenderSpace(const QRectF&, QSizeF) const override { return {}; }
    void resizeTo(QSizeF newSize, double) override { size = newSize.toSize(); }
    void setShape(BubbleShape, double) override { }
    void setShowsPhoneFrame(bool shows) override { phoneFrame = shows; }
    void setPill(std::optional<FramingStatus> status, const QString& text, double) override
    {
        pillStatus = status;
        pillText = text;
    }
    void flashGuide(double) override { }
    void orderFront() override { shown = true; }
    void placeAt(QPoint topLeft) override { at = topLeft; }
    QSize panelSize() const override { return size; }
    bool isShown() const override { return shown; }
    void hidePanel() override { shown = false; }
    double pixelRatio() const override { return 1; }

    std::unique_ptr<QWidget> preview;
    QSize size;
    bool studio = false;
    int slotMoves = 0;
    bool phoneFrame = false;
    std::optional<FramingStatus> pillStatus;
    QString pillText;
    bool shown = false;
    QPoint at;
};

class RecordedWindows final : public StudioWindows {
public:
    std::unique_ptr<CountdownDisplay> makeCountdown() override { return nullptr; }
    std::unique_ptr<FramingCheckDisplay> makeFramingCheck(FramingMonitor&) override { return nullptr; }
    std::unique_ptr<CameraPanel> makePanel(QWidget* preview, QSizeF size, double) override { return std::make_unique<RecordedPanel>(preview, size); }
};

// The studio both panels report to: a phase, the bubble's settings, the look and one 320 × 180 screen.
class PanelStudio final : public PhoneScreenPanel::Studio, public CameraBubblePanel::Studio {
public:
    const RecordingPhase& phase() const override { return shown; }
    void setPhase(const RecordingPhase& phase) override { shown = phase; }
    std::optional<ScreenPlace> selectedScreen() const override { return screen; }
    void refreshDevices() override { ++refreshes; }
    const BubbleSettings& bubbleSettings() const override { return bubble; }
    const TakeLook& look() const override { return takeLook; }
    void setSelectedCameraID(const std::optional<QString>& id) override { bubble.selectedCameraID = id; }
    void updateFramingRouting() override { ++routings; }

    RecordingPhase shown;
    std::optional<ScreenPlace> screen = ScreenPlace{{7, QStringLiteral("fake"), QRect(0, 0, 320, 180), true}, QRect(0, 0, 320, 160)};
    BubbleSettings bubble;
    TakeLook takeLook;
    int refreshes = 0;
    int routings = 0;
};

class FloatingPanelsTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        studio.takeLook.screenLayout = ScreenLayout::classic;
        Platform platform{*settings, access};
        platform.takes = &services;
        platform.windows = &windows;
        phone = std::make_unique<PhoneScreenPanel>(studio, platform);
        bubble = std::make_unique<CameraBubblePanel>(studio, platform);
    }
    RecordedPanel* phoneWindow() { return static_cast<RecordedPanel*>(phone->window()); }
    RecordedPanel* bubbleWindow() { return static_cast<RecordedPanel*>(bubble->window()); }

    FakeAccessProbe access;
    FakeTakeServices services;
    RecordedWindows windows;
    PanelStudio studio;
    std::unique_ptr<PhoneScreenPanel> phone;
    std::unique_ptr<CameraBubblePanel> bubble;
};

TEST_F(FloatingPanelsTest, APhonePulledDuringATakeKeepsItsPanelForTheStopButNotBetweenTakes)
{
    phone->setPhones({device(QStringLiteral("scrcpy"))});
    phone->setPhoneEnabled(true);
    EXPECT_EQ(studio.refreshes, 1) << "switching on reads the lists again";
    ASSERT_TRUE(phoneWindow());
    EXPECT_TRUE(phoneWindow()->phoneFrame);
    EXPECT_EQ(phoneWindow()->at, QPoint(40, 180 - phoneWindow()->size.height() - 40));

    studio.shown = RecordingPhase::recording();
    phone->setPhones({});
    phone->reconcile();
    EXPECT_TRUE(phone->phoneWaiting());
    EXPECT_FALSE(services.phone.attached);
    EXPECT_TRUE(phoneWindow()) << "measured at the stop";

    studio.shown = RecordingPhase::idle();
    phone->reconcile();
    EXPECT_FALSE(phoneWindow());
    phone->setPhoneEnabled(false);
    EXPECT_FALSE(phone->isWatchingForPhone());
    EXPECT_FALSE(phone->phoneWaiting());
}

TEST_F(FloatingPanelsTest, WithoutAListedScreenTheDeviceIsAttachedButNoPanelOpens)
{
    studio.screen.reset();
    studio.bubble.cameraEnabled = true;
    studio.bubble.cameras = {device(QStringLiteral("desk"))};
    bubble->reconcile();
    EXPECT_EQ(services.camera.device, QStringLiteral("desk"));
    EXPECT_EQ(studio.bubble.selectedCameraID, QStringLiteral("desk"));
    EXPECT_FALSE(bubbleWindow());
    EXPECT_EQ(studio.routings, 0);

    studio.screen = ScreenPlace{{7, QStringLiteral("fake"), QRect(100, 50, 320, 180), true}, QRect(100, 50, 320, 160)};
    bubble->showWindow();
    ASSERT_TRUE(bubbleWindow());
    EXPECT_EQ(studio.routings, 1) << "the monitors follow the shown bubble";
    const QSize size = bubbleWindow()->size;
    EXPECT_EQ(bubbleWindow()->at, QPoint(100 + 320 - size.width() - 40, 50 + 180 - size.height() - 40));
}

TEST_F(FloatingPanelsTest, OnASixteenByTenDisplayThePanelsOpenInsideTheFilmedBand)
{
    // 1920x1200 films its centred 1920x1080 band (rows 60..1140): a panel 40 from the display's bottom would
    // stand partly outside the movie.
    studio.screen = ScreenPlace{{7, QStringLiteral("laptop"), QRect(0, 0, 1920, 1200), true}, QRect(0, 0, 1920, 1170)};
    studio.bubble.cameraEnabled = true;
    studio.bubble.cameras = {device(QStringLiteral("desk"))};
    bubble->reconcile();
    ASSERT_TRUE(bubbleWindow());
    const QSize size = bubbleWindow()->size;
    EXPECT_EQ(bubbleWindow()->at, QPoint(1920 - size.width() - 40, 1140 - size.height() - 40));

    phone->setPhones({device(QStringLiteral("scrcpy"))});
    phone->setPhoneEnabled(true);
    ASSERT_TRUE(phoneWindow());
    EXPECT_EQ(phoneWindow()->at, QPoint(40, 1140 - phoneWindow()->size.height() - 40));
}

TEST_F(FloatingPanelsTest, OnlyAReanchoringLayoutMovesTheBubbleToTheStudioSlot)
{
    studio.bubble.cameraEnabled = true;
    studio.bubble.cameras = {device(QStringLiteral("desk"))};
    bubble->reconcile();
    ASSERT_TRUE(bubbleWindow());
    EXPECT_FALSE(bubbleWindow()->studio);

    studio.takeLook.screenLayout = ScreenLayout::studio;
    bubble->applyLayout(false);
    EXPECT_TRUE(bubbleWindow()->studio);
    EXPECT_EQ(bubbleWindow()->slotMoves, 0);
    bubble->applyLayout(true);
    EXPECT_EQ(bubbleWindow()->slotMoves, 1);
    EXPECT_EQ(bubbleWindow()->size, bubble->windowSize(bubble->studioFraming()).toSize());

    bubble->refreshFormatForLayout();
    EXPECT_TRUE(services.camera.tall) << "the studio card prefers a tall picture between takes";
}

TEST_F(FloatingPanelsTest, ThePillShowsTheHintWithoutItsExplanation)
{
    studio.bubble.cameraEnabled = true;
    studio.bubble.cameras = {device(QStringLiteral("desk"))};
    bubble->reconcile();
    ASSERT_TRUE(bubbleWindow());
    FramingReport report;
    report.overall = {FramingStatus::adjust, {QStringLiteral("Move left (your face is off centre)"), QStringLiteral("Too dark")}};
    bubble->showFraming(report, true);
    EXPECT_EQ(bubbleWindow()->pillText, QStringLiteral("Move left"));
    EXPECT_EQ(bubbleWindow()->pillStatus, FramingStatus::adjust);
    report.overall.hints = {QStringLiteral("Too dark — add light in front of you")};
    bubble->showFraming(report, true);
    EXPECT_EQ(bubbleWindow()->pillText, QStringLiteral("Too dark"));
    bubble->showFraming(report, false);
    EXPECT_FALSE(bubbleWindow()->pillStatus);

    studio.bubble.cameraEnabled = false;
    studio.shown = RecordingPhase::paused();
    bubble->switchedOff();
    EXPECT_TRUE(bubbleWindow()) << "hidden, not closed, while the take runs";
    EXPECT_FALSE(bubbleWindow()->shown);
    studio.shown = RecordingPhase::finishing();
    bubble->dropWindowIfOff();
    EXPECT_FALSE(bubbleWindow());
}

} // namespace
