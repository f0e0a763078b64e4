// How a "Just me" or short take ends, on fakes: a take with nothing filmed, a short whose export fails, a
// short filmed without any face in the picture, and what either kind leaves in the finish list.
#include "CameraOnlyFixture.h"

#include "finishing/PendingNote.h"
#include "platform/media/MovieAsset.h"
#include "support/SmallDisk.h"
#include "platform/system/HostClock.h"
#include "takes/ShortFilmTake.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <set>

namespace {

using Kind = RecordingPhase::Kind;

class CameraOnlyStop : public CameraOnlyFixture {
protected:
    void start(CaptureMode mode)
    {
        controller->setCaptureMode(mode);
        settle();
        ASSERT_TRUE(startWithTheCameraAlive());
        ASSERT_EQ(controller->phase().kind(), Kind::recording) << controller->phase().payload().toStdString();
    }
    // Frames from the desk camera and sound from the microphone, stamped as they would arrive, for `seconds`.
    // A machine that fell behind still sends every one, a frame's worth a turn: the take gets the whole run.
    void film(double seconds)
    {
        const double begin = HostClock::now().seconds();
        const double end = begin + seconds;
        double nextFrame = begin;
        double nextSound = begin;
        for (double now = begin; nextFrame <= end; now = std::min({HostClock::now().seconds(), end, now + 1.0 / 30})) {
            for (; nextSound <= now; nextSound += 0.01)
                FakeAudioCapture::push(*services.cameraOnly.microphone, nextSound, 480);
            for (; nextFrame <= now; nextFrame += 1.0 / 30)
                desk->emitFrame(nextFrame);
            QCoreApplication::processEvents();
            QThread::msleep(4);
        }
    }
    // Each finish the queue is handed, as its tap sees it: the rows listed and the finishing count then.
    std::vector<std::pair<size_t, int>>& watchSubmits()
    {
        controller->finishQueue().setTap([this](const std::shared_ptr<FinishWork>&) {
            submits.emplace_back(controller->finishJobs().size(), controller->finishingCount());
            return false;
        });
        return submits;
    }
    // The studio's end during a take of `mode`: the take counts once for the quit alert until its movie is
    // made, and the end waits for that.
    void endedFinished(CaptureMode mode, const QString& made)
    {
        start(mode);
        film(1.5);
        std::set<int> counts;
        QTimer turn;
        QObject::connect(&turn, &QTimer::timeout, [&] {
            if (controller->phase().isBusy())
                counts.insert(controller->takesStillFinishing());
        });
        turn.start(0);
        QCoro::waitFor(controller->windDown(true));
        EXPECT_EQ(counts, std::set<int>{1});
        EXPECT_EQ(controller->phase(), RecordingPhase::finished(made)) << controller->phase().payload().toStdString();
        EXPECT_EQ(controller->takesStillFinishing(), 0);
    }
    ShortFilmTake& shortTake() { return dynamic_cast<ShortFilmTake&>(*controller->takeOf(CaptureMode::short_)); }
    QDir shortFolder() const
    {
        return QDir(path(QStringLiteral("Recordings/Shorts/")) + QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"))
            + QStringLiteral("-short-1"));
    }

    std::vector<std::pair<size_t, int>> submits;
};

TEST_F(CameraOnlyStop, ATakeWithNothingFilmedFailsAndLeavesNoFolder)
{
    start(CaptureMode::cameraOnly);
    QCoro::waitFor(controller->stop());
    ASSERT_EQ(controller->phase().kind(), Kind::failed);
    EXPECT_EQ(controller->phase().payload(), QStringLiteral("Could not write the recording: nothing was captured"));
    const QString log = readLog();
    EXPECT_TRUE(log.contains(QStringLiteral("[camera-only stop]"))) << "the failure is logged with its context";
    EXPECT_TRUE(log.contains(QStringLiteral("discarded empty folder "))) << "the folder this take made goes again";
    EXPECT_FALSE(log.contains(QStringLiteral("camera-only finished")));
}

TEST_F(CameraOnlyStop, AShortWhoseExportFailsSaysWhyAndKeepsItsRawFile)
{
    start(CaptureMode::short_);
    // A folder sits where the short would go: its export cannot put the file in place.
    ASSERT_TRUE(shortFolder().mkpath(QStringLiteral("short.mov")));
    QFile blocker(shortFolder().filePath(QStringLiteral("short.mov/keep")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    film(1.5);
    QCoro::waitFor(controller->stop());
    ASSERT_EQ(controller->phase().kind(), Kind::failed) << controller->phase().payload().toStdString();
    EXPECT_FALSE(controller->phase().payload().isEmpty());
    EXPECT_TRUE(readLog().contains(QStringLiteral("[camera-only stop]")));
    EXPECT_GT(QFileInfo(shortFolder().filePath(QStringLiteral("raw.mov"))).size(), 0) << "what was filmed stays";
    EXPECT_TRUE(shortFolder().exists(QStringLiteral("crop.json")));
    EXPECT_TRUE(QFileInfo::exists(shortFolder().filePath(QStringLiteral("short.mov/keep"))));
    EXPECT_FALSE(controller->lastShortURL().has_value());
    // The failure is the take's, shown by its phase: no row to retry from, no settings kept.
    EXPECT_TRUE(controller->finishJobs().empty());
    EXPECT_FALSE(shortTake().shortTakeSettings());
}

TEST_F(CameraOnlyStop, AShortWithoutAFaceFinishesAndSaysNoFaceWasFound)
{
    start(CaptureMode::short_);
    film(1.5);
    QCoro::waitFor(controller->stop());
    ASSERT_EQ(controller->phase().kind(), Kind::finished) << controller->phase().payload().toStdString();
    EXPECT_EQ(controller->phase().payload(), shortFolder().filePath(QStringLiteral("short.mov")));
    const QString log = readLog();
    const qsizetype finished = log.indexOf(QStringLiteral("short finished ") + shortFolder().dirName() + QStringLiteral(": crop "));
    ASSERT_GE(finished, 0);
    const QString line = log.mid(finished, log.indexOf(QLatin1Char('\n'), finished) - finished);
    EXPECT_TRUE(line.endsWith(QStringLiteral(", framing: no face found"))) << line.toStdString();
    QFile sidecar(shortFolder().filePath(QStringLiteral("crop.json")));
    ASSERT_TRUE(sidecar.open(QIODevice::ReadOnly));
    EXPECT_FALSE(QJsonDocument::fromJson(sidecar.readAll()).object().contains(QStringLiteral("framing"))) << "nothing measured, nothing written";
}

TEST_F(CameraOnlyStop, AJustMeTakeIsFinalWhenItsFileClosesAndListsNothingToFinish)
{
    start(CaptureMode::cameraOnly);
    const auto& seen = watchSubmits();
    film(1.5);
    controller->remote().setStopCameFromRemote(true);
    QCoro::waitFor(controller->stop());
    const QString final = path(QStringLiteral("Recordings/video 1/final.mov"));
    ASSERT_EQ(controller->phase(), RecordingPhase::finished(final)) << controller->phase().payload().toStdString();
    // Its finishing ran inside the stop: no row, no Retry, nothing counted as finishing, nothing to resume.
    EXPECT_EQ(seen, (std::vector<std::pair<size_t, int>>{{0u, 0}}));
    EXPECT_TRUE(controller->finishJobs().empty());
    EXPECT_EQ(controller->finishingCount(), 0);
    EXPECT_FALSE(QFileInfo::exists(PendingNote::pathFor(final)));
    EXPECT_TRUE(QFileInfo::exists(path(QStringLiteral("Recordings/video 1/stop.json")))) << "the remote's cut is still made";
}

TEST_F(CameraOnlyStop, AJustMeTakeFilmedThroughAStallOfTheMachineIsFinal)
{
    start(CaptureMode::cameraOnly);
    // Soon after filming begins the machine stalls for longer than the run: what the camera gave meanwhile
    // still reaches the take, late.
    std::atomic<int64_t> stalled{0};
    HostClock::setSourceForTesting([&stalled] {
        return std::chrono::nanoseconds(std::chrono::steady_clock::now().time_since_epoch()).count() + stalled.load();
    });
    QTimer::singleShot(100, [&stalled] { stalled = 2'000'000'000; });
    film(1.5);
    QCoro::waitFor(controller->stop());
    HostClock::setSourceForTesting({});
    EXPECT_EQ(controller->phase(), RecordingPhase::finished(path(QStringLiteral("Recordings/video 1/final.mov"))))
        << controller->phase().payload().toStdString();
}

TEST_F(CameraOnlyStop, AJustMeTakeWhoseFolderWasRenamedWhileItFilmedIsFinishedWhereTheFolderNowLies)
{
    start(CaptureMode::cameraOnly);
    film(0.8);
    // Renamed while it films: once its movie is open, which a busy machine may take longer to reach.
    for (int tries = 0; tries < 50 && !QFileInfo::exists(path(QStringLiteral("Recordings/video 1/final.mov"))); ++tries)
        film(0.1);
    ASSERT_TRUE(QFileInfo::exists(path(QStringLiteral("Recordings/video 1/final.mov"))));
    ASSERT_TRUE(QDir().rename(path(QStringLiteral("Recordings/video 1")), path(QStringLiteral("Recordings/me"))));
    film(0.8);
    controller->remote().setStopCameFromRemote(true);
    QCoro::waitFor(controller->stop());
    const QString final = path(QStringLiteral("Recordings/me/final.mov"));
    ASSERT_EQ(controller->phase(), RecordingPhase::finished(final)) << controller->phase().payload().toStdString();
    EXPECT_TRUE(QFileInfo::exists(path(QStringLiteral("Recordings/me/stop.json")))) << "the remote's cut is made there too";
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("Recordings/video 1"))));
}

TEST_F(CameraOnlyStop, AShortListsNothingToFinishAndTheStopTakesItsStoredSettings)
{
    controller->setMirrorCamera(true);
    controller->setShortMirrorFile(false);
    controller->setShortPosition({0.3, 0.6});
    start(CaptureMode::short_);
    const auto& seen = watchSubmits();
    ASSERT_TRUE(shortTake().shortTakeSettings());
    const ShortTake::Settings stored = *shortTake().shortTakeSettings();
    ASSERT_NE(stored.fileMirrored, stored.previewMirrored);
    EXPECT_DOUBLE_EQ(stored.filePosition.x, 0.7) << "the file is cut from the other side of the mirrored preview";
    EXPECT_EQ(stored.camera, QStringLiteral("Desk"));
    film(1.5);
    QCoro::waitFor(controller->stop());
    const QString made = shortFolder().filePath(QStringLiteral("short.mov"));
    ASSERT_EQ(controller->phase(), RecordingPhase::finished(made)) << controller->phase().payload().toStdString();
    EXPECT_EQ(seen, (std::vector<std::pair<size_t, int>>{{0u, 0}}));
    EXPECT_TRUE(controller->finishJobs().empty());
    EXPECT_FALSE(QFileInfo::exists(PendingNote::pathFor(made)));
    EXPECT_FALSE(shortTake().shortTakeSettings()) << "a finished short keeps no settings for the next stop";

    // With nothing stored a stop builds them: the crop where the take placed it on both sides, uncorrected,
    // the recorder's picture, no camera name, and the take's script and channel.
    const ShortTake::Settings built = shortTake().takeSettingsForStop(true);
    EXPECT_DOUBLE_EQ(built.filePosition.x, 0.3);
    EXPECT_DOUBLE_EQ(built.filePosition.y, 0.6);
    EXPECT_DOUBLE_EQ(built.previewPosition.x, 0.3);
    EXPECT_DOUBLE_EQ(built.previewPosition.y, 0.6);
    EXPECT_EQ(built.fileMirrored, recorder().fileMirrored());
    EXPECT_EQ(built.previewMirrored, recorder().previewMirrored());
    EXPECT_DOUBLE_EQ(built.rotation, recorder().rotationAngle());
    EXPECT_TRUE(built.camera.isEmpty());
    EXPECT_FALSE(built.script);
    EXPECT_EQ(built.channel, stored.channel);
    EXPECT_FALSE(built.framing);
    EXPECT_DOUBLE_EQ(built.tailTrim, 1.5);
    EXPECT_DOUBLE_EQ(shortTake().takeSettingsForStop(false).tailTrim, 0.0);
}

TEST_F(CameraOnlyStop, TheStudiosEndLetsAJustMeTakeBeMadeAndCountsItOnceUntilThen)
{
    endedFinished(CaptureMode::cameraOnly, path(QStringLiteral("Recordings/video 1/final.mov")));
}

TEST_F(CameraOnlyStop, TheStudiosEndLetsAShortBeMadeAndCountsItOnceUntilThen)
{
    endedFinished(CaptureMode::short_, shortFolder().filePath(QStringLiteral("short.mov")));
}

// Run only by the test below, on a small disk of its own as the save folder: the disk fills between each
// take's last frame and its stop.
TEST_F(CameraOnlyStop, DISABLED_onADiskThatFillsAsTheTakeStops)
{
    const QString full = qEnvironmentVariable(SmallDisk::folderVariable);
    ASSERT_FALSE(full.isEmpty());
    settings->setString(QString::fromLatin1(SaveLocation::settingsKey), full);
    struct Case {
        CaptureMode mode;
        QString movie;
    };
    const QString shorts = full + QStringLiteral("/Shorts/") + QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral("-short-1");
    for (const Case& take : {Case{CaptureMode::cameraOnly, full + QStringLiteral("/video 1/final.mov")}, Case{CaptureMode::short_, shorts + QStringLiteral("/raw.mov")}}) {
        SCOPED_TRACE(take.movie.toStdString());
        start(take.mode);
        // Filmed until part of the movie is on the disk: a camera settling on a busy machine opens the file late.
        const auto kept = [&] {
            const auto asset = MovieAsset::open(take.movie);
            return std::holds_alternative<MovieAsset>(asset) && std::get<MovieAsset>(asset).duration().seconds() > 0.5;
        };
        film(1.5);
        for (int i = 0; i < 30 && !kept(); ++i)
            film(0.5);
        ASSERT_TRUE(kept());
        ASSERT_TRUE(SmallDisk::fill(full));
        QCoro::waitFor(controller->stop());
        ASSERT_EQ(controller->phase().kind(), Kind::failed) << controller->phase().payload().toStdString();
        const QString said = controller->phase().payload();
        EXPECT_TRUE(said.startsWith(QStringLiteral("RECORDING STOPPED — saved up to 00:"))) << said.toStdString();
        EXPECT_TRUE(said.contains(QStringLiteral(" in ") + QFileInfo(take.movie).fileName() + QStringLiteral(". ("))) << said.toStdString();
        EXPECT_TRUE(said.contains(QStringLiteral("No space left on device"))) << said.toStdString();
        // A finish that failed on the full disk may leave the file's index unreadable, but never removes it.
        EXPECT_GT(QFileInfo(take.movie).size(), 0) << "the movie stays";
        ASSERT_TRUE(QFile::remove(full + QStringLiteral("/filler")));
    }
}

TEST_F(CameraOnlyStop, ATakeWhoseDiskFillsAsItStopsKeepsWhatItFilmedAndSaysWhy)
{
    const SmallDisk::Run run = SmallDisk::runTest(QStringLiteral("CameraOnlyStop.DISABLED_onADiskThatFillsAsTheTakeStops"), path(QStringLiteral("small-disk")),
        QStringLiteral("8m"));
    if (!run.mounted)
        GTEST_SKIP() << "this system allows no private mount: " << run.output.toStdString();
    EXPECT_TRUE(run.passed()) << run.output.toStdString();
}

} // namespace
