// The "Short frame" window and the replay through the controller, as the app wires them: the controller's
// opening asks for the camera and calls its hook, the desktop hooks reach the short windows.
#include "app/DesktopWindows.h"
#include "app/StudioTakeKinds.h"
#include "XPointer.h"

#include "core/RecordingController.h"
#include "core/SaveLocation.h"
#include "framing/FramingMonitor.h"
#include "support/FakeAccessProbe.h"
#include "support/FakeAudioPlayback.h"
#include "platform/media/PixelBufferViews.h"
#include "support/FakeCameraHub.h"
#include "support/TestEnvironment.h"
#include "takedata/CameraFrameTap.h"
#include "views/framing/LivePreviewView.h"
#include "ui/ChannelChip.h"
#include "ui/DesktopHooks.h"
#include "ui/ElidedLabel.h"
#include "ui/SegmentedControl.h"
#include "ui/ShortPreviewSources.h"
#include "ui/ShortPreviewWindow.h"
#include "ui/ShortWindows.h"
#include "ui/WindowActions.h"
#include "ui/WindowStyle.h"
#include "views/shorts/ShortFrameStage.h"
#include "views/shorts/ShortFramingBadge.h"
#include "views/shorts/ShortReplayWindow.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QStandardPaths>
#include <QThread>
#include <QWindow>

#include <algorithm>
#include <optional>

#include <gtest/gtest.h>

namespace {

// The camera-only picture over a frame tap, and the rest as plain values the test sets.
class FakeShortSources final : public ShortPreviewSources {
public:
    std::shared_ptr<const LivePreviewSource> livePreview() override { return live; }
    FramingMonitor& framing() override { return monitor; }
    std::optional<NextTake> headerScript() override { return script; }
    void ignoreNextTake() override { ++ignored; }
    void setViewerView(bool on) override { viewerViews.push_back(on); }

    std::shared_ptr<CameraFrameTap> tap = std::make_shared<CameraFrameTap>();
    std::shared_ptr<const LivePreviewSource> live = std::make_shared<const LivePreviewSource>(LivePreviewSource {tap, false});
    FramingMonitor monitor;
    std::optional<NextTake> script;
    int ignored = 0;
    std::vector<bool> viewerViews;
};

// The mouse events a widget is handed, in order, so that a test driving the real pointer waits for each.
class MouseLog final : public QObject {
public:
    explicit MouseLog(QWidget& widget)
        : widget_(widget)
    {
        widget_.installEventFilter(this);
    }
    ~MouseLog() override { widget_.removeEventFilter(this); }
    bool waitFor(QEvent::Type type, std::optional<QPoint> at = std::nullopt)
    {
        return TestEnvironment::waitUntil([&] {
            return std::any_of(events_.begin(), events_.end(),
                [&](const auto& event) { return event.first == type && (!at || event.second == *at); });
        }, 3000);
    }
    std::string text() const
    {
        QStringList lines;
        for (const auto& [type, at] : events_)
            lines << QStringLiteral("%1@%2,%3").arg(int(type)).arg(at.x()).arg(at.y());
        return "the stage saw: " + lines.join(QLatin1Char(' ')).toStdString();
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        const auto type = event->type();
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseMove || type == QEvent::MouseButtonRelease)
            events_.emplace_back(type, static_cast<QMouseEvent*>(event)->position().toPoint());
        return false;
    }

private:
    QWidget& widget_;
    std::vector<std::pair<QEvent::Type, QPoint>> events_;
};

class ShortPreviewWindowTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        settings->setString(QString::fromLatin1(SaveLocation::settingsKey), path(QStringLiteral("Recordings")));
        Platform platform{*settings, access, nullptr, &hooks};
        platform.kinds = &StudioTakeKinds::standard();
        platform.windows = &DesktopWindows::shared();
        controller = std::make_unique<RecordingController>(platform);
        windows = std::make_unique<ShortWindows>(*controller, sources, [this] { return std::make_unique<FakeAudioPlayback>(output); });
        hooks.attachShortWindows(windows.get());
    }
    void TearDown() override
    {
        hooks.attachShortWindows(nullptr);
        windows.reset();
        controller.reset();
        SandboxTest::TearDown();
    }
    static void settle()
    {
        for (int i = 0; i < 6; ++i)
            QCoreApplication::processEvents();
    }
    ShortPreviewWindow* enterShortMode()
    {
        controller->setCaptureMode(CaptureMode::short_);
        settle();
        return windows->preview();
    }
    void open()
    {
        controller->openShortPreview();
        settle();
    }
    // A "short.mov" in a short folder of that name; the replay opens it whatever it holds.
    QString placeholderShort(const QString& shortName)
    {
        const QString movie = path(shortName + QStringLiteral("/short.mov"));
        QDir().mkpath(QFileInfo(movie).path());
        QFile file(movie);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("x");
        return movie;
    }

    FakeAccessProbe access;
    DesktopHooks hooks;
    FakeShortSources sources;
    std::shared_ptr<FakeAudioPlayback::State> output = std::make_shared<FakeAudioPlayback::State>();
    std::unique_ptr<RecordingController> controller;
    std::unique_ptr<ShortWindows> windows;
};

TEST_F(ShortPreviewWindowTest, OneWindowRaisedAgainAndRebuiltInItsSavedPlace)
{
    ShortPreviewWindow* first = enterShortMode();
    ASSERT_NE(first, nullptr) << "entering the Short mode opens the window";
    EXPECT_EQ(first->windowTitle(), QStringLiteral("Short frame"));
    EXPECT_EQ(first->size(), QSize(620, 560));
    EXPECT_EQ(first->minimumSize(), QSize(420, 380));
    EXPECT_TRUE(first->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(controller->routing().shortWindowOpen());
    EXPECT_EQ(sources.viewerViews, std::vector<bool> {false}) << "the view on screen is reported";
    open();
    EXPECT_EQ(windows->preview(), first) << "a second opening only raises it";

    first->move(140, 90);
    settle();
    first->close();
    settle();
    EXPECT_EQ(windows->preview(), nullptr);
    EXPECT_FALSE(controller->routing().shortWindowOpen());
    open();
    ASSERT_NE(windows->preview(), nullptr);
    EXPECT_EQ(windows->preview()->pos(), QPoint(140, 90)) << "rebuilt in its saved place";

    controller->setCaptureMode(CaptureMode::screen);
    settle();
    EXPECT_EQ(windows->preview(), nullptr) << "leaving the Short mode closes it";
    open();
    EXPECT_EQ(windows->preview(), nullptr) << "outside the Short mode the opening does nothing";
}

TEST_F(ShortPreviewWindowTest, RefusedCameraFailsAnIdleStudioButNeverARunningTake)
{
    access.cameraState = Permissions::State::notAsked; // no camera node at all
    open();
    EXPECT_EQ(controller->phase(), RecordingPhase::failed(QStringLiteral("No camera found.")));
    CaptureDeviceInfo camera;
    camera.uniqueID = camera.localizedName = QStringLiteral("Desk");
    controller->setCameras({camera});
    controller->setPhase(RecordingPhase::idle());
    access.cameraState = Permissions::State::denied;
    open();
    EXPECT_EQ(controller->phase(),
        RecordingPhase::failed(QStringLiteral("Camera access is off. Add your user to the \"video\" group, then log out and in again.")))
        << "whatever the mode";
    EXPECT_EQ(windows->preview(), nullptr);

    controller->setCaptureMode(CaptureMode::short_);
    for (const RecordingPhase& phase : {RecordingPhase::recording(), RecordingPhase::finishing()}) {
        controller->setPhase(phase);
        open();
        EXPECT_EQ(controller->phase(), phase) << "the take is kept";
        EXPECT_EQ(windows->preview(), nullptr);
    }
    EXPECT_TRUE(readLog().contains(QStringLiteral("camera access refused while a take runs")));
}

TEST_F(ShortPreviewWindowTest, EnteringShortAsksForTheCameraAndShowsTheInstructionOnlyForOneThatExists)
{
    const QString refused = QStringLiteral("Camera access is off. Add your user to the \"video\" group, then log out and in again.");
    CaptureDeviceInfo camera;
    camera.uniqueID = camera.localizedName = QStringLiteral("Desk");
    controller->setCameras({camera});
    access.cameraState = Permissions::State::denied;
    EXPECT_EQ(enterShortMode(), nullptr);
    EXPECT_EQ(access.instructionsShown, QStringList{QString::fromLatin1(Permissions::cameraPane)}) << "the switch asks, as the window's button does";
    EXPECT_EQ(controller->phase(), RecordingPhase::failed(refused));

    // Every entry asks again; leaving Short asks nothing.
    controller->setCaptureMode(CaptureMode::screen);
    settle();
    EXPECT_EQ(access.instructionsShown.size(), 1);
    enterShortMode();
    EXPECT_EQ(access.instructionsShown.size(), 2);

    // No camera at all: nothing to grant, so nothing is put up.
    controller->setCaptureMode(CaptureMode::screen);
    controller->setCameras({});
    controller->reset();
    access.cameraState = Permissions::State::notAsked;
    EXPECT_EQ(enterShortMode(), nullptr);
    EXPECT_EQ(access.instructionsShown.size(), 2);
    EXPECT_EQ(controller->phase(), RecordingPhase::failed(QStringLiteral("No camera found.")));
}

TEST_F(ShortPreviewWindowTest, TakePhasesLockTheFrameAndTheHeaderFollowsTheTake)
{
    controller->setShortFrameSize(QSizeF(1920, 1080));
    NextTake script;
    script.scriptID = QStringLiteral("s12");
    script.title = QStringLiteral("Morning light");
    sources.script = script;
    const QString movie = path(QStringLiteral("2026-05-01-s12-short-2/short.mov"));
    controller->setLastShortURL(movie);
    ShortPreviewWindow* window = enterShortMode();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->scriptRow().isVisibleTo(window));
    EXPECT_EQ(window->scriptTitle().text(), QStringLiteral("Recording: s12 · Morning light"));
    EXPECT_EQ(window->chip().channel(), RecordingChannel::ai);
    EXPECT_EQ(window->chip().toolTip(), QStringLiteral("AI channel take → Shorts/"));
    EXPECT_EQ(window->lockText().text(), QStringLiteral("Drag the frame to place it"));
    EXPECT_EQ(window->frameText().text(), QStringLiteral("608×1080 of the 1920×1080 feed → 1080×1920 (×1.78)"));

    struct Row {
        RecordingPhase phase;
        double elapsed;
        const char* timer;
        QColor colour;
        bool centre, clearScript, lastTake;
    };
    const QColor dim = QColor::fromRgbF(0.961f, 0.929f, 0.847f, 0.45f);
    const std::vector<Row> rows {
        {RecordingPhase::idle(), 0, "00:00", dim, true, true, true},
        {RecordingPhase::countingDown(), 0, "00:00", dim, false, false, true},
        {RecordingPhase::recording(), 39.9, "00:39", Qt::white, false, false, false},
        {RecordingPhase::recording(), 75, "01:15", WindowStyle::systemRed(), false, false, false},
        {RecordingPhase::paused(), 45, "00:45", WindowStyle::systemOrange(), false, false, false},
    };
    for (const Row& row : rows) {
        controller->setPhase(row.phase);
        controller->setElapsed(row.elapsed);
        settle();
        const int kind = static_cast<int>(row.phase.kind());
        EXPECT_EQ(window->timer().text(), QString::fromUtf8(row.timer)) << kind;
        EXPECT_EQ(window->timer().palette().color(QPalette::WindowText), row.colour) << kind;
        EXPECT_EQ(window->centre().isEnabled(), row.centre) << kind;
        EXPECT_EQ(window->clearScript().isEnabled(), row.clearScript) << kind;
        EXPECT_EQ(window->lastTake().isEnabled(), row.lastTake) << kind;
    }
    EXPECT_EQ(window->lockText().text(), QStringLiteral("Locked for this take"));

    controller->setPhase(RecordingPhase::idle());
    sources.script.reset();
    controller->setShortSafeZones(controller->shortSafeZones()); // any change re-reads the header
    settle();
    EXPECT_FALSE(window->scriptRow().isVisibleTo(window));
    window->lastTake().click();
    EXPECT_EQ(windows->replay(), nullptr) << "a deleted short opens nothing";
}

TEST_F(ShortPreviewWindowTest, TogglesAndButtonsWriteTheControllersSettings)
{
    controller->setShortFrameSize(QSizeF(1920, 1080));
    controller->setShortPosition({0.2, 0.5});
    ShortPreviewWindow* window = enterShortMode();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->safeZones().isChecked());
    window->safeZones().click();
    EXPECT_FALSE(controller->shortSafeZones());
    EXPECT_EQ(settings->boolValue(QStringLiteral("shortSafeZones")), false);
    EXPECT_FALSE(window->stage().look().safeZones);
    EXPECT_TRUE(window->badge().isVisibleTo(window));
    window->framingGuide().click();
    EXPECT_FALSE(controller->shortFramingGuide());
    EXPECT_EQ(settings->boolValue(QStringLiteral("shortFramingGuide")), false);
    EXPECT_FALSE(window->badge().isVisibleTo(window)) << "the guide switch hides the badge too";

    window->centre().click();
    EXPECT_EQ(controller->shortPosition().x, 0.5);
    EXPECT_EQ(settings->doubleValue(QStringLiteral("shortCropX")), 0.5);
    controller->setShortFrameSize(QSizeF(1080, 1920));
    settle();
    EXPECT_FALSE(window->centre().isEnabled()) << "a portrait camera has nothing to centre";

    controller->setShortFrameSize(QSizeF(1920, 1080));
    controller->setShortPosition({0.2, 0.5});
    controller->setMirrorCamera(true);
    controller->setShortMirrorFile(false);
    Q_EMIT window->viewChoice().activated(1);
    settle();
    EXPECT_EQ(sources.viewerViews.back(), true);
    EXPECT_TRUE(window->stage().look().viewerView);
    EXPECT_NEAR(window->stage().layout().crop.width(), window->stage().layout().visible.width(), 1e-9);
    EXPECT_NEAR(window->stage().layout().camera.x(), window->stage().layout().visible.x() - 1050 * window->stage().layout().scale, 1e-6)
        << "the viewer view shows the crop at 1 − x: 0.8 of 1312 pixels";
    Q_EMIT window->viewChoice().activated(0);
    settle();
    EXPECT_NEAR(window->stage().layout().crop.x(), window->stage().layout().visible.x() + 262 * window->stage().layout().scale, 1e-6);
    EXPECT_EQ(controller->shortPosition().x, 0.2) << "the mirrored view never writes the position";
    window->close();
    settle();
    EXPECT_EQ(sources.viewerViews.back(), false) << "closing goes back to the whole camera";
}

TEST_F(ShortPreviewWindowTest, StageComposesThePictureUnderTheOverlay)
{
    controller->setShortFrameSize(QSizeF(1920, 1080));
    controller->setShortSafeZones(false);
    controller->setShortFramingGuide(false);
    const auto pattern = FakeCameraHub::pattern(1920, 1080, 7);
    sources.tap->store(pattern);
    ShortPreviewWindow* window = enterShortMode();
    ASSERT_NE(window, nullptr);
    ShortFrameStage& stage = window->stage();
    LivePreviewView& picture = stage.liveView();
    ASSERT_EQ(picture.source(), sources.live);
    picture.pollTap();
    const QImage shown = stage.grab().toImage();
    const QImage camera = PixelBufferViews::image(*pattern);
    const ShortStageLayout& layout = stage.layout();
    auto cameraGray = [&](QPoint onStage) {
        const QPointF pixel = (QPointF(onStage) - layout.camera.topLeft()) / layout.scale;
        return qGray(camera.pixel(pixel.toPoint()));
    };
    const QPoint inside = layout.crop.center().toPoint() + QPoint(0, 40);
    const QPoint outside(static_cast<int>(layout.camera.left() + 60), inside.y());
    EXPECT_EQ(qGray(shown.pixel(2, 2)), 18) << "the stage's own fill where there is no picture";
    EXPECT_NEAR(qGray(shown.pixel(inside)), cameraGray(inside), 8) << "the crop shows the camera as it is";
    EXPECT_NEAR(qGray(shown.pixel(outside)), 0.38 * cameraGray(outside), 8) << "outside the crop is darkened";
    const QPoint border(static_cast<int>(layout.crop.left()) - 1, inside.y());
    EXPECT_GT(qGray(shown.pixel(border)), 200) << "the cream border";
}

TEST_F(ShortPreviewWindowTest, LastTakeReplaysAnExistingShortInTheOneReplayWindow)
{
    controller->setLastShortURL(placeholderShort(QStringLiteral("2026-05-01-s12-short-2")));
    ShortPreviewWindow* window = enterShortMode();
    ASSERT_NE(window, nullptr);
    window->lastTake().click();
    ASSERT_NE(windows->replay(), nullptr);
    ShortReplayWindow* replay = windows->replay();
    EXPECT_EQ(replay->windowTitle(), QStringLiteral("Last take — 2026-05-01-s12-short-2"));
    controller->replayLastShort();
    EXPECT_EQ(windows->replay(), replay) << "made once and kept";
    controller->setCaptureMode(CaptureMode::screen);
    settle();
    EXPECT_FALSE(replay->isVisible()) << "leaving the Short mode closes the replay";
}

TEST_F(ShortPreviewWindowTest, HideFrameClosesTheFrameWindowAndLeavesTheReplayPlaying)
{
    controller->setLastShortURL(placeholderShort(QStringLiteral("2026-05-01-s12-short-1")));
    ASSERT_NE(enterShortMode(), nullptr);
    controller->replayLastShort();
    settle();
    ASSERT_NE(windows->replay(), nullptr);
    ASSERT_TRUE(windows->replay()->isVisible());
    WindowActions::forController(*controller, nullptr).closeShortPreview();
    settle();
    EXPECT_EQ(windows->preview(), nullptr);
    EXPECT_FALSE(controller->routing().shortWindowOpen());
    EXPECT_TRUE(windows->replay()->isVisible()) << "only the frame window goes";
}

// Under the test X server with the fake camera streaming into the tap, a real drag from another client.
TEST_F(ShortPreviewWindowTest, LivePictureAndAPointerDragThatMovesTheCropByTheStageScale)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") || QGuiApplication::platformName() != QLatin1String("xcb"))
        GTEST_SKIP() << "needs an X server";
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        GTEST_SKIP() << "needs xdotool";
    const auto hub = FakeCameraHub::make({FakeCameraHub::landscape(1920, 1080, 30)});
    ASSERT_TRUE(hub->setActiveFormat(0, MediaTime(1, 30)));
    const auto subscription = hub->subscribe({[tap = sources.tap](const MediaSample& frame) { tap->store(frame.pixels); }, {}});
    ASSERT_TRUE(subscription->start());
    hub->play({{2.5}});
    controller->setShortFrameSize(QSizeF(1920, 1080));
    ShortPreviewWindow* window = enterShortMode();
    ASSERT_NE(window, nullptr);
    for (int i = 0; i < 50 && !window->windowHandle()->isExposed(); ++i) {
        QThread::msleep(20);
        settle();
    }
    LivePreviewView* picture = &window->stage().liveView();
    // The pattern's frame counter sits in its top rows: two looks a moment apart differ there.
    const QRect top = window->stage().layout().camera.toAlignedRect().adjusted(0, 0, 0, -200);
    auto topRows = [&] { return picture->grab(top).toImage().copy(0, 0, top.width(), 12); };
    QThread::msleep(100);
    settle();
    const QImage early = topRows();
    QThread::msleep(300);
    settle();
    EXPECT_NE(topRows(), early) << "the picture is live";
    ShortFrameStage& stage = window->stage();
    const double scale = stage.layout().scale;
    const QPoint start = stage.mapToGlobal(stage.layout().crop.center().toPoint());
    auto xdotool = [](const QStringList& arguments) { return XPointer::xdotool(arguments); };
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(start.x()), QString::number(start.y())});
    settle();
    // The server has moved the pointer when xdotool returns, but its event reaches the studio a moment later
    // on a busy machine: each step waits until the stage has seen it, and a failure shows what it saw.
    MouseLog seen(stage);
    xdotool({QStringLiteral("mousedown"), QStringLiteral("1")});
    EXPECT_TRUE(seen.waitFor(QEvent::MouseButtonPress)) << seen.text();
    for (int step = 1; step <= 4; ++step) {
        xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(start.x() + 10 * step), QString::number(start.y() + 5 * step)});
        EXPECT_TRUE(seen.waitFor(QEvent::MouseMove, stage.mapFromGlobal(start + QPoint(10 * step, 5 * step)))) << seen.text();
        EXPECT_NEAR(controller->shortPosition().x, 0.5 + 10 * step / scale / 1312, 1e-9)
            << "the crop follows the pointer one to one, step " << step << "; " << seen.text();
    }
    xdotool({QStringLiteral("mouseup"), QStringLiteral("1")});
    EXPECT_TRUE(seen.waitFor(QEvent::MouseButtonRelease)) << seen.text();
    settle();
    EXPECT_NEAR(controller->shortPosition().x, 0.5 + 40 / scale / 1312, 1e-9) << "the release leaves the crop where the drag took it";
    EXPECT_EQ(controller->shortPosition().y, 0.5) << "no vertical travel on a landscape camera";
    EXPECT_EQ(settings->doubleValue(QStringLiteral("shortCropX")), controller->shortPosition().x);
    subscription->stop();
    hub->waitForScript();
}

} // namespace
