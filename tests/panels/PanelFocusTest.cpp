// The floating panels on a plain X server (no window manager, no compositor), as on a bare desktop: they
// never take or grab the keyboard, so what the user types right after the countdown reaches their own
// window, and they take their round outline as window shape so no black square shows around them.
#include "views/framing/CameraBubbleWindow.h"
#include "views/framing/CountdownWindow.h"
#include "platform/x11/X11Compositor.h"
#include "platform/x11/XcbConnection.h"
#include "support/TestEnvironment.h"
#include "support/X11TestWindow.h"

#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace {

class PanelFocusTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            GTEST_SKIP() << "needs an X server";
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            GTEST_SKIP() << "needs xdotool";
        connection = XcbConnection::open();
        ASSERT_NE(connection, nullptr);
        editor = std::make_unique<X11TestWindow>(*connection, QRect(20, 20, 300, 200), 0x336699, X11TestWindow::Identity{});
        const uint32_t events = XCB_EVENT_MASK_KEY_PRESS;
        xcb_change_window_attributes(connection->get(), editor->id(), XCB_CW_EVENT_MASK, &events);
        editor->map();
        xcb_set_input_focus(connection->get(), XCB_INPUT_FOCUS_POINTER_ROOT, editor->id(), XCB_CURRENT_TIME);
        xcb_flush(connection->get());
    }

    xcb_window_t focus() const
    {
        XcbReply<xcb_get_input_focus_reply_t> reply(xcb_get_input_focus_reply(connection->get(), xcb_get_input_focus(connection->get()), nullptr));
        return reply ? reply->focus : static_cast<xcb_window_t>(XCB_WINDOW_NONE);
    }
    // Nobody else holds the keyboard when another client can grab it.
    bool keyboardIsFree() const
    {
        XcbReply<xcb_grab_keyboard_reply_t> reply(xcb_grab_keyboard_reply(connection->get(),
            xcb_grab_keyboard(connection->get(), 0, editor->id(), XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC), nullptr));
        const bool free = reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
        xcb_ungrab_keyboard(connection->get(), XCB_CURRENT_TIME);
        xcb_flush(connection->get());
        return free;
    }
    int keyPressesArrived()
    {
        int presses = 0;
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection->get())) {
            if ((event->response_type & 0x7f) == XCB_KEY_PRESS)
                ++presses;
            free(event);
        }
        return presses;
    }

    std::unique_ptr<XcbConnection> connection;
    std::unique_ptr<X11TestWindow> editor;
};

QCoro::Task<> countDown(CountdownWindow& countdown, bool& done)
{
    co_await countdown.run(QRect(0, 0, 1280, 720), 1, nullptr);
    done = true;
}

TEST_F(PanelFocusTest, typingRightAfterTheCountdownReachesTheUsersWindow)
{
    ASSERT_FALSE(X11Compositor::ownsScreen()) << "the test display runs no compositor";
    CameraBubbleWindow bubble(nullptr, QSizeF(220, 220), 110);
    bubble.move(900, 400);
    bubble.orderFront();
    CountdownWindow countdown;
    bool done = false;
    countDown(countdown, done);
    ASSERT_NE(countdown.panel(), nullptr);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return countdown.panel()->isVisible() && bubble.isVisible(); }, 3000));
    // Without a compositor both panels are cut to their outline: corners are outside the window shape.
    const QRegion circle = countdown.panel()->mask();
    EXPECT_FALSE(circle.isEmpty());
    EXPECT_TRUE(circle.contains(QPoint(130, 130)));
    EXPECT_FALSE(circle.contains(QPoint(3, 3)));
    EXPECT_FALSE(bubble.mask().isEmpty());
    EXPECT_FALSE(bubble.mask().contains(QPoint(2, 2)));
    EXPECT_EQ(focus(), editor->id());
    EXPECT_TRUE(keyboardIsFree());

    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return done; }, 3000));
    // The moment the take begins, the user types ten characters.
    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("5"),
                                                             QStringLiteral("abcdefghij")}),
        0);
    EXPECT_EQ(focus(), editor->id());
    EXPECT_TRUE(keyboardIsFree());
    int presses = 0;
    TestEnvironment::waitUntil([&] { return (presses += keyPressesArrived()) >= 10; }, 3000);
    EXPECT_EQ(presses, 10);
}

} // namespace
