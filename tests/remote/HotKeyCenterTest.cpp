#include "app/DesktopWindows.h"
#include "app/StudioTakeKinds.h"
#include "core/HotKeyCenter.h"
#include "core/RecordingController.h"
#include "support/FakeAccessProbe.h"
#include "platform/x11/XcbConnection.h"
#include "platform/x11/XcbGlobalKeyGrabber.h"
#include "support/TestEnvironment.h"

#include <QGuiApplication>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <xcb/xcb_keysyms.h>

namespace {

constexpr uint32_t keyR = 0x72; // XK_r
constexpr uint32_t keyZ = 0x7a; // XK_z

class ScriptedGrabber final : public GlobalKeyGrabber {
public:
    std::optional<QString> grab(uint32_t, uint16_t) override { return std::nullopt; }
};

class HotKeyCenterTest : public SandboxTest { };

TEST_F(HotKeyCenterTest, ActionsRunOnALaterTurnAndOnlyForTheirExactModifiers)
{
    ScriptedGrabber grabber;
    HotKeyCenter center(&grabber);
    int starts = 0;
    EXPECT_EQ(center.registerKey({keyR, GlobalKeyGrabber::control, QStringLiteral("Ctrl+R")}, [&] { ++starts; }), 1u);
    EXPECT_EQ(center.registerKey({keyZ, GlobalKeyGrabber::super | GlobalKeyGrabber::alt, QStringLiteral("Super+Alt+Z")}, [] {}), 2u);
    grabber.onPressed(keyR, GlobalKeyGrabber::control);
    EXPECT_EQ(starts, 0); // never re-entrantly inside the key event
    QCoreApplication::processEvents();
    EXPECT_EQ(starts, 1);
    grabber.onPressed(keyR, GlobalKeyGrabber::control | GlobalKeyGrabber::alt);
    QCoreApplication::processEvents();
    EXPECT_EQ(starts, 1);
}

TEST_F(HotKeyCenterTest, CtrlRStartsATakeFromIdleNotOnlyStopsOne)
{
    ScriptedGrabber grabber;
    HotKeyCenter center(&grabber);
    FakeAccessProbe access;
    Platform platform{*settings, access};
    platform.hotKeys = &center;
    platform.kinds = &StudioTakeKinds::standard();
    platform.windows = &DesktopWindows::shared();
    RecordingController controller(platform);
    // No display is listed, so the screen take's start ends at once with its sentence: proof it ran.
    for (const RecordingPhase& from : {RecordingPhase::idle(), RecordingPhase::finished(path("final.mov"))}) {
        controller.setPhase(from);
        grabber.onPressed(keyR, GlobalKeyGrabber::control);
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return controller.phase().kind() == RecordingPhase::Kind::failed; }, 3000))
            << static_cast<int>(from.kind());
    }
    // Counting down, Ctrl+R does nothing.
    controller.setPhase(RecordingPhase::countingDown());
    grabber.onPressed(keyR, GlobalKeyGrabber::control);
    QCoreApplication::processEvents();
    EXPECT_EQ(controller.phase(), RecordingPhase::countingDown());
    controller.setPhase(RecordingPhase::idle());
}

class XcbHotKeyTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        if (qEnvironmentVariableIsEmpty("DISPLAY") || QGuiApplication::platformName() != QLatin1String("xcb"))
            GTEST_SKIP() << "needs an X server";
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            GTEST_SKIP() << "needs xdotool";
        grabber = XcbGlobalKeyGrabber::create();
        ASSERT_TRUE(grabber);
    }
    std::unique_ptr<XcbGlobalKeyGrabber> grabber;
};

TEST_F(XcbHotKeyTest, AKeyAnotherClientHoldsIsReported)
{
    auto other = XcbConnection::open();
    ASSERT_TRUE(other);
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(other->get());
    XcbReply<xcb_keycode_t> codes(xcb_key_symbols_get_keycode(symbols, keyZ));
    xcb_key_symbols_free(symbols);
    ASSERT_TRUE(codes);
    const uint16_t mods = GlobalKeyGrabber::super | GlobalKeyGrabber::alt;
    XcbReply<xcb_generic_error_t> error(xcb_request_check(other->get(),
        xcb_grab_key_checked(other->get(), 1, other->root(), mods, codes.get()[0], XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
    ASSERT_FALSE(error);

    HotKeyCenter center(grabber.get());
    center.registerKey({keyZ, mods, QStringLiteral("Super+Alt+Z")}, [] {});
    EXPECT_EQ(center.refusedKeys(), QStringList{QStringLiteral("Super+Alt+Z")});
    EXPECT_TRUE(readLog().contains(QStringLiteral("hot key Super+Alt+Z unavailable: another application already uses it")));
}

} // namespace
