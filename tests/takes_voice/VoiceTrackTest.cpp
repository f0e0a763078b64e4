#include "app/DesktopWindows.h"
#include "app/StudioTakeKinds.h"
#include "core/RecordingController.h"
#include "core/SaveLocation.h"
#include "platform/system/HostClock.h"
#include "support/HeldSaveJobs.h"
#include "support/FakeAccessProbe.h"
#include "support/FakeSpeechAudioSink.h"
#include "support/FakeTakeServices.h"
#include "support/MovieProbe.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QThread>

#include <atomic>

#include <gtest/gtest.h>

#include <qcorotask.h>

namespace {

QCoro::Task<> startThenMark(RecordingController& controller, bool& done)
{
    QCoro::Task<> starting = controller.start();
    co_await std::move(starting);
    done = true;
}

// A short whose handoff asks for a voice track, over a fake desk camera whose hub the test drives, with
// both microphones scripted and one voice-follow feed shared by every recorder.
class VoiceTrackFlow : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        settings->setString(QString::fromLatin1(SaveLocation::settingsKey), path(QStringLiteral("Recordings")));
        services.cameraOnly.cameras = {desk};
        services.cameraOnly.speech = &speech;
        services.voiceSpeech = &speech;
        CaptureDeviceInfo camera;
        camera.uniqueID = desk->uniqueID();
        camera.localizedName = desk->localizedName();
        services.cameraList = {camera};
        services.microphoneList = {device(QStringLiteral("mic"))};
        Platform platform{*settings, access};
        platform.kinds = &StudioTakeKinds::standard();
        platform.windows = &DesktopWindows::shared();
        platform.takes = &services;
        controller = std::make_unique<RecordingController>(platform);
        holdSaveJobs(controller->finishQueue(), services.jobs);
        controller->setCountdownSeconds(0);
        controller->refreshDevices();
        controller->setCaptureMode(CaptureMode::short_);
    }
    void TearDown() override
    {
        controller.reset();
        SandboxTest::TearDown();
    }
    void handOff(bool voiceTrack, const QString& channel = QStringLiteral("ai"))
    {
        QDir().mkpath(path(QStringLiteral("Recordings/Shorts")));
        QFile file(path(QStringLiteral("Recordings/Shorts/.next_take.json")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        written = QDateTime::currentDateTimeUtc().addSecs(-30).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
        file.write(QStringLiteral(R"({"script_id":"ep 9","voice_track":%1,"channel":"%2","written_at":"%3"})")
                       .arg(voiceTrack ? QStringLiteral("true") : QStringLiteral("false"), channel, written)
                       .toUtf8());
    }
    // Both microphones and the desk camera deliver in real time: 10 ms blocks, about 30 frames a second.
    void record(double seconds, bool frames = true)
    {
        const double end = HostClock::nowSeconds() + seconds;
        int tick = 0;
        while (HostClock::nowSeconds() < end) {
            const double now = HostClock::nowSeconds();
            FakeAudioCapture::push(*services.voiceMicrophone, now);
            FakeAudioCapture::push(*services.cameraOnly.microphone, now);
            ++voiceBlocks;
            if (frames && tick++ % 3 == 0)
                desk->emitFrame(now);
            QThread::msleep(10);
            QCoreApplication::processEvents();
        }
    }
    QString shortFolder() const
    {
        const QStringList made = QDir(path(QStringLiteral("Recordings/Shorts"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        return made.size() == 1 ? path(QStringLiteral("Recordings/Shorts/")) + made.front() : QString();
    }

    std::shared_ptr<FakeCameraHub> desk = FakeCameraHub::make({FakeCameraHub::landscape(640, 360, 30)}, QStringLiteral("Desk"));
    FakeAccessProbe access;
    FakeTakeServices services;
    FakeSpeechAudioSink speech;
    std::unique_ptr<RecordingController> controller;
    QString written;
    int voiceBlocks = 0;
};

TEST_F(VoiceTrackFlow, AVoiceTrackRecordsTheVoiceAndTheDeskCameraIntoTheShortFolder)
{
    handOff(true);
    QCoro::waitFor(controller->start());
    ASSERT_EQ(controller->phase().kind(), RecordingPhase::Kind::recording) << controller->phase().payload().toStdString();
    const QString trackFolder = shortFolder();
    ASSERT_TRUE(trackFolder.endsWith(QStringLiteral("-ep-9-short-1"))) << trackFolder.toStdString();
    record(1.5);
    QCoro::waitFor(controller->stop());
    const QString audio = trackFolder + QStringLiteral("/voice.m4a");
    ASSERT_EQ(controller->phase(), RecordingPhase::finished(audio)) << controller->phase().payload().toStdString();
    EXPECT_EQ(controller->lastFinalURL(), audio);
    EXPECT_EQ(QDir(trackFolder).entryList(QDir::Files), (QStringList{"desk-camera.mov", "voice.json", "voice.m4a"}));
    const QJsonObject movie = MovieProbe::streams(trackFolder + QStringLiteral("/desk-camera.mov"));
    EXPECT_FALSE(movie[QStringLiteral("streams")].toArray().isEmpty());
    // Voice follow heard each block once: the desk camera's own microphone stream never reached it.
    EXPECT_EQ(static_cast<int>(speech.fed().size()), voiceBlocks);

    QFile file(trackFolder + QStringLiteral("/voice.json"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonObject sidecar = QJsonDocument::fromJson(file.readAll()).object();
    EXPECT_EQ(sidecar[QStringLiteral("script_id")], QJsonValue(QStringLiteral("ep 9")));
    EXPECT_EQ(sidecar[QStringLiteral("script_written_at")], QJsonValue(written));
    EXPECT_EQ(sidecar[QStringLiteral("file")], QJsonValue(QStringLiteral("voice.m4a")));
    EXPECT_FALSE(sidecar.contains(QStringLiteral("long_form")));
    EXPECT_FALSE(sidecar.contains(QStringLiteral("video_folder")));
    const QString log = readLog();
    EXPECT_TRUE(log.contains(QStringLiteral("voice track (audio + desk camera), mic mic, script ep 9")));
    EXPECT_TRUE(log.contains(QStringLiteral("voice track: also filming the desk camera -> desk-camera.mov")));
    EXPECT_TRUE(log.contains(QStringLiteral("voice track: desk camera saved desk-camera.mov")));
}

TEST_F(VoiceTrackFlow, ADeskCameraLostMidTrackIsOnlyLogged)
{
    handOff(true);
    desk->play({{5.0, 0}});
    QCoro::waitFor(controller->start());
    ASSERT_EQ(controller->phase().kind(), RecordingPhase::Kind::recording) << controller->phase().payload().toStdString();
    record(0.6, false);
    desk->disconnect();
    record(0.6, false);
    EXPECT_EQ(controller->phase().kind(), RecordingPhase::Kind::recording);
    EXPECT_TRUE(readLog().contains(QStringLiteral("desk camera failed, the voice track keeps recording: ")));
    QCoro::waitFor(controller->stop());
    const QString audio = shortFolder() + QStringLiteral("/voice.m4a");
    EXPECT_EQ(controller->phase(), RecordingPhase::finished(audio)) << controller->phase().payload().toStdString();
    EXPECT_NEAR(MovieProbe::number(MovieProbe::streams(audio)[QStringLiteral("format")].toObject(), QStringLiteral("duration")), 1.2, 0.3);
    desk->waitForScript();
}

TEST_F(VoiceTrackFlow, WithoutCameraAccessTheVoiceRecordsAlone)
{
    access.cameraState = Permissions::State::denied;
    handOff(true);
    QCoro::waitFor(controller->start());
    ASSERT_EQ(controller->phase().kind(), RecordingPhase::Kind::recording) << controller->phase().payload().toStdString();
    record(0.5);
    QCoro::waitFor(controller->stop());
    const QString trackFolder = shortFolder();
    EXPECT_EQ(QDir(trackFolder).entryList(QDir::Files), (QStringList{"voice.json", "voice.m4a"}));
    EXPECT_TRUE(readLog().contains(QStringLiteral("voice track (audio + desk camera), mic mic, script ep 9")));
}

TEST_F(VoiceTrackFlow, PauseNeverActsOnAVoiceTrackAlthoughTheModeIsShort)
{
    handOff(true);
    QCoro::waitFor(controller->start());
    ASSERT_EQ(controller->phase().kind(), RecordingPhase::Kind::recording) << controller->phase().payload().toStdString();
    // The microphone and the desk camera go on through every press, so nothing may say paused.
    for (int press = 0; press < 2; ++press) {
        controller->togglePause();
        EXPECT_EQ(controller->phase().kind(), RecordingPhase::Kind::recording) << "press " << press;
        record(0.4);
    }
    QCoro::waitFor(controller->stop());
    const QString audio = shortFolder() + QStringLiteral("/voice.m4a");
    ASSERT_EQ(controller->phase(), RecordingPhase::finished(audio)) << controller->phase().payload().toStdString();
    EXPECT_NEAR(MovieProbe::number(MovieProbe::streams(audio)[QStringLiteral("format")].toObject(), QStringLiteral("duration")), 0.8, 0.3);
}

TEST_F(VoiceTrackFlow, DiscardTakesTheTrackAndItsFolderAway)
{
    access.cameraState = Permissions::State::denied;
    handOff(true);
    QCoro::waitFor(controller->start());
    ASSERT_EQ(controller->phase().kind(), RecordingPhase::Kind::recording);
    record(0.3);
    QCoro::waitFor(controller->discard());
    EXPECT_EQ(controller->phase().kind(), RecordingPhase::Kind::idle);
    EXPECT_TRUE(shortFolder().isEmpty());
}

TEST_F(VoiceTrackFlow, AMicrophoneThatCannotStartIsLoggedAsTheVoiceTracksOrTheVoiceTakesStart)
{
    access.cameraState = Permissions::State::denied;
    services.voiceMicrophone->startError = QStringLiteral("the source is busy");
    handOff(true);
    QCoro::waitFor(controller->start());
    EXPECT_EQ(controller->phase().kind(), RecordingPhase::Kind::failed);
    EXPECT_TRUE(controller->phase().payload().contains(QStringLiteral("the source is busy"))) << controller->phase().payload().toStdString();
    EXPECT_TRUE(shortFolder().isEmpty());
    QString log = readLog();
    EXPECT_TRUE(log.contains(QStringLiteral("ERROR [voice track start] "))) << log.toStdString();
    EXPECT_FALSE(log.contains(QStringLiteral("[voice-only start]")));

    // The same recorder in "Voice only" keeps its own words, even right after a voice track.
    controller->setCaptureMode(CaptureMode::voice);
    QCoro::waitFor(controller->start());
    EXPECT_EQ(controller->phase().kind(), RecordingPhase::Kind::failed);
    log = readLog();
    EXPECT_EQ(log.count(QStringLiteral("ERROR [voice-only start] ")), 1) << log.toStdString();
    EXPECT_EQ(log.count(QStringLiteral("ERROR [voice track start] ")), 1);
}

TEST_F(VoiceTrackFlow, AHandoffWithoutTheFlagOrForAnotherChannelFilmsAnOrdinaryShort)
{
    for (const auto& [flag, channel] : {std::pair{false, QStringLiteral("ai")}, std::pair{true, QStringLiteral("inkwell")}}) {
        handOff(flag, channel);
        EXPECT_FALSE(controller->takes().shortWantsVoiceTrack()) << flag << channel.toStdString();
    }
    handOff(true);
    EXPECT_TRUE(controller->takes().shortWantsVoiceTrack());
}

} // namespace

namespace {

TEST_F(VoiceTrackFlow, AVoiceFailureWhileTheDeskCameraIsSetUpEndsTheTrackForGood)
{
    handOff(true);
    desk->play({{6.0, 0}});
    // The desk camera's take configuration opens its microphone on a worker: the voice source fails right
    // then, and the failure reaches the main thread before the configuration ends.
    std::atomic<bool> fired{false};
    services.cameraOnly.openingMicrophone = [&] {
        if (fired.exchange(true))
            return;
        services.voiceMicrophone->onFailure(QStringLiteral("the sound source mic stopped"));
        QThread::msleep(400);
    };
    QCoro::waitFor(controller->start());
    ASSERT_TRUE(fired.load());
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return !controller->phase().isBusy(); }, 5000));
    EXPECT_EQ(controller->phase().kind(), RecordingPhase::Kind::failed) << controller->phase().payload().toStdString();
    EXPECT_TRUE(controller->phase().payload().startsWith(QStringLiteral("VOICE TRACK FAILED"))) << controller->phase().payload().toStdString();
    EXPECT_FALSE(controller->takes().isTickerRunning());
    EXPECT_FALSE(controller->takeUnderWay());
    // The desk camera was let go, never armed.
    EXPECT_FALSE(controller->routing().recorder()->hasMicrophone());
    EXPECT_FALSE(readLog().contains(QStringLiteral("voice track: also filming the desk camera")));
    const QString shortTake = shortFolder();
    EXPECT_FALSE(!shortTake.isEmpty() && QFileInfo::exists(shortTake + QStringLiteral("/desk-camera.mov")));
    QCoro::waitFor(controller->stop());
    EXPECT_FALSE(controller->phase().isBusy());

    // The studio is free: the next track records and its stop finishes it.
    services.cameraOnly.openingMicrophone = nullptr;
    controller->setPhase(RecordingPhase::idle());
    handOff(true);
    QCoro::waitFor(controller->start());
    ASSERT_EQ(controller->phase().kind(), RecordingPhase::Kind::recording) << controller->phase().payload().toStdString();
    record(0.5, false);
    QCoro::waitFor(controller->stop());
    EXPECT_EQ(controller->phase().kind(), RecordingPhase::Kind::finished) << controller->phase().payload().toStdString();
    desk->waitForScript();
}

TEST_F(VoiceTrackFlow, TheModeStaysFromTheStartRequestUntilTheStudioIsIdle)
{
    handOff(true);
    desk->play({{8.0, 0}});
    bool done = false;
    QCoro::Task<> starting = startThenMark(*controller, done);
    // One second into the desk camera's warm-up the phase is still idle, yet the start has begun.
    TestEnvironment::waitUntil([] { return false; }, 1000);
    ASSERT_FALSE(done);
    ASSERT_EQ(controller->phase().kind(), RecordingPhase::Kind::idle);
    EXPECT_TRUE(controller->takeUnderWay());
    controller->setCaptureMode(CaptureMode::screen);
    EXPECT_EQ(controller->captureMode(), CaptureMode::short_);
    EXPECT_TRUE(readLog().contains(QStringLiteral("mode change to Screen refused: a take is under way")));
    // The handoff watcher is held back alike: a long-form handoff naming another mode waits.
    QFile file(path(QStringLiteral("Recordings/.next_recording.json")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral(R"({"video_folder":"%1","written_at":"%2","title":"Demo","mode":"screen"})")
                   .arg(path(QStringLiteral("Recordings/video 3")), QDateTime::currentDateTimeUtc().addSecs(-5).toString(Qt::ISODate))
                   .toUtf8());
    file.close();
    const int polls = controller->handoffs().handoffPollsCompleted();
    controller->handoffs().refreshNextTake();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return controller->handoffs().handoffPollsCompleted() > polls; }, 5000));
    EXPECT_EQ(controller->captureMode(), CaptureMode::short_);

    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return done; }, 8000));
    ASSERT_EQ(controller->phase().kind(), RecordingPhase::Kind::recording) << controller->phase().payload().toStdString();
    controller->setCaptureMode(CaptureMode::voice);
    EXPECT_EQ(controller->captureMode(), CaptureMode::short_);
    record(0.5, false);
    // The stop reaches the voice track whatever was asked meanwhile.
    QCoro::waitFor(controller->stop());
    const QString audio = shortFolder() + QStringLiteral("/voice.m4a");
    EXPECT_EQ(controller->phase(), RecordingPhase::finished(audio)) << controller->phase().payload().toStdString();
    EXPECT_FALSE(controller->takeUnderWay());
    // Idle again: the next poll applies the handoff and a mode change goes through.
    const int later = controller->handoffs().handoffPollsCompleted();
    controller->handoffs().refreshNextTake();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return controller->handoffs().handoffPollsCompleted() > later; }, 5000));
    EXPECT_EQ(controller->captureMode(), CaptureMode::screen);
    controller->setCaptureMode(CaptureMode::voice);
    EXPECT_EQ(controller->captureMode(), CaptureMode::voice);
    desk->waitForScript();
}

} // namespace
