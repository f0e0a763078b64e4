// A recorder's owner may go at any moment, also while the recorder's stop still runs on the take's pool:
// the movie is finished whole first, every source is stopped once, and nothing is left running on the
// recorder. Each case repeats its race, the owner letting go at a slightly different moment each round.
#include "capture/AudioOnlyRecorder.h"
#include "capture/ScreenRecorder.h"
#include "platform/audio/PulseAudioCapture.h"
#include "platform/audio/PulseSystemAudioCapture.h"
#include "platform/system/WorkerPool.h"
#include "platform/x11/X11ScreenCapture.h"
#include "platform/x11/XcbConnection.h"
#include "takedata/RecordingClock.h"
#include "support/FakeAudioCapture.h"
#include "support/FakeScreenCapture.h"
#include "support/MovieProbe.h"
#include "support/PrivateNullSink.h"
#include "support/TestEnvironment.h"
#include "support/XvfbServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

// The owner lets go at once, after a yield, or after a short while, so the stop on the pool is caught
// before it began, while it drains the queues and while it closes the file.
void letGoAfter(int round)
{
    switch (round % 4) {
    case 0:
        break;
    case 1:
        std::this_thread::yield();
        break;
    case 2:
        std::this_thread::sleep_for(1ms);
        break;
    default:
        std::this_thread::sleep_for(std::chrono::microseconds(200 * (round % 13)));
        break;
    }
}

// Seconds of the first audio track the file holds, or -1 when it cannot be read.
double soundSecondsIn(const QString& path)
{
    MovieProbe::Sound sound;
    if (!MovieProbe::decodeAudio(path, 0, sound) || sound.sampleRate <= 0)
        return -1;
    return sound.startSeconds + static_cast<double>(sound.mono.size()) / sound.sampleRate;
}

std::vector<double> pictureTimesIn(const QString& path)
{
    std::vector<double> times;
    if (!MovieProbe::decodeVideo(path, [&](double seconds, const QImage&) { times.push_back(seconds); }))
        times.clear();
    return times;
}

class RecorderTeardown : public SandboxTest {
protected:
    struct ScreenRound {
        RecordingClock clock;
        std::shared_ptr<FakeScreenCapture::State> screen = std::make_shared<FakeScreenCapture::State>();
        std::shared_ptr<FakeAudioCapture::State> microphone = std::make_shared<FakeAudioCapture::State>();
        std::unique_ptr<ScreenRecorder> recorder;
    };

    static ScreenRecorder::Options screenOptions()
    {
        ScreenRecorder::Options options;
        options.display = {1, QStringLiteral("fake"), QRect(0, 0, 320, 180), true};
        options.frameRate = 30;
        options.captureSystemAudio = false;
        return options;
    }

    // A started take of half a second: 15 pictures, each written before the next, and the microphone's
    // 10 ms blocks up to the last picture's end.
    static void recordHalfASecond(ScreenRound& round, const QString& raw)
    {
        ScreenRecorder::Sources sources;
        sources.screen = std::make_unique<FakeScreenCapture>(round.screen);
        sources.microphone = std::make_unique<FakeAudioCapture>(round.microphone);
        round.recorder = std::make_unique<ScreenRecorder>(round.clock, std::move(sources));
        ASSERT_FALSE(round.recorder->start(screenOptions(), raw));
        for (int i = 0; i < 15; ++i) {
            const double t = 10.0 + i / 30.0;
            for (int k = 0; k < 3; ++k)
                FakeAudioCapture::push(*round.microphone, 10.0 + (i * 3 + k) * 0.01);
            const int64_t before = round.recorder->statistics().framesWritten;
            FakeScreenCapture::push(*round.screen, t);
            ASSERT_TRUE(TestEnvironment::waitUntil([&] { return round.recorder->statistics().framesWritten > before; }, 3000));
        }
    }

    // What recordHalfASecond() delivered is all in the file.
    static void expectWholeHalfSecond(const QString& raw, int round)
    {
        const std::vector<double> pictures = pictureTimesIn(raw);
        ASSERT_EQ(pictures.size(), 15u) << "round " << round;
        EXPECT_NEAR(pictures.back(), 14.0 / 30, 1e-3) << "round " << round;
        EXPECT_GE(soundSecondsIn(raw), 0.45 - 0.03) << "round " << round;
    }
};

} // namespace

TEST_F(RecorderTeardown, aScreenRecorderDestroyedWhileItsStopRunsFinishesItsMovieFirst)
{
    for (int round = 0; round < 60; ++round) {
        const QString raw = path(QStringLiteral("raw-%1.mov").arg(round));
        ScreenRound take;
        recordHalfASecond(take, raw);
        if (HasFatalFailure())
            return;
        QFuture<ScreenRecorder::StopResult> stopping = take.recorder->stop();
        letGoAfter(round);
        take.recorder.reset();
        EXPECT_TRUE(stopping.isFinished()) << "round " << round << ": the recorder went before its stop ended";
        stopping.waitForFinished();
        const ScreenRecorder::StopResult result = stopping.result();
        EXPECT_FALSE(result.error) << "round " << round << ": " << result.error->errorDescription().toStdString();
        EXPECT_EQ(result.url.value_or(QString()).toStdString(), raw.toStdString()) << "round " << round;
        expectWholeHalfSecond(raw, round);
        if (HasFailure())
            return;
    }
}

// The take's pool may have no thread to spare for the stop: an owner letting go on that pool's only thread
// runs the stop itself instead of waiting for a thread it holds.
TEST_F(RecorderTeardown, aScreenRecorderDestroyedOnTheTakesPoolBeforeItsStopGotAThreadRunsTheStopItself)
{
    const int threads = WorkerPool::takes().maxThreadCount();
    WorkerPool::takes().setMaxThreadCount(1);
    const QString raw = path(QStringLiteral("raw.mov"));
    ScreenRound take;
    recordHalfASecond(take, raw);
    if (HasFatalFailure()) {
        WorkerPool::takes().setMaxThreadCount(threads);
        return;
    }
    QFuture<bool> lettingGo = WorkerPool::takes().run([&] {
        QFuture<ScreenRecorder::StopResult> stopping = take.recorder->stop();
        take.recorder.reset();
        return stopping.isFinished() && stopping.result().url == raw;
    });
    const bool ended = TestEnvironment::waitUntil([&] { return lettingGo.isFinished(); }, 20000);
    WorkerPool::takes().setMaxThreadCount(threads);
    ASSERT_TRUE(ended) << "the owner on the pool waits for the stop it holds the thread for";
    EXPECT_TRUE(lettingGo.result());
    expectWholeHalfSecond(raw, 0);
}

TEST_F(RecorderTeardown, aScreenRecorderDestroyedWithoutAStopStopsItsSourcesAndFinishesItsMovie)
{
    for (int round = 0; round < 5; ++round) {
        const QString raw = path(QStringLiteral("raw-%1.mov").arg(round));
        ScreenRound take;
        recordHalfASecond(take, raw);
        if (HasFatalFailure())
            return;
        take.recorder.reset();
        EXPECT_FALSE(take.screen->running);
        EXPECT_FALSE(take.microphone->running);
        expectWholeHalfSecond(raw, round);
        if (HasFailure())
            return;
    }
}

TEST_F(RecorderTeardown, aVoiceRecorderDestroyedWhileItsStopRunsFinishesItsFileFirst)
{
    for (int round = 0; round < 100; ++round) {
        const QString file = path(QStringLiteral("voice-%1.m4a").arg(round));
        auto source = std::make_shared<FakeAudioCapture::State>();
        auto recorder = std::make_unique<AudioOnlyRecorder>(std::make_unique<FakeAudioCapture>(source), nullptr);
        ASSERT_FALSE(recorder->start({std::nullopt, QStringLiteral("Built-in")}, file));
        for (int i = 0; i < 50; ++i)
            FakeAudioCapture::push(*source, 20.0 + i * 0.01);
        QFuture<std::optional<QString>> stopping = recorder->stop();
        letGoAfter(round);
        recorder.reset();
        EXPECT_TRUE(stopping.isFinished()) << "round " << round << ": the recorder went before its stop ended";
        stopping.waitForFinished();
        EXPECT_EQ(stopping.result().value_or(QString()).toStdString(), file.toStdString()) << "round " << round;
        EXPECT_NEAR(soundSecondsIn(file), 0.5, 0.03) << "round " << round;
        if (HasFailure())
            return;
    }
}

TEST_F(RecorderTeardown, aVoiceRecorderDestroyedWithoutAStopFinishesItsFile)
{
    const QString file = path(QStringLiteral("voice.m4a"));
    auto source = std::make_shared<FakeAudioCapture::State>();
    auto recorder = std::make_unique<AudioOnlyRecorder>(std::make_unique<FakeAudioCapture>(source), nullptr);
    ASSERT_FALSE(recorder->start({std::nullopt, QStringLiteral("Built-in")}, file));
    for (int i = 0; i < 50; ++i)
        FakeAudioCapture::push(*source, 20.0 + i * 0.01);
    recorder.reset();
    EXPECT_FALSE(source->running);
    EXPECT_NEAR(soundSecondsIn(file), 0.5, 0.03);
}

// The real grabber under a private X server: its thread is joined once whoever stops it, and its pictures
// all reach the file.
class GrabberTeardown : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        server = XvfbServer::start(320, 180);
        if (!server)
            GTEST_SKIP() << "Xvfb could not start";
        // Held for the whole test: a server whose last client leaves resets, and refuses the next for a moment.
        connection = XcbConnection::open(server->displayName().constData());
        ASSERT_TRUE(connection);
    }

    static ScreenCapture::Configuration wholeScreen()
    {
        ScreenCapture::Configuration configuration;
        configuration.sourceRect = QRect(0, 0, 320, 180);
        configuration.outputSize = QSize(320, 180);
        configuration.frameRate = 60;
        configuration.showsCursor = false;
        return configuration;
    }

    std::unique_ptr<XvfbServer> server;
    std::unique_ptr<XcbConnection> connection;
};

TEST_F(GrabberTeardown, aGrabberStoppedFromTwoThreadsAtOnceJoinsOnceAndNeitherReturnsBeforeTheLastFrame)
{
    for (int round = 0; round < 60; ++round) {
        X11ScreenCapture capture(server->displayName());
        std::atomic<int> frames{0};
        std::atomic<int> inHandler{0};
        const std::optional<QString> refused = capture.start(wholeScreen(), [&](const MediaSample&) {
            ++inHandler;
            std::this_thread::sleep_for(std::chrono::microseconds(100 * (round % 5)));
            ++frames;
            --inHandler;
        });
        ASSERT_FALSE(refused) << "round " << round << ": " << refused->toStdString();
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return frames.load() > 0; }, 3000));
        std::barrier together(2);
        std::atomic<int> framesAfterOther{-1};
        std::thread other([&] {
            together.arrive_and_wait();
            capture.stop();
            framesAfterOther = frames.load() + inHandler.load();
        });
        together.arrive_and_wait();
        letGoAfter(round);
        capture.stop();
        const int afterThis = frames.load() + inHandler.load();
        other.join();
        std::this_thread::sleep_for(20ms);
        EXPECT_EQ(inHandler.load(), 0) << "round " << round;
        EXPECT_EQ(frames.load(), afterThis) << "round " << round << ": a frame came after this stop returned";
        EXPECT_EQ(frames.load(), framesAfterOther.load()) << "round " << round << ": a frame came after the other stop returned";
        if (HasFailure())
            return;
    }
}

TEST_F(GrabberTeardown, aScreenRecorderOnTheGrabberDestroyedWhileItsStopRunsKeepsEveryPictureItEncoded)
{
    for (int round = 0; round < 30; ++round) {
        const QString raw = path(QStringLiteral("raw-%1.mov").arg(round));
        RecordingClock clock;
        std::atomic<int> encoded{0};
        ScreenRecorder::Sources sources;
        sources.screen = std::make_unique<X11ScreenCapture>(server->displayName());
        sources.beforePictureEncode = [&] { ++encoded; };
        auto recorder = std::make_unique<ScreenRecorder>(clock, std::move(sources));
        ScreenRecorder::Options options;
        options.display = {1, QStringLiteral("Xvfb"), QRect(0, 0, 320, 180), true};
        options.frameRate = 30;
        options.captureMicrophone = false;
        options.captureSystemAudio = false;
        options.showsCursor = false;
        const auto refused = recorder->start(options, raw);
        ASSERT_FALSE(refused) << "round " << round << ": " << refused->errorDescription().toStdString();
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return encoded.load() >= 4; }, 5000)) << "round " << round;
        QFuture<ScreenRecorder::StopResult> stopping = recorder->stop();
        letGoAfter(round);
        recorder.reset();
        EXPECT_TRUE(stopping.isFinished()) << "round " << round << ": the recorder went before its stop ended";
        stopping.waitForFinished();
        EXPECT_EQ(stopping.result().url.value_or(QString()).toStdString(), raw.toStdString()) << "round " << round;
        EXPECT_EQ(pictureTimesIn(raw).size(), static_cast<size_t>(encoded.load())) << "round " << round;
        if (HasFailure())
            return;
    }
}

// The sound server's captures: two stops at once close the stream once, and both return with no block
// left to come.
class SoundSourceTeardown : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        if (!PrivateNullSink::testServerRunning())
            GTEST_SKIP() << "the test PulseAudio server is not running";
        sink = PrivateNullSink::load(QStringLiteral("teardown"));
        ASSERT_TRUE(sink);
    }

    // Starts the capture, then stops it from two threads at once.
    static void stopTwiceAtOnce(AudioCapture& capture, const AudioCapture::Request& request, int round)
    {
        std::atomic<int> blocks{0};
        ASSERT_FALSE(capture.start(request, [&](const MediaSample&) { ++blocks; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(round % 3 * 10));
        std::barrier together(2);
        std::thread other([&] {
            together.arrive_and_wait();
            capture.stop();
        });
        together.arrive_and_wait();
        letGoAfter(round);
        capture.stop();
        other.join();
        const int stopped = blocks.load();
        std::this_thread::sleep_for(20ms);
        EXPECT_EQ(blocks.load(), stopped) << "round " << round << ": a block came after both stops returned";
    }

    std::unique_ptr<PrivateNullSink> sink;
};

TEST_F(SoundSourceTeardown, aMicrophoneAndASystemSoundCaptureStoppedFromTwoThreadsAtOnceCloseOnce)
{
    for (int round = 0; round < 16; ++round) {
        PulseAudioCapture microphone;
        stopTwiceAtOnce(microphone, {AudioCapture::Source::named, sink->monitor(), 48000, 2}, round);
        PulseSystemAudioCapture system(sink->name());
        stopTwiceAtOnce(system, {AudioCapture::Source::systemAudio, {}, 48000, 2}, round);
        if (HasFailure())
            return;
    }
}
