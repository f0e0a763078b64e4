#include "capture/WindowFilter.h"
#include "platform/media/PlanarPicture.h"
#include "platform/system/HostClock.h"
#include "platform/x11/X11Displays.h"
#include "platform/x11/X11ScreenCapture.h"
#include "platform/x11/X11WindowList.h"
#include "platform/x11/XcbConnection.h"
#include "support/DisplayModes.h"
#include "support/TestEnvironment.h"
#include "support/X11TestWindow.h"
#include "support/XvfbServer.h"

#include <gtest/gtest.h>

#include <cmath>

#include <mutex>
#include <thread>
#include <unistd.h>

namespace {

constexpr uint32_t red = 0xFF0000;
constexpr uint32_t green = 0x00FF00;
constexpr uint32_t blue = 0x0000FF;
constexpr uint32_t yellow = 0xFFFF00;

// Keeps the newest frame and every stamp.
struct FrameLog {
    std::mutex lock;
    std::shared_ptr<const PixelBuffer> newest;
    std::vector<MediaTime> stamps;

    ScreenCapture::FrameHandler handler()
    {
        return [this](const MediaSample& sample) {
            std::lock_guard guard(lock);
            newest = sample.pixels;
            stamps.push_back(sample.presentationTime());
        };
    }
    size_t count()
    {
        std::lock_guard guard(lock);
        return stamps.size();
    }
    uint32_t rgbAt(int x, int y)
    {
        std::lock_guard guard(lock);
        if (!newest)
            return 0xDEADBEEF;
        return reinterpret_cast<const uint32_t*>(newest->row(y))[x] & 0xFFFFFF;
    }
};

class X11Capture : public ::testing::Test {
protected:
    void SetUp() override
    {
        server = XvfbServer::start(640, 360);
        if (!server)
            GTEST_SKIP() << "Xvfb could not start";
        connection = XcbConnection::open(server->displayName().constData());
        ASSERT_TRUE(connection);
    }
    std::unique_ptr<XvfbServer> server;
    std::unique_ptr<XcbConnection> connection;
};

// The whole 640 × 360 screen at 30 fps.
ScreenCapture::Configuration wholeScreen(QSize output = QSize(640, 360), bool showsCursor = false)
{
    ScreenCapture::Configuration configuration;
    configuration.sourceRect = QRect(0, 0, 640, 360);
    configuration.outputSize = output;
    configuration.frameRate = 30;
    configuration.showsCursor = showsCursor;
    return configuration;
}

void waitSeconds(double seconds) { std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(seconds * 1000))); }

} // namespace

TEST_F(X11Capture, excludedWindowsShowWhatLiesBeneathThemAndOthersStay)
{
    X11TestWindow background(*connection, QRect(0, 0, 640, 360), red, {QStringLiteral("paint"), QStringLiteral("Paint"), QStringLiteral("canvas"), 0});
    X11TestWindow privateBoard(*connection, QRect(40, 40, 200, 120), green,
        {QStringLiteral("korvath"), QStringLiteral("Korvath"), QStringLiteral("x \u00B7 private"), 0});
    X11TestWindow studioPanel(*connection, QRect(300, 60, 200, 120), blue, {QStringLiteral("olvennar"), QStringLiteral("Olvennar"), QStringLiteral("panel"), getpid()});
    X11TestWindow publicBoard(*connection, QRect(100, 220, 200, 100), yellow, {QStringLiteral("korvath"), QStringLiteral("Korvath"), QStringLiteral("Launch"), 0});
    // A kept window above an excluded one stays on top of the repaint.
    X11TestWindow onTop(*connection, QRect(200, 120, 60, 60), yellow, {});
    for (X11TestWindow* window : {&background, &privateBoard, &studioPanel, &publicBoard, &onTop})
        window->map();

    X11ScreenCapture capture(server->displayName());
    FrameLog frames;
    const WindowFilter filter(getpid(), QStringLiteral("Olvennar"));
    ScreenCapture::Configuration configuration = wholeScreen();
    configuration.excludes = [filter](const WindowInfo& window) { return filter.excludes(window); };
    ASSERT_FALSE(capture.start(configuration, frames.handler()));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return frames.count() >= 5; }, 3000));

    EXPECT_EQ(frames.rgbAt(100, 100), red);   // private Korvath board
    EXPECT_EQ(frames.rgbAt(400, 100), red);   // the studio's own panel
    EXPECT_EQ(frames.rgbAt(150, 250), yellow); // public Korvath board
    EXPECT_EQ(frames.rgbAt(230, 150), yellow); // kept window over the private board
    EXPECT_EQ(frames.rgbAt(600, 300), red);

    // Opened during the take: hidden by the next window refresh, about a second later.
    X11TestWindow lateScript(*connection, QRect(500, 250, 100, 80), green,
        {QStringLiteral("korvath"), QStringLiteral("Korvath"), QStringLiteral("Intro - Script"), 0});
    lateScript.map();
    waitSeconds(1.4);
    EXPECT_EQ(frames.rgbAt(550, 290), red);
    capture.stop();
    const size_t stopped = frames.count();
    waitSeconds(0.1);
    EXPECT_EQ(frames.count(), stopped);
}

TEST_F(X11Capture, planarFramesComeInTheEncodersFormatAtTheOutputSizeScaledOrNot)
{
    X11TestWindow left(*connection, QRect(0, 0, 320, 360), red, {});
    X11TestWindow right(*connection, QRect(320, 0, 320, 360), blue, {});
    left.map();
    right.map();
    for (const QSize output : {QSize(640, 360), QSize(320, 180)}) {
        X11ScreenCapture capture(server->displayName());
        std::mutex lock;
        std::vector<MediaSample> frames;
        ScreenCapture::Configuration configuration = wholeScreen(output);
        configuration.planar = true;
        ASSERT_FALSE(capture.start(configuration, [&](const MediaSample& sample) { std::lock_guard guard(lock); frames.push_back(sample); }));
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { std::lock_guard guard(lock); return frames.size() >= 2; }, 3000));
        capture.stop();
        const MediaSample newest = frames.back();
        ASSERT_TRUE(newest.planar && !newest.pixels);
        ASSERT_EQ(QSize(newest.planar->width(), newest.planar->height()), output);
        // BT.709 limited range: red Y 63 Cr 240 on the left, blue Y 32 Cb 240 on the right.
        const PlanarPicture& p = *newest.planar;
        const int y = output.height() / 2, leftX = output.width() / 4, rightX = output.width() * 3 / 4;
        EXPECT_NEAR(p.plane(0)[y * p.stride(0) + leftX], 63, 1) << output.width();
        EXPECT_NEAR(p.plane(2)[y / 2 * p.stride(2) + leftX / 2], 240, 1) << output.width();
        EXPECT_NEAR(p.plane(0)[y * p.stride(0) + rightX], 32, 1) << output.width();
        EXPECT_NEAR(p.plane(1)[y / 2 * p.stride(1) + rightX / 2], 240, 1) << output.width();
    }
}

TEST_F(X11Capture, aDisplayResizedDuringTheTakeIsFollowedAndFittedIntoTheFrameAndOneTurnedOffEndsTheCapture)
{
    X11TestWindow left(*connection, QRect(0, 0, 320, 360), red, {});
    X11TestWindow right(*connection, QRect(320, 0, 320, 360), blue, {});
    left.map();
    right.map();
    DisplayModes modes(*connection);
    X11ScreenCapture capture(server->displayName());
    FrameLog frames;
    std::mutex lock;
    std::optional<QString> stopped;
    ScreenCapture::Configuration configuration = wholeScreen();
    configuration.onStopped = [&](const QString& reason) {
        std::lock_guard guard(lock);
        stopped = reason;
    };
    ASSERT_FALSE(capture.start(configuration, frames.handler()));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return frames.count() >= 3; }, 3000));
    EXPECT_EQ(frames.rgbAt(480, 180), blue);

    // Down to its top-left quarter, the same shape: only the red window is left, and it fills the frame.
    ASSERT_TRUE(modes.resize(QSize(320, 180)));
    const size_t beforeShrink = frames.count();
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return frames.count() >= beforeShrink + 10 && frames.rgbAt(480, 180) == red; }, 3000))
        << "frames go on and show the display as it now is; " << frames.count() - beforeShrink << " came";
    // 4:3 now: the whole display between black bars left and right.
    ASSERT_TRUE(modes.resize(QSize(240, 180)));
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return frames.rgbAt(20, 180) == 0 && frames.rgbAt(620, 180) == 0 && frames.rgbAt(320, 180) == red; }, 3000))
        << std::hex << frames.rgbAt(20, 180) << " " << frames.rgbAt(320, 180);
    // Back at its size: filmed as configured, right away.
    ASSERT_TRUE(modes.resize(QSize(640, 360)));
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return frames.rgbAt(20, 180) == red && frames.rgbAt(620, 180) == blue; }, 3000));

    ASSERT_TRUE(modes.turnOff());
    ASSERT_TRUE(TestEnvironment::waitUntil([&] {
        std::lock_guard guard(lock);
        return stopped.has_value();
    }, 3000)) << "a display that went ends the capture";
    EXPECT_EQ(*stopped, QStringLiteral("the recorded display “screen” is no longer available"));
    const size_t ended = frames.count();
    waitSeconds(0.2);
    EXPECT_EQ(frames.count(), ended);
    capture.stop();
}

// On the display the test run shares, read only: a private server is started through a child process, and
// past such a start ThreadSanitizer sees nothing more in this process.
class GrabberCounts : public ::testing::Test {
protected:
    void SetUp() override
    {
        connection = XcbConnection::open(nullptr);
        if (qgetenv("DISPLAY").isEmpty() || !connection)
            GTEST_SKIP() << "needs an X display";
    }
    std::unique_ptr<XcbConnection> connection;
};

// A frame handler may ask the grabber for its counts, as a recorder does at every frame: from a take's first
// frame on they count the frames delivered before it, also once the capture is started again.
TEST_F(GrabberCounts, theFrameHandlerReadsTheCountsOfItsOwnTakeFromTheFirstFrameOn)
{
    X11ScreenCapture capture;
    for (int round = 0; round < 3; ++round) {
        std::mutex lock;
        std::vector<int64_t> counted;
        ScreenCapture::Configuration configuration;
        configuration.sourceRect = QRect(0, 0, 320, 180);
        configuration.frameRate = 30;
        configuration.showsCursor = false;
        ASSERT_FALSE(capture.start(configuration, [&](const MediaSample&) {
            const int64_t delivered = capture.statistics().framesDelivered;
            std::lock_guard guard(lock);
            counted.push_back(delivered);
        }));
        ASSERT_TRUE(TestEnvironment::waitUntil([&] {
            std::lock_guard guard(lock);
            return counted.size() >= 3;
        }, 3000));
        capture.stop();
        for (size_t frame = 0; frame < counted.size(); ++frame)
            EXPECT_EQ(counted[frame], static_cast<int64_t>(frame)) << "round " << round << ", frame " << frame;
    }
}
