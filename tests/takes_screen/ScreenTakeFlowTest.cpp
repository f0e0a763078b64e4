#include "ScreenTakeFixture.h"

#include "capture/ClickTracker.h"
#include "capture/PointerLog.h"
#include "platform/media/MovieAsset.h"
#include "finishing/RenderWork.h"
#include "support/FakeFinishingTools.h"
#include "support/MovieProbe.h"
#include "support/SmallDisk.h"
#include "takedata/ClockText.h"
#include "views/framing/CameraBubbleWindow.h"
#include "views/framing/CountdownWindow.h"
#include "takes/ScreenTake.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QRegularExpression>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// The save runs; the render it queues is kept in `renders` instead.
void keepRenders(RecordingController& controller, std::vector<std::shared_ptr<RenderWork>>& renders)
{
    controller.finishQueue().setTap([&renders](const std::shared_ptr<FinishWork>& work) {
        auto render = std::dynamic_pointer_cast<RenderWork>(work);
        if (render)
            renders.push_back(render);
        return render != nullptr;
    });
}

QByteArray contents(const QString& file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST_F(ScreenTakeFlow, aTakeGoesThroughEveryPhaseAndLeavesItsMovieAndSidecarsInANewFolder)
{
    startTake();
    EXPECT_EQ(phases, (std::vector<Kind>{Kind::preparing, Kind::recording}));
    ASSERT_TRUE(screenTakeOf(*controller).projectFolder());
    EXPECT_EQ(*screenTakeOf(*controller).projectFolder(), folderPath(QStringLiteral("video 1")));
    EXPECT_TRUE(screenTakeOf(*controller).createdProjectFolder());
    EXPECT_TRUE(controller->takes().isTickerRunning());
    film(20);
    controller->togglePause();
    film(5);
    controller->togglePause();
    film(10);
    QCoro::waitFor(controller->stop());
    EXPECT_EQ(phases, (std::vector<Kind>{Kind::preparing, Kind::recording, Kind::paused, Kind::recording, Kind::finishing, Kind::idle}));
    EXPECT_FALSE(controller->takes().isTickerRunning());
    EXPECT_FALSE(screenTakeOf(*controller).hasScreenRecorder());
    EXPECT_FALSE(screenTakeOf(*controller).projectFolder());
    // No click, so no click file; the pointer log and the zoom plan are always written.
    EXPECT_EQ(folderEntries(QStringLiteral("video 1")), (QStringList{QStringLiteral("cursor.json"), QStringLiteral("raw.mov"), QStringLiteral("zoom.json")}));
    EXPECT_TRUE(readLog().contains(QStringLiteral("start -> video 1 take ''")));
    // The folder the take created becomes the destination: the next take lands beside it.
    EXPECT_EQ(controller->destinationFolder(), folderPath(QStringLiteral("video 1")));
    ASSERT_EQ(services.jobs.size(), 1u);
    ASSERT_EQ(controller->finishJobs().size(), 1u);
    EXPECT_EQ(controller->finishJobs()[0].id, services.jobs[0].id);
    EXPECT_GT(services.jobs[0].duration, 0.3);

    const QJsonObject zoom = QJsonDocument::fromJson(contents(folderPath(QStringLiteral("video 1/zoom.json")))).object();
    EXPECT_EQ(zoom[QStringLiteral("mode")].toString(), QStringLiteral("Smart"));
    EXPECT_TRUE(zoom[QStringLiteral("zooms")].isArray());
    const auto cursor = PointerLog::decoded(contents(folderPath(QStringLiteral("video 1/cursor.json"))));
    ASSERT_TRUE(cursor);
    EXPECT_FALSE(cursor->systemCursorInCapture) << "the finished video draws its own cursor by default";
    EXPECT_FALSE(cursor->samples.empty());
}

TEST_F(ScreenTakeFlow, aTakeThatLostFramesIsSavedAndSaysSoAsInformationNotFailure)
{
    startTake();
    film(35);
    // The grabber missed 15 of its ticks: some 30 % of the frames the take should have had.
    services.screen->statistics.framesMissed = 15;
    QCoro::waitFor(controller->stop());
    EXPECT_EQ(controller->phase(), RecordingPhase::idle()) << controller->phase().payload().toStdString();
    EXPECT_EQ(phases.back(), Kind::idle);
    EXPECT_EQ(std::count(phases.begin(), phases.end(), Kind::failed), 0);
    EXPECT_TRUE(controller->notice().startsWith(QStringLiteral("The computer could not keep up: this take lost 3"))) << controller->notice().toStdString();
    EXPECT_TRUE(readLog().contains(controller->notice()));
    EXPECT_FALSE(readLog().contains(QStringLiteral("take failed")));
    EXPECT_EQ(services.jobs.size(), 1u) << "handed to finishing like any other take";
}

TEST_F(ScreenTakeFlow, aSecondTakeInTheFolderCarriesItsSuffixIntoEveryFileTheRequestAndTheSummary)
{
    startTake();
    film(10);
    QCoro::waitFor(controller->stop());
    services.jobs.clear();

    plugInCamera();
    ASSERT_TRUE(controller->bubblePanel().window());
    services.camera.segments = {{1.8, 3.0}, {4.0, 5.0}};
    services.pointerState.pointer = QPointF(80, 135); // a quarter across, three quarters up
    startTake();
    EXPECT_EQ(screenTakeOf(*controller).takeSuffix(), QStringLiteral("-2"));
    EXPECT_FALSE(screenTakeOf(*controller).createdProjectFolder());
    EXPECT_TRUE(services.camera.calls.contains(QStringLiteral("record camera-2.mov")));
    film(15);
    services.inputEvents.press();
    film(15);
    QCoro::waitFor(controller->stop());
    ASSERT_TRUE(TestEnvironment::savedTheTake(controller->phase())) << controller->phase().payload().toStdString();

    for (const char* name : {"raw-2.mov", "camera-2.mov", "clicks-2.json", "cursor-2.json", "zoom-2.json"})
        EXPECT_TRUE(QFile::exists(folderPath(QStringLiteral("video 1/")) + QLatin1String(name))) << name;
    const std::vector<Click> clicks = screenTakeOf(*controller).clickTracker()->recorded();
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_DOUBLE_EQ(clicks[0].x, 0.25);
    EXPECT_DOUBLE_EQ(clicks[0].y, 0.75);
    EXPECT_EQ(contents(folderPath(QStringLiteral("video 1/clicks-2.json"))), *ClickTracker::encoded(clicks));

    ASSERT_EQ(services.jobs.size(), 1u);
    const SaveJobHandover& job = services.jobs[0];
    const Mixdown::Request& request = job.request;
    EXPECT_EQ(request.rawURL, folderPath(QStringLiteral("video 1/raw-2.mov")));
    EXPECT_EQ(request.cameraURL, folderPath(QStringLiteral("video 1/camera-2.mov")));
    // The camera's late first span is stretched back to the take's start.
    EXPECT_EQ(request.cameraSegments, (std::vector<ClipSegment>{{0.0, 3.0}, {4.0, 5.0}}));
    EXPECT_EQ(job.cameraSegments, request.cameraSegments);
    EXPECT_EQ(request.layout, ScreenLayout::studio);
    EXPECT_EQ(request.frameRate, 60);
    EXPECT_FALSE(request.bubbleRect.isEmpty());
    EXPECT_EQ(request.bubbleShape, BubbleShape::circle);
    // The render is as tall as the screen: one render pixel per point.
    EXPECT_DOUBLE_EQ(request.bubbleCornerRadius, 0.5 * 260);
}

TEST_F(ScreenTakeFlow, onASixteenByTenDisplayThePanelsAreMeasuredAgainstThePartTheMovieFilms)
{
    // A 1920 × 1200 laptop: the movie holds the middle 1920 × 1080, 60 rows above and below are not filmed.
    services.displays = std::vector<ScreenDisplay>{{7, QStringLiteral("laptop"), QRect(0, 0, 1920, 1200), true}};
    QCoro::waitFor(controller->checkPermissionAndLoadDisplays());
    controller->setScreenLayout(ScreenLayout::classic);
    plugInCamera();
    services.phone.size = QSize(600, 1300);
    services.phoneList = {device(QStringLiteral("scrcpy"))};
    controller->phone().setPhoneEnabled(true);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] {
        QCoreApplication::processEvents();
        return controller->phone().window() != nullptr;
    }, 3000));
    auto* bubble = static_cast<CameraBubbleWindow*>(controller->bubblePanel().window());
    auto* phone = static_cast<CameraBubbleWindow*>(controller->phone().window());
    ASSERT_TRUE(bubble);
    ASSERT_EQ(bubble->size(), QSize(260, 260)) << "a round bubble";
    bubble->placeAt({800, 500});
    phone->placeAt({100, 700});
    const QRect bubbleFrame = bubble->geometry();
    const QRect phoneFrame = phone->geometry();
    ASSERT_EQ(bubbleFrame.topLeft(), QPoint(800, 500));

    startTake();
    film(10);
    QCoro::waitFor(controller->stop());
    ASSERT_TRUE(TestEnvironment::savedTheTake(controller->phase())) << controller->phase().payload().toStdString();
    ASSERT_EQ(services.jobs.size(), 1u);
    const Mixdown::Request& request = services.jobs[0].request;
    // One movie pixel per desktop pixel; y counts up from the filmed part's bottom edge at row 1140.
    EXPECT_EQ(request.bubbleRect, QRectF(800, 1140 - 760, 260, 260)) << "square, where it stood over the filmed picture";
    EXPECT_DOUBLE_EQ(request.bubbleCornerRadius, 130);
    const QRectF phoneRect(phoneFrame.x(), 1140 - (phoneFrame.y() + phoneFrame.height()), phoneFrame.width(), phoneFrame.height());
    EXPECT_EQ(request.phoneRect, phoneRect);
    EXPECT_DOUBLE_EQ(request.phoneCornerRadius, 22);
}

TEST_F(ScreenTakeFlow, aDisplayResizedSinceItWasListedIsFilmedAtItsNewSizeByTheNextTake)
{
    // Listed at 320 × 180 when the studio opened; a docking change made it 640 × 360 since.
    services.displays = std::vector<ScreenDisplay>{{7, QStringLiteral("fake"), QRect(0, 0, 640, 360), true}};
    startTake();
    EXPECT_EQ(services.screen->configuration.sourceRect, QRect(0, 0, 640, 360));
    EXPECT_EQ(services.screen->configuration.outputSize, QSize(640, 360));
    film(5);
    QCoro::waitFor(controller->stop());
    EXPECT_TRUE(TestEnvironment::savedTheTake(controller->phase())) << controller->phase().payload().toStdString();
    ASSERT_EQ(controller->displays().size(), 1u);
    EXPECT_EQ(controller->displays().front().width, 640) << "the window lists it as it measures now";
    EXPECT_EQ(controller->selectedDisplayID(), std::optional<quint32>(7));
}

TEST_F(ScreenTakeFlow, aRemoteStopHandsTheFlagToTheSaveJobAndClearsIt)
{
    startTake();
    film(10);
    controller->remote().setStopCameFromRemote(true);
    QCoro::waitFor(controller->stop());
    EXPECT_FALSE(controller->remote().stopCameFromRemote());
    ASSERT_EQ(services.jobs.size(), 1u);
    EXPECT_TRUE(services.jobs[0].byRemote);
}

TEST_F(ScreenTakeFlow, startsThatCannotGoOnSayWhyAndTouchNoFolder)
{
    controller->setSelectedDisplayID(99);
    const qsizetype logged = readLog().size();
    QCoro::waitFor(controller->start());
    EXPECT_EQ(controller->phase(), RecordingPhase::failed(QStringLiteral("Pick a display first.")));
    EXPECT_EQ(readLog().mid(logged).toStdString(), "") << "a start turned away before anything opened is shown, not logged";

    controller->setSelectedDisplayID(7);
    controller->setCaptureMicrophone(true);
    controller->setCameraEnabled(true);
    access.microphoneState = Permissions::State::denied;
    access.cameraState = Permissions::State::denied;
    QCoro::waitFor(controller->start());
    EXPECT_TRUE(controller->phase().payload().startsWith(QStringLiteral("Microphone access is off, so the take would have no voice.")));
    EXPECT_TRUE(readLog().contains(QStringLiteral("start aborted: microphone permission denied")));
    EXPECT_FALSE(readLog().contains(QStringLiteral("camera permission denied"))) << "a refused microphone ends the start first";
    EXPECT_EQ(controller->micPermission(), Permissions::State::denied);

    access.microphoneState = Permissions::State::granted;
    QCoro::waitFor(controller->start());
    EXPECT_TRUE(controller->phase().payload().startsWith(QStringLiteral("Camera access is off.")));
    EXPECT_TRUE(readLog().contains(QStringLiteral("start aborted: camera permission denied")));
    EXPECT_FALSE(readLog().contains(QStringLiteral("take failed")));
    EXPECT_FALSE(QDir(folderPath(QStringLiteral("video 1"))).exists());
}

TEST_F(ScreenTakeFlow, aScreenThatWillNotStartLeavesNoEmptyFolderBehind)
{
    services.screen->startError = QStringLiteral("the grabber is gone");
    QCoro::waitFor(controller->start());
    EXPECT_EQ(controller->phase(), RecordingPhase::failed(QStringLiteral("Capture could not start: the grabber is gone")));
    EXPECT_EQ(phases, (std::vector<Kind>{Kind::preparing, Kind::failed}));
    EXPECT_FALSE(QDir(folderPath(QStringLiteral("video 1"))).exists());
    EXPECT_TRUE(readLog().contains(QStringLiteral("discarded empty folder video 1")));
    EXPECT_FALSE(screenTakeOf(*controller).projectFolder());
    EXPECT_FALSE(screenTakeOf(*controller).hasScreenRecorder());
}

TEST_F(ScreenTakeFlow, aCountdownRunsBeforeTheTakeAndOneCutShortByAPhaseChangeStartsNothing)
{
    controller->setCountdownSeconds(1);
    startTake();
    EXPECT_EQ(phases, (std::vector<Kind>{Kind::countingDown, Kind::preparing, Kind::recording}));
    film(5);
    QCoro::waitFor(controller->stop());
    clearPhases();

    auto first = controller->start();
    ASSERT_EQ(controller->phase().kind(), Kind::countingDown);
    // The phase is changed under the countdown; a second start in the same turn finds the first still in flight.
    controller->setPhase(RecordingPhase::idle());
    auto second = controller->start();
    QCoro::waitFor(second);
    QCoro::waitFor(first);
    EXPECT_EQ(controller->phase().kind(), Kind::idle);
    EXPECT_EQ(phases, (std::vector<Kind>{Kind::countingDown, Kind::idle}));
    EXPECT_FALSE(screenTakeOf(*controller).hasScreenRecorder());
    EXPECT_TRUE(readLog().contains(QStringLiteral("start abandoned: the countdown was interrupted")));
}

TEST_F(ScreenTakeFlow, theSoundOpensWhileTheCountdownRunsAndAFailingDeviceEndsItAtOnce)
{
    controller->setCaptureMicrophone(true);
    controller->setCountdownSeconds(1);
    auto start = controller->start();
    waitForMicrophone();
    EXPECT_TRUE(services.microphone->running) << "the microphone flows before the countdown ends";
    EXPECT_EQ(controller->phase().kind(), Kind::countingDown);
    EXPECT_FALSE(screenTakeOf(*controller).hasScreenRecorder());
    QCoro::waitFor(start);
    ASSERT_EQ(controller->phase().kind(), Kind::recording);
    film(5, true);
    QCoro::waitFor(controller->stop());
    EXPECT_TRUE(readLog().contains(QStringLiteral("countdown ended")));

    // System sound that will not open fails the start well before the numbers would have ended.
    clearPhases();
    controller->setCountdownSeconds(3);
    controller->setCaptureSystemAudio(true);
    services.system->startError = QStringLiteral("the system sound is gone");
    const double began = HostClock::nowSeconds();
    QCoro::waitFor(controller->start());
    EXPECT_LT(HostClock::nowSeconds() - began, 2.0);
    EXPECT_EQ(controller->phase(), RecordingPhase::failed(QStringLiteral("Capture could not start: the system sound is gone")));
    EXPECT_EQ(phases, (std::vector<Kind>{Kind::countingDown, Kind::failed}));
    EXPECT_FALSE(services.microphone->running) << "what was opened is released";
    EXPECT_FALSE(QDir(folderPath(QStringLiteral("video 2"))).exists());
}

// The sound server went away under the numbers: the start ends at once with the lost source's reason, never
// a take with dead sound.
TEST_F(ScreenTakeFlow, aMicrophoneLostInTheCountdownEndsTheStartAtOnceWithItsReason)
{
    controller->setCaptureMicrophone(true);
    controller->setCountdownSeconds(3);
    auto start = controller->start();
    waitForMicrophone();
    ASSERT_EQ(controller->phase().kind(), Kind::countingDown);
    const double lost = HostClock::nowSeconds();
    services.microphone->onFailure(QStringLiteral("the sound source olvennar_desk_mic stopped"));
    QCoro::waitFor(start);
    EXPECT_LT(HostClock::nowSeconds() - lost, 1.0) << "the numbers end when the sound is lost, not at their end";
    EXPECT_EQ(controller->phase(), RecordingPhase::failed(QStringLiteral("Capture could not start: the sound source olvennar_desk_mic stopped")));
    EXPECT_EQ(std::count(phases.begin(), phases.end(), Kind::recording), 0);
    EXPECT_FALSE(services.microphone->running);
    EXPECT_FALSE(services.screen->running);
    EXPECT_FALSE(screenTakeOf(*controller).hasScreenRecorder());
    EXPECT_FALSE(QDir(folderPath(QStringLiteral("video 1"))).exists());
}

TEST_F(ScreenTakeFlow, aCancelledCountdownReleasesTheSoundItOpened)
{
    controller->setCaptureMicrophone(true);
    controller->setCountdownSeconds(2);
    auto start = controller->start();
    waitForMicrophone();
    ASSERT_TRUE(services.microphone->running);
    controller->setPhase(RecordingPhase::idle());
    QCoro::waitFor(start);
    EXPECT_FALSE(services.microphone->running);
    EXPECT_FALSE(screenTakeOf(*controller).hasScreenRecorder());
}

TEST_F(ScreenTakeFlow, theWindowKeepsTurningWhileASlowMicrophoneOpensWithoutACountdown)
{
    controller->setCaptureMicrophone(true);
    services.microphone->firstBlockDelay = std::chrono::milliseconds(400);
    int turns = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&turns] { ++turns; });
    ticker.start(20);
    startTake();
    EXPECT_GE(turns, 8) << "the main loop waited for the microphone";
    EXPECT_EQ(phases, (std::vector<Kind>{Kind::preparing, Kind::recording}));
    film(5, true);
    QCoro::waitFor(controller->stop());
}

TEST_F(ScreenTakeFlow, operationsOutOfTurnChangeNothing)
{
    QCoro::waitFor(controller->stop());
    QCoro::waitFor(controller->discard());
    controller->togglePause();
    EXPECT_TRUE(phases.empty());
    startTake();
    clearPhases();
    QCoro::waitFor(controller->start());
    EXPECT_TRUE(phases.empty()) << "a start while recording does nothing";
    QCoro::waitFor(controller->discard());
}

TEST_F(ScreenTakeFlow, discardingTheFirstTakeRemovesTheFolderItMade)
{
    startTake();
    film(10);
    controller->togglePause();
    QFile junk(folderPath(QStringLiteral("video 1/.DS_Store")));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("x");
    junk.close();
    QCoro::waitFor(controller->discard());
    EXPECT_EQ(phases, (std::vector<Kind>{Kind::preparing, Kind::recording, Kind::paused, Kind::finishing, Kind::idle}));
    EXPECT_EQ(controller->elapsed(), 0.0);
    EXPECT_FALSE(QDir(folderPath(QStringLiteral("video 1"))).exists());
    EXPECT_TRUE(readLog().contains(QStringLiteral("discarded take in video 1")));
    EXPECT_TRUE(services.jobs.empty());
}

TEST_F(ScreenTakeFlow, aFolderHoldingAnythingElseSurvivesTheDiscard)
{
    startTake();
    film(5);
    QFile other(folderPath(QStringLiteral("video 1/notes.txt")));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.close(); // zero bytes, but not this take's
    QCoro::waitFor(controller->discard());
    EXPECT_EQ(folderEntries(QStringLiteral("video 1")), QStringList{QStringLiteral("notes.txt")});
}

TEST_F(ScreenTakeFlow, discardingALaterTakeKeepsTheFolderAndTheEarlierTake)
{
    startTake();
    film(10);
    QCoro::waitFor(controller->stop());
    startTake();
    EXPECT_EQ(screenTakeOf(*controller).takeSuffix(), QStringLiteral("-2"));
    film(10);
    QCoro::waitFor(controller->discard());
    EXPECT_EQ(folderEntries(QStringLiteral("video 1")), (QStringList{QStringLiteral("cursor.json"), QStringLiteral("raw.mov"), QStringLiteral("zoom.json")}));
    // The number is free again.
    startTake();
    EXPECT_EQ(screenTakeOf(*controller).takeSuffix(), QStringLiteral("-2"));
    QCoro::waitFor(controller->discard());
}

TEST_F(ScreenTakeFlow, theNextTakeSkipsTheNameOfATakeWhoseSaveStillRunsAfterItsFilesWereDeleted)
{
    // The saves run, a remote stop's held at its trim.
    auto tools = std::make_shared<FakeFinishingTools>();
    tools->holdTrims = true;
    controller->finishQueue().setFinishingTools(tools);
    controller->finishQueue().setTap({});
    startTake();
    film(10);
    controller->remote().setStopCameFromRemote(true);
    QCoro::waitFor(controller->stop());
    ASSERT_EQ(tools->calls, QStringList{QStringLiteral("trim raw.mov 1.5")});
    const QDir video(folderPath(QStringLiteral("video 1")));
    for (const QString& name : video.entryList(QDir::Files))
        ASSERT_TRUE(QFile::remove(video.filePath(name)));

    startTake();
    EXPECT_EQ(screenTakeOf(*controller).takeSuffix(), QStringLiteral("-2"));
    film(10);
    QCoro::waitFor(controller->stop());
    tools->releaseTrims();
    ASSERT_EQ(controller->finishJobs().size(), 3u);
    EXPECT_EQ(controller->finishJobs()[0].state.kind, FinishJob::State::Kind::failed);
    EXPECT_TRUE(controller->finishJobs()[0].state.message.endsWith(
        QStringLiteral(": raw.mov was deleted or replaced after the take stopped; the files now in its folder stay as they are")));
    EXPECT_TRUE(video.exists(QStringLiteral("raw-2.mov")));
    EXPECT_FALSE(video.exists(QStringLiteral("take.json"))) << "nothing of the deleted take is written";
}

TEST_F(ScreenTakeFlow, aCameraUnpluggedMidTakeKeepsItsBubbleUntilTheStopAndTheTakeSucceeds)
{
    plugInCamera();
    ASSERT_TRUE(controller->bubblePanel().window());
    startTake();
    film(10);
    services.cameraList.clear();
    services.announceDeviceChange();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_FALSE(services.camera.attached);
    ASSERT_TRUE(controller->bubblePanel().window()) << "the panel stays so the stop can measure it";
    film(10);
    QCoro::waitFor(controller->stop());
    EXPECT_EQ(controller->phase().kind(), Kind::idle);
    ASSERT_EQ(services.jobs.size(), 1u);
    EXPECT_FALSE(services.jobs[0].request.bubbleRect.isEmpty());
    EXPECT_TRUE(services.jobs[0].request.cameraURL);
    EXPECT_FALSE(controller->bubblePanel().window()) << "after the take the panel of a gone camera goes";
    EXPECT_TRUE(controller->cameraEnabled());
}

TEST_F(ScreenTakeFlow, aRecorderFailureMidTakeStopsEverythingKeepsTheFilesAndShowsTheFailure)
{
    controller->setCaptureMicrophone(true);
    plugInCamera();
    startTake();
    film(20, true);
    services.microphone->onFailure(QStringLiteral("the microphone went away"));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] {
        QCoreApplication::processEvents();
        return controller->phase().kind() == Kind::failed;
    }, 5000));
    // Saved as far as it got, like a take the disk filled: its sidecars and its save with the camera.
    EXPECT_EQ(controller->phase().payload(), QStringLiteral("Recording stopped: the microphone went away. Saved up to 00:00 in raw.mov."));
    EXPECT_EQ(phases, (std::vector<Kind>{Kind::preparing, Kind::recording, Kind::finishing, Kind::idle, Kind::failed}));
    EXPECT_FALSE(controller->takes().isTickerRunning());
    EXPECT_FALSE(screenTakeOf(*controller).hasScreenRecorder());
    EXPECT_FALSE(services.screen->running);
    EXPECT_EQ(services.camera.stops, 1);
    EXPECT_EQ(folderEntries(QStringLiteral("video 1")), (QStringList{QStringLiteral("camera.mov"), QStringLiteral("cursor.json"),
                                                            QStringLiteral("layout.json"), QStringLiteral("raw.mov"), QStringLiteral("zoom.json")}));
    EXPECT_GT(QFileInfo(folderPath(QStringLiteral("video 1/raw.mov"))).size(), 0);
    ASSERT_EQ(services.jobs.size(), 1u);
    EXPECT_EQ(services.jobs[0].request.rawURL, folderPath(QStringLiteral("video 1/raw.mov")));
    EXPECT_EQ(services.jobs[0].request.cameraURL, folderPath(QStringLiteral("video 1/camera.mov")));
}

TEST_F(ScreenTakeFlow, aSoundSourceThatStopsMidTakeKeepsThePointerLogTheDescriptionAndTheRenderAndSaysWhatWasKept)
{
    std::vector<std::shared_ptr<RenderWork>> renders;
    keepRenders(*controller, renders);
    controller->setCaptureSystemAudio(true);
    startTake();
    for (int i = 0; i < 40; ++i) {
        const double now = HostClock::nowSeconds();
        FakeAudioCapture::push(*services.system, now, 960);
        FakeScreenCapture::push(*services.screen, now);
        services.pointerState.pointer = QPointF(10 + i, 20);
        QThread::msleep(20);
        QCoreApplication::processEvents();
    }
    services.system->onFailure(QStringLiteral("the sound source olvennar_system.monitor stopped"));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] {
        QCoreApplication::processEvents();
        return controller->phase().kind() == Kind::failed && !renders.empty();
    }, 5000));

    EXPECT_FALSE(services.screen->running) << "the take ends, picture included";
    EXPECT_EQ(folderEntries(QStringLiteral("video 1")),
        (QStringList{QStringLiteral("cursor.json"), QStringLiteral("raw.mov"), QStringLiteral("take.json"), QStringLiteral("zoom.json")}));
    const auto cursor = PointerLog::decoded(contents(folderPath(QStringLiteral("video 1/cursor.json"))));
    ASSERT_TRUE(cursor);
    EXPECT_FALSE(cursor->samples.empty()) << "the pointer can be drawn";
    const QJsonObject description = QJsonDocument::fromJson(contents(folderPath(QStringLiteral("video 1/take.json")))).object();
    EXPECT_EQ(description[QStringLiteral("screen")].toString(), QStringLiteral("raw.mov"));
    ASSERT_EQ(renders.size(), 1u);
    const PendingRender::Job& render = renders[0]->job();
    EXPECT_EQ(render.request.rawURL, folderPath(QStringLiteral("video 1/raw.mov")));
    EXPECT_EQ(render.finalURL, folderPath(QStringLiteral("video 1/final.mov")));
    EXPECT_TRUE(render.request.pointer) << "the own cursor is drawn from the kept log";
    EXPECT_EQ(controller->phase().payload(), QStringLiteral("Recording stopped: the sound source olvennar_system.monitor stopped. Saved up to ")
            + ClockText::format(render.request.recordedSeconds, ClockText::Form::paddedMinutes) + QStringLiteral(" in raw.mov."));
    EXPECT_GT(render.request.recordedSeconds, 0.5);
}

// The folder of a take renamed while it records: the whole take is saved in it, where it now lies, and a new
// take that takes the freed name never gets a file of the old one.
TEST_F(ScreenTakeFlow, aFolderRenamedWhileTheTakeRecordsGetsTheWholeTakeAndTheNextTakeInTheFreedNameNothingOfIt)
{
    std::vector<std::shared_ptr<RenderWork>> renders;
    keepRenders(*controller, renders);
    controller->setCaptureMicrophone(true);
    startTake();
    waitForMicrophone();
    const double firstFrame = HostClock::nowSeconds();
    film(15, true);
    services.inputEvents.press();
    film(10, true);
    ASSERT_TRUE(QDir().rename(folderPath(QStringLiteral("video 1")), folderPath(QStringLiteral("intro"))));
    film(15, true);
    const double filmed = HostClock::nowSeconds() - firstFrame;
    QCoro::waitFor(controller->stop());
    ASSERT_TRUE(TestEnvironment::waitUntil([&] {
        QCoreApplication::processEvents();
        return !renders.empty();
    }, 5000)) << controller->phase().payload().toStdString();

    EXPECT_NE(controller->phase().kind(), Kind::failed) << controller->phase().payload().toStdString();
    EXPECT_FALSE(readLog().contains(QStringLiteral("Nothing was recorded")));
    EXPECT_FALSE(QFileInfo::exists(folderPath(QStringLiteral("video 1"))));
    const QStringList takeFiles{QStringLiteral("clicks.json"), QStringLiteral("cursor.json"), QStringLiteral("raw.mov"), QStringLiteral("take.json"),
        QStringLiteral("zoom.json")};
    EXPECT_EQ(folderEntries(QStringLiteral("intro")), takeFiles);
    EXPECT_FALSE(PointerLog::decoded(contents(folderPath(QStringLiteral("intro/cursor.json"))))->samples.empty());
    const PendingRender::Job& render = renders[0]->job();
    EXPECT_EQ(render.request.rawURL, folderPath(QStringLiteral("intro/raw.mov")));
    EXPECT_EQ(render.finalURL, folderPath(QStringLiteral("intro/final.mov")));
    const auto asset = MovieAsset::open(render.request.rawURL);
    ASSERT_TRUE(std::holds_alternative<MovieAsset>(asset));
    const MovieAsset& raw = std::get<MovieAsset>(asset);
    EXPECT_NEAR(raw.duration().seconds(), filmed, 0.15) << "the picture after the rename is in it";
    ASSERT_NE(raw.firstTrack(MovieTrack::MediaType::audio), nullptr);
    EXPECT_TRUE(readLog().contains(QStringLiteral("take folder moved while recording: video 1 -> ") + folderPath(QStringLiteral("intro"))));
    EXPECT_EQ(controller->destinationFolder(), std::nullopt) << "the next take does not follow a folder moved away";

    // Right away a new take: the studio names it after the highest number left, the old take's name.
    startTake();
    EXPECT_EQ(*screenTakeOf(*controller).projectFolder(), folderPath(QStringLiteral("video 1")));
    film(10);
    QCoro::waitFor(controller->stop());
    ASSERT_TRUE(TestEnvironment::waitUntil([&] {
        QCoreApplication::processEvents();
        return renders.size() == 2;
    }, 5000));
    EXPECT_EQ(folderEntries(QStringLiteral("video 1")),
        (QStringList{QStringLiteral("cursor.json"), QStringLiteral("raw.mov"), QStringLiteral("take.json"), QStringLiteral("zoom.json")}));
    EXPECT_EQ(folderEntries(QStringLiteral("intro")), takeFiles);
    EXPECT_EQ(renders[1]->job().request.rawURL, folderPath(QStringLiteral("video 1/raw.mov")));
}

TEST_F(ScreenTakeFlow, aRecorderFailureBeforeTheFirstFrameLeavesItsFolderWhereItWas)
{
    controller->setCaptureMicrophone(true);
    startTake();
    services.microphone->onFailure(QStringLiteral("the microphone went away"));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] {
        QCoreApplication::processEvents();
        return controller->phase().kind() == Kind::failed;
    }, 5000));
    EXPECT_EQ(controller->phase().payload(),
        QStringLiteral("Recording stopped: the microphone went away. Not one picture had been recorded, so no take was saved."));
    EXPECT_TRUE(QFileInfo(folderPath(QStringLiteral("video 1"))).isDir());
    EXPECT_FALSE(readLog().contains(QStringLiteral("discarded empty folder")));
    EXPECT_EQ(controller->destinationFolder(), std::nullopt) << "a failed take chooses no folder for the next one";
}

TEST_F(ScreenTakeFlow, aFullDiskSavesWhatWasWrittenAsATakeAndSaysWhatWasKept)
{
    ASSERT_TRUE(failsMidTake(ScreenRecorder::RecorderError::diskFull(QStringLiteral("00:00 in raw.mov"))));
    EXPECT_EQ(controller->phase().payload(), QStringLiteral("Recording stopped: the disk is full. Saved up to 00:00 in raw.mov."));
    ASSERT_EQ(services.jobs.size(), 1u);
    EXPECT_EQ(services.jobs.front().request.rawURL, folderPath(QStringLiteral("video 1/raw.mov")));
    EXPECT_TRUE(services.jobs.front().refusedSidecars.empty());
}

TEST_F(ScreenTakeFlow, theSidecarsAFullDiskRefusesAtTheStopGoWithTheSaveJob)
{
    startTake();
    film(20);
    // Folders standing where the files go refuse them, as a full disk does.
    for (const char* name : {"cursor.json", "zoom.json"})
        ASSERT_TRUE(QDir().mkpath(folderPath(QStringLiteral("video 1/") + QString::fromLatin1(name))));
    services.recorder->onFailure(ScreenRecorder::RecorderError::diskFull(QStringLiteral("00:00 in raw.mov")));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] {
        QCoreApplication::processEvents();
        return controller->phase().kind() == Kind::failed;
    }, 5000));
    ASSERT_EQ(services.jobs.size(), 1u);
    const HeldSidecars& refused = services.jobs.front().refusedSidecars;
    EXPECT_EQ(refused.names(), (QStringList{QStringLiteral("cursor.json"), QStringLiteral("zoom.json")}));
}

// The small disk a test runs on, made the studio's save folder; empty outside SmallDisk::runTest.
QString saveOnTheSmallDisk(Settings& settings)
{
    const QString full = qEnvironmentVariable(SmallDisk::folderVariable);
    settings.setString(QString::fromLatin1(SaveLocation::settingsKey), full);
    return full;
}

// The take stopped; true once the studio shows the failure its stop met.
bool stopsFailing(RecordingController& controller)
{
    QCoro::waitFor(controller.stop());
    return TestEnvironment::waitUntil([&] {
        QCoreApplication::processEvents();
        return controller.phase().kind() == RecordingPhase::Kind::failed;
    }, 5000);
}

// Run only by the test below, on a small disk of its own as the save folder: the disk really fills, between
// the take's last picture and its stop.
TEST_F(ScreenTakeFlow, DISABLED_onADiskThatFillsAsTheTakeStops)
{
    const QString full = saveOnTheSmallDisk(*settings);
    ASSERT_FALSE(full.isEmpty());
    controller->setCaptureMicrophone(true);
    startTake();
    waitForMicrophone();
    film(90, true);
    ASSERT_TRUE(SmallDisk::fill(full));
    ASSERT_TRUE(stopsFailing(*controller)) << controller->phase().payload().toStdString();

    const QString raw = full + QStringLiteral("/video 1/raw.mov");
    const auto asset = MovieAsset::open(raw);
    ASSERT_TRUE(std::holds_alternative<MovieAsset>(asset)) << "the movie stays";
    const double kept = std::get<MovieAsset>(asset).duration().seconds();
    EXPECT_GT(kept, 0.5);
    std::printf("disk filled at the stop: %.2f s kept, said \"%s\"\n", kept, qPrintable(controller->phase().payload()));
    MovieProbe::Sound voice;
    ASSERT_TRUE(MovieProbe::decodeAudio(raw, 0, voice));
    EXPECT_NEAR(voice.startSeconds + static_cast<double>(voice.mono.size()) / voice.sampleRate, kept, 0.6) << "the voice up to the full disk";
    EXPECT_TRUE(readLog().contains(QStringLiteral("stop: saving what was written"))) << readLog().toStdString();
    EXPECT_FALSE(readLog().contains(QStringLiteral("Nothing was recorded")));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Recording stopped: the disk is full\\. Saved up to 00:0\\d in raw\\.mov\\.$"))
                    .match(controller->phase().payload())
                    .hasMatch())
        << controller->phase().payload().toStdString();
    // Finished as a take whose recorder failed: its pointer log and plans wait in the job for room on the disk.
    ASSERT_EQ(services.jobs.size(), 1u);
    const SaveJobHandover& job = services.jobs.front();
    EXPECT_EQ(job.request.rawURL, raw);
    EXPECT_NEAR(job.duration, kept, 0.01);
    EXPECT_TRUE(job.refusedSidecars.names().contains(QStringLiteral("cursor.json"))) << job.refusedSidecars.names().join(QLatin1Char(' ')).toStdString();
}

TEST_F(ScreenTakeFlow, aTakeWhoseDiskFillsAsItStopsIsSavedAsFarAsItGotAndSaysTheDiskIsFull)
{
    const SmallDisk::Run run = SmallDisk::runTest(QStringLiteral("ScreenTakeFlow.DISABLED_onADiskThatFillsAsTheTakeStops"), path(QStringLiteral("small-disk")),
        QStringLiteral("2m"));
    if (!run.mounted)
        GTEST_SKIP() << "this system allows no private mount: " << run.output.toStdString();
    std::printf("%s\n", qPrintable(QRegularExpression(QStringLiteral("disk filled at the stop: [^\n]*")).match(run.output).captured()));
    EXPECT_TRUE(run.passed()) << run.output.toStdString();
}

// Run only by the test below: as above, with the movie's start wiped before the disk fills, so what the stop
// kept cannot be read back.
TEST_F(ScreenTakeFlow, DISABLED_onADiskThatFillsAsTheTakeStopsWithAMovieThatCannotBeRead)
{
    const QString full = saveOnTheSmallDisk(*settings);
    ASSERT_FALSE(full.isEmpty());
    startTake();
    film(60);
    const QString raw = full + QStringLiteral("/video 1/raw.mov");
    ASSERT_TRUE(QFile::resize(raw, 0));
    ASSERT_TRUE(SmallDisk::fill(full));
    ASSERT_TRUE(stopsFailing(*controller)) << controller->phase().payload().toStdString();
    EXPECT_TRUE(QFileInfo::exists(raw)) << "what the recorder wrote is never deleted";
    EXPECT_TRUE(controller->phase().payload().startsWith(QStringLiteral("Recording stopped: the disk is full. Saved up to 00:0")))
        << controller->phase().payload().toStdString();
    EXPECT_TRUE(services.jobs.empty());
}

TEST_F(ScreenTakeFlow, aTakeWhoseDiskFillsAsItStopsKeepsAMovieItCannotReadBack)
{
    const SmallDisk::Run run = SmallDisk::runTest(QStringLiteral("ScreenTakeFlow.DISABLED_onADiskThatFillsAsTheTakeStopsWithAMovieThatCannotBeRead"),
        path(QStringLiteral("small-disk")), QStringLiteral("2m"));
    if (!run.mounted)
        GTEST_SKIP() << "this system allows no private mount: " << run.output.toStdString();
    EXPECT_TRUE(run.passed()) << run.output.toStdString();
}

TEST_F(ScreenTakeFlow, aWriterFailureThatMentionsTheDiskIsNotTakenForAFullDisk)
{
    ASSERT_TRUE(failsMidTake(ScreenRecorder::RecorderError::writerFailed(QStringLiteral("the disk is full"))));
    // Saved as far as it got all the same, but not said as a full disk.
    EXPECT_EQ(controller->phase().payload(),
        QStringLiteral("Recording stopped: the screen movie could not be written (the disk is full). Saved up to 00:00 in raw.mov."));
    ASSERT_EQ(services.jobs.size(), 1u);
    EXPECT_TRUE(QFileInfo::exists(folderPath(QStringLiteral("video 1/raw.mov"))));
}

TEST_F(ScreenTakeFlow, aScreenStopThatFailsStillClosesTheCameraAndKeepsItsFile)
{
    plugInCamera();
    startTake();
    // No screen frame ever arrives: the screen movie cannot be finished.
    QCoro::waitFor(controller->stop());
    EXPECT_EQ(controller->phase(), RecordingPhase::failed(QStringLiteral("Nothing was recorded — no frames ever arrived from the screen")));
    EXPECT_EQ(services.camera.stops, 1);
    EXPECT_EQ(folderEntries(QStringLiteral("video 1")), QStringList{QStringLiteral("camera.mov")});
    EXPECT_TRUE(services.jobs.empty());
    EXPECT_TRUE(readLog().contains(QStringLiteral("ERROR [stop] Nothing was recorded")));
}

} // namespace
