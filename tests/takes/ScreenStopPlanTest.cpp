#include "takes/ScreenStopPlan.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

// A take of a 4K screen movie with a camera, two clicks and three pointer samples.
StoppedScreenTake takeWithCamera()
{
    StoppedScreenTake take;
    take.rawURL = QStringLiteral("/v/raw-2.mov");
    take.cameraURL = QStringLiteral("/v/camera-2.mov");
    take.renderSize = QSizeF(3840, 2160);
    take.panels.bubbleRect = QRectF(100, 80, 260, 260);
    take.panels.bubbleCornerRadius = 130;
    take.panels.bubbleTilt = 4;
    take.cameraSegments = {{0, 6.5}};
    take.phoneSegments = {{0.04, 2.46}, {3, 4}};
    take.clicks = {Click{1.0, 0.25, 0.75}, Click{2.0, 0.5, 0.5}};
    take.log.samples = {{0.0, 0.2, 0.2}, {0.5, 0.3, 0.3}, {1.0, 0.4, 0.4}};
    take.log.keys = std::vector<double>{1.5};
    return take;
}

TEST(ScreenStopPlanTest, TheStudioExportSizeFollowsTheLookAndTheScreenWidth)
{
    struct Case {
        ScreenLayout layout;
        bool export4K;
        double screenWidth;
        std::optional<QSizeF> expected;
    };
    const Case cases[] = {
        {ScreenLayout::studio, false, 3840, QSizeF(1920, 1080)},
        {ScreenLayout::studio, true, 2560, QSizeF(3840, 2160)},
        {ScreenLayout::studio, true, 2559, QSizeF(1920, 1080)},
        {ScreenLayout::classic, true, 3840, std::nullopt},
    };
    for (const Case& c : cases) {
        StoppedScreenTake take = takeWithCamera();
        take.renderSize = QSizeF(c.screenWidth, 1080);
        TakeLook look;
        look.screenLayout = c.layout;
        look.export4K = c.export4K;
        EXPECT_EQ(ScreenStopPlan::mixdownRequest(take, look, ZoomTimeline::none()).outputSize, c.expected) << c.screenWidth;
    }
}

TEST(ScreenStopPlanTest, TheOwnPointerComesFromTheSamplesElseTheClicksAndOnlyWhenTheTakeDrawsIt)
{
    StoppedScreenTake take = takeWithCamera();
    const TakeLook look;
    take.takeDrawsOwnCursor = false;
    EXPECT_FALSE(ScreenStopPlan::mixdownRequest(take, look, ZoomTimeline::none()).pointer);

    take.takeDrawsOwnCursor = true;
    const auto fromSamples = ScreenStopPlan::mixdownRequest(take, look, ZoomTimeline::none()).pointer;
    ASSERT_TRUE(fromSamples);
    EXPECT_EQ(fromSamples->xs, PointerPath::fromSamples(take.log.samples)->xs);

    take.log.samples.clear();
    const auto fromClicks = ScreenStopPlan::mixdownRequest(take, look, ZoomTimeline::none()).pointer;
    ASSERT_TRUE(fromClicks);
    EXPECT_EQ(fromClicks->xs, PointerPath::fromClicks(take.clicks)->xs);

    take.clicks.clear();
    EXPECT_FALSE(ScreenStopPlan::mixdownRequest(take, look, ZoomTimeline::none()).pointer);
}

TEST(ScreenStopPlanTest, AFocusPathIsKeptOnlyWhenItFramesLessThanTheWholeScreen)
{
    struct Case {
        bool frameFocusedWindow;
        std::optional<PointerLog::Records> windows;
        bool expected;
    };
    const Case cases[] = {
        {true, PointerLog::Records{{1.0, 0.1, 0.1, 0.5, 0.5}}, true},
        {true, PointerLog::Records{{1.0, 0.0, 0.0, 1.0, 1.0}}, false},
        {true, std::nullopt, false},
        {false, PointerLog::Records{{1.0, 0.1, 0.1, 0.5, 0.5}}, false},
    };
    for (const Case& c : cases) {
        StoppedScreenTake take = takeWithCamera();
        take.log.windows = c.windows;
        TakeLook look;
        look.frameFocusedWindow = c.frameFocusedWindow;
        EXPECT_EQ(ScreenStopPlan::mixdownRequest(take, look, ZoomTimeline::none()).focus.has_value(), c.expected);
    }
}

TEST(ScreenStopPlanTest, AClassicTakeWithNothingDrawnIsCopiedAsItIs)
{
    StoppedScreenTake take;
    take.rawURL = QStringLiteral("/v/raw.mov");
    take.clicks = {Click{1.0, 0.5, 0.5}};
    TakeLook look;
    look.screenLayout = ScreenLayout::classic;
    look.zoomMode = ZoomMode::off;
    EXPECT_TRUE(ScreenStopPlan::mixdownRequest(take, look, ScreenStopPlan::zoom(take, look)).isPassthrough());
    look.clickHighlight = true;
    EXPECT_FALSE(ScreenStopPlan::mixdownRequest(take, look, ScreenStopPlan::zoom(take, look)).isPassthrough());
}

TEST(ScreenStopPlanTest, OnlyADynamicStudioTakeWithACameraOverAMovingBackgroundMovesItsLayout)
{
    struct Case {
        LayoutMode mode;
        ScreenLayout layout;
        StudioBackground background;
        bool hasCamera;
        bool expected;
    };
    const Case cases[] = {
        {LayoutMode::dynamic, ScreenLayout::studio, StudioBackground::blushMesh, true, true},
        {LayoutMode::fixed, ScreenLayout::studio, StudioBackground::blushMesh, true, false},
        {LayoutMode::dynamic, ScreenLayout::classic, StudioBackground::blushMesh, true, false},
        {LayoutMode::dynamic, ScreenLayout::studio, StudioBackground::darkRoom, true, false},
        {LayoutMode::dynamic, ScreenLayout::studio, StudioBackground::blushMesh, false, false},
    };
    for (const Case& c : cases) {
        TakeLook look;
        look.layoutMode = c.mode;
        look.screenLayout = c.layout;
        look.studioBackground = c.background;
        EXPECT_EQ(ScreenStopPlan::movesLayout(look, c.hasCamera), c.expected);
    }
}

TEST(ScreenStopPlanTest, TheTitleCountsTakesFromTheSuffix)
{
    const std::pair<const char*, const char*> cases[] = {
        {"", "video 4 · take 1"}, {"-2", "video 4 · take 2"}, {"-12", "video 4 · take 12"}, {"-x", "video 4 · take 1"}};
    for (const auto& [suffix, title] : cases)
        EXPECT_EQ(ScreenStopPlan::title(QStringLiteral("video 4"), QString::fromUtf8(suffix)), QString::fromUtf8(title));
}

TEST(ScreenStopPlanTest, TheSaveJobNamesEveryFileWithTheSuffixAndSaysWhatTheTakeHad)
{
    const StoppedScreenTake take = takeWithCamera();
    TakeLook look;
    look.zoomMode = ZoomMode::off;
    const TakeFolder folder{QStringLiteral("/v/video 4"), QStringLiteral("-2"), false};
    const SaveJobHandover job = ScreenStopPlan::saveJob(folder, take, look,
        ScreenStopPlan::mixdownRequest(take, look, ZoomTimeline::none()), 6.5, true);
    EXPECT_EQ(job.title, QStringLiteral("video 4 · take 2"));
    EXPECT_EQ(job.faceURL, QStringLiteral("/v/video 4/face-2.mov"));
    EXPECT_EQ(job.takeJSON, QStringLiteral("/v/video 4/take-2.json"));
    EXPECT_EQ(job.previewURL, QStringLiteral("/v/video 4/final-2.mov"));
    EXPECT_EQ(job.stopSidecar, QStringLiteral("/v/video 4/stop-2.json"));
    EXPECT_TRUE(job.byRemote);
    EXPECT_EQ(job.request.bubbleRect, take.panels.bubbleRect);
    EXPECT_EQ(job.request.bubbleTilt, 4);
    EXPECT_EQ(job.summary,
        QStringLiteral("finished video 4 — camera:true phone:false phoneSegments:0.0-2.5,3.0-4.0 clicks:2 pointer:3 "
                       "layout:Studio/Tall left/Blush mesh ownCursor:false zoom:Off=0 layoutMode:Dynamic=0 moves keys:1 marks:0"));

    StoppedScreenTake withoutCamera = take;
    withoutCamera.cameraURL.reset();
    EXPECT_FALSE(ScreenStopPlan::saveJob(folder, withoutCamera, look, {}, 6.5, false).faceURL);
}

class ScreenStopSidecarsTest : public SandboxTest { };

TEST_F(ScreenStopSidecarsTest, ClicksAreWrittenOnlyWhenThereWereAnyAndTheCursorAlways)
{
    const TakeFolder takeFolder{path(QStringLiteral("video 1")), QStringLiteral("-3"), true};
    ASSERT_TRUE(QDir().mkpath(takeFolder.path));
    StoppedScreenTake take = takeWithCamera();
    take.clicks.clear();
    HeldSidecars refused;
    ScreenStopPlan::writeInputSidecars(takeFolder, take, refused);
    EXPECT_EQ(QDir(takeFolder.path).entryList(QDir::Files), QStringList{QStringLiteral("cursor-3.json")});
    ScreenStopPlan::writeInputSidecars(takeFolder, takeWithCamera(), refused);
    EXPECT_EQ(QDir(takeFolder.path).entryList(QDir::Files), (QStringList{QStringLiteral("clicks-3.json"), QStringLiteral("cursor-3.json")}));
    EXPECT_TRUE(refused.empty());
}

} // namespace

TEST(ScreenStopPlan, aTakeThatLostMoreThanAOneInTwentyOfItsFramesIsToldSo)
{
    struct Row {
        int64_t written, lost;
        const char* notice; // nullptr: nothing said
    };
    const Row table[] = {
        {0, 0, nullptr},
        {1200, 0, nullptr},
        {950, 50, nullptr}, // exactly 5 %
        {949, 51, "The computer could not keep up: this take lost 6 % of its frames (51 of 1000), so its picture stutters. It was saved all the same."},
        {600, 600, "The computer could not keep up: this take lost 50 % of its frames (600 of 1200), so its picture stutters. It was saved all the same."},
        {0, 30, "The computer could not keep up: this take lost 100 % of its frames (30 of 30), so its picture stutters. It was saved all the same."},
    };
    for (const Row& row : table) {
        const auto notice = ScreenStopPlan::lostFramesNotice(row.written, row.lost);
        if (!row.notice)
            EXPECT_FALSE(notice) << row.written << "/" << row.lost;
        else
            EXPECT_EQ(notice.value_or(QString()), QString::fromUtf8(row.notice)) << row.written << "/" << row.lost;
    }
}

TEST(ScreenStopPlan, aRecorderFailureSaysThatRecordingStoppedWhyAndWhatWasKept)
{
    using Error = ScreenRecorder::RecorderError;
    struct Row {
        Error error;
        std::optional<double> kept;
        const char* notice;
    };
    const Row table[] = {
        {Error::sourceStopped(QStringLiteral("the sound source olvennar_system.monitor stopped")), 8.1,
            "Recording stopped: the sound source olvennar_system.monitor stopped. Saved up to 00:08 in raw-2.mov."},
        {Error::writerFailed(QStringLiteral("Input/output error.")), 0.4,
            "Recording stopped: the screen movie could not be written (Input/output error.). Saved up to 00:00 in raw-2.mov."},
        // Nothing kept is never said as kept.
        {Error::sourceStopped(QStringLiteral("the microphone went away.")), std::nullopt,
            "Recording stopped: the microphone went away. Not one picture had been recorded, so no take was saved."},
        // A full disk keeps the recorder's own words for what reached the disk.
        {Error::diskFull(QStringLiteral("00:24 in raw-2.mov")), 24.75, "Recording stopped: the disk is full. Saved up to 00:24 in raw-2.mov."},
        {Error::diskFull(QStringLiteral("00:00 in raw-2.mov")), std::nullopt, "Nothing was recorded — the disk is full."},
    };
    for (const Row& row : table)
        EXPECT_EQ(ScreenStopPlan::failureNotice(row.error, row.kept, QStringLiteral("raw-2.mov")), QString::fromUtf8(row.notice)) << row.notice;
}

TEST(ScreenStopPlan, aStopThatKeptAMovieAfterAnErrorIsFinishedAsAFailureEndedTake)
{
    using Error = ScreenRecorder::RecorderError;
    using Kind = Error::Kind;
    const QString raw = QStringLiteral("/videos/video 1/raw.mov");
    struct Row {
        const char* what;
        std::optional<Error> failure; // what ended the take during it
        ScreenRecorder::StopResult stopped;
        std::optional<Kind> ending;
    };
    const Row table[] = {
        {"stopped whole", std::nullopt, {raw, std::nullopt}, std::nullopt},
        // The disk filled as the take stopped: the recorder kept what it wrote.
        {"disk filled at the stop", std::nullopt, {raw, Error::diskFull(QStringLiteral("00:12 in raw.mov"))}, Kind::diskFull},
        {"writer failed at the stop", std::nullopt, {raw, Error::writerFailed(QStringLiteral("Input/output error"))}, Kind::writerFailed},
        // Nothing kept: the stop says so with the recorder's words.
        {"no frames", std::nullopt, {std::nullopt, Error::writerFailed(QStringLiteral("no frames ever arrived from the screen"))}, std::nullopt},
        {"movie lost", std::nullopt, {std::nullopt, Error::movieLost(QStringLiteral("raw.mov"))}, std::nullopt},
        // A failure during the take is what its end says, whatever the stop met after it.
        {"source stopped, stopped whole", Error::sourceStopped(QStringLiteral("the microphone went away")), {raw, std::nullopt}, Kind::sourceStopped},
        {"disk full, then the writer's text", Error::diskFull(QStringLiteral("00:03 in raw.mov")),
            {raw, Error::writerFailed(QStringLiteral("could not write a packet: No space left on device"))}, Kind::diskFull},
        {"source stopped, nothing kept", Error::sourceStopped(QStringLiteral("the screen went away")),
            {std::nullopt, Error::writerFailed(QStringLiteral("no frames"))}, Kind::sourceStopped},
    };
    for (const Row& row : table) {
        const auto ending = ScreenStopPlan::endingFailure(row.failure, row.stopped);
        EXPECT_EQ(ending ? std::optional(ending->kind()) : std::nullopt, row.ending) << row.what;
    }
}
