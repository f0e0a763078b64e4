#include "capture/ScreenRecorder.h"
#include "platform/audio/PulseAudioCapture.h"
#include "platform/x11/X11ScreenCapture.h"
#include "platform/x11/XcbConnection.h"
#include "support/MovieProbe.h"
#include "support/PrivateNullSink.h"
#include "support/TestEnvironment.h"
#include "support/X11TestWindow.h"
#include "support/XvfbServer.h"
#include "takedata/RecordingClock.h"

#include <gtest/gtest.h>

#include <thread>
#include <unistd.h>

namespace {

bool isRed(QRgb pixel) { return qRed(pixel) > 180 && qGreen(pixel) < 80 && qBlue(pixel) < 80; }

class WindowExclusionTake : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        if (!PrivateNullSink::testServerRunning())
            GTEST_SKIP() << "the test PulseAudio server is not running";
        server = XvfbServer::start(640, 360);
        if (!server)
            GTEST_SKIP() << "Xvfb could not start";
        connection = XcbConnection::open(server->displayName().constData());
        ASSERT_TRUE(connection);
    }

    RecordingClock clock;
    std::unique_ptr<XvfbServer> server;
    std::unique_ptr<XcbConnection> connection;
};

// The studio's own windows and the companion app's private windows are painted over from what lies
// beneath them, so only the red window underneath reaches raw.mov.
TEST_F(WindowExclusionTake, TheStudiosOwnAndPrivateKorvathWindowsNeverReachTheMovie)
{
    X11TestWindow red(*connection, QRect(0, 0, 640, 360), 0xFF0000, {QStringLiteral("canvas"), QStringLiteral("Canvas"), QStringLiteral("red"), 0});
    X11TestWindow studio(*connection, QRect(60, 60, 200, 150), 0x0000FF,
        {QStringLiteral("olvennar"), QStringLiteral("Olvennar"), QStringLiteral("Teleprompter"), getpid()});
    X11TestWindow korvath(*connection, QRect(360, 120, 220, 160), 0x00FF00,
        {QStringLiteral("korvath"), QStringLiteral("Korvath"), QStringLiteral("x \u00B7 private"), 0});
    red.map();
    studio.map();
    korvath.map();

    ScreenRecorder::Sources sources;
    sources.screen = std::make_unique<X11ScreenCapture>(server->displayName());
    sources.microphone = std::make_unique<PulseAudioCapture>();
    sources.systemAudio = std::make_unique<PulseAudioCapture>();
    ScreenRecorder recorder(clock, std::move(sources));
    ScreenRecorder::Options options;
    options.display = {1, QStringLiteral("test"), QRect(0, 0, 640, 360), true};
    options.targetHeight = 1080;
    options.frameRate = 60;
    options.showsCursor = false;
    options.captureSystemAudio = false;
    const QString raw = path(QStringLiteral("raw.mov"));
    ASSERT_FALSE(recorder.start(options, raw));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    auto stopped = recorder.stop();
    stopped.waitForFinished();
    ASSERT_EQ(stopped.result().url, raw);

    int frames = 0, clean = 0;
    ASSERT_TRUE(MovieProbe::decodeVideo(raw, [&](double, const QImage& picture) {
        ++frames;
        clean += isRed(picture.pixel(160, 135)) && isRed(picture.pixel(470, 200)) && isRed(picture.pixel(20, 20)) && isRed(picture.pixel(620, 340));
    }));
    EXPECT_GT(frames, 60);
    EXPECT_EQ(clean, frames);
}

} // namespace
