#include "FinishFixture.h"

#include "core/QuitGuard.h"

#include "finishing/NoteFolders.h"
#include "finishing/PendingRender.h"
#include "finishing/RenderWork.h"
#include "finishing/TakeRecovery.h"
#include "support/QueueRender.h"
#include "finishing/ProgressThrottle.h"

#include <thread>

#include <gtest/gtest.h>

namespace {

using Queue = FinishTest;
using Kind = FinishJob::State::Kind;

Mixdown::Request passthrough(const QString& raw)
{
    Mixdown::Request request;
    request.rawURL = raw;
    return request;
}

TEST(ProgressThrottle, PassesTheFirstReportEachHundredthAndTheEnd)
{
    ProgressThrottle throttle;
    const std::pair<double, bool> reports[] = {
        {0.004, true}, {0.012, false}, {0.018, true}, {0.023, false}, {0.028, true}, {0.5, true}, {0.505, false}, {1.0, true}, {1.0, true},
        {std::nan(""), false},
    };
    for (const auto& [fraction, passes] : reports)
        EXPECT_EQ(throttle.pass(fraction), passes) << fraction;
}

TEST_F(Queue, ATakeStartedDuringTheWaitHoldsTheRenderUntilFiveSecondsAfterItEnds)
{
    endTake(); // at 1000
    clock.advance(3);
    queueRender(controller->finishQueue(), QStringLiteral("t"), passthrough(take(QStringLiteral("raw.mov"))), take(QStringLiteral("final.mov")), take(QStringLiteral("stop.json")), QStringLiteral("t"));
    clock.advance(1); // 1004
    controller->setPhase(RecordingPhase::countingDown());
    controller->setPhase(RecordingPhase::recording());
    clock.advance(6); // 1010, looked at 1005 and 1007 and 1009
    EXPECT_TRUE(tools->renders.empty());
    EXPECT_TRUE(controller->finishWaitingForBreak());
    controller->setPhase(RecordingPhase::finishing()); // filming ends at 1010
    controller->setPhase(RecordingPhase::idle());
    clock.advance(4.99); // looks at 1011 and 1013: 1 s and 3 s
    EXPECT_TRUE(tools->renders.empty());
    EXPECT_TRUE(controller->finishWaitingForBreak());
    clock.advance(0.01); // 1015
    EXPECT_EQ(tools->renders.size(), 1u);
    EXPECT_FALSE(controller->finishWaitingForBreak());
}

TEST_F(Queue, AFailedRenderKeepsItsPiecesAndItsRetryRunsOnce)
{
    for (const char* piece : {"raw-2.mov", "face-2.mov", "take-2.json"})
        touch(QString::fromLatin1(piece));
    tools->failRenders = 1;
    Mixdown::Request request = passthrough(take(QStringLiteral("raw-2.mov")));
    request.cameraURL = take(QStringLiteral("face-2.mov"));
    queueRender(controller->finishQueue(), QStringLiteral("take 2 video"), request, take(QStringLiteral("final-2.mov")), take(QStringLiteral("stop-2.json")), QStringLiteral("video take 2"));
    const QUuid id = row(0).id;
    EXPECT_EQ(row(0).state, (FinishJob::State{Kind::failed, 0, {}, QStringLiteral("Mixdown failed: forced")}));
    EXPECT_TRUE(QFileInfo::exists(take(QStringLiteral("raw-2.mov")))) << "nothing is tidied after a failure";
    EXPECT_FALSE(QFileInfo::exists(take(QStringLiteral("Raw"))));

    controller->finishQueue().retryFinishJob(id);
    ASSERT_EQ(tools->renders.size(), 2u);
    EXPECT_EQ(tools->renders[1]->request.cameraURL, take(QStringLiteral("face-2.mov"))) << "the retry renders the same request";
    EXPECT_EQ(row(0).state, (FinishJob::State{Kind::done, 0, take(QStringLiteral("final-2.mov")), {}}));
    EXPECT_EQ(QDir(take(QStringLiteral("Raw"))).entryList(QDir::Files, QDir::Name), QStringList({"face-2.mov", "raw-2.mov", "take-2.json"}));

    controller->finishQueue().retryFinishJob(id);
    EXPECT_EQ(tools->renders.size(), 2u) << "a second retry does nothing";
}

TEST_F(Queue, AFailedRenderShowsItsSentenceUnderTheTakesOwnAndItsRetryFinishesTheTake)
{
    touch(QStringLiteral("raw.mov"));
    tools->failRenders = 1;
    const QString full = QStringLiteral("Recording stopped: the disk is full. Saved up to 00:40 in raw.mov.");
    controller->setPhase(RecordingPhase::failed(full));
    queueRender(controller->finishQueue(), QStringLiteral("take video"), passthrough(take(QStringLiteral("raw.mov"))), take(QStringLiteral("final.mov")), take(QStringLiteral("stop.json")), QStringLiteral("video take"));
    EXPECT_EQ(controller->phase(), RecordingPhase::failed(full));
    EXPECT_EQ(controller->failureText(), full + QStringLiteral("\nMixdown failed: forced"));
    EXPECT_TRUE(controller->canRetryFinish());
    // The next take's failure keeps the render's Retry in reach.
    controller->setPhase(RecordingPhase::idle());
    controller->setPhase(RecordingPhase::failed(QStringLiteral("Nothing was recorded — the disk is full.")));
    EXPECT_EQ(controller->failureText(), QStringLiteral("Nothing was recorded — the disk is full.\nMixdown failed: forced"));

    controller->retryFinish();
    EXPECT_EQ(row(0).state.kind, Kind::done);
    EXPECT_EQ(controller->phase(), RecordingPhase::finished(take(QStringLiteral("final.mov"))));
    EXPECT_FALSE(controller->canRetryFinish());

    // Once used, a take's own failure shows no Retry.
    controller->setPhase(RecordingPhase::failed(full));
    EXPECT_FALSE(controller->canRetryFinish());
    EXPECT_EQ(controller->failureText(), full);
}

TEST_F(Queue, ASavedTakesRenderIsNotedWhileItRunsAFailureIsNoCrashAndItsRetryIsNotedAgain)
{
    touch(QStringLiteral("raw-2.mov"));
    tools->holdRenders = true;
    stopTake(saveJob(QStringLiteral("-2"), false));
    const QString note = PendingRender::markerPath(take(QStringLiteral("final-2.mov")));
    EXPECT_EQ(note, take(QStringLiteral(".final-2.pending")));
    const std::optional<PendingRender::Job> pending = PendingRender::read(note);
    ASSERT_TRUE(pending);
    EXPECT_EQ(pending->title, row(1).title);
    EXPECT_EQ(pending->request.rawURL, take(QStringLiteral("raw-2.mov")));
    EXPECT_EQ(pending->relaunches, 0);

    tools->complete(0, tools->error(QStringLiteral("Mixdown failed: forced")));
    EXPECT_FALSE(QFileInfo::exists(note)) << "a failed render was not cut short by a crash";
    const TakeRecovery::Findings afterFailure = TakeRecovery::sweep({path(QString())});
    EXPECT_TRUE(afterFailure.renders.empty()) << "the next launch does not run it again";
    EXPECT_FALSE(readLog().contains(QStringLiteral("cut short")));

    // The Retry is noted before it starts: a crash during it is finished at the next launch.
    controller->retryFinish();
    ASSERT_EQ(tools->renders.size(), 2u);
    const std::optional<PendingRender::Job> retried = PendingRender::read(note);
    ASSERT_TRUE(retried);
    EXPECT_EQ(retried->relaunches, 0);
    EXPECT_EQ(TakeRecovery::sweep({path(QString())}, afterFailure.noted).renders.size(), 1u);
    tools->complete(1);
    EXPECT_FALSE(QFileInfo::exists(note));
    EXPECT_TRUE(QFileInfo::exists(take(QStringLiteral("final-2.mov"))));
}

TEST_F(Queue, ARendersFolderIsListedFromItsNoteUntilItsLastNoteGoesAndAgainForItsRetry)
{
    tools->holdRenders = true;
    const QString episode = path(QStringLiteral("Brain/PROJECTS/BRANCHLINE/episodes/ep12"));
    QDir().mkpath(episode);
    FinishQueue& queue = controller->finishQueue();
    queueRender(queue, QStringLiteral("take 1"), passthrough(episode + QStringLiteral("/raw.mov")), episode + QStringLiteral("/final.mov"), QString(), QStringLiteral("a"));
    queueRender(queue, QStringLiteral("take 2"), passthrough(episode + QStringLiteral("/raw-2.mov")), episode + QStringLiteral("/final-2.mov"), QString(), QStringLiteral("b"));
    const NoteFolders listed(*settings);
    EXPECT_EQ(listed.folders(), QStringList{NoteFolders::keyOf(episode)});

    tools->complete(0);
    EXPECT_EQ(listed.folders(), QStringList{NoteFolders::keyOf(episode)}) << "take 2's note is still there";
    ASSERT_EQ(tools->renders.size(), 2u);
    tools->complete(1, tools->error(QStringLiteral("Mixdown failed: forced")));
    EXPECT_TRUE(listed.folders().isEmpty());

    queue.retryFinishJob(row(1).id);
    EXPECT_EQ(listed.folders(), QStringList{NoteFolders::keyOf(episode)});
    ASSERT_EQ(tools->renders.size(), 3u);
    tools->complete(2);
    EXPECT_TRUE(listed.folders().isEmpty());
}

TEST_F(Queue, WithTheControllerGoneAQueuedJobStillRendersAndTidies)
{
    tools->holdRenders = true;
    touch(QStringLiteral("raw-2.mov"));
    queueRender(controller->finishQueue(), QStringLiteral("a"), passthrough(take(QStringLiteral("raw.mov"))), take(QStringLiteral("final.mov")), take(QStringLiteral("stop.json")), QStringLiteral("a"));
    queueRender(controller->finishQueue(), QStringLiteral("b"), passthrough(take(QStringLiteral("raw-2.mov"))), take(QStringLiteral("final-2.mov")), take(QStringLiteral("stop-2.json")), QStringLiteral("b"));
    controller.reset();
    tools->complete(0);
    ASSERT_EQ(tools->renders.size(), 2u);
    tools->complete(1);
    EXPECT_TRUE(QFileInfo::exists(take(QStringLiteral("Raw/raw-2.mov"))));
}

TEST_F(Queue, TheQuitAlertCountsTakesSoATakesSaveAndRenderWorkingTogetherAreOne)
{
    // Saves are held on their working rows; renders run until told to end.
    controller->finishQueue().setTap([](const std::shared_ptr<FinishWork>& work) { return dynamic_cast<SaveWork*>(work.get()) != nullptr; });
    tools->holdRenders = true;
    touch(QStringLiteral("raw.mov"));
    const auto said = [this] {
        const std::optional<QuitGuard::Alert> alert = QuitGuard::alertFor(controller->finishingCount());
        return alert ? alert->messageText : QString();
    };

    const SaveJobHandover first = saveJob(QString(), false);
    stopTake(first);
    EXPECT_EQ(said(), QStringLiteral("A take is still being finished"));
    queueRender(controller->finishQueue(), first.title + QStringLiteral(" video"), passthrough(first.request.rawURL), first.previewURL,
        first.stopSidecar, first.summary);
    ASSERT_EQ(tools->renders.size(), 1u);
    EXPECT_EQ(said(), QStringLiteral("A take is still being finished")) << "its save and its render are one take";

    stopTake(saveJob(QStringLiteral("-2"), false));
    EXPECT_EQ(said(), QStringLiteral("2 takes are still being finished"));
    // A row listed without its work is a take of its own.
    auto rows = controller->finishJobs();
    rows.push_back(FinishJob{QUuid::createUuid(), QStringLiteral("video 2 · take 1"), {}});
    controller->finishQueue().setFinishJobs(rows);
    EXPECT_EQ(said(), QStringLiteral("3 takes are still being finished"));

    // The first take's render ends while its save row still works: still that one take.
    tools->complete(0);
    ASSERT_EQ(row(1).state.kind, Kind::done);
    EXPECT_EQ(controller->finishingCount(), 3);
    controller->finishQueue().dismissFinishJob(row(0).id);
    EXPECT_EQ(controller->finishingCount(), 2);
}

TEST_F(Queue, QuitAnywayGivesUpTheWorkingAndWaitingRendersWithTheirNotesAndStartsNothingMore)
{
    tools->holdRenders = true;
    for (const char* raw : {"raw.mov", "raw-2.mov", "raw-3.mov"})
        touch(QString::fromLatin1(raw));
    FinishQueue& queue = controller->finishQueue();
    queueRender(queue, QStringLiteral("take 1"), passthrough(take(QStringLiteral("raw.mov"))), take(QStringLiteral("final.mov")), take(QStringLiteral("stop.json")), QStringLiteral("a"));
    tools->complete(0);
    queueRender(queue, QStringLiteral("take 2"), passthrough(take(QStringLiteral("raw-2.mov"))), take(QStringLiteral("final-2.mov")), take(QStringLiteral("stop-2.json")), QStringLiteral("b"));
    queueRender(queue, QStringLiteral("take 3"), passthrough(take(QStringLiteral("raw-3.mov"))), take(QStringLiteral("final-3.mov")), take(QStringLiteral("stop-3.json")), QStringLiteral("c"));
    ASSERT_EQ(tools->renders.size(), 2u) << "take 2 renders, take 3 waits for it";
    const QString renderingNote = PendingRender::markerPath(take(QStringLiteral("final-2.mov")));
    const QString waitingNote = PendingRender::markerPath(take(QStringLiteral("final-3.mov")));
    ASSERT_TRUE(QFileInfo::exists(renderingNote));
    ASSERT_TRUE(QFileInfo::exists(waitingNote));

    EXPECT_EQ(queue.giveUp(), 2) << "the done row is not given up";
    EXPECT_FALSE(QFileInfo::exists(renderingNote)) << "a deliberate quit is not a crash: nothing resumes";
    EXPECT_FALSE(QFileInfo::exists(waitingNote));
    const QString log = readLog();
    EXPECT_EQ(log.count(QStringLiteral("quit: gave up finishing")), 1);
    EXPECT_TRUE(log.contains(QStringLiteral("take 2 (") + take(QStringLiteral("final-2.mov")) + QLatin1Char(')')));
    EXPECT_TRUE(log.contains(QStringLiteral("take 3 (") + take(QStringLiteral("final-3.mov")) + QLatin1Char(')')));

    // The running render stops on its own (the export gate); whatever it reports changes nothing.
    tools->complete(1, tools->error(QStringLiteral("Mixdown failed: the studio quit")));
    clock.advance(20);
    EXPECT_EQ(tools->renders.size(), 2u) << "the waiting render never starts";
    EXPECT_FALSE(QFileInfo::exists(renderingNote));
    EXPECT_FALSE(queue.hasFinishRetry(row(1).id));
    EXPECT_FALSE(log.contains(QStringLiteral("ERROR")));

    // Nothing new is listed, noted or run while the studio quits.
    touch(QStringLiteral("raw-4.mov"));
    const size_t rows = controller->finishJobs().size();
    queueRender(queue, QStringLiteral("take 4"), passthrough(take(QStringLiteral("raw-4.mov"))), take(QStringLiteral("final-4.mov")), take(QStringLiteral("stop-4.json")), QStringLiteral("d"));
    EXPECT_EQ(controller->finishJobs().size(), rows);
    EXPECT_FALSE(QFileInfo::exists(PendingRender::markerPath(take(QStringLiteral("final-4.mov")))));
    EXPECT_EQ(tools->renders.size(), 2u);
}

TEST_F(Queue, AnOrderlyEndLeavesTheWaitingAndRunningRendersToEveryNextLaunchButNotWhatWasGivenUp)
{
    tools->holdRenders = true;
    for (const char* raw : {"raw.mov", "raw-2.mov", "raw-3.mov"})
        touch(QString::fromLatin1(raw));
    FinishQueue& queue = controller->finishQueue();
    const auto render = [&](const QString& suffix, int relaunches) {
        queue.submit(std::make_shared<RenderWork>(PendingRender::Job{QStringLiteral("take") + suffix, QStringLiteral("take") + suffix,
            take(QStringLiteral("final") + suffix + QStringLiteral(".mov")), take(QStringLiteral("stop") + suffix + QStringLiteral(".json")),
            passthrough(take(QStringLiteral("raw") + suffix + QStringLiteral(".mov"))), relaunches, std::nullopt}));
    };
    const auto noted = [&](const QString& suffix) { return PendingRender::read(PendingRender::markerPath(take(QStringLiteral("final") + suffix + QStringLiteral(".mov")))); };
    // One render finished its final on its thread just now, and its row does not know yet; a render resumed
    // at this launch and a new one wait for it.
    render(QStringLiteral("-3"), 0);
    render(QString(), 1);
    render(QStringLiteral("-2"), 0);
    ASSERT_EQ(tools->renders.size(), 1u);
    touch(QStringLiteral("final-3.mov"), "made");

    queue.keepNotesForNextLaunch();
    for (const QString& suffix : {QString(), QStringLiteral("-2"), QStringLiteral("-3")}) {
        ASSERT_TRUE(noted(suffix)) << suffix.toStdString();
        EXPECT_EQ(noted(suffix)->relaunches, 0) << suffix.toStdString();
    }
    EXPECT_EQ(readLog().count(QStringLiteral("quit: the next launch finishes ")), 1);
    // The next launch resumes both, the resumed one too; the note beside its final goes.
    const TakeRecovery::Findings found = TakeRecovery::sweep({path(QString())});
    EXPECT_EQ(found.renders.size(), 2u);
    EXPECT_TRUE(found.stoppedRenders.empty());
    EXPECT_FALSE(noted(QStringLiteral("-3")));
    EXPECT_EQ(read(take(QStringLiteral("final-3.mov"))), QByteArray("made"));
    EXPECT_FALSE(readLog().contains(QStringLiteral("cut short again")));

    // "Quit anyway" took the notes away on purpose: an end after it brings none back.
    queue.giveUp();
    queue.keepNotesForNextLaunch();
    tools->complete(0, tools->error(QStringLiteral("Mixdown failed: the studio quit")));
    EXPECT_FALSE(noted(QString()));
    EXPECT_FALSE(noted(QStringLiteral("-2")));
}

TEST_F(Queue, ARenderWhoseTakeFolderWasRenamedNeverRewritesRemovesOrRunsOverTheNoteOfTheTakeNowInItsOldName)
{
    tools->holdRenders = true;
    touch(QStringLiteral("raw.mov"));
    FinishQueue& queue = controller->finishQueue();
    const auto job = [&](const QString& title) {
        return PendingRender::Job{title, title, take(QStringLiteral("final.mov")), take(QStringLiteral("stop.json")), passthrough(take(QStringLiteral("raw.mov"))), 0, std::nullopt};
    };
    queue.submit(std::make_shared<RenderWork>(job(QStringLiteral("first take"))));
    ASSERT_EQ(tools->renders.size(), 1u);
    // The user renames the folder while the render runs; the next take is filmed in the name it freed.
    const QString takeFolder = QFileInfo(take(QStringLiteral("raw.mov"))).absolutePath();
    const QString renamed = takeFolder + QStringLiteral(" renamed");
    ASSERT_TRUE(QDir().rename(takeFolder, renamed));
    ASSERT_TRUE(QDir().mkpath(takeFolder));
    touch(QStringLiteral("raw.mov"));
    ASSERT_TRUE(PendingRender::write(job(QStringLiteral("second take"))));
    const auto secondNoted = [&] {
        const std::optional<PendingRender::Job> noted = PendingRender::read(PendingRender::markerPath(take(QStringLiteral("final.mov"))));
        return noted && noted->title == QLatin1String("second take") && noted->relaunches == 0;
    };

    queue.keepNotesForNextLaunch();
    EXPECT_TRUE(secondNoted()) << "an orderly end leaves the other take's note as it is";
    tools->complete(0, tools->error(QStringLiteral("could not replace final.mov")));
    EXPECT_TRUE(secondNoted()) << "a failure takes away only its own note";
    EXPECT_TRUE(QFileInfo::exists(renamed + QStringLiteral("/.final.pending"))) << "its own note went with its folder";

    queue.retryFinishJob(row(0).id);
    EXPECT_EQ(tools->renders.size(), 1u) << "the Retry never renders the other take's raw with this take's plan";
    EXPECT_EQ(row(0).state.kind, Kind::failed);
    EXPECT_TRUE(row(0).state.message.contains(QStringLiteral("another take now holds its old name"))) << row(0).state.message.toStdString();
    EXPECT_TRUE(secondNoted());
}

} // namespace
