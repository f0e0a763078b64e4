// A source stopped by two threads at once (a take's stop on a worker and its owner going away) is stopped
// once, and neither stop returns before the last frame or block. Each case repeats its race, the second
// stop coming at a slightly different moment each round.
#include "platform/audio/PulseAudioCapture.h"
#include "platform/audio/PulseSystemAudioCapture.h"
#include "platform/x11/X11ScreenCapture.h"
#include "platform/x11/XcbConnection.h"
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

// The second stop comes at once, after a yield, or after a short while.
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

} // namespace

// The real grabber under a private X server: its thread is joined once whoever stops it.
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
