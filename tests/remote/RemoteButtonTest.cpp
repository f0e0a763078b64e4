#include "capture/RemoteButton.h"
#include "platform/system/Settings.h"
#include "support/FakeAccessProbe.h"
#include "support/FakeHidManager.h"
#include "support/FakeScheduler.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

namespace {

const HidDeviceInfo clicker{0x1d57, 0xad03, QStringLiteral("AB Shutter3"), QStringLiteral("Bluetooth"), false};

class RemoteButtonTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        button = std::make_unique<RemoteButton>(*settings, hid, access, scheduler);
        button->onPress = [this] { events.push_back("press"); };
        button->onLongPress = [this] { events.push_back("long"); };
        button->onStatusChange = [this](const RemoteButton::Status& s) { statuses.push_back(s); };
    }
    void learnClicker()
    {
        button->store({clicker.vendorID, clicker.productID, clicker.product});
        hid.present = {clicker};
        button->arm();
    }
    void press(double holdFor = -1)
    {
        hid.send(12, 1, clicker);
        if (holdFor >= 0) {
            scheduler.advance(holdFor);
            hid.send(12, 0, clicker);
        }
    }

    FakeHidManagerFactory hid;
    FakeAccessProbe access;
    FakeScheduler scheduler;
    std::unique_ptr<RemoteButton> button;
    std::vector<std::string> events;
    std::vector<RemoteButton::Status> statuses;
};

TEST_F(RemoteButtonTest, ArmingFollowsWhatIsStoredAndWhatIsReachable)
{
    button->arm();
    EXPECT_EQ(button->status(), RemoteButton::Status::of(RemoteButton::Status::Kind::notSet));

    button->store({clicker.vendorID, clicker.productID, clicker.product});
    access.inputState = Permissions::State::denied;
    button->arm();
    EXPECT_EQ(button->status().kind, RemoteButton::Status::Kind::needsPermission);

    access.inputState = Permissions::State::granted;
    button->arm(); // learned but not connected: not "ready"
    EXPECT_EQ(button->status(), RemoteButton::Status::notConnected({clicker.vendorID, clicker.productID, clicker.product}));

    hid.present = {clicker};
    button->arm();
    EXPECT_EQ(button->status(), RemoteButton::Status::ready({clicker.vendorID, clicker.productID, clicker.product}));
    ASSERT_FALSE(hid.opens.empty());
    EXPECT_TRUE(hid.opens.back().seize);
    EXPECT_TRUE(readLog().contains(QStringLiteral("remote button armed: AB Shutter3 (7511:44291)")));
}

TEST_F(RemoteButtonTest, AStoredMacKeyboardIsForgotten)
{
    button->store({1452, 1, QStringLiteral("Keyboard")});
    button->arm();
    EXPECT_EQ(button->status().kind, RemoteButton::Status::Kind::notSet);
    EXPECT_FALSE(settings->contains(QStringLiteral("remoteButtonVendorID")));
    button->store({99, 1, QStringLiteral("Apple Internal Keyboard")});
    EXPECT_FALSE(button->learned());
    EXPECT_TRUE(readLog().contains(QStringLiteral("remote button: stored device is a computer keyboard, forgetting it")));
}

TEST_F(RemoteButtonTest, PressesAreDebouncedAt150Milliseconds)
{
    learnClicker();
    press(0.05);
    scheduler.advance(0.05); // second press 0.1 s after the first: dropped
    press(0.05);
    scheduler.advance(0.10); // 0.2 s after the first: reported
    press(0.05);
    EXPECT_EQ(events, (std::vector<std::string>{"press", "press"}));
}

TEST_F(RemoteButtonTest, LongPressNeedsADeviceThatReportsReleases)
{
    learnClicker();
    press();
    scheduler.advance(1.0); // never released yet: no long press
    EXPECT_EQ(events, (std::vector<std::string>{"press"}));
    hid.send(12, 0, clicker);
    scheduler.advance(1.0);
    press();
    scheduler.advance(0.6);
    EXPECT_EQ(events, (std::vector<std::string>{"press", "press", "long"}));
    EXPECT_TRUE(readLog().contains(QStringLiteral("remote button long press")));
    // A release before the hold cancels it.
    hid.send(12, 0, clicker);
    scheduler.advance(1.0);
    press(0.3);
    scheduler.advance(1.0);
    EXPECT_EQ(events, (std::vector<std::string>{"press", "press", "long", "press"}));
    EXPECT_TRUE(readLog().contains(QStringLiteral("remote button release after 0.30 s")));
}

TEST_F(RemoteButtonTest, OnlyKeyboardButtonAndConsumerPagesCount)
{
    learnClicker();
    for (int page : {1, 13, 9, 7}) {
        hid.send(page, 1, clicker);
        scheduler.advance(1);
    }
    EXPECT_EQ(events.size(), 2u);
}

TEST_F(RemoteButtonTest, LearningSkipsBuiltInAppleAndTypingKeyboardsThenArmsTheClicker)
{
    hid.present = {clicker};
    button->startLearning();
    EXPECT_TRUE(button->isLearning());
    EXPECT_EQ(button->status().kind, RemoteButton::Status::Kind::learning);
    EXPECT_FALSE(hid.opens.back().matching);
    EXPECT_FALSE(hid.opens.back().seize);

    hid.send(7, 1, {1, 1, QStringLiteral("AT Translated Set 2 keyboard"), QStringLiteral("internal i8042"), true});
    hid.send(7, 1, {0x5ac, 0x24f, QStringLiteral("Magic Keyboard"), QStringLiteral("Bluetooth"), false});
    hid.send(7, 1, {0x046d, 0xc31c, QStringLiteral("Logitech USB Keyboard"), QStringLiteral("USB"), true});
    EXPECT_TRUE(button->isLearning());
    EXPECT_FALSE(button->learned());

    hid.send(12, 1, clicker);
    EXPECT_FALSE(button->isLearning());
    scheduler.advance(0.01);
    EXPECT_EQ(button->status(), RemoteButton::Status::ready({clicker.vendorID, clicker.productID, clicker.product}));
    EXPECT_TRUE(readLog().contains(QStringLiteral("remote button learned: AB Shutter3 (7511:44291) page 12")));
    EXPECT_TRUE(readLog().contains(QStringLiteral("remote button: heard page 7 from Logitech USB Keyboard (1133)")));
    EXPECT_TRUE(events.empty()); // presses while learning are not presses
}

TEST_F(RemoteButtonTest, AClickerPluggedInAfterArmingIsPickedUpAtOnce)
{
    button->store({clicker.vendorID, clicker.productID, clicker.product});
    button->arm();
    ASSERT_EQ(button->status().kind, RemoteButton::Status::Kind::notConnected);
    hid.present = {clicker};
    button->deviceAppeared(clicker.product);
    scheduler.advance(0.5);
    EXPECT_EQ(button->status().kind, RemoteButton::Status::Kind::ready);
}

} // namespace
