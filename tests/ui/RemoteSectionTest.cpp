#include "app/DesktopWindows.h"
#include "app/StudioTakeKinds.h"
#include "WindowTest.h"

#include "capture/RemoteButton.h"
#include "support/FakeHidManager.h"
#include "support/FakeScheduler.h"
#include "ui/IconLabel.h"
#include "ui/RemoteSection.h"

#include <QPushButton>

namespace {

using Status = RemoteButton::Status;
using Kind = Status::Kind;
using Tone = WindowStyle::Tone;

const RemoteButton::Device shutter{0x1d57, 0xad03, QStringLiteral("AB Shutter3")};

TEST(RemoteSectionRowsTest, indicatorAndButtonsFollowTheStatus)
{
    struct Case {
        Status status;
        RemoteSection::Indicator indicator;
        QStringList buttons;
    };
    const std::vector<Case> cases{
        {Status::ready(shutter), {"AB Shutter3", "checkmark.circle.fill", Tone::green}, {"forgetRemoteButton"}},
        {Status::ready({1, 2, QString()}), {"", "checkmark.circle.fill", Tone::green}, {"forgetRemoteButton"}},
        {Status::of(Kind::notSet), {"Not set up", "", Tone::secondary}, {"learnRemoteButton"}},
        {Status::of(Kind::learning), {"Press your button…", "dot.radiowaves.left.and.right", Tone::orange}, {"cancelLearningButton"}},
        {Status::of(Kind::needsPermission), {"Needs permission", "exclamationmark.triangle.fill", Tone::orange},
            {"allowInputButton", "inputAllowedButton"}},
        {Status::notConnected(shutter), {"AB Shutter3", "", Tone::secondary}, {"forgetRemoteButton"}},
        {Status::of(Kind::noDevices), {"No input devices were found.", "exclamationmark.triangle.fill", Tone::orange}, {"learnRemoteButton"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RemoteSection::indicator(c.status), c.indicator) << c.indicator.text.toStdString();
        EXPECT_EQ(RemoteSection::buttons(c.status), c.buttons) << c.indicator.text.toStdString();
    }
}

TEST(RemoteSectionRowsTest, explanationPrintsTheTrimARemoteStopReallyCuts)
{
    const QString text = RemoteSection::explanation();
    EXPECT_TRUE(text.contains(QStringLiteral("one press stops it and cuts the last 1.5 s, your hand reaching for it"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("the log says \"release after\" when it does")));
    EXPECT_FALSE(text.contains(QStringLiteral("Mac")));
    EXPECT_FALSE(text.contains(QStringLiteral("System Settings")));
}

// A controller with a real clicker over fake HID devices, and the section over it.
class RemoteSectionTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        button = std::make_unique<RemoteButton>(*settings, hid, access, scheduler);
        Platform platform{*settings, access};
        platform.kinds = &StudioTakeKinds::standard();
        platform.windows = &DesktopWindows::shared();
        platform.remoteButton = button.get();
        platform.scheduler = &scheduler;
        controller = std::make_unique<RecordingController>(platform);
        controller->remote().registerButton();
        section = std::make_unique<RemoteSection>(*controller);
        QObject::connect(controller.get(), &RecordingController::changed, section.get(), [this] { section->sync(); });
        section->show();
        settle();
    }
    void TearDown() override
    {
        section.reset();
        controller.reset();
        button.reset();
        SandboxTest::TearDown();
    }
    static void settle()
    {
        for (int i = 0; i < 4; ++i)
            QCoreApplication::processEvents();
    }
    QPushButton* shown(const QString& name) const
    {
        auto* push = section->findChild<QPushButton*>(name);
        return push && push->isVisibleTo(section.get()) ? push : nullptr;
    }
    void press(const QString& name)
    {
        QPushButton* push = shown(name);
        ASSERT_NE(push, nullptr) << name.toStdString();
        push->click();
        settle();
    }

    FakeHidManagerFactory hid;
    FakeAccessProbe access;
    FakeScheduler scheduler;
    std::unique_ptr<RemoteButton> button;
    std::unique_ptr<RecordingController> controller;
    std::unique_ptr<RemoteSection> section;
};

TEST_F(RemoteSectionTest, learnCancelAndForgetMoveTheClickerThroughItsStates)
{
    EXPECT_EQ(controller->remote().status().kind, Kind::notSet);
    press(QStringLiteral("learnRemoteButton"));
    EXPECT_EQ(controller->remote().status().kind, Kind::learning);
    EXPECT_TRUE(button->isLearning());

    press(QStringLiteral("cancelLearningButton"));
    EXPECT_FALSE(button->isLearning());
    EXPECT_EQ(controller->remote().status().kind, Kind::notSet) << "re-armed with nothing learned";

    // Learning that already ended leaves Cancel nothing to do.
    controller->remote().setStatus(Status::of(Kind::learning));
    settle();
    const auto before = button->status();
    press(QStringLiteral("cancelLearningButton"));
    EXPECT_EQ(button->status(), before);

    button->store(shutter);
    hid.present = {HidDeviceInfo{shutter.vendorID, shutter.productID, shutter.name, QStringLiteral("Bluetooth"), false}};
    button->arm();
    settle();
    ASSERT_EQ(controller->remote().status(), Status::ready(shutter));
    press(QStringLiteral("forgetRemoteButton"));
    EXPECT_EQ(controller->remote().status().kind, Kind::notSet);
    EXPECT_FALSE(button->learned().has_value());
}

TEST_F(RemoteSectionTest, allowLooksAtInputAccessAgainAndOnlyIAllowedItReArms)
{
    button->store(shutter);
    access.inputState = Permissions::State::denied;
    button->arm();
    settle();
    ASSERT_EQ(controller->remote().status().kind, Kind::needsPermission);

    press(QStringLiteral("allowInputButton"));
    EXPECT_EQ(access.instructionsShown, QStringList({QString::fromLatin1(Permissions::inputMonitoringPane)}));
    EXPECT_EQ(controller->remote().status().kind, Kind::needsPermission);

    access.inputState = Permissions::State::granted;
    press(QStringLiteral("allowInputButton"));
    EXPECT_EQ(access.instructionsShown.size(), 1) << "granted: nothing to explain";
    EXPECT_EQ(controller->remote().status().kind, Kind::needsPermission) << "Allow does not re-arm";
    press(QStringLiteral("inputAllowedButton"));
    EXPECT_EQ(controller->remote().status(), Status::notConnected(shutter));
}

TEST_F(RemoteSectionTest, theSectionIsDeafWhileTheStudioIsBusy)
{
    for (const RecordingPhase& phase : {RecordingPhase::idle(), RecordingPhase::countingDown(), RecordingPhase::preparing(),
             RecordingPhase::recording(), RecordingPhase::paused(), RecordingPhase::finishing(), RecordingPhase::finished(path("f.mov")),
             RecordingPhase::failed(QStringLiteral("x"))}) {
        controller->setPhase(phase);
        settle();
        EXPECT_EQ(section->isEnabled(), !phase.isBusy()) << static_cast<int>(phase.kind());
    }
}

TEST_F(RemoteSectionTest, learningWithoutAnyInputDeviceSaysNoneWasFoundNotTheGroup)
{
    access.inputState = Permissions::State::notAsked; // no /dev/input/event* at all
    press(QStringLiteral("learnRemoteButton"));
    EXPECT_EQ(controller->remote().status().kind, Kind::noDevices);
    EXPECT_FALSE(button->isLearning());
    EXPECT_TRUE(access.instructionsShown.isEmpty()) << "no group would help";
    auto* indicator = section->findChild<IconLabel*>(QStringLiteral("remoteIndicator"));
    ASSERT_NE(indicator, nullptr);
    EXPECT_TRUE(indicator->isVisibleTo(section.get()));
    EXPECT_EQ(indicator->text(), QStringLiteral("No input devices were found."));
    EXPECT_EQ(shown(QStringLiteral("allowInputButton")), nullptr);

    // A learned clicker on such a machine is simply not connected.
    button->store(shutter);
    button->arm();
    settle();
    EXPECT_EQ(controller->remote().status(), Status::notConnected(shutter));

    // Devices that exist but cannot be read: the group advice, once, and the Allow buttons.
    button->forget();
    settle();
    access.inputState = Permissions::State::denied;
    press(QStringLiteral("learnRemoteButton"));
    EXPECT_EQ(controller->remote().status().kind, Kind::needsPermission);
    EXPECT_EQ(access.instructionsShown, QStringList{QString::fromLatin1(Permissions::inputMonitoringPane)});
    EXPECT_NE(shown(QStringLiteral("allowInputButton")), nullptr);

    // Plugged in and readable, learning goes ahead.
    button->forget();
    settle();
    access.inputState = Permissions::State::granted;
    press(QStringLiteral("learnRemoteButton"));
    EXPECT_EQ(controller->remote().status().kind, Kind::learning);
}

} // namespace
