#include "FinishResumeFixture.h"

#include "finishing/PendingRender.h"
#include "finishing/RenderWork.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using Kind = FinishJob::State::Kind;

// A row says only what will happen: what a launch will do with a take whose folder went away, and how many
// takes a quit would leave unfinished.
class FinishRowPromise : public FinishResumeBase {
protected:
    // A saved take in Takes/`name` whose render may be queued, its folder held from its start.
    PendingRender::Job heldTake(const QString& name, int relaunches = 0)
    {
        const QString take = takes(name);
        QDir().mkpath(take);
        write(take + QStringLiteral("/raw.mov"), "raw");
        write(take + QStringLiteral("/take.json"), R"({"screen": "raw.mov", "preview": "final.mov"})");
        Mixdown::Request request;
        request.rawURL = take + QStringLiteral("/raw.mov");
        request.recordedSeconds = 6;
        return {name, name, take + QStringLiteral("/final.mov"), take + QStringLiteral("/stop.json"), request, relaunches, std::nullopt,
            HeldFolder::hold(take)};
    }
    // What a move to another disk does: every file copied to `to`, then the folder deleted.
    void moveAcrossDisks(const QString& from, const QString& to)
    {
        QDir().mkpath(to);
        for (const QFileInfo& file : QDir(from).entryInfoList(QDir::Files | QDir::Hidden))
            ASSERT_TRUE(QFile::copy(file.filePath(), QDir(to).filePath(file.fileName())));
        ASSERT_TRUE(QDir(from).removeRecursively());
    }
    // What the next launch finds of the folder once it is moved back.
    TakeRecovery::Findings launchAfterMovingBack(const QString& name)
    {
        EXPECT_TRUE(QDir().rename(path(QStringLiteral("Other disk/") + name), takes(name)));
        return TakeRecovery::sweep({path(QStringLiteral("Takes"))});
    }
};

const QString goneWithNote = QStringLiteral("final.mov was not made: its take's folder was deleted or moved to another disk. ")
    + QStringLiteral("A launch that finds the folder where it went finishes it there.");
const QString goneWithoutNote = QStringLiteral("final.mov was not made: its take's folder was deleted or moved to another disk, and no note of its ")
    + QStringLiteral("finishing is in it, so no launch finishes it; the recordings that went with the folder stay as they are.");
const QString goneWithStoppedNote = QStringLiteral("final.mov was not made: its take's folder was deleted or moved to another disk. ")
    + QStringLiteral("A launch that finds the folder where it went offers to render it again there.");

TEST_F(FinishRowPromise, aRenderWhoseFolderWentToAnotherDiskPromisesALaunchOnlyWhenItsNoteWentWithIt)
{
    const QString other = path(QStringLiteral("Other disk/"));

    // A failed render's note goes with its failure: the Retry pressed once the folder went finds none there.
    tools->failRenders = 1;
    controller->finishQueue().submit(std::make_shared<RenderWork>(heldTake(QStringLiteral("failed"))));
    clock.advance(10);
    ASSERT_EQ(row(0).state.kind, Kind::failed);
    EXPECT_EQ(controller->phase(), RecordingPhase::failed(QStringLiteral("Mixdown failed: forced")));
    moveAcrossDisks(takes(QStringLiteral("failed")), other + QStringLiteral("failed"));
    controller->finishQueue().retryFinishJob(row(0).id);
    EXPECT_EQ(row(0).state.message, goneWithoutNote);
    EXPECT_EQ(controller->phase(), RecordingPhase::failed(goneWithoutNote)) << "the status line still shows the failure the Retry was for";
    EXPECT_FALSE(controller->finishQueue().hasFinishRetry(row(0).id));
    TakeRecovery::Findings found = launchAfterMovingBack(QStringLiteral("failed"));
    EXPECT_TRUE(found.renders.empty() && found.stoppedRenders.empty());

    // Moved a moment after the stop, before its render was noted.
    PendingRender::Job early = heldTake(QStringLiteral("early"));
    moveAcrossDisks(takes(QStringLiteral("early")), other + QStringLiteral("early"));
    controller->finishQueue().submit(std::make_shared<RenderWork>(early));
    EXPECT_EQ(row(1).state.message, goneWithoutNote);
    found = launchAfterMovingBack(QStringLiteral("early"));
    EXPECT_TRUE(found.renders.empty() && found.stoppedRenders.empty());

    // Noted, then moved while it waits its turn: the launch that finds it finishes it.
    tools->holdRenders = true;
    controller->finishQueue().submit(std::make_shared<RenderWork>(heldTake(QStringLiteral("ahead"))));
    controller->finishQueue().submit(std::make_shared<RenderWork>(heldTake(QStringLiteral("waiting"))));
    moveAcrossDisks(takes(QStringLiteral("waiting")), other + QStringLiteral("waiting"));
    tools->complete(tools->renders.size() - 1);
    tools->holdRenders = false;
    EXPECT_EQ(row(3).state.message, goneWithNote);
    found = launchAfterMovingBack(QStringLiteral("waiting"));
    EXPECT_EQ(found.renders.size(), 1u);
    for (const PendingRender::Job& job : found.renders)
        PendingRender::remove(job.finalURL);

    // Stopped by the crash guard, its note counting a relaunch: the launch offers its Retry again.
    ASSERT_TRUE(PendingRender::write(heldTake(QStringLiteral("stopped"), 1)));
    found = TakeRecovery::sweep({path(QStringLiteral("Takes"))});
    ASSERT_EQ(found.stoppedRenders.size(), 1u);
    listStopped(found);
    moveAcrossDisks(takes(QStringLiteral("stopped")), other + QStringLiteral("stopped"));
    controller->finishQueue().retryFinishJob(row(4).id);
    EXPECT_EQ(row(4).state.message, goneWithStoppedNote);
    found = launchAfterMovingBack(QStringLiteral("stopped"));
    EXPECT_EQ(found.stoppedRenders.size(), 1u);
}

TEST_F(FinishRowPromise, aQuitCountsTwoWaitingTakesWhoseFinalsARenameNamedAlike)
{
    tools->holdRenders = true;
    controller->finishQueue().submit(std::make_shared<RenderWork>(heldTake(QStringLiteral("video 1"))));
    ASSERT_TRUE(QDir().rename(takes(QStringLiteral("video 1")), takes(QStringLiteral("intro take"))));
    controller->finishQueue().submit(std::make_shared<RenderWork>(heldTake(QStringLiteral("video 1"))));
    ASSERT_EQ(row(0).state.kind, Kind::working);
    ASSERT_EQ(row(1).state.kind, Kind::working);
    EXPECT_EQ(controller->finishQueue().finishingCount(), 2);
    tools->complete(0);
    ASSERT_EQ(tools->renders.size(), 2u);
    tools->complete(1);
    EXPECT_EQ(controller->finishQueue().finishingCount(), 0);
    EXPECT_TRUE(QFileInfo::exists(takes(QStringLiteral("intro take/final.mov"))));
    EXPECT_TRUE(QFileInfo::exists(takes(QStringLiteral("video 1/final.mov"))));
}

} // namespace
