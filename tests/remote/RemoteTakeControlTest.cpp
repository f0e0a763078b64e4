#include "core/Platform.h"
#include "core/RemoteTakeControl.h"
#include "platform/audio/SoundPlayer.h"
#include "support/FakeAccessProbe.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

namespace {

class RecordedSounds final : public SoundPlayer {
public:
    void play(const QString& name) override { played.append(name); }
    QStringList played;
};

// The take operations as counters; a stop records whether it was told it came from the remote.
class CountingStudio final : public RemoteTakeControl::Studio {
public:
    const RecordingPhase& phase() const override { return shown; }
    QCoro::Task<> start() override
    {
        ++starts;
        co_return;
    }
    QCoro::Task<> stop() override
    {
        stopsFromRemote.push_back(control->takeStopCameFromRemote());
        shown = stopFails ? RecordingPhase::failed(QStringLiteral("disk full")) : RecordingPhase::idle();
        co_return;
    }
    QCoro::Task<> discard() override
    {
        ++discards;
        shown = RecordingPhase::idle();
        co_return;
    }
    bool pressRacedTheTakesOwnStop() const override { return racedOwnStop; }

    RecordingPhase shown;
    RemoteTakeControl* control = nullptr;
    int starts = 0;
    int discards = 0;
    std::vector<bool> stopsFromRemote;
    bool stopFails = false;
    bool racedOwnStop = false;
};

class RemoteTakeControlTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        Platform platform{*settings, access};
        platform.sounds = &sounds;
        control = std::make_unique<RemoteTakeControl>(studio, platform);
        studio.control = control.get();
    }
    bool waitForStop()
    {
        return TestEnvironment::waitUntil([this] { return !studio.stopsFromRemote.empty(); }, RemoteTakeControl::secondPressMilliseconds + 1500);
    }

    FakeAccessProbe access;
    RecordedSounds sounds;
    CountingStudio studio;
    std::unique_ptr<RemoteTakeControl> control;
};

TEST_F(RemoteTakeControlTest, APressBetweenTakesStartsOne)
{
    for (const RecordingPhase& phase : {RecordingPhase::idle(), RecordingPhase::finished(QStringLiteral("/tmp/a.mp4")), RecordingPhase::failed(QStringLiteral("x"))}) {
        studio.shown = phase;
        control->toggle();
    }
    EXPECT_EQ(studio.starts, 3);
    EXPECT_FALSE(control->hasPendingStop());
    EXPECT_TRUE(sounds.played.isEmpty());
}

TEST_F(RemoteTakeControlTest, APressThatRacedTheTakesOwnStopStartsNothing)
{
    studio.shown = RecordingPhase::failed(QStringLiteral("Recording stopped: the disk is full."));
    studio.racedOwnStop = true;
    control->toggle();
    EXPECT_EQ(studio.starts, 0);
    EXPECT_TRUE(readLog().contains(QStringLiteral("remote button: the take had just stopped on its own; the press is taken as its stop")));
}

TEST_F(RemoteTakeControlTest, TheDelayedStopTellsTheTakeItCameFromTheRemoteOnce)
{
    studio.shown = RecordingPhase::paused();
    control->toggle();
    ASSERT_TRUE(waitForStop());
    EXPECT_EQ(studio.stopsFromRemote, std::vector<bool>{true});
    EXPECT_FALSE(control->stopCameFromRemote()) << "the stop consumed the flag";
    EXPECT_FALSE(control->hasPendingStop());
    EXPECT_EQ(sounds.played, QStringList{QStringLiteral("Pop")});
}

TEST_F(RemoteTakeControlTest, AStopThatFailsSaysSoWithBasso)
{
    studio.shown = RecordingPhase::recording();
    studio.stopFails = true;
    control->toggle();
    ASSERT_TRUE(waitForStop());
    EXPECT_EQ(sounds.played, QStringList{QStringLiteral("Basso")});
}

TEST_F(RemoteTakeControlTest, ACancelledOrOvertakenWaitNeverStops)
{
    studio.shown = RecordingPhase::recording();
    control->toggle();
    control->cancelPendingStop(); // a discard from the window while the remote's stop waits
    EXPECT_FALSE(control->hasPendingStop());
    // The take ended some other way before the wait was over: the late stop does nothing.
    control->toggle();
    studio.shown = RecordingPhase::idle();
    TestEnvironment::waitUntil([] { return false; }, RemoteTakeControl::secondPressMilliseconds + 300);
    QCoreApplication::processEvents();
    EXPECT_TRUE(studio.stopsFromRemote.empty());
    EXPECT_EQ(studio.discards, 0);
    EXPECT_TRUE(sounds.played.isEmpty());
}

TEST_F(RemoteTakeControlTest, TheStatusIsPublished)
{
    int changes = 0;
    QObject::connect(control.get(), &RemoteTakeControl::changed, [&changes] { ++changes; });
    control->setStatus(RemoteButton::Status::of(RemoteButton::Status::Kind::learning));
    EXPECT_EQ(control->status().kind, RemoteButton::Status::Kind::learning);
    EXPECT_EQ(changes, 1);
    control->registerButton(); // no button in the bundle: nothing to arm, nothing changes
    EXPECT_EQ(changes, 1);
}

} // namespace
