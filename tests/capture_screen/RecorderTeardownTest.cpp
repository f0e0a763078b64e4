// A recorder's owner may go at any moment, also while the recorder's stop still runs on the take's pool:
// the movie is finished whole first, every source is stopped once, and nothing is left running on the
// recorder. Each case repeats its race, the owner letting go at a slightly different moment each round.
#include "capture/AudioOnlyRecorder.h"
#include "capture/ScreenRecorder.h"
#include "platform/audio/PulseAudioCapture.h"
#include "platform/audio/PulseConnection.h"
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

#include <pulse/introspect.h>

#include <atomic>
#include <barrier>
#include <chrono>
#include <thread>

#include <unistd.h>

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

namespace {

// Another client of the sound server, with two null sinks of its own, that moves the record streams on their
// monitors back and forth (or suspends and wakes the first sink) as fast as the server answers: some notice
// is nearly always on its way to a capture while it stops. The sinks are loaded through the server, not with
// pactl: past a child process ThreadSanitizer sees nothing more in this process.
class NoticeStorm {
public:
    enum class Kind { moves, suspends };

    explicit NoticeStorm(Kind kind) : connection_(PulseConnection::open(QStringLiteral("olvennar-test"), "test.storm"))
    {
        if (!connection_)
            return;
        PulseConnection::Lock lock(*connection_);
        for (int sink = 0; sink < 2; ++sink) {
            names_[sink] = QStringLiteral("olvennar_test_storm_%1_%2").arg(getpid()).arg(sink).toUtf8();
            modules_[sink] = loadNullSink(names_[sink]);
            sources_[sink] = sourceIndex(names_[sink] + ".monitor");
            if (sources_[sink] == PA_INVALID_INDEX)
                return;
        }
        thread_ = std::thread([this, kind] { run(kind); });
    }
    ~NoticeStorm()
    {
        done_ = true;
        if (thread_.joinable())
            thread_.join();
        if (!connection_)
            return;
        PulseConnection::Lock lock(*connection_);
        for (const uint32_t module : modules_) {
            if (module != PA_INVALID_INDEX)
                connection_->wait(pa_context_unload_module(connection_->context(), module, signal, connection_.get()));
        }
    }
    bool blowing() const { return thread_.joinable(); }
    // Where the captures record: the first sink's monitor.
    QString source() const { return QString::fromUtf8(names_[0]) + QStringLiteral(".monitor"); }
    // Returns once the stream open now was just moved, or its source just suspended or woken.
    bool waitForNotices() const
    {
        const int seen = notices_.load();
        return TestEnvironment::waitUntil([&] { return notices_.load() >= seen + 2; }, 3000);
    }

private:
    struct Stream {
        uint32_t index = PA_INVALID_INDEX;
        uint32_t source = PA_INVALID_INDEX;
    };

    static void signal(pa_context*, int, void* connection) { static_cast<PulseConnection*>(connection)->signal(); }

    uint32_t loadNullSink(const QByteArray& name)
    {
        struct Loaded {
            PulseConnection* connection;
            uint32_t index = PA_INVALID_INDEX;
        } loaded{connection_.get()};
        connection_->wait(pa_context_load_module(
            connection_->context(), "module-null-sink", ("rate=48000 sink_name=" + name).constData(),
            [](pa_context*, uint32_t index, void* data) {
                auto* into = static_cast<Loaded*>(data);
                into->index = index;
                into->connection->signal();
            },
            &loaded));
        return loaded.index;
    }

    uint32_t sourceIndex(const QByteArray& name)
    {
        struct Found {
            PulseConnection* connection;
            uint32_t index = PA_INVALID_INDEX;
        } found{connection_.get()};
        connection_->wait(pa_context_get_source_info_by_name(
            connection_->context(), name.constData(),
            [](pa_context*, const pa_source_info* info, int end, void* data) {
                auto* into = static_cast<Found*>(data);
                if (end)
                    into->connection->signal();
                else if (info)
                    into->index = info->index;
            },
            &found));
        return found.index;
    }

    // A record stream on either monitor, or none.
    Stream streamOnEither()
    {
        struct Found {
            PulseConnection* connection;
            const uint32_t* sources;
            Stream stream;
        } found{connection_.get(), sources_, {}};
        connection_->wait(pa_context_get_source_output_info_list(
            connection_->context(),
            [](pa_context*, const pa_source_output_info* info, int end, void* data) {
                auto* into = static_cast<Found*>(data);
                if (end)
                    into->connection->signal();
                else if (info && (info->source == into->sources[0] || info->source == into->sources[1]))
                    into->stream = {info->index, info->source};
            },
            &found));
        return found.stream;
    }

    void run(Kind kind)
    {
        pa_context* context = connection_->context();
        PulseConnection::Lock lock(*connection_);
        bool suspended = false;
        Stream stream;
        while (!done_) {
            if (kind == Kind::suspends) {
                suspended = !suspended;
                connection_->wait(pa_context_suspend_sink_by_name(context, names_[0].constData(), suspended, signal, connection_.get()));
                ++notices_;
                continue;
            }
            if (stream.index == PA_INVALID_INDEX) {
                stream = streamOnEither();
                continue;
            }
            // One move after another, each once the last was done, until the stream is gone.
            const uint32_t to = stream.source == sources_[0] ? sources_[1] : sources_[0];
            struct Moved {
                PulseConnection* connection;
                bool done = false;
            } moved{connection_.get()};
            connection_->wait(pa_context_move_source_output_by_index(
                context, stream.index, to,
                [](pa_context*, int success, void* data) {
                    auto* into = static_cast<Moved*>(data);
                    into->done = success != 0;
                    into->connection->signal();
                },
                &moved));
            stream = moved.done ? Stream{stream.index, to} : Stream{};
            if (moved.done)
                ++notices_;
            // pipewire-pulse answers a move at once and leaves its relinking to the session manager, which on a
            // busy machine falls behind a storm until the server stops answering anyone; paced, it keeps up.
            // Only this thread uses the storm's connection, so it sleeps with its lock held.
            if (pacedForPipeWire_)
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
    }

    std::unique_ptr<PulseConnection> connection_;
    QByteArray names_[2];
    uint32_t modules_[2] = {PA_INVALID_INDEX, PA_INVALID_INDEX};
    uint32_t sources_[2] = {PA_INVALID_INDEX, PA_INVALID_INDEX};
    std::atomic<bool> done_{false};
    std::atomic<int> notices_{0};
    const bool pacedForPipeWire_ = qgetenv("OLVENNAR_TEST_SOUND_SERVER") == "pipewire";
    std::thread thread_;
};

// A notice of the stream's move, or of its source's suspension, that comes while a capture stops (after its
// stream went, before its connection did) finds nothing to act on: every stop ends quietly.
class LateSoundNotices : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        if (!PrivateNullSink::testServerRunning())
            GTEST_SKIP() << "the test PulseAudio server is not running";
    }

    static void stopDuring(NoticeStorm::Kind kind)
    {
        NoticeStorm storm(kind);
        ASSERT_TRUE(storm.blowing());
        for (int round = 0; round < 200; ++round) {
            PulseAudioCapture capture;
            ASSERT_FALSE(capture.start({AudioCapture::Source::named, storm.source(), 48000, 2}, [](const MediaSample&) {}));
            ASSERT_TRUE(storm.waitForNotices()) << "round " << round;
            letGoAfter(round);
            capture.stop();
        }
    }
};

} // namespace

TEST_F(LateSoundNotices, aCaptureStoppedWhileItsStreamIsMovedEndsQuietly)
{
    stopDuring(NoticeStorm::Kind::moves);
    // The storm reached the captures, not only the server.
    EXPECT_TRUE(readLog().contains(QStringLiteral("moved the stream"))) << readLog().toStdString();
}

TEST_F(LateSoundNotices, aCaptureStoppedWhileItsSourceIsSuspendedAndWokenEndsQuietly)
{
    stopDuring(NoticeStorm::Kind::suspends);
    EXPECT_TRUE(readLog().contains(QStringLiteral("was suspended"))) << readLog().toStdString();
}
