#include "app/DesktopWindows.h"
#include "app/StudioTakeKinds.h"
#include "capture/RemoteButton.h"
#include "core/HotKeyCenter.h"
#include "core/RecordingController.h"
#include "takes/TakeControls.h"
#include "platform/audio/SoundPlayer.h"
#include "support/FakeAccessProbe.h"
#include "support/FakeHidManager.h"
#include "support/FakeScheduler.h"
#include "support/TestEnvironment.h"

#include <QThread>

#include <gtest/gtest.h>

namespace {

class RecordedSounds final : public SoundPlayer {
public:
    void play(const QString& name) override { played.append(name); }
    QStringList played;
};

class RecordedPrompter final : public TeleprompterStepper {
public:
    void stepBox(int delta) override { steps.push_back(delta); }
    bool isPanelShown() const override { return shown; }
    std::vector<int> steps;
    bool shown = true;
};

class ControllerRemoteTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        remote = std::make_unique<RemoteButton>(*settings, hid, access, scheduler);
        Platform platform{*settings, access};
        platform.kinds = &StudioTakeKinds::standard();
        platform.windows = &DesktopWindows::shared();
        platform.hotKeys = &hotKeys;
        platform.remoteButton = remote.get();
        platform.sounds = &sounds;
        platform.teleprompter = &prompter;
        platform.scheduler = &scheduler;
        controller = std::make_unique<RecordingController>(platform);
    }
    void settle(int ms = 0)
    {
        QThread::msleep(static_cast<unsigned long>(ms));
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }

    FakeAccessProbe access;
    FakeHidManagerFactory hid;
    FakeScheduler scheduler;
    HotKeyCenter hotKeys{nullptr};
    std::unique_ptr<RemoteButton> remote;
    RecordedSounds sounds;
    RecordedPrompter prompter;
    std::unique_ptr<RecordingController> controller;
};

TEST_F(ControllerRemoteTest, APressWhileBusyIsIgnoredWithFunk)
{
    for (const auto& [phase, name] : {std::pair{RecordingPhase::countingDown(), "countingDown"},
             std::pair{RecordingPhase::preparing(), "preparing"}, std::pair{RecordingPhase::finishing(), "finishing"}}) {
        controller->setPhase(phase);
        controller->remote().toggle();
        EXPECT_TRUE(readLog().contains(QStringLiteral("remote button: press ignored, studio busy (") + QString::fromLatin1(name) + QLatin1Char(')')));
    }
    EXPECT_EQ(sounds.played, (QStringList{QStringLiteral("Funk"), QStringLiteral("Funk"), QStringLiteral("Funk")}));
    EXPECT_FALSE(controller->remote().hasPendingStop());
}

// A take that stopped on its own (its disk filled) a moment before the press: the press was its stop, and only a
// press a while later starts the next take. A take the user stopped leaves the next press free to start one.
TEST_F(ControllerRemoteTest, APressJustAfterTheTakeStoppedOnItsOwnIsTakenAsItsStop)
{
    const QString sentence = QStringLiteral("Recording stopped: the disk is full. Saved up to 00:05 in raw.mov.");
    controller->setPhase(RecordingPhase::recording());
    controller->setPhase(RecordingPhase::finishing());
    controller->setPhase(RecordingPhase::failed(sentence));
    scheduler.advance(RecordingController::pressAfterOwnStopSeconds * 0.9);
    EXPECT_TRUE(controller->pressRacedTheTakesOwnStop());
    controller->remote().toggle();
    settle();
    EXPECT_EQ(controller->phase(), RecordingPhase::failed(sentence)) << "no new take began";

    scheduler.advance(RecordingController::pressAfterOwnStopSeconds * 0.2);
    EXPECT_FALSE(controller->pressRacedTheTakesOwnStop());

    // Paused and resumed, then stopped by the user: nothing raced.
    controller->setPhase(RecordingPhase::recording());
    controller->setPhase(RecordingPhase::paused());
    controller->setPhase(RecordingPhase::recording());
    EXPECT_FALSE(controller->pressRacedTheTakesOwnStop());
    controller->stop();
    controller->setPhase(RecordingPhase::finishing());
    controller->setPhase(RecordingPhase::failed(sentence));
    EXPECT_FALSE(controller->pressRacedTheTakesOwnStop());
}

TEST_F(ControllerRemoteTest, OnePressStopsAfterTheWaitAsARemoteStop)
{
    controller->setPhase(RecordingPhase::recording());
    controller->remote().toggle();
    EXPECT_TRUE(controller->remote().hasPendingStop());
    settle(300);
    EXPECT_FALSE(controller->remote().stopCameFromRemote()); // still waiting for a second press
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return !controller->remote().hasPendingStop(); }, 2000));
    settle();
    // The stop consumed the flag (a take's save job receives it); "Pop" confirms the stop.
    EXPECT_FALSE(controller->remote().stopCameFromRemote());
    EXPECT_EQ(sounds.played, QStringList{QStringLiteral("Pop")});
}

TEST_F(ControllerRemoteTest, ASecondPressWithinTheWaitDiscardsInstead)
{
    controller->setPhase(RecordingPhase::recording());
    controller->remote().toggle();
    settle(100);
    controller->remote().toggle();
    settle(900);
    EXPECT_FALSE(controller->remote().stopCameFromRemote());
    EXPECT_EQ(sounds.played, QStringList{QStringLiteral("Basso")});
    EXPECT_TRUE(readLog().contains(QStringLiteral("remote button: double press -> discard")));
}

TEST_F(ControllerRemoteTest, ALongPressWithThePanelOpenStepsInsteadOfStopping)
{
    controller->setPhase(RecordingPhase::recording());
    controller->remote().toggle();
    controller->remote().longPress();
    EXPECT_FALSE(controller->remote().hasPendingStop());
    settle(900);
    EXPECT_FALSE(controller->remote().stopCameFromRemote());
    EXPECT_EQ(prompter.steps, std::vector<int>{1});
    EXPECT_EQ(sounds.played, QStringList{QStringLiteral("Tink")});

    prompter.shown = false; // with the panel closed the hold does nothing and the stop goes on
    controller->remote().toggle();
    controller->remote().longPress();
    EXPECT_TRUE(controller->remote().hasPendingStop());
}

} // namespace
