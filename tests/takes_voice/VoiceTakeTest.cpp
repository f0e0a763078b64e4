#include "app/DesktopWindows.h"
#include "app/StudioTakeKinds.h"
#include "core/RecordingController.h"
#include "core/SaveLocation.h"
#include "platform/audio/PulseAudioCapture.h"
#include "platform/audio/SoundPlayer.h"
#include "finishing/PendingNote.h"
#include "platform/system/HostClock.h"
#include "platform/system/WorkerPool.h"
#include "support/HeldSaveJobs.h"
#include "support/FakeAccessProbe.h"
#include "support/FakeTakeServices.h"
#include "support/MovieProbe.h"
#include "support/PrivateNullSink.h"
#include "support/TestEnvironment.h"
#include "support/ToneFile.h"
#include "takes/HandoffPrompter.h"
#include "takes/VoiceSidecar.h"
#include "takes/VoiceTake.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSemaphore>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <qcorotask.h>

#include <chrono>
#include <memory>
#include <set>
#include <thread>

namespace {

class RecordedSounds final : public SoundPlayer {
public:
    void play(const QString& name) override { played.append(name); }
    QStringList played;
};

// The teleprompter as a handoff reaches it.
class PrompterText final : public HandoffPrompter {
public:
    QString script;
    QString text() const override { return script; }
    void setText(const QString& text) override { script = text; }
    void setStyle(TeleprompterScript::Style) override { }
    void restart() override { }
    void setFollowMode() override { }
    bool isPanelOpen() const override { return false; }
    bool show(const QRect&) override { return false; }
    void hide() override { }
    void syncSpeech() override { }
};

// A tone played into a private sink the voice recorder listens to, for as long as the test runs.
class TonePlayer {
public:
    bool start(const QString& videoFolder)
    {
        sink_ = PrivateNullSink::load(QStringLiteral("voice_take"));
        const QString tone = QDir(videoFolder).filePath(QStringLiteral("tone.wav"));
        if (!sink_ || !ToneFile::write(tone, 30.0, 440))
            return false;
        player_.start(QStringLiteral("paplay"), {QStringLiteral("--device=") + sink_->name(), tone});
        if (!player_.waitForStarted())
            return false;
        // The tone already sounds when the take starts.
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
        return true;
    }
    QString microphone() const { return sink_->monitor(); }
    ~TonePlayer()
    {
        player_.kill();
        player_.waitForFinished();
    }

private:
    std::unique_ptr<PrivateNullSink> sink_;
    QProcess player_;
};

// A controller in "Voice only" over fake devices; the voice recorder hears what the test pushes, or a real
// PulseAudio source when the test asks for one.
class VoiceTakeFlow : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        settings->setString(QString::fromLatin1(SaveLocation::settingsKey), path(QStringLiteral("Recordings")));
        services.microphoneList = {device(QStringLiteral("mic"))};
    }
    RecordingController& studio()
    {
        if (!controller) {
            Platform platform{*settings, access};
            platform.kinds = &StudioTakeKinds::standard();
            platform.windows = &DesktopWindows::shared();
            platform.takes = &services;
            platform.sounds = &sounds;
            platform.prompter = &prompter;
            controller = std::make_unique<RecordingController>(platform);
            holdSaveJobs(controller->finishQueue(), services.jobs);
            controller->setCountdownSeconds(0);
            controller->setCaptureMode(CaptureMode::voice);
            QCoro::waitFor(controller->checkPermissionAndLoadDisplays());
        }
        return *controller;
    }
    void TearDown() override
    {
        controller.reset();
        SandboxTest::TearDown();
    }
    void startTake()
    {
        QCoro::waitFor(studio().start());
        ASSERT_EQ(studio().phase().kind(), RecordingPhase::Kind::recording) << studio().phase().payload().toStdString();
    }
    // The voice recorder hears the tone through the sound server; the take starts.
    void listenTo(TonePlayer& tone)
    {
        QDir().mkpath(path(QStringLiteral("tone")));
        ASSERT_TRUE(tone.start(path(QStringLiteral("tone"))));
        services.voiceCapture = [] { return std::make_unique<PulseAudioCapture>(); };
        services.microphoneList = {device(tone.microphone())};
        startTake();
    }
    // `seconds` of tone blocks from the fake microphone, stamped back to back from now on.
    void speak(double seconds)
    {
        const double from = HostClock::nowSeconds();
        for (int i = 0; i < static_cast<int>(seconds * 100); ++i)
            FakeAudioCapture::push(*services.voiceMicrophone, from + i * 0.01);
    }
    void stopTake(bool byRemote = false)
    {
        studio().remote().setStopCameFromRemote(byRemote);
        QCoro::waitFor(studio().stop());
    }
    const VoiceTake& voiceTake() { return static_cast<const VoiceTake&>(*studio().activeTake()); }
    QString recordings(const QString& name) const { return QDir(path(QStringLiteral("Recordings"))).filePath(name); }
    static QJsonObject readJson(const QString& file)
    {
        QFile in(file);
        return in.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(in.readAll()).object() : QJsonObject();
    }

    FakeAccessProbe access;
    FakeTakeServices services;
    RecordedSounds sounds;
    PrompterText prompter;
    std::unique_ptr<RecordingController> controller;
};

TEST_F(VoiceTakeFlow, ATakeUnderTheSoundServerWritesMonoAacAndItsSidecar)
{
    if (!PrivateNullSink::testServerRunning())
        GTEST_SKIP() << "no test sound server";
    TonePlayer tone;
    listenTo(tone);
    EXPECT_EQ(studio().elapsed(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    stopTake();
    const QString audio = recordings(QStringLiteral("video 1/voice.m4a"));
    ASSERT_EQ(studio().phase(), RecordingPhase::finished(audio)) << studio().phase().payload().toStdString();
    EXPECT_EQ(studio().lastFinalURL(), audio);

    const QJsonObject probe = MovieProbe::streams(audio);
    const QJsonArray streams = probe[QStringLiteral("streams")].toArray();
    ASSERT_EQ(streams.size(), 1);
    MovieProbe::expectFields(streams[0].toObject(), {{"codec_name", "aac"}, {"sample_rate", "48000"}, {"channels", "1"}});
    MovieProbe::Sound sound;
    ASSERT_TRUE(MovieProbe::decodeAudio(audio, 0, sound));
    const ToneFile::Breaks breaks = ToneFile::breaksIn(sound.mono, sound.sampleRate, sound.startSeconds, 440);
    EXPECT_EQ(breaks.dropouts, 0);
    EXPECT_EQ(breaks.phaseJumps, 0);

    const QJsonObject sidecar = readJson(recordings(QStringLiteral("video 1/voice.json")));
    EXPECT_EQ(sidecar.keys(), (QStringList{"channel", "durationSeconds", "file", "long_form", "microphone", "mode", "recordedAt", "script_id",
                                  "script_written_at", "source", "stoppedBy", "tailTrimmedSeconds", "video_folder", "voice_track"}));
    EXPECT_EQ(sidecar[QStringLiteral("voice_track")], QJsonValue(true));
    EXPECT_EQ(sidecar[QStringLiteral("mode")], QJsonValue(QStringLiteral("voice")));
    EXPECT_EQ(sidecar[QStringLiteral("script_id")], QJsonValue(QString()));
    EXPECT_EQ(sidecar[QStringLiteral("script_written_at")], QJsonValue(QString()));
    EXPECT_EQ(sidecar[QStringLiteral("channel")], QJsonValue(QStringLiteral("ai")));
    EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$)")).match(sidecar[QStringLiteral("recordedAt")].toString()).hasMatch());
    EXPECT_FALSE(sidecar[QStringLiteral("microphone")].toString().isEmpty());
    EXPECT_EQ(sidecar[QStringLiteral("stoppedBy")], QJsonValue(QStringLiteral("app")));
    EXPECT_EQ(sidecar[QStringLiteral("tailTrimmedSeconds")], QJsonValue(0));
    EXPECT_EQ(sidecar[QStringLiteral("file")], QJsonValue(QStringLiteral("voice.m4a")));
    EXPECT_EQ(sidecar[QStringLiteral("source")], QJsonValue(QStringLiteral("telmira-voice")));
    // The microphone flows when the take starts, so the file runs from start to stop.
    const double duration = MovieProbe::number(probe[QStringLiteral("format")].toObject(), QStringLiteral("duration"));
    EXPECT_NEAR(duration, 1.5, 0.2);
    EXPECT_NEAR(sidecar[QStringLiteral("durationSeconds")].toDouble(-1), duration, 0.05);
    EXPECT_EQ(sidecar[QStringLiteral("long_form")], QJsonValue(true));
    EXPECT_EQ(sidecar[QStringLiteral("video_folder")], QJsonValue(QStringLiteral("video 1")));
    EXPECT_TRUE(readLog().contains(QStringLiteral("voice-only start -> video 1 take '', mic ") + tone.microphone()));
    EXPECT_TRUE(readLog().contains(QStringLiteral("voice track finished video 1: %1s, script none").arg(sidecar[QStringLiteral("durationSeconds")].toDouble(), 0, 'f', 1)));
}

TEST_F(VoiceTakeFlow, ARemoteStopUnderTheSoundServerLosesItsLastSecondAndAHalf)
{
    if (!PrivateNullSink::testServerRunning())
        GTEST_SKIP() << "no test sound server";
    TonePlayer tone;
    listenTo(tone);
    std::this_thread::sleep_for(std::chrono::milliseconds(5000));
    stopTake(true);
    const QString audio = recordings(QStringLiteral("video 1/voice.m4a"));
    ASSERT_EQ(studio().phase(), RecordingPhase::finished(audio)) << studio().phase().payload().toStdString();
    const double duration = MovieProbe::number(MovieProbe::streams(audio)[QStringLiteral("format")].toObject(), QStringLiteral("duration"));
    EXPECT_NEAR(duration, 5.0 - 1.5, 0.2);
    const QJsonObject sidecar = readJson(recordings(QStringLiteral("video 1/voice.json")));
    EXPECT_EQ(sidecar[QStringLiteral("stoppedBy")], QJsonValue(QStringLiteral("remote-button")));
    EXPECT_NEAR(sidecar[QStringLiteral("tailTrimmedSeconds")].toDouble(), 1.5, 0.05);
    EXPECT_NEAR(sidecar[QStringLiteral("durationSeconds")].toDouble(), duration, 0.05);
    EXPECT_FALSE(QFileInfo::exists(recordings(QStringLiteral("video 1/stop.json"))));
}

TEST_F(VoiceTakeFlow, VoiceTakesShareTheFoldersNumberingWithVideoTakes)
{
    startTake();
    speak(0.5);
    stopTake();
    const QString videoFolder = recordings(QStringLiteral("video 1"));
    EXPECT_TRUE(QFileInfo::exists(videoFolder + QStringLiteral("/voice.m4a")));
    studio().setDestinationFolder(videoFolder);
    startTake();
    speak(0.5);
    stopTake();
    EXPECT_EQ(studio().lastFinalURL(), videoFolder + QStringLiteral("/voice-2.m4a"));
    const QJsonObject second = readJson(videoFolder + QStringLiteral("/voice-2.json"));
    EXPECT_EQ(second[QStringLiteral("file")], QJsonValue(QStringLiteral("voice-2.m4a")));

    const QString videos = recordings(QStringLiteral("video 9"));
    QDir().mkpath(videos);
    for (const char* name : {"raw.mov", "raw-2.mov"}) {
        QFile file(videos + QLatin1Char('/') + QLatin1String(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    studio().setDestinationFolder(videos);
    startTake();
    speak(0.5);
    stopTake();
    EXPECT_EQ(studio().lastFinalURL(), videos + QStringLiteral("/voice-3.m4a"));
    EXPECT_TRUE(QFileInfo::exists(videos + QStringLiteral("/voice-3.json")));
}

TEST_F(VoiceTakeFlow, NothingOfAVoiceTakeIsQueuedForFinishingWhetherItStopsOrFails)
{
    std::vector<std::pair<size_t, int>> seen;
    startTake();
    studio().finishQueue().setTap([&](const std::shared_ptr<FinishWork>&) {
        seen.emplace_back(studio().finishJobs().size(), studio().finishingCount());
        return false;
    });
    speak(0.5);
    stopTake(true);
    const QString audio = recordings(QStringLiteral("video 1/voice.m4a"));
    ASSERT_EQ(studio().phase(), RecordingPhase::finished(audio)) << studio().phase().payload().toStdString();
    EXPECT_EQ(readJson(recordings(QStringLiteral("video 1/voice.json")))[QStringLiteral("stoppedBy")], QJsonValue(QStringLiteral("remote-button")));

    // A take whose microphone is lost keeps its sound the same way.
    studio().setDestinationFolder(recordings(QStringLiteral("video 1")));
    startTake();
    speak(0.5);
    services.voiceMicrophone->onFailure(QStringLiteral("the device went away"));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return studio().phase().kind() == RecordingPhase::Kind::failed; }));
    EXPECT_TRUE(QFileInfo::exists(recordings(QStringLiteral("video 1/voice-2.json"))));

    // Both finished inside the take itself: no row, no Retry, nothing counted, nothing noted for a relaunch.
    EXPECT_EQ(seen, (std::vector<std::pair<size_t, int>>{{0u, 0}, {0u, 0}}));
    EXPECT_TRUE(studio().finishJobs().empty());
    EXPECT_EQ(studio().finishingCount(), 0);
    EXPECT_TRUE(QDir(recordings(QStringLiteral("video 1"))).entryList({QStringLiteral(".*.pending")}, QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(VoiceTakeFlow, AMicrophoneLostMidTakeKeepsTheSoundAndSaysSo)
{
    startTake();
    speak(1.0);
    services.voiceMicrophone->onFailure(QStringLiteral("the device went away"));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return studio().phase().kind() == RecordingPhase::Kind::failed; }));
    const QString audio = recordings(QStringLiteral("video 1/voice.m4a"));
    EXPECT_EQ(studio().phase().payload(),
        QStringLiteral("VOICE TAKE FAILED — the sound up to the failure was kept in voice.m4a. Press Record again. (the device went away)"));
    EXPECT_EQ(sounds.played, QStringList{QStringLiteral("Basso")});
    EXPECT_FALSE(studio().takes().isTickerRunning());
    EXPECT_FALSE(voiceTake().isRunning());
    EXPECT_NEAR(MovieProbe::number(MovieProbe::streams(audio)[QStringLiteral("format")].toObject(), QStringLiteral("duration")), 1.0, 0.1);
    EXPECT_TRUE(QFileInfo::exists(recordings(QStringLiteral("video 1/voice.json"))));
    // The studio is free for the next take.
    startTake();
}

// The sound server went away under the numbers: the start ends at once with the lost source's reason, never
// a silent take. A take that failed before it changes nothing about that.
TEST_F(VoiceTakeFlow, AMicrophoneLostInTheCountdownEndsTheStartAtOnceWithItsReason)
{
    startTake();
    speak(0.5);
    services.voiceMicrophone->onFailure(QStringLiteral("the device went away"));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return studio().phase().kind() == RecordingPhase::Kind::failed; }));
    ASSERT_FALSE(voiceTake().isRunning());

    studio().setCountdownSeconds(3);
    QCoro::Task<> starting = studio().start();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return studio().phase().kind() == RecordingPhase::Kind::countingDown && services.voiceMicrophone->running; }));
    // The microphone is heard for a moment while the numbers run (its opening has returned), then the
    // sound server goes.
    QElapsedTimer heard;
    heard.start();
    while (heard.elapsed() < 300) {
        FakeAudioCapture::push(*services.voiceMicrophone, HostClock::nowSeconds());
        QThread::msleep(10);
        QCoreApplication::processEvents();
    }
    const double lost = HostClock::nowSeconds();
    services.voiceMicrophone->onFailure(QStringLiteral("the sound source mic stopped"));
    QCoro::waitFor(starting);
    EXPECT_LT(HostClock::nowSeconds() - lost, 1.0) << "the numbers end when the sound is lost, not at their end";
    EXPECT_EQ(studio().phase(), RecordingPhase::failed(QStringLiteral("The microphone mic stopped before the take began: the sound source mic stopped.")));
    EXPECT_FALSE(voiceTake().isRunning());
    EXPECT_FALSE(services.voiceMicrophone->running);
    EXPECT_FALSE(QDir(recordings(QStringLiteral("video 2"))).exists());
}

TEST_F(VoiceTakeFlow, AFolderRenamedWhileTheTakeRecordsKeepsTheWholeSoundWithItsSidecarWhereTheFolderNowLies)
{
    startTake();
    // The file opens with the first block; the folder is renamed once it is there, and the sound goes on.
    const double from = HostClock::nowSeconds();
    FakeAudioCapture::push(*services.voiceMicrophone, from);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return QFileInfo::exists(recordings(QStringLiteral("video 1/voice.m4a"))); }));
    ASSERT_TRUE(QDir().rename(recordings(QStringLiteral("video 1")), recordings(QStringLiteral("voice intro"))));
    for (int i = 1; i < 100; ++i)
        FakeAudioCapture::push(*services.voiceMicrophone, from + i * 0.01);
    stopTake();

    const QString audio = recordings(QStringLiteral("voice intro/voice.m4a"));
    ASSERT_EQ(studio().phase(), RecordingPhase::finished(audio)) << studio().phase().payload().toStdString();
    EXPECT_EQ(studio().lastFinalURL(), audio);
    EXPECT_NEAR(MovieProbe::number(MovieProbe::streams(audio)[QStringLiteral("format")].toObject(), QStringLiteral("duration")), 1.0, 0.05);
    const QJsonObject sidecar = readJson(recordings(QStringLiteral("voice intro/voice.json")));
    EXPECT_EQ(sidecar[QStringLiteral("file")], QJsonValue(QStringLiteral("voice.m4a")));
    EXPECT_EQ(sidecar[QStringLiteral("video_folder")], QJsonValue(QStringLiteral("voice intro")));
    EXPECT_NEAR(sidecar[QStringLiteral("durationSeconds")].toDouble(), 1.0, 0.05);
    EXPECT_FALSE(QFileInfo::exists(recordings(QStringLiteral("video 1"))));

    // A folder deleted while it records is said to be gone, not a take that saved nothing.
    startTake();
    FakeAudioCapture::push(*services.voiceMicrophone, HostClock::nowSeconds());
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return QFileInfo::exists(recordings(QStringLiteral("video 1/voice.m4a"))); }));
    ASSERT_TRUE(QDir(recordings(QStringLiteral("video 1"))).removeRecursively());
    speak(0.2);
    stopTake();
    EXPECT_EQ(studio().phase(), RecordingPhase::failed(QStringLiteral(
                                    "VOICE TAKE FAILED — the take's folder was moved away or deleted while it recorded: voice.m4a can no longer be found. "
                                    "Press Record again.")));
    EXPECT_FALSE(QFileInfo::exists(recordings(QStringLiteral("video 1"))));
}

TEST_F(VoiceTakeFlow, AStopThatGetsNoFileSaysNothingWasSavedAndTheFailureReactionStaysOut)
{
    startTake();
    stopTake(); // no sound ever arrived: the recorder's stop reports it
    QCoreApplication::processEvents();
    EXPECT_EQ(studio().phase(), RecordingPhase::failed(QStringLiteral("VOICE TRACK FAILED — nothing was saved. Press Record again.")));
    EXPECT_TRUE(sounds.played.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(recordings(QStringLiteral("video 1"))));
}

TEST_F(VoiceTakeFlow, DiscardRemovesTheTakesFilesAndTheFolderItMade)
{
    startTake();
    speak(0.5);
    QCoro::waitFor(studio().discard());
    EXPECT_EQ(studio().phase().kind(), RecordingPhase::Kind::idle);
    EXPECT_FALSE(QFileInfo::exists(recordings(QStringLiteral("video 1"))));
    EXPECT_TRUE(readLog().contains(QStringLiteral("discarded take in video 1")));

    // In a folder of the user's the other take stays.
    const QString videoFolder = recordings(QStringLiteral("video 4"));
    QDir().mkpath(videoFolder);
    QFile(videoFolder + QStringLiteral("/final.mov")).open(QIODevice::WriteOnly);
    studio().setDestinationFolder(videoFolder);
    startTake();
    speak(0.5);
    QCoro::waitFor(studio().discard());
    EXPECT_EQ(QDir(videoFolder).entryList(QDir::Files), QStringList{QStringLiteral("final.mov")});
}

TEST_F(VoiceTakeFlow, NoPauseAndTheStartsRefusals)
{
    startTake();
    studio().togglePause();
    EXPECT_EQ(studio().phase().kind(), RecordingPhase::Kind::recording);
    speak(0.3);
    stopTake();

    services.microphoneList.clear();
    QCoro::waitFor(studio().start());
    EXPECT_EQ(studio().phase(), RecordingPhase::failed(QStringLiteral("No microphone found.")));
    EXPECT_FALSE(readLog().contains(QStringLiteral("No microphone found."))) << "a missing device is shown, not logged";

    access.microphoneState = Permissions::State::denied;
    QCoro::waitFor(studio().start());
    EXPECT_TRUE(studio().phase().payload().startsWith(QStringLiteral("Microphone access is off, so the voice take would be silent.")));
    EXPECT_TRUE(readLog().contains(QStringLiteral("voice-only start aborted: microphone permission denied")));
}

TEST(VoiceSidecarTest, AShortsVoiceTrackNamesItsScriptAndNoFolder)
{
    NextTake script;
    script.scriptID = QStringLiteral("ep-3");
    script.writtenAtText = QStringLiteral("2026-01-31T09:15:00.250+01:00");
    script.channel = RecordingChannel::dorvelTalk;
    VoiceSidecar::Facts facts;
    facts.script = script;
    facts.channel = RecordingChannel::inkwell;
    facts.startedAt = QDateTime(QDate(2026, 1, 31), QTime(10, 0, 5, 700), Qt::OffsetFromUTC, 3600);
    facts.audioPath = QStringLiteral("/x/2026-01-31-ep-3-short-1/voice.m4a");
    const QJsonObject object = VoiceSidecar::object(facts);
    EXPECT_EQ(object[QStringLiteral("script_id")], QJsonValue(QStringLiteral("ep-3")));
    EXPECT_EQ(object[QStringLiteral("channel")], QJsonValue(QStringLiteral("dorvel-talk")));
    EXPECT_EQ(object[QStringLiteral("script_written_at")], QJsonValue(script.writtenAtText));
    EXPECT_EQ(object[QStringLiteral("recordedAt")], QJsonValue(QStringLiteral("2026-01-31T09:00:05Z")));
    EXPECT_FALSE(object.contains(QStringLiteral("durationSeconds")));
    EXPECT_FALSE(object.contains(QStringLiteral("long_form")));
    EXPECT_FALSE(object.contains(QStringLiteral("video_folder")));

    // Written whole or not at all: a folder that cannot take the file keeps nothing half-written.
    QTemporaryDir folder;
    const QString sidecar = folder.filePath(QStringLiteral("voice.json"));
    VoiceSidecar::write(sidecar, facts);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("voice.json")});
    VoiceSidecar::write(folder.filePath(QStringLiteral("missing/voice.json")), facts);
    EXPECT_FALSE(QFileInfo::exists(folder.filePath(QStringLiteral("missing"))));
}

TEST_F(VoiceTakeFlow, AVoiceTakeCountsOnceForTheQuitAlertUntilItsSoundIsFinishedAndTheStudiosEndKeepsItWhole)
{
    startTake();
    speak(1.0);
    EXPECT_EQ(studio().takesStillFinishing(), 1);
    // What a quit would count at each turn of the main loop until the take has ended.
    std::set<int> counts;
    QTimer turn;
    QObject::connect(&turn, &QTimer::timeout, [&] {
        if (studio().phase().isBusy())
            counts.insert(studio().takesStillFinishing());
    });
    turn.start(0);
    QCoro::waitFor(studio().windDown(true));
    turn.stop();
    // Its sound's finish runs inside its stop, unlisted: the take alone is counted, once, until it is done.
    EXPECT_EQ(counts, std::set<int>{1});
    const QString audio = recordings(QStringLiteral("video 1/voice.m4a"));
    ASSERT_EQ(studio().phase(), RecordingPhase::finished(audio)) << studio().phase().payload().toStdString();
    EXPECT_EQ(studio().takesStillFinishing(), 0);
    EXPECT_NEAR(readJson(recordings(QStringLiteral("video 1/voice.json")))[QStringLiteral("durationSeconds")].toDouble(), 1.0, 0.1);
}

} // namespace

namespace {

TEST_F(VoiceTakeFlow, AHandoffArrivingBetweenRecordAndTheTakeFolderWaitsForTheStudioToBeIdle)
{
    RecordingController& c = studio();
    const QString mine = recordings(QStringLiteral("video 2"));
    QDir().mkpath(mine);
    c.setDestinationFolder(mine);
    const QString handed = recordings(QStringLiteral("video 5"));
    QDir().mkpath(handed);
    QFile script(handed + QStringLiteral("/script.md"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("Words of the handoff.");
    script.close();
    QFile file(recordings(QStringLiteral(".next_recording.json")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral(R"({"video_folder":"%1","written_at":"%2","title":"Demo","teleprompter_file":"script.md"})")
                   .arg(handed, QDateTime::currentDateTimeUtc().addSecs(-5).toString(Qt::ISODate))
                   .toUtf8());
    file.close();
    const std::optional<NextRecording> record = c.handoffs().loadNextRecording();
    ASSERT_TRUE(record);
    c.handoffs().markRecordingHandled(record);

    // The watcher makes the handoff's folder off the main thread; Record is pressed meanwhile. The reader's
    // one thread is held until Record was pressed, so a fast reader cannot finish before it.
    const auto reader = std::make_shared<QSemaphore>();
    WorkerPool::handoffs().setMaxThreadCount(1);
    WorkerPool::handoffs().run([reader] { reader->acquire(); });
    // However the test ends, the held thread goes on and the process's pool gets its threads back.
    const std::shared_ptr<void> restoring(nullptr, [reader](void*) {
        reader->release();
        WorkerPool::handoffs().setMaxThreadCount(QThread::idealThreadCount());
    });
    QCoro::Task<> applying = c.handoffs().applyNextRecording(*record);
    QCoro::Task<> starting = c.start();
    ASSERT_TRUE(c.takeUnderWay());
    reader->release();
    QCoro::waitFor(std::move(starting));
    ASSERT_EQ(c.phase().kind(), RecordingPhase::Kind::recording) << c.phase().payload().toStdString();
    QCoro::waitFor(std::move(applying));
    // The take keeps the folder and script it started with.
    ASSERT_TRUE(c.activeTake()->folder());
    EXPECT_EQ(c.activeTake()->folder()->path, mine);
    EXPECT_NE(c.destinationFolder(), std::optional<QString>(handed));
    EXPECT_TRUE(prompter.script.isEmpty());
    speak(0.5);
    stopTake();
    EXPECT_EQ(c.lastFinalURL(), mine + QStringLiteral("/voice.m4a"));
    EXPECT_FALSE(c.takeUnderWay());

    // Idle again: the held handoff applies.
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return c.destinationFolder() == std::optional<QString>(handed); }, 3000));
    EXPECT_EQ(prompter.script, QStringLiteral("Words of the handoff."));
    EXPECT_EQ(readLog().count(QStringLiteral("longform: the studio is idle, applying the held handoff \"Demo\"")), 1);
}

} // namespace
