#include "FinishFixture.h"

#include "platform/system/Diagnostics.h"
#include "takes/ScreenStopPlan.h"

#include <QJsonArray>

#include <gtest/gtest.h>

namespace {

using Save = FinishTest;
using Kind = FinishJob::State::Kind;

TEST_F(Save, TakeWithoutCameraEndsOnTheRawFileAndRendersWithoutCamera)
{
    touch(QStringLiteral("raw-2.mov"));
    stopTake(saveJob(QStringLiteral("-2"), false));

    ASSERT_EQ(controller->finishJobs().size(), 2u);
    EXPECT_EQ(row(0).state.kind, Kind::done);
    EXPECT_EQ(row(0).state.path, take(QStringLiteral("raw-2.mov")));
    EXPECT_EQ(row(1).title, QStringLiteral("video 1 · take 2 video"));
    ASSERT_EQ(tools->renders.size(), 1u);
    EXPECT_FALSE(tools->renders[0]->request.cameraURL);
    EXPECT_FALSE(readJson(take(QStringLiteral("Raw/take-2.json"))).contains(QStringLiteral("face")));
    Diagnostics::flush();
    EXPECT_TRUE(readLog().contains(QStringLiteral("take-2 saved:raw+no camera")));
    EXPECT_TRUE(readLog().contains(QStringLiteral("  video video 1 · take 2\n")));
}

TEST_F(Save, ADescriptionThatCannotBeWrittenIsSaidOnTheRowAndUnderTheWindowWhileTheMoviesGoOn)
{
    touch(QStringLiteral("raw-2.mov"));
    tools->holdRenders = true;
    SaveJobHandover job = saveJob(QStringLiteral("-2"), false);
    // Where it cannot go, as on a full disk.
    job.takeJSON = take(QStringLiteral("gone/take-2.json"));
    stopTake(job);
    ASSERT_EQ(controller->finishJobs().size(), 2u);
    EXPECT_EQ(row(0).state.kind, Kind::done);
    const QString note = QStringLiteral("take-2.json could not be written (is the disk full?) — the take's movies are kept");
    EXPECT_EQ(row(0).state.message, note);
    EXPECT_EQ(controller->finishNote(), note);
    EXPECT_EQ(tools->renders.size(), 1u) << "the final is still made";
    EXPECT_FALSE(QFileInfo::exists(job.takeJSON));
}

TEST_F(Save, ARetryAfterAFullDiskWritesTheFilesItRefusedFromWhatTheJobHoldsThenTheFinal)
{
    touch(QStringLiteral("raw-2.mov"));
    // Folders standing where the files go refuse them, as a full disk does, at the stop and at the save.
    const QStringList refusedNames{QStringLiteral("cursor-2.json"), QStringLiteral("zoom-2.json"), QStringLiteral("take-2.json")};
    for (const QString& name : refusedNames)
        ASSERT_TRUE(QDir().mkpath(take(name)));
    StoppedScreenTake stopped;
    stopped.rawURL = take(QStringLiteral("raw-2.mov"));
    stopped.log.samples = {{0.5, 0.25, 0.75}, {1.0, 0.5, 0.5}};
    // The render fails on the full disk too.
    tools->failRenders = 1;
    SaveJobHandover job = saveJob(QStringLiteral("-2"), false);
    ScreenStopPlan::writeInputSidecars(TakeFolder{take(), QStringLiteral("-2"), false}, stopped, job.refusedSidecars);
    ScreenStopPlan::saveZoomSidecar(ZoomTimeline::none(), ZoomMode::smart, take(QStringLiteral("zoom-2.json")), job.refusedSidecars);
    stopTake(job);

    ASSERT_EQ(controller->finishJobs().size(), 2u);
    const QString refused = QStringLiteral("cursor-2.json, zoom-2.json and take-2.json could not be written (is the disk full?) — the take's movies are kept");
    EXPECT_EQ(row(0).state.kind, Kind::done);
    EXPECT_EQ(row(0).state.message, refused);
    EXPECT_EQ(row(1).state.kind, Kind::failed);
    ASSERT_EQ(tools->renders.size(), 1u);

    // Space is freed; the Retry writes the files first, then makes the final.
    for (const QString& name : refusedNames)
        ASSERT_TRUE(QDir(take(name)).removeRecursively());
    tools->holdRenders = true;
    controller->finishQueue().retryFinishJob(row(1).id);
    ASSERT_EQ(tools->renders.size(), 2u);
    for (const QString& name : refusedNames)
        EXPECT_TRUE(QFileInfo(take(name)).isFile()) << name.toStdString() << " before the final";
    tools->complete(1);
    EXPECT_EQ(row(1).state, (FinishJob::State{Kind::done, 0, take(QStringLiteral("final-2.mov")), {}}));
    EXPECT_TRUE(QFileInfo::exists(take(QStringLiteral("final-2.mov"))));
    EXPECT_EQ(QDir(take(QStringLiteral("Raw"))).entryList(QDir::Files, QDir::Name),
        (QStringList{QStringLiteral("cursor-2.json"), QStringLiteral("raw-2.mov"), QStringLiteral("take-2.json"), QStringLiteral("zoom-2.json")}));
    const auto cursor = PointerLog::decoded(read(take(QStringLiteral("Raw/cursor-2.json"))));
    ASSERT_TRUE(cursor);
    EXPECT_EQ(cursor->samples, stopped.log.samples) << "the pointer log outlives the session";
    EXPECT_EQ(readJson(take(QStringLiteral("Raw/take-2.json")))[QStringLiteral("screen")].toString(), QStringLiteral("raw-2.mov"));
}

TEST_F(Save, OnceARetryWroteFilesTheDiskRefusedTheTakesRowsSayOnlyWhatIsStillMissing)
{
    struct Case {
        const char* name;
        QString suffix;
        QStringList freed; // of cursor, zoom, take
        QString stillRefused; // what the save row says after the Retry
        bool windowsRetry; // else the row's
    } cases[] = {
        {"all written", QStringLiteral("-2"), {QStringLiteral("cursor"), QStringLiteral("zoom"), QStringLiteral("take")}, QString(), false},
        {"the description still refused", QStringLiteral("-3"), {QStringLiteral("cursor"), QStringLiteral("zoom")},
            QStringLiteral("take-3.json could not be written (is the disk full?) — the take's movies are kept"), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t first = controller->finishJobs().size();
        touch(QStringLiteral("raw") + c.suffix + QStringLiteral(".mov"));
        // Folders standing where the files go refuse them, as a full disk does.
        const auto file = [&](const QString& name) { return take(name + c.suffix + QStringLiteral(".json")); };
        for (const QString& name : {QStringLiteral("cursor"), QStringLiteral("zoom"), QStringLiteral("take")})
            ASSERT_TRUE(QDir().mkpath(file(name)));
        StoppedScreenTake stopped;
        stopped.rawURL = take(QStringLiteral("raw") + c.suffix + QStringLiteral(".mov"));
        tools->failRenders = 1;
        tools->holdRenders = false;
        SaveJobHandover job = saveJob(c.suffix, false);
        ScreenStopPlan::writeInputSidecars(TakeFolder{take(), c.suffix, false}, stopped, job.refusedSidecars);
        ScreenStopPlan::saveZoomSidecar(ZoomTimeline::none(), ZoomMode::smart, file(QStringLiteral("zoom")), job.refusedSidecars);
        stopTake(job);
        ASSERT_EQ(controller->finishJobs().size(), first + 2);
        ASSERT_EQ(row(first + 1).state.kind, Kind::failed);
        EXPECT_TRUE(row(first).state.message.startsWith(QStringLiteral("cursor") + c.suffix + QStringLiteral(".json, zoom")));

        for (const QString& name : c.freed)
            ASSERT_TRUE(QDir(file(name)).removeRecursively());
        if (c.windowsRetry)
            controller->retryFinish();
        else
            controller->finishQueue().retryFinishJob(row(first + 1).id);
        ASSERT_EQ(row(first + 1).state.kind, Kind::done);
        EXPECT_EQ(row(first).state.kind, Kind::done);
        EXPECT_EQ(row(first).state.message, c.stillRefused) << "the save row";
        EXPECT_EQ(row(first + 1).state.message, c.stillRefused) << "the render row";
        if (c.windowsRetry) {
            EXPECT_EQ(controller->finishNote(), c.stillRefused) << "under the window";
        }
    }
}

TEST_F(Save, TakeDescriptionMatchesItsSchemaExactly)
{
    touch(QStringLiteral("raw-2.mov"));
    touch(QStringLiteral("camera-2.mov"));
    tools->holdRenders = true;
    SaveJobHandover job = saveJob(QStringLiteral("-2"), true);
    job.request.phoneURL = take(QStringLiteral("iphone-2.mov")); // no file: the key is still written
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
    stopTake(job);

    QJsonObject d = readJson(take(QStringLiteral("take-2.json")));
    const QString recordedAt = d.take(QStringLiteral("recorded_at")).toString();
    EXPECT_EQ(d, (QJsonObject{{"schema", "studio-take/v1"}, {"screen", "raw-2.mov"}, {"face", "face-2.mov"}, {"phone", "iphone-2.mov"},
                     {"preview", "final-2.mov"}, {"duration", 62.0}, {"camera_segments", QJsonArray{QJsonArray{0.0, 12.4}, QJsonArray{15.0, 60.2}}},
                     {"look", controller->harnessLook()},
                     {"note", "screen = screen video + mic; face = camera video + the same mic (track 1 of screen). The edit decides the "
                              "layout: VIDEO/scripts/longform/layout_pass"}}));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ$")).match(recordedAt).hasMatch()) << recordedAt.toStdString();
    const QDateTime stamp = QDateTime::fromString(recordedAt, Qt::ISODate);
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, QDateTime::currentDateTimeUtc());
}

TEST_F(Save, RetryAfterTheCameraWasConsumedUsesTheFaceFileAlreadyThere)
{
    touch(QStringLiteral("raw.mov"));
    touch(QStringLiteral("face.mov"), "earlier face");
    tools->holdRenders = true;
    stopTake(saveJob(QString(), true));
    EXPECT_FALSE(tools->calls.join(QLatin1Char('|')).contains(QStringLiteral("face mux")));
    EXPECT_EQ(readJson(take(QStringLiteral("take.json")))[QStringLiteral("face")].toString(), QStringLiteral("face.mov"));
    ASSERT_EQ(tools->renders.size(), 1u);
    EXPECT_EQ(tools->renders[0]->request.cameraURL, take(QStringLiteral("face.mov")));
}

TEST_F(Save, RemoteStopTrimsRawAndFaceOnceAndRecordsWhatWasReallyCut)
{
    struct Case {
        const char* name;
        double duration;
        std::optional<FinishingTools::TrimResult> trim;
        double described;
    } cases[] = {
        {"cut 1.5 of 62", 62.0, FinishingTools::TrimResult{1.5, 60.5}, 60.5},
        {"nothing cut keeps the whole take", 4.0, std::nullopt, 4.0},
        {"never below zero", 1.0, FinishingTools::TrimResult{1.5, 0.0}, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        touch(QStringLiteral("raw.mov"));
        touch(QStringLiteral("camera.mov"));
        tools->calls.clear();
        tools->renders.clear();
        tools->trimResult = c.trim;
        SaveJobHandover job = saveJob(QString(), true, true);
        job.duration = c.duration;
        stopTake(job);

        EXPECT_EQ(tools->calls.mid(0, 4),
            QStringList({"face mux camera.mov + raw.mov -> face.mov", "trim raw.mov 1.5", "trim face.mov 1.5", "stop sidecar stop.json"}));
        EXPECT_EQ(tools->calls.count(QStringLiteral("trim raw.mov 1.5")), 1) << "the render job never trims again";
        const QJsonObject stop = readJson(take(QStringLiteral("Raw/stop.json")));
        EXPECT_EQ(stop[QStringLiteral("stoppedBy")].toString(), QStringLiteral("remote-button"));
        EXPECT_DOUBLE_EQ(stop[QStringLiteral("tailTrimmedSeconds")].toDouble(), c.trim ? c.trim->trimmed : 0.0);
        EXPECT_EQ(stop.contains(QStringLiteral("durationSeconds")), c.trim.has_value());
        EXPECT_DOUBLE_EQ(readJson(take(QStringLiteral("Raw/take.json")))[QStringLiteral("duration")].toDouble(), c.described);
        QDir(take(QStringLiteral("Raw"))).removeRecursively();
        QFile::remove(take(QStringLiteral("final.mov")));
    }
}

TEST_F(Save, ASaveEndingDuringTheNextTakeLeavesThePhaseAlone)
{
    touch(QStringLiteral("raw.mov"));
    controller->setPhase(RecordingPhase::recording());
    stopTake(saveJob(QString(), false));
    EXPECT_EQ(row(0).state.kind, Kind::done);
    EXPECT_EQ(controller->phase(), RecordingPhase::recording());
    EXPECT_FALSE(controller->lastFinalURL());
    EXPECT_TRUE(controller->finishWaitingForBreak()) << "the render waits for the take to end";
}

} // namespace
