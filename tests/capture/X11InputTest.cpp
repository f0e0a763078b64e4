// The X input backends and the trackers on a real (private) X server, driven by xdotool.
#include "capture/ClickTracker.h"
#include "capture/CursorShapes.h"
#include "capture/DisplayPicture.h"
#include "capture/PointerTracker.h"
#include "platform/input/EwmhFrontWindow.h"
#include "platform/input/X11PointerState.h"
#include "platform/input/XInputEvents.h"
#include "platform/media/PixelBuffer.h"
#include "platform/system/HostClock.h"
#include "platform/x11/GlobalKeyGrabber.h"
#include "platform/x11/X11ScreenCapture.h"
#include "platform/x11/X11ScreenLayout.h"
#include "platform/x11/XcbConnection.h"
#include "support/DisplayModes.h"
#include "support/FakeFrontWindow.h"
#include "support/ManualClock.h"
#include "support/TestEnvironment.h"
#include "takedata/RecordingClock.h"
#include "support/XvfbServer.h"
#include "takes/TakeGeometry.h"

#include <QLineF>

#include <QStandardPaths>

#include <xcb/xfixes.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <mutex>
#include <vector>

namespace {

// Windows, cursors and EWMH hints made the way other applications and window managers make them.
class Desktop {
public:
    explicit Desktop(const char* display) : x_(XcbConnection::open(display))
    {
        if (!x_)
            return;
        XcbReply<xcb_xfixes_query_version_reply_t> version(
            xcb_xfixes_query_version_reply(c(), xcb_xfixes_query_version(c(), 4, 0), nullptr));
    }
    bool isOpen() const { return x_ != nullptr; }
    xcb_connection_t* c() const { return x_->get(); }

    // A square 1-bit cursor with the given hot spot, named like a theme cursor when name is set.
    xcb_cursor_t cursor(int size, int hotX, int hotY, const char* name = nullptr)
    {
        const xcb_pixmap_t pixmap = xcb_generate_id(c());
        xcb_create_pixmap(c(), 1, pixmap, x_->root(), static_cast<uint16_t>(size), static_cast<uint16_t>(size));
        const xcb_gcontext_t gc = xcb_generate_id(c());
        const uint32_t foreground = 1;
        xcb_create_gc(c(), gc, pixmap, XCB_GC_FOREGROUND, &foreground);
        const xcb_rectangle_t all{0, 0, static_cast<uint16_t>(size), static_cast<uint16_t>(size)};
        xcb_poly_fill_rectangle(c(), pixmap, gc, 1, &all);
        const xcb_cursor_t cursor = xcb_generate_id(c());
        xcb_create_cursor(c(), cursor, pixmap, pixmap, 0, 0, 0, 0xffff, 0xffff, 0xffff, static_cast<uint16_t>(hotX),
            static_cast<uint16_t>(hotY));
        if (name)
            xcb_xfixes_set_cursor_name(c(), cursor, static_cast<uint16_t>(std::strlen(name)), name);
        xcb_free_gc(c(), gc);
        xcb_free_pixmap(c(), pixmap);
        return cursor;
    }

    // A top-level window at the given root position (top-left origin), mapped unless told otherwise.
    xcb_window_t window(int x, int y, int width, int height, xcb_cursor_t cursor = XCB_CURSOR_NONE, bool mapped = true)
    {
        const xcb_window_t window = xcb_generate_id(c());
        const uint32_t values[] = {cursor};
        xcb_create_window(c(), XCB_COPY_FROM_PARENT, window, x_->root(), static_cast<int16_t>(x), static_cast<int16_t>(y),
            static_cast<uint16_t>(width), static_cast<uint16_t>(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
            XCB_COPY_FROM_PARENT, cursor ? static_cast<uint32_t>(XCB_CW_CURSOR) : 0u, cursor ? values : nullptr);
        if (mapped)
            xcb_map_window(c(), window);
        sync();
        return window;
    }

    void setProperty(xcb_window_t window, const char* name, xcb_atom_t type, const std::vector<uint32_t>& values)
    {
        xcb_change_property(c(), XCB_PROP_MODE_REPLACE, window, x_->atom(name), type, 32,
            static_cast<uint32_t>(values.size()), values.data());
        sync();
    }
    void setPid(xcb_window_t window, uint32_t pid) { setProperty(window, "_NET_WM_PID", XCB_ATOM_CARDINAL, {pid}); }
    void activate(xcb_window_t window) { setProperty(x_->root(), "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW, {window}); }
    xcb_atom_t atom(const char* name) const { return x_->atom(name); }
    xcb_window_t root() const { return x_->root(); }

    void sync()
    {
        XcbReply<xcb_get_input_focus_reply_t> reply(xcb_get_input_focus_reply(c(), xcb_get_input_focus(c()), nullptr));
    }

private:
    std::unique_ptr<XcbConnection> x_;
};

// The grabber's newest picture, to see where it shows the pointer.
class NewestPicture {
public:
    ScreenCapture::FrameHandler handler()
    {
        return [this](const MediaSample& sample) {
            std::lock_guard guard(lock_);
            picture_ = sample.pixels;
            ++count_;
        };
    }
    int count()
    {
        std::lock_guard guard(lock_);
        return count_;
    }
    // The top-left corner of what is white in the picture: the test's cursor, painted there by the grabber.
    std::optional<QPoint> whiteCorner()
    {
        std::lock_guard guard(lock_);
        if (!picture_)
            return std::nullopt;
        std::optional<QPoint> corner;
        for (int y = 0; y < picture_->height(); ++y) {
            const uint8_t* row = picture_->row(y);
            for (int x = 0; x < picture_->width(); ++x) {
                const uint8_t* pixel = row + static_cast<size_t>(x) * 4;
                if (pixel[0] > 128 && pixel[1] > 128 && pixel[2] > 128)
                    corner = QPoint(corner ? std::min(corner->x(), x) : x, corner ? std::min(corner->y(), y) : y);
            }
        }
        return corner;
    }

private:
    std::mutex lock_;
    std::shared_ptr<const PixelBuffer> picture_;
    int count_ = 0;
};

// An X server of the test's own, so moving the pointer and typing keys neither disturbs nor is disturbed by
// tests running in parallel on the shared display.
class X11InputTest : public ::testing::Test {
protected:
    static constexpr int screenWidth = 1280;
    static constexpr int screenHeight = 720;

    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            GTEST_SKIP() << "xdotool is not installed";
        server = XvfbServer::start(screenWidth, screenHeight);
        if (!server)
            GTEST_SKIP() << "Xvfb did not start";
        const QByteArray display = server->displayName();
        input = XInputEvents::open(display.constData());
        pointer = X11PointerState::open(display.constData());
        windows = EwmhFrontWindow::open(display.constData());
        ASSERT_TRUE(input && pointer && windows);
        desktop = std::make_unique<Desktop>(display.constData());
        ASSERT_TRUE(desktop->isOpen());
    }

    bool xdotool(const QStringList& arguments) const { return server->xdotool(arguments).has_value(); }
    // Root position, top-left origin, as xdotool takes it.
    void moveTo(int x, int y)
    {
        ASSERT_TRUE(xdotool({"mousemove", QString::number(x), QString::number(y)}));
        ASSERT_TRUE(TestEnvironment::waitUntil([&] {
            const auto at = pointer->location();
            return at && *at == QPointF(x, screenHeight - 1 - y);
        }));
    }
    void click(int button) { ASSERT_TRUE(xdotool({"click", QString::number(button)})); }

    std::unique_ptr<XvfbServer> server;
    std::unique_ptr<Desktop> desktop;
    std::unique_ptr<XInputEvents> input;
    std::unique_ptr<X11PointerState> pointer;
    std::unique_ptr<EwmhFrontWindow> windows;
};

TEST(XInputEventsOpen, UnreachableDisplayGivesNothing)
{
    EXPECT_FALSE(XInputEvents::open(":9876"));
    EXPECT_FALSE(X11PointerState::open(":9876"));
    EXPECT_FALSE(EwmhFrontWindow::open(":9876"));
}

TEST_F(X11InputTest, LeftAndRightPressesReachTheMonitorButWheelAndMiddleDoNot)
{
    int presses = 0;
    auto monitor = input->addMouseDownMonitor([&] { ++presses; });
    ASSERT_TRUE(monitor);
    click(1);
    click(3);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return presses == 2; }));
    for (int button : {4, 5, 2, 6, 7})
        click(button);
    click(1); // events arrive in order: once this one is seen, the others were read and ignored
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return presses >= 3; }));
    EXPECT_EQ(presses, 3);

    monitor.reset();
    click(1);
    TestEnvironment::waitUntil([] { return false; }, 200);
    EXPECT_EQ(presses, 3);
}

TEST_F(X11InputTest, KeyCounterCountsPressesAndNotRepeatsOfAHeldKey)
{
    const uint32_t start = input->keyDownCount();
    ASSERT_TRUE(xdotool({"key", "a", "b", "Return"}));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return input->keyDownCount() == start + 3; }));
    // Held well past the auto-repeat delay.
    ASSERT_TRUE(xdotool({"keydown", "x", "sleep", "0.8", "keyup", "x", "key", "y"}));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return input->keyDownCount() >= start + 5; }));
    TestEnvironment::waitUntil([] { return false; }, 100);
    EXPECT_EQ(input->keyDownCount(), start + 5);
}

TEST_F(X11InputTest, HotKeysAndTheModifiersThatMakeThemAreNotTyping)
{
    // The studio's bindings: Ctrl+R, Ctrl+P, Super+Alt+Z.
    input->setHotKeyFilter([](std::uint32_t keySym, std::uint16_t modifiers) {
        return ((keySym == 'r' || keySym == 'p') && modifiers == GlobalKeyGrabber::control)
            || (keySym == 'z' && modifiers == (GlobalKeyGrabber::super | GlobalKeyGrabber::alt));
    });
    const uint32_t start = input->keyDownCount();
    ASSERT_TRUE(xdotool({"key", "ctrl+r", "ctrl+p", "ctrl+p", "super+alt+z", "ctrl+r"}));
    // One Ctrl held over two presses of P: both are the hot key.
    ASSERT_TRUE(xdotool({"keydown", "ctrl", "key", "p", "key", "p", "keyup", "ctrl"}));
    // Typing after them counts, with the Shift that made a capital and the Ctrl of a binding that is not ours.
    ASSERT_TRUE(xdotool({"key", "a", "shift+b", "ctrl+x"}));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return input->keyDownCount() >= start + 5; }));
    TestEnvironment::waitUntil([] { return false; }, 100);
    EXPECT_EQ(input->keyDownCount(), start + 5);

    // A modifier tapped alone is typing of its own; the same letter with another modifier is not the hot key.
    ASSERT_TRUE(xdotool({"key", "shift", "alt+r"}));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return input->keyDownCount() >= start + 8; }));
    TestEnvironment::waitUntil([] { return false; }, 100);
    EXPECT_EQ(input->keyDownCount(), start + 8);
}

TEST_F(X11InputTest, ClickTrackerLogsLeftAndRightClicksInsideTheCaptureAsBottomLeftFractions)
{
    // 800 × 400 with its bottom-left corner 100 px from the root's left and bottom edges: root rows
    // 220 (top) to 619 (bottom), columns 100 to 899.
    const QRectF capture(100, 100, 800, 400);
    ManualClock host(50.0);
    auto clock = std::make_shared<RecordingClock>();
    ClickTracker tracker(*input, *pointer);
    tracker.start(clock, capture);
    int seen = 0;
    auto witness = input->addMouseDownMonitor([&] { ++seen; });

    // The tracker reads the pointer when it handles the press, so each press is handled before the next move.
    // Which clicks count and where the capture ends is pinned with fake input; here the real flip.
    const auto press = [&](int button) {
        const int target = seen + 1;
        click(button);
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return seen == target; }));
    };

    moveTo(500, 300);
    press(1); // the countdown: nothing filmed yet
    clock->begin(host.now());
    host.advance(1.25);
    press(1);
    host.advance(1.0);
    moveTo(100, 619);
    press(3);
    host.advance(1.0);
    moveTo(899, 220); // its top-right pixel
    press(1);

    const auto clicks = tracker.recorded();
    ASSERT_EQ(clicks.size(), 3u);
    EXPECT_EQ(clicks[0], (Click{1.25, 0.5, (719.0 - 300 - 100) / 400}));
    EXPECT_EQ(clicks[1], (Click{2.25, 0.0, 0.0}));
    EXPECT_EQ(clicks[2], (Click{3.25, 799.0 / 800, 399.0 / 400}));
}

TEST_F(X11InputTest, CursorNamesMapToArrowIBeamAndHandAndThePointerTrackerRecordsOnTheTakeClock)
{
    desktop->window(0, 0, 200, 200, desktop->cursor(24, 4, 4, "left_ptr"));
    desktop->window(200, 0, 200, 200, desktop->cursor(24, 2, 2, "xterm"));
    desktop->window(400, 0, 200, 200, desktop->cursor(24, 20, 20, "hand2"));
    desktop->window(600, 0, 200, 200, desktop->cursor(24, 11, 12)); // unnamed: judged by its hot spot
    desktop->window(800, 0, 200, 200, desktop->cursor(24, 12, 12, "watch"));

    struct Case {
        int x;
        CursorShape shape;
        const char* name;
    };
    for (const Case& c : {Case{100, CursorShape::arrow, "left_ptr"}, Case{300, CursorShape::iBeam, "xterm"},
             Case{500, CursorShape::hand, "hand2"}, Case{700, CursorShape::iBeam, ""}, Case{900, CursorShape::other, "watch"}}) {
        moveTo(c.x, 100);
        std::optional<CursorImage> cursor;
        ASSERT_TRUE(TestEnvironment::waitUntil([&] {
            cursor = pointer->currentCursor();
            return cursor && cursor->name == QLatin1String(c.name) && cursor->width == 24;
        })) << c.name;
        EXPECT_EQ(CursorShapes::classify(*cursor), c.shape) << c.name;
    }

    // The tracker on these backends: moves and key presses on the take clock, and on the sixth tick the
    // cursor's kind with its hot spot and size.
    ManualClock host(50.0);
    auto clock = std::make_shared<RecordingClock>();
    clock->begin(host.now());
    FakeFrontWindow noWindow;
    PointerTracker tracker(*input, *pointer, noWindow);
    const QRectF screen(0, 0, screenWidth, screenHeight);
    moveTo(640, 360);
    host.advance(0.5);
    tracker.poll(clock, screen);
    const uint32_t before = input->keyDownCount();
    ASSERT_TRUE(xdotool({"key", "h", "i"}));
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return input->keyDownCount() == before + 2; }));
    moveTo(320, 540);
    host.advance(0.75);
    tracker.poll(clock, screen);
    moveTo(300, 100);
    for (int i = 0; i < 4; ++i) {
        host.advance(1.0 / 60);
        tracker.poll(clock, screen);
    }
    const PointerLog log = tracker.log(false);
    EXPECT_EQ(*log.keys, (std::vector<double>{1.25, 1.25}));
    ASSERT_GE(log.samples.size(), 2u);
    EXPECT_EQ(log.samples[0], (std::vector<double>{0.5, 0.5, PointerLog::rounded(359.0 / 720, 4)}));
    EXPECT_EQ(log.samples[1], (std::vector<double>{1.25, 0.25, PointerLog::rounded(179.0 / 720, 4)}));
    ASSERT_EQ(log.shapes.size(), 1u);
    EXPECT_EQ(log.shapes[0], (std::vector<double>{*clock->nowSeconds(), 0.08, 0.08, 24, 1}));
}

TEST_F(X11InputTest, AfterTheDisplayIsResizedThePointerItsClicksAndMarksAreLoggedWhereTheFittedPictureShowsThePointer)
{
    // A white cursor with its hot spot at its top-left corner: where the grabber paints it is where the picture
    // shows the pointer.
    const xcb_cursor_t square = desktop->cursor(16, 0, 0);
    xcb_recolor_cursor(desktop->c(), square, 0xffff, 0xffff, 0xffff, 0, 0, 0);
    xcb_change_window_attributes(desktop->c(), desktop->root(), XCB_CW_CURSOR, &square);
    desktop->sync();
    const QByteArray display = server->displayName();
    const QRect full(0, 0, screenWidth, screenHeight);
    X11ScreenCapture grabber(display);
    ScreenCapture::Configuration configuration;
    configuration.sourceRect = full;
    configuration.outputSize = full.size();
    configuration.frameRate = 30;
    NewestPicture picture;
    ASSERT_FALSE(grabber.start(configuration, picture.handler()));

    // The trackers of a take of the whole display, its 1280 × 720 frame.
    auto clock = std::make_shared<RecordingClock>();
    clock->begin(HostClock::now());
    FakeFrontWindow noWindow;
    PointerTracker tracker(*input, *pointer, noWindow);
    ClickTracker clicks(*input, *pointer);
    const std::unique_ptr<X11ScreenLayout> layout = X11ScreenLayout::open(display.constData());
    ASSERT_TRUE(layout);
    auto filmed = std::make_shared<DisplayPicture>(*layout, full, full.size(), TakeGeometry::captureRect(full, screenHeight));
    tracker.start(clock, filmed);
    clicks.start(clock, filmed);

    const auto inFrame = [&](double x, double y) { return QPointF(x * screenWidth, (1 - y) * screenHeight); };
    const auto connection = XcbConnection::open(display.constData());
    ASSERT_TRUE(connection);
    DisplayModes modes(*connection);
    struct Stage {
        QSize display;
        std::vector<QPoint> points;
    };
    // As it was, then half the size (fills the frame at twice the scale), then 4:3 (between bars left and right).
    for (const Stage& stage : {Stage{{1280, 720}, {{200, 150}}}, Stage{{640, 360}, {{100, 80}, {500, 300}}},
             Stage{{960, 720}, {{100, 80}, {900, 650}}}}) {
        if (stage.display != full.size()) {
            ASSERT_TRUE(modes.resize(stage.display));
        }
        for (const QPoint& point : stage.points) {
            const std::string where = std::to_string(stage.display.width()) + "x" + std::to_string(stage.display.height()) + " at "
                + std::to_string(point.x()) + "," + std::to_string(point.y());
            ASSERT_TRUE(xdotool({"mousemove", QString::number(point.x()), QString::number(point.y())}));
            ASSERT_TRUE(TestEnvironment::waitUntil([&] { return pointer->location() == QPointF(point.x(), stage.display.height() - 1 - point.y()); }))
                << where;
            // A few pictures grabbed since, and the tracker's ticks with them.
            const int grabbed = picture.count();
            ASSERT_TRUE(TestEnvironment::waitUntil([&] { return picture.count() >= grabbed + 5; })) << where;
            const std::optional<QPoint> cursor = picture.whiteCorner();
            ASSERT_TRUE(cursor) << where;

            const PointerLog log = tracker.log(false);
            ASSERT_FALSE(log.samples.empty()) << where;
            const QPointF drawn = inFrame(log.samples.back()[1], log.samples.back()[2]);
            EXPECT_LE(QLineF(drawn, *cursor).length(), 2.5) << where << ": drawn at " << drawn.x() << "," << drawn.y() << ", filmed at "
                                                               << cursor->x() << "," << cursor->y();

            const size_t clicked = clicks.recorded().size();
            click(1);
            ASSERT_TRUE(TestEnvironment::waitUntil([&] { return clicks.recorded().size() > clicked; })) << where;
            const Click made = clicks.recorded().back();
            EXPECT_LE(QLineF(inFrame(made.x, made.y), *cursor).length(), 2.5) << where << ": the click";
            tracker.addMark(true);
            const std::optional<PointerLog::Records> marks = tracker.log(false).zoomMarks;
            ASSERT_TRUE(marks && !marks->empty()) << where;
            const std::vector<double>& mark = marks->back();
            EXPECT_LE(QLineF(inFrame(mark[2], mark[3]), *cursor).length(), 2.5) << where << ": the zoom mark";
        }
    }
    tracker.stop();
    clicks.stop();
    grabber.stop();
}

TEST_F(X11InputTest, FrontWindowIsTheActiveWindowOfAnotherProcessFlippedToBottomLeft)
{
    const uint32_t otherPid = static_cast<uint32_t>(getpid()) + 1;
    EXPECT_FALSE(windows->frontWindowBounds()); // no window manager hints at all

    const xcb_window_t editor = desktop->window(200, 100, 400, 300);
    desktop->setPid(editor, otherPid);
    desktop->activate(editor);
    EXPECT_EQ(windows->frontWindowBounds(), QRectF(200, 720 - 400, 400, 300));

    desktop->setPid(editor, static_cast<uint32_t>(getpid())); // this application in front
    EXPECT_FALSE(windows->frontWindowBounds());

    desktop->setPid(editor, otherPid);
    desktop->setProperty(editor, "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM, {desktop->atom("_NET_WM_WINDOW_TYPE_DIALOG")});
    EXPECT_FALSE(windows->frontWindowBounds());
    desktop->setProperty(editor, "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM, {desktop->atom("_NET_WM_WINDOW_TYPE_NORMAL")});
    EXPECT_TRUE(windows->frontWindowBounds());

    // A compositing manager's decoration widens the frame.
    desktop->setProperty(editor, "_NET_FRAME_EXTENTS", XCB_ATOM_CARDINAL, {2, 2, 30, 2});
    EXPECT_EQ(windows->frontWindowBounds(), QRectF(198, 720 - 402, 404, 332));
}

TEST_F(X11InputTest, SmallActiveWindowHandsOverToItsApplicationsNextWindow)
{
    const uint32_t otherPid = static_cast<uint32_t>(getpid()) + 1;
    const xcb_window_t palette = desktop->window(10, 10, 200, 400);
    const xcb_window_t document = desktop->window(300, 200, 640, 480);
    const xcb_window_t stranger = desktop->window(0, 0, 1000, 700);
    const xcb_window_t hidden = desktop->window(50, 50, 900, 600, XCB_CURSOR_NONE, false);
    desktop->setPid(palette, otherPid);
    desktop->setPid(document, otherPid);
    desktop->setPid(hidden, otherPid);
    desktop->setPid(stranger, otherPid + 1);
    desktop->activate(palette);
    EXPECT_FALSE(windows->frontWindowBounds()); // 200 wide is too small, and no stacking list names others

    // Bottom to top.
    desktop->setProperty(desktop->root(), "_NET_CLIENT_LIST_STACKING", XCB_ATOM_WINDOW, {document, stranger, hidden, palette});
    EXPECT_EQ(windows->frontWindowBounds(), QRectF(300, 720 - 680, 640, 480));
}

} // namespace
