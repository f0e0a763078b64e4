#include "app/DesktopWindows.h"
#include "app/StudioTakeKinds.h"
#include "capture/RemoteButton.h"
#include "core/HotKeyCenter.h"
#include "core/RecordingController.h"
#include "platform/audio/SoundPlayer.h"
#include "platform/x11/XcbGlobalKeyGrabber.h"
#include "support/FakeAccessProbe.h"
#include "support/FakeHidManager.h"
#include "support/FakeScheduler.h"
#include "support/FakeVoiceFollowSwitch.h"
#include "support/TestEnvironment.h"
#include "views/teleprompter/TeleprompterWindow.h"

#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace {

const HidDeviceInfo clicker{0x1d57, 0xad03, QStringLiteral("AB Shutter3"), QStringLiteral("Bluetooth"), false};
const QString cards = QStringLiteral("First card has words.\n\nSecond card follows here.\n\nThird one ends it.");

class Sounds final : public SoundPlayer {
public:
    void play(const QString& name) override { played.append(name); }
    QStringList played;
};

// The teleprompter window behind the controller's hot keys and remote button, as the studio wires it.
class TeleprompterKeysTest : public SandboxTest {
protected:
    void build(HotKeyCenter& keys)
    {
        window = std::make_unique<TeleprompterWindow>(*settings, &speech);
        window->model().setMode(PrompterMode::follow);
        window->model().setText(cards);
        remote = std::make_unique<RemoteButton>(*settings, hid, access, scheduler);
        remote->store({clicker.vendorID, clicker.productID, clicker.product});
        hid.present = {clicker};
        Platform platform{*settings, access};
        platform.kinds = &StudioTakeKinds::standard();
        platform.windows = &DesktopWindows::shared();
        platform.hotKeys = &keys;
        platform.remoteButton = remote.get();
        platform.sounds = &sounds;
        platform.scheduler = &scheduler;
        platform.teleprompter = window.get();
        controller = std::make_unique<RecordingController>(platform);
    }
    void TearDown() override
    {
        controller.reset();
        window.reset();
        SandboxTest::TearDown();
    }

    FakeVoiceFollowSwitch speech;
    FakeAccessProbe access;
    FakeHidManagerFactory hid;
    FakeScheduler scheduler;
    Sounds sounds;
    std::unique_ptr<TeleprompterWindow> window;
    std::unique_ptr<RemoteButton> remote;
    std::unique_ptr<RecordingController> controller;
};

TEST_F(TeleprompterKeysTest, SuperAltRightStepsACard)
{
    if (QGuiApplication::platformName() != u"xcb" || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        GTEST_SKIP() << "needs an X display and xdotool";
    auto grabber = XcbGlobalKeyGrabber::create();
    ASSERT_TRUE(grabber);
    HotKeyCenter keys(grabber.get());
    build(keys);
    ASSERT_TRUE(keys.refusedKeys().isEmpty());
    ASSERT_EQ(window->model().follower().focus(), 0);
    QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("super+alt+Right")});
    EXPECT_TRUE(TestEnvironment::waitUntil([this] { return window->model().follower().focus() == 1; }, 3000));
    QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("super+alt+Left")});
    EXPECT_TRUE(TestEnvironment::waitUntil([this] { return window->model().follower().focus() == 0; }, 3000));
}

TEST_F(TeleprompterKeysTest, TheRemotesLongPressDuringATakeStepsAndTinks)
{
    HotKeyCenter keys(nullptr);
    build(keys);
    window->show(QGuiApplication::primaryScreen());
    // One press and release while the studio is busy teaches the button that it reports releases.
    controller->setPhase(RecordingPhase::finishing());
    hid.send(12, 1, clicker);
    hid.send(12, 0, clicker);
    scheduler.advance(1.0);
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return sounds.played.contains(QStringLiteral("Funk")); }, 2000));
    controller->setPhase(RecordingPhase::recording());
    hid.send(12, 1, clicker);
    scheduler.advance(0.6);
    hid.send(12, 0, clicker);
    ASSERT_TRUE(TestEnvironment::waitUntil([this] { return sounds.played.contains(QStringLiteral("Tink")); }, 2000));
    EXPECT_EQ(window->model().follower().focus(), 1);
    EXPECT_EQ(sounds.played, (QStringList{QStringLiteral("Funk"), QStringLiteral("Tink")}));
    EXPECT_FALSE(controller->remote().hasPendingStop()) << "the hold steps instead of stopping";

    window->hide();
    hid.send(12, 1, clicker);
    scheduler.advance(0.6);
    hid.send(12, 0, clicker);
    TestEnvironment::waitUntil([] { return false; }, 200);
    EXPECT_EQ(window->model().follower().focus(), 1) << "with the panel hidden the hold does not step";
}

} // namespace
