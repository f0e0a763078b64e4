#include "capture/ScreenRecorder.h"
#include "platform/audio/PulseAudioCapture.h"
#include "platform/audio/PulseSystemAudioCapture.h"
#include "platform/x11/X11ScreenCapture.h"
#include "platform/x11/XcbConnection.h"
#include "support/FlashToneClient.h"
#include "support/MovieProbe.h"
#include "support/PrivateNullSink.h"
#include "support/ReferenceRecording.h"
#include "support/TestEnvironment.h"
#include "support/ToneFile.h"
#include "support/X11TestWindow.h"
#include "support/XvfbServer.h"
#include "takedata/RecordingClock.h"

#include <QJsonArray>
#include <QProcess>

#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <unistd.h>

namespace {

class ScreenTake : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        if (!PrivateNullSink::testServerRunning())
            GTEST_SKIP() << "the test PulseAudio server is not running";
        server = XvfbServer::start(640, 360);
        if (!server)
            GTEST_SKIP() << "Xvfb could not start";
    }

    // The real screen grabber and sound sources, both sounds asked for.
    std::unique_ptr<ScreenRecorder> recorder()
    {
        ScreenRecorder::Sources sources;
        sources.screen = std::make_unique<X11ScreenCapture>(server->displayName());
        sources.microphone = std::make_unique<PulseAudioCapture>();
        sources.systemAudio = std::make_unique<PulseSystemAudioCapture>();
        return std::make_unique<ScreenRecorder>(clock, std::move(sources));
    }

    static ScreenRecorder::Options options()
    {
        ScreenRecorder::Options o;
        o.display = {1, QStringLiteral("test"), QRect(0, 0, 640, 360), true};
        o.targetHeight = 1080;
        o.frameRate = 60;
        o.showsCursor = false;
        return o;
    }

    static ScreenRecorder::StopResult stop(ScreenRecorder& recorder)
    {
        auto future = recorder.stop();
        future.waitForFinished();
        return future.result();
    }

    RecordingClock clock;
    std::unique_ptr<XvfbServer> server;
};

bool isRed(QRgb pixel) { return qRed(pixel) > 180 && qGreen(pixel) < 80 && qBlue(pixel) < 80; }

} // namespace

TEST_F(ScreenTake, aFlashAndItsToneLandWithinOneFrameOfEachOtherInTheMovie)
{
    auto sink = PrivateNullSink::load(QStringLiteral("take_sync"));
    ASSERT_TRUE(sink);
    auto take = recorder();
    auto o = options();
    o.captureSystemAudio = false;
    o.microphoneDeviceID = sink->monitor();
    const QString raw = path(QStringLiteral("raw.mov"));
    ASSERT_FALSE(take->start(o, raw));
    auto client = FlashToneClient::start(server->displayName(), QRect(270, 130, 100, 100), sink->name(), 4.0);
    ASSERT_TRUE(client);
    ASSERT_TRUE(client->waitUntilDone(10));
    client.reset();
    const auto result = stop(*take);
    ASSERT_EQ(result.url, raw);

    std::vector<double> flashes;
    bool white = false;
    ASSERT_TRUE(MovieProbe::decodeVideo(raw, [&](double t, const QImage& picture) {
        const bool now = qGray(picture.pixel(320, 180)) > 200;
        if (now && !white)
            flashes.push_back(t);
        white = now;
    }));
    MovieProbe::Sound sound;
    ASSERT_TRUE(MovieProbe::decodeAudio(raw, 0, sound));
    std::vector<double> tones;
    double lastLoud = -1;
    for (size_t i = 0; i < sound.mono.size(); ++i) {
        const double t = sound.startSeconds + static_cast<double>(i) / sound.sampleRate;
        if (std::fabs(sound.mono[i]) > 0.05) {
            if (t - lastLoud > 0.5)
                tones.push_back(t);
            lastLoud = t;
        }
    }
    ASSERT_EQ(flashes.size(), 2u);
    ASSERT_EQ(tones.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        std::printf("raw.mov flash %zu: picture - sound = %+.1f ms\n", i, (flashes[i] - tones[i]) * 1000);
        EXPECT_LE(std::fabs(flashes[i] - tones[i]), 1.0 / 60 + 1e-6);
    }
}

// Also the file's make-up: an HEVC picture from zero and two stereo AAC tracks.
TEST_F(ScreenTake, twentySecondsOfSteadyToneOnBothTracksHaveNoBreaksAndStartWithThePicture)
{
    auto microphoneSink = PrivateNullSink::load(QStringLiteral("steady_mic"), true);
    ASSERT_TRUE(microphoneSink);
    const QString microphoneTone = path(QStringLiteral("mic.wav")), systemTone = path(QStringLiteral("system.wav"));
    ASSERT_TRUE(ToneFile::write(microphoneTone, 24.0, 440));
    ASSERT_TRUE(ToneFile::write(systemTone, 24.0, 660));
    QProcess microphonePlayer, systemPlayer;
    microphonePlayer.start(QStringLiteral("paplay"), {QStringLiteral("--device=") + microphoneSink->name(), microphoneTone});
    systemPlayer.start(QStringLiteral("paplay"), {QStringLiteral("--device=olvennar_system"), systemTone});
    std::this_thread::sleep_for(std::chrono::milliseconds(1200)); // both tones already sound when the take starts

    auto take = recorder();
    auto o = options();
    o.microphoneDeviceID = microphoneSink->microphone();
    const QString raw = path(QStringLiteral("raw.mov"));
    // The same two sources recorded plainly beside the take: only what they lack is the studio's fault.
    auto microphoneHeard = ReferenceRecording::start(microphoneSink->microphone(), path(QStringLiteral("mic.raw")));
    auto systemHeard = ReferenceRecording::startOfProgram(systemPlayer.processId(), path(QStringLiteral("system.raw")));
    ASSERT_TRUE(microphoneHeard && systemHeard);
    const auto takeAsked = std::chrono::steady_clock::now();
    ASSERT_FALSE(take->start(o, raw));
    const auto takeStarted = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(20));
    const auto result = stop(*take);
    const std::vector<float> heard[] = {microphoneHeard->stop(), systemHeard->stop()};
    // The plain recordings began up to half a second after parec was asked to start.
    const auto secondsBefore = [](auto later, const ReferenceRecording& recording) {
        return std::chrono::duration<double>(later - recording.launchedAt()).count();
    };
    const double leadsFrom[] = {secondsBefore(takeAsked, *microphoneHeard) - 0.5, secondsBefore(takeAsked, *systemHeard) - 0.5};
    const double leadsTo[] = {secondsBefore(takeStarted, *microphoneHeard) + 0.05, secondsBefore(takeStarted, *systemHeard) + 0.05};
    microphonePlayer.kill();
    systemPlayer.kill();
    microphonePlayer.waitForFinished();
    systemPlayer.waitForFinished();
    ASSERT_FALSE(result.error) << result.error->errorDescription().toStdString();
    ASSERT_EQ(result.url, raw);
    EXPECT_EQ(take->statistics().framesDropped, 0);

    const QJsonObject probe = MovieProbe::streams(raw);
    const QJsonArray streams = probe[QStringLiteral("streams")].toArray();
    ASSERT_EQ(streams.size(), 3);
    MovieProbe::expectFields(streams[0].toObject(), {{"codec_name", "hevc"}, {"width", "640"}, {"height", "360"}});
    EXPECT_NEAR(MovieProbe::number(streams[0].toObject(), QStringLiteral("start_time")), 0.0, 1e-6);
    for (int i : {1, 2}) {
        MovieProbe::expectFields(streams[i].toObject(), {{"codec_name", "aac"}, {"sample_rate", "48000"}, {"channels", "2"}});
        // AAC carries its 1024 priming samples ahead of 0.
        EXPECT_NEAR(MovieProbe::number(streams[i].toObject(), QStringLiteral("start_time")), -1024.0 / 48000, 1e-3) << "stream " << i;
    }
    EXPECT_NEAR(MovieProbe::number(probe[QStringLiteral("format")].toObject(), QStringLiteral("duration")), 20.0, 0.3);
    const double frequencies[] = {440, 660};
    for (int track : {0, 1}) {
        MovieProbe::Sound sound;
        ASSERT_TRUE(MovieProbe::decodeAudio(raw, track, sound));
        const ToneFile::Breaks breaks = ToneFile::breaksIn(sound.mono, sound.sampleRate, sound.startSeconds, frequencies[track]);
        const ToneFile::Breaks serverBreaks = ToneFile::breaksIn(heard[track], 48000, 0, frequencies[track]);
        std::printf("track %d: tone from %+.1f ms, %d dropouts, %d phase jumps (the server's own: %d, %d)\n", track,
            breaks.firstLoudSeconds * 1000, breaks.dropouts, breaks.phaseJumps, serverBreaks.dropouts, serverBreaks.phaseJumps);
        EXPECT_GE(breaks.firstLoudSeconds, -0.001) << "track " << track;
        EXPECT_LE(breaks.firstLoudSeconds, 0.020) << "track " << track;
        // A break the server put into the source itself (PipeWire's, now and then, on a virtual machine) is not the studio's.
        const std::vector<double> studios = ReferenceRecording::breaksNotHeard(breaks.at, serverBreaks.at, leadsFrom[track], leadsTo[track]);
        for (double t : studios)
            ADD_FAILURE() << "track " << track << ": a break at " << t << " s that a plain recording of the source did not hear";
    }
    // The microphone's start-up latency settled without a step in either track.
    EXPECT_FALSE(readLog().contains(QStringLiteral("timeline moved")));
}

// The studio's own windows and the companion app's private windows are painted over from what lies
// beneath them, so only the red window underneath reaches raw.mov.
TEST_F(ScreenTake, TheStudiosOwnAndPrivateKorvathWindowsNeverReachTheMovie)
{
    auto connection = XcbConnection::open(server->displayName().constData());
    ASSERT_TRUE(connection);
    X11TestWindow red(*connection, QRect(0, 0, 640, 360), 0xFF0000, {QStringLiteral("canvas"), QStringLiteral("Canvas"), QStringLiteral("red"), 0});
    X11TestWindow studio(*connection, QRect(60, 60, 200, 150), 0x0000FF,
        {QStringLiteral("olvennar"), QStringLiteral("Olvennar"), QStringLiteral("Teleprompter"), getpid()});
    X11TestWindow korvath(*connection, QRect(360, 120, 220, 160), 0x00FF00,
        {QStringLiteral("korvath"), QStringLiteral("Korvath"), QStringLiteral("x \u00B7 private"), 0});
    red.map();
    studio.map();
    korvath.map();

    auto take = recorder();
    auto o = options();
    o.captureSystemAudio = false;
    const QString raw = path(QStringLiteral("raw.mov"));
    ASSERT_FALSE(take->start(o, raw));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ASSERT_EQ(stop(*take).url, raw);

    int frames = 0, clean = 0;
    ASSERT_TRUE(MovieProbe::decodeVideo(raw, [&](double, const QImage& picture) {
        ++frames;
        clean += isRed(picture.pixel(160, 135)) && isRed(picture.pixel(470, 200)) && isRed(picture.pixel(20, 20)) && isRed(picture.pixel(620, 340));
    }));
    EXPECT_GT(frames, 60);
    EXPECT_EQ(clean, frames);
}
