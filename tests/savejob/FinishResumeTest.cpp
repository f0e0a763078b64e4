#include "FinishResumeFixture.h"

#include "core/ProjectFolder.h"
#include "finishing/IndexToFrontWork.h"
#include "finishing/NoteFolders.h"
#include "finishing/PendingNote.h"
#include "finishing/PendingRender.h"
#include "finishing/RenderWork.h"
#include "finishing/TakeRecovery.h"
#include "shortexport/ShortExportWork.h"
#include "support/SyntheticTake.h"
#include "takes/FinishKinds.h"
#include "takes/VoiceFinishWork.h"

#include <QCoroFuture>

#include <gtest/gtest.h>

namespace {

class FinishResume : public FinishResumeBase {
protected:
    // Each submit as the queue's tap sees it: the rows listed and the finishing count at that moment.
    using Seen = std::shared_ptr<std::vector<std::pair<size_t, int>>>;
    Seen watchSubmits()
    {
        auto seen = std::make_shared<std::vector<std::pair<size_t, int>>>();
        controller->finishQueue().setTap([this, seen](const std::shared_ptr<FinishWork>&) {
            seen->emplace_back(controller->finishJobs().size(), controller->finishingCount());
            return false;
        });
        return seen;
    }
};

} // namespace

TEST_F(FinishResume, aJustMeFinishListsNoRowLeavesNoNoteAndLeavesTheNextLaunchNothingToDo)
{
    const QString final = takes(QStringLiteral("video 4/final-2.mov"));
    const QString stop = takes(QStringLiteral("video 4/stop-2.json"));
    captureMovie(final, 6.0);
    ASSERT_GE(SyntheticTake::boxAfter(bytes(final), "moof", 0), 0);
    const Seen seen = watchSubmits();

    const FinishWork::Outcome outcome = answer(controller->finishQueue().submit(
        std::make_shared<IndexToFrontWork>(IndexToFrontWork::Job{QStringLiteral("video 4 · take 2"), final, stop, true})));
    EXPECT_FALSE(outcome.failure);
    EXPECT_EQ(outcome.path, final);
    // The stop that awaits it shows the take; the list, its Retry and the finishing count never see it.
    EXPECT_EQ(*seen, (std::vector<std::pair<size_t, int>>{{0u, 0}}));
    EXPECT_TRUE(controller->finishJobs().empty());
    EXPECT_FALSE(QFileInfo::exists(PendingNote::pathFor(final)));
    // The index is at the front now, the remote's 1.5 s are gone and the stop record says so.
    const QByteArray movie = bytes(final);
    EXPECT_LT(movie.indexOf("moov"), movie.indexOf("mdat"));
    EXPECT_EQ(movie.indexOf("moof"), -1);
    EXPECT_NEAR(seconds(final), 4.5, 0.1);
    EXPECT_EQ(readJson(stop).value(QStringLiteral("stoppedBy")).toString(), QStringLiteral("remote-button"));

    const TakeRecovery::Findings found = TakeRecovery::sweep({path(QStringLiteral("Takes"))});
    EXPECT_TRUE(found.finishes.empty());
    EXPECT_TRUE(found.missingFinals.isEmpty());
    EXPECT_TRUE(found.noted.isEmpty());
}

TEST_F(FinishResume, aShortKilledInItsExportIsExportedAtTheNextLaunchWithWhatTheTakeKnew)
{
    const QString shortFolder = takes(QStringLiteral("Shorts/2026-01-02-short-1"));
    const QString raw = shortFolder + QStringLiteral("/raw.mov");
    QDir().mkpath(shortFolder);
    SyntheticTake::MovieRecipe recipe;
    recipe.width = 640;
    recipe.height = 360;
    recipe.seconds = 5.0;
    recipe.mode = MovieWriteMode::capture;
    SyntheticTake::writeMovie(raw, recipe);

    ShortTake::Settings stopped;
    stopped.filePosition = {0.25, 0.5};
    stopped.camera = QStringLiteral("Desk");
    stopped.channel = RecordingChannel::branchline;
    stopped.tailTrim = 1.5;
    NextTake script;
    script.scriptID = QStringLiteral("hook-7");
    script.batch = QString();
    script.writtenAtText = QStringLiteral("2026-01-02T09:00:00Z");
    stopped.script = script;
    stopped.framing = ShortFraming::MeasuredFraming{0.41, 0.3, 90, 88};
    stopped.recordedAt = QDateTime(QDate(2026, 1, 2), QTime(9, 14, 30), Qt::UTC);
    ASSERT_TRUE(PendingNote::write(*ShortExportWork({QStringLiteral("2026-01-02-short-1 · take 1"), shortFolder, raw, stopped, 0}).note()));
    // The export was cut short: the dead writer's hidden sibling is all there is of the short.
    write(takes(QStringLiteral("Shorts/2026-01-02-short-1/.mixdown-0A1B2C3D-0000-4000-8000-000000000077.mov")), "half a short");

    const TakeRecovery::Findings found = TakeRecovery::sweep({path(QStringLiteral("Takes"))});
    ASSERT_EQ(found.finishes.size(), 1u);
    const std::vector<FinishWork::Outcome> outcomes = resumeAll(found);
    ASSERT_EQ(outcomes.size(), 1u);
    ASSERT_FALSE(outcomes[0].failure) << outcomes[0].failure->description.toStdString();
    EXPECT_EQ(row(0).state.kind, FinishJob::State::Kind::done);
    const QString made = shortFolder + QStringLiteral("/short.mov");
    EXPECT_EQ(row(0).state.path, made);
    EXPECT_EQ(SyntheticTake::probeField(made, QStringLiteral("video"), QStringLiteral("width")), QStringLiteral("1080"));
    EXPECT_EQ(SyntheticTake::probeField(made, QStringLiteral("video"), QStringLiteral("height")), QStringLiteral("1920"));
    EXPECT_NEAR(seconds(made), 3.5, 0.1);
    // The sidecar carries what the take knew when it stopped, through the note.
    const QJsonObject crop = readJson(shortFolder + QStringLiteral("/crop.json"));
    EXPECT_EQ(crop.value(QStringLiteral("script_id")).toString(), QStringLiteral("hook-7"));
    EXPECT_TRUE(crop.contains(QStringLiteral("batch")));
    EXPECT_EQ(crop.value(QStringLiteral("channel")).toString(), QStringLiteral("branchline"));
    EXPECT_EQ(crop.value(QStringLiteral("camera")).toString(), QStringLiteral("Desk"));
    EXPECT_DOUBLE_EQ(crop.value(QStringLiteral("tailTrimmedSeconds")).toDouble(), 1.5);
    EXPECT_EQ(crop.value(QStringLiteral("framing")).toObject().value(QStringLiteral("framesWithFace")).toInt(), 88);
    EXPECT_EQ(crop.value(QStringLiteral("feed")).toObject().value(QStringLiteral("width")).toInt(), 640);
    EXPECT_EQ(crop.value(QStringLiteral("recordedAt")).toString(), QStringLiteral("2026-01-02T09:14:30Z")) << "when the take stopped, not now";
    EXPECT_FALSE(QFileInfo::exists(PendingNote::pathFor(made)));
    EXPECT_TRUE(found.unsavedRaws.isEmpty()) << "a short keeps its raw beside it";
}

TEST_F(FinishResume, aShortWhoseExportFinishedBeforeTheCrashIsNotExportedAgainAndItsNoteGoes)
{
    const QString shortFolder = takes(QStringLiteral("Shorts/2026-01-02-short-3"));
    const QString raw = shortFolder + QStringLiteral("/raw.mov");
    const QString made = shortFolder + QStringLiteral("/short.mov");
    captureMovie(raw, 2.0);
    write(made, "the finished short");
    write(shortFolder + QStringLiteral("/crop.json"), R"({"recordedAt": "2026-01-02T09:00:00Z"})");
    ASSERT_TRUE(PendingNote::write(*ShortExportWork({QStringLiteral("t"), shortFolder, raw, ShortTake::Settings{}, 0}).note()));
    // A second short whose note could not be read: its short is in place all the same.
    const QString other = takes(QStringLiteral("Shorts/2026-01-02-short-4"));
    captureMovie(other + QStringLiteral("/raw.mov"), 2.0);
    write(other + QStringLiteral("/short.mov"), "another finished short");
    write(other + QStringLiteral("/.short.pending"), "torn");

    const TakeRecovery::Findings found = TakeRecovery::sweep({path(QStringLiteral("Takes"))});
    EXPECT_TRUE(found.finishes.empty());
    EXPECT_TRUE(found.noted.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(PendingNote::pathFor(made)));
    EXPECT_FALSE(QFileInfo::exists(other + QStringLiteral("/.short.pending")));
    EXPECT_EQ(bytes(made), QByteArray("the finished short"));
    EXPECT_EQ(readJson(shortFolder + QStringLiteral("/crop.json")).value(QStringLiteral("recordedAt")).toString(), QStringLiteral("2026-01-02T09:00:00Z"));
    EXPECT_FALSE(readLog().contains(QStringLiteral("recovery:")));
}

TEST_F(FinishResume, aResumedRenderThatFailsIsNotRunAgainNorSaidToBeCutShortAgain)
{
    const QString raw = takes(QStringLiteral("video 4/raw.mov"));
    QDir().mkpath(takes(QStringLiteral("video 4")));
    write(raw, "raw");
    write(takes(QStringLiteral("video 4/take.json")), R"({"screen": "raw.mov", "preview": "final.mov"})");
    Mixdown::Request request;
    request.rawURL = raw;
    ASSERT_TRUE(PendingRender::write({QStringLiteral("video 4 · take 1"), QStringLiteral("video 4"), takes(QStringLiteral("video 4/final.mov")), QString(), request, 0, std::nullopt}));

    const TakeRecovery::Findings found = TakeRecovery::sweep({path(QStringLiteral("Takes"))});
    ASSERT_EQ(found.renders.size(), 1u);
    tools->failRenders = 1;
    const FinishWork::Outcome outcome = answer(controller->finishQueue().submit(std::make_shared<RenderWork>(found.renders.front())));
    ASSERT_TRUE(outcome.failure);
    EXPECT_FALSE(QFileInfo::exists(PendingRender::markerPath(takes(QStringLiteral("video 4/final.mov")))));

    // The next launches run nothing again and never say it was cut short.
    const TakeRecovery::Findings next = TakeRecovery::sweep({path(QStringLiteral("Takes"))}, found.noted);
    EXPECT_TRUE(next.renders.empty());
    const TakeRecovery::Findings after = TakeRecovery::sweep({path(QStringLiteral("Takes"))}, next.noted);
    EXPECT_TRUE(after.renders.empty());
    EXPECT_EQ(tools->renders.size(), 1u);
    EXPECT_FALSE(readLog().contains(QStringLiteral("cut short again")));
    EXPECT_TRUE(QFileInfo::exists(raw));
}

TEST_F(FinishResume, aShortWhoseExportFailsInItsStopLeavesNoNoteToRunAgain)
{
    const QString shortFolder = takes(QStringLiteral("Shorts/2026-01-02-short-5"));
    QDir().mkpath(shortFolder);
    const QString raw = shortFolder + QStringLiteral("/raw.mov");
    write(raw, "not a movie");
    auto work = std::make_shared<ShortExportWork>(ShortExportWork::Job{QStringLiteral("t"), shortFolder, raw, ShortTake::Settings{}, 0});
    const FinishWork::Outcome outcome = answer(controller->finishQueue().submit(work));
    ASSERT_TRUE(outcome.failure);
    EXPECT_FALSE(QFileInfo::exists(PendingNote::pathFor(shortFolder + QStringLiteral("/short.mov"))));
    EXPECT_TRUE(TakeRecovery::sweep({path(QStringLiteral("Takes"))}).finishes.empty());
    EXPECT_TRUE(QFileInfo::exists(raw));
}

TEST_F(FinishResume, aJobCutShortAgainAfterItsRelaunchIsLeftAndSaidOnceAndAnUnknownNoteIsOnlyReported)
{
    const QString shortFolder = takes(QStringLiteral("Shorts/2026-01-02-short-2"));
    const QString raw = shortFolder + QStringLiteral("/raw.mov");
    captureMovie(raw, 2.0);
    ASSERT_TRUE(PendingNote::write(*ShortExportWork({QStringLiteral("t"), shortFolder, raw, ShortTake::Settings{}, 1}).note()));
    QDir().mkpath(takes(QStringLiteral("video 4")));
    write(takes(QStringLiteral("video 4/.voice.pending")), "not json");

    const TakeRecovery::Findings found = TakeRecovery::sweep({path(QStringLiteral("Takes"))});
    EXPECT_TRUE(found.finishes.empty());
    EXPECT_EQ(readLog().count(QStringLiteral("was cut short again")), 1);
    EXPECT_TRUE(readLog().contains(QStringLiteral(".voice.pending could not be read; voice is not finished again")));
    EXPECT_TRUE(QFileInfo::exists(raw));
    const TakeRecovery::Findings again = TakeRecovery::sweep({path(QStringLiteral("Takes"))}, found.noted);
    EXPECT_EQ(readLog().count(QStringLiteral("was cut short again")), 1);
    EXPECT_EQ(again.noted, found.noted);
    EXPECT_FALSE(FinishKinds::resume(QJsonObject{{QStringLiteral("kind"), QStringLiteral("telegraph")}}));
}

TEST_F(FinishResume, aVoiceFinishListsNoRowLeavesNoNoteAndMakesItsRemoteCut)
{
    const QString audio = takes(QStringLiteral("voice 1/voice.m4a"));
    QDir().mkpath(QFileInfo(audio).absolutePath());
    SyntheticTake::MovieRecipe recipe;
    recipe.video = false;
    recipe.seconds = 5.0;
    recipe.type = MovieFileType::appleM4A;
    SyntheticTake::writeMovie(audio, recipe);
    VoiceSidecar::Facts facts;
    facts.byRemote = true;
    facts.audioPath = audio;
    facts.startedAt = QDateTime(QDate(2026, 1, 2), QTime(9, 0), Qt::UTC);
    const QString sidecar = takes(QStringLiteral("voice 1/voice.json"));
    const Seen seen = watchSubmits();

    auto work = std::make_shared<VoiceFinishWork>(VoiceFinishWork::Job{QStringLiteral("voice 1 · take 1"), sidecar, facts});
    const FinishWork::Outcome outcome = answer(controller->finishQueue().submit(work));
    EXPECT_FALSE(outcome.failure);
    EXPECT_EQ(outcome.path, audio);
    EXPECT_EQ(*seen, (std::vector<std::pair<size_t, int>>{{0u, 0}}));
    EXPECT_TRUE(controller->finishJobs().empty());
    const QJsonObject written = readJson(sidecar);
    EXPECT_EQ(written.value(QStringLiteral("stoppedBy")).toString(), QStringLiteral("remote-button"));
    EXPECT_NEAR(written.value(QStringLiteral("tailTrimmedSeconds")).toDouble(), 1.5, 0.05);
    EXPECT_NEAR(written.value(QStringLiteral("durationSeconds")).toDouble(), 3.5, 0.1);
    ASSERT_TRUE(work->durationSeconds());
    EXPECT_NEAR(*work->durationSeconds(), 3.5, 0.1);
    EXPECT_EQ(written.value(QStringLiteral("recordedAt")).toString(), QStringLiteral("2026-01-02T09:00:00Z"));
    EXPECT_FALSE(QFileInfo::exists(PendingNote::pathFor(sidecar)));
    EXPECT_TRUE(TakeRecovery::sweep({path(QStringLiteral("Takes"))}).finishes.empty());
}

TEST_F(FinishResume, jobsCutShortWhereHandoffsLedThemOutsideTheRootsAreResumedAtLaunchAndLeaveNoNoteNorListing)
{
    // A long-form handoff's own folder, an ai folder three levels down and a handoff's own shorts root: no
    // channel's recordings or shorts root reaches any of them.
    const QString episode = path(QStringLiteral("Brain/PROJECTS/BRANCHLINE/episodes/ep12"));
    const QString deep = path(QStringLiteral("Recordings/clients/acme/launch"));
    const QString shortFolder = episode + QStringLiteral("/shorts/2026-01-02-short-1");
    const NoteFolders listed(*settings);
    for (const QString& take : {episode, deep}) {
        QDir().mkpath(take);
        write(take + QStringLiteral("/raw.mov"), "raw");
        write(take + QStringLiteral("/take.json"), R"({"screen": "raw.mov", "preview": "final.mov"})");
        Mixdown::Request request;
        request.rawURL = take + QStringLiteral("/raw.mov");
        ASSERT_TRUE(listed.write(PendingRender::note({QStringLiteral("take 1"), QStringLiteral("take 1"), take + QStringLiteral("/final.mov"), QString(), request, 0, std::nullopt})));
    }
    captureMovie(shortFolder + QStringLiteral("/raw.mov"), 2.0);
    ASSERT_TRUE(listed.write(*ShortExportWork({QStringLiteral("t"), shortFolder, shortFolder + QStringLiteral("/raw.mov"), ShortTake::Settings{}, 0}).note()));
    write(shortFolder + QStringLiteral("/.short-0A1B2C3D-0000-4000-8000-000000000077.mov"), "half a short");

    const TakeRecovery::Findings found = TakeRecovery::sweep(ProjectFolder::takeRoots(*settings), {}, listed);
    ASSERT_EQ(found.renders.size(), 2u);
    ASSERT_EQ(found.finishes.size(), 1u);
    EXPECT_TRUE(readLog().contains(QStringLiteral("recovery: finishing ") + episode + QStringLiteral("/final.mov again")));
    EXPECT_TRUE(readLog().contains(QStringLiteral("recovery: removed the unfinished short export ") + shortFolder));
    for (const PendingRender::Job& render : found.renders)
        EXPECT_FALSE(answer(controller->finishQueue().submit(std::make_shared<RenderWork>(render))).failure);
    const std::vector<FinishWork::Outcome> outcomes = resumeAll(found);
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_FALSE(outcomes[0].failure);

    for (const QString& made : {episode + QStringLiteral("/final.mov"), deep + QStringLiteral("/final.mov"), shortFolder + QStringLiteral("/short.mov")}) {
        EXPECT_TRUE(QFileInfo::exists(made)) << made.toStdString();
        EXPECT_FALSE(QFileInfo::exists(PendingNote::pathFor(made))) << made.toStdString();
    }
    EXPECT_TRUE(listed.folders().isEmpty());
    EXPECT_FALSE(readLog().contains(QStringLiteral("cut short again")));
}

TEST_F(FinishResume, aCrashDuringTheRetryOfAResumedJobIsResumedAgain)
{
    const QString project = path(QStringLiteral("Recordings/video 4"));
    QDir().mkpath(project);
    write(project + QStringLiteral("/raw.mov"), "raw");
    write(project + QStringLiteral("/take.json"), R"({"screen": "raw.mov", "preview": "final.mov"})");
    Mixdown::Request request;
    request.rawURL = project + QStringLiteral("/raw.mov");
    ASSERT_TRUE(PendingRender::write({QStringLiteral("video 4 · take 1"), QStringLiteral("video 4"), project + QStringLiteral("/final.mov"), QString(), request, 0, std::nullopt}));
    const TakeRecovery::Findings found = TakeRecovery::sweep({path(QStringLiteral("Recordings"))});
    ASSERT_EQ(found.renders.size(), 1u);
    ASSERT_EQ(found.renders.front().relaunches, 1);

    // The resumed render fails; the user's Retry runs it anew, and the studio is killed during it.
    tools->failRenders = 1;
    ASSERT_TRUE(answer(controller->finishQueue().submit(std::make_shared<RenderWork>(found.renders.front()))).failure);
    tools->holdRenders = true;
    controller->finishQueue().retryFinishJob(row(0).id);
    ASSERT_EQ(tools->renders.size(), 2u);
    const std::optional<PendingRender::Job> noted = PendingRender::read(PendingRender::markerPath(project + QStringLiteral("/final.mov")));
    ASSERT_TRUE(noted);
    EXPECT_EQ(noted->relaunches, 0);

    const TakeRecovery::Findings next = TakeRecovery::sweep({path(QStringLiteral("Recordings"))}, found.noted);
    ASSERT_EQ(next.renders.size(), 1u);
    EXPECT_EQ(next.renders.front().relaunches, 1);
    EXPECT_FALSE(readLog().contains(QStringLiteral("cut short again")));
    EXPECT_EQ(readLog().count(QStringLiteral("recovery: finishing ") + project + QStringLiteral("/final.mov again")), 2);
    tools->complete(1);
}

TEST_F(FinishResume, aRenderCutShortAgainAfterItsRelaunchIsAFailedRowAtEveryLaunchUntilItsRetryMakesTheFinal)
{
    const QString project = takes(QStringLiteral("video 4"));
    const QString final = project + QStringLiteral("/final.mov");
    QDir().mkpath(project);
    write(project + QStringLiteral("/raw.mov"), "raw");
    write(project + QStringLiteral("/take.json"), R"({"screen": "raw.mov", "preview": "final.mov"})");
    Mixdown::Request request;
    request.rawURL = project + QStringLiteral("/raw.mov");
    // Resumed at a launch, and that launch crashed too.
    ASSERT_TRUE(PendingRender::write({QStringLiteral("video 4 · take 1"), QStringLiteral("video 4"), final, QString(), request, 1, std::nullopt}));

    // Never retried, it is offered at every launch, said in the log once, and its note stays as it was.
    QStringList noted;
    for (int launch = 0; launch < 2; ++launch) {
        const TakeRecovery::Findings found = TakeRecovery::sweep({path(QStringLiteral("Takes"))}, noted);
        noted = found.noted;
        EXPECT_TRUE(found.renders.empty());
        ASSERT_EQ(found.stoppedRenders.size(), 1u);
        EXPECT_EQ(found.stoppedRenders.front().job.finalURL, final);
        EXPECT_TRUE(found.missingFinals.isEmpty());
        const std::optional<PendingRender::Job> note = PendingRender::read(PendingRender::markerPath(final));
        ASSERT_TRUE(note);
        EXPECT_EQ(note->relaunches, 1);
        if (launch == 1)
            listStopped(found);
    }
    EXPECT_EQ(readLog().count(QStringLiteral("was cut short again")), 1);
    ASSERT_EQ(controller->finishJobs().size(), 1u);
    EXPECT_EQ(row(0).title, QStringLiteral("video 4 · take 1"));
    EXPECT_EQ(row(0).state.kind, FinishJob::State::Kind::failed);
    EXPECT_EQ(row(0).state.message,
        QStringLiteral("final.mov was not made: its render was cut short again after a relaunch. The take's files are all there; Retry renders it again."));
    EXPECT_TRUE(controller->finishQueue().hasFinishRetry(row(0).id));
    EXPECT_EQ(controller->finishingCount(), 0) << "a quit is not held for it";
    EXPECT_TRUE(tools->renders.empty()) << "not run by itself";

    // The Retry is the user's new run: noted with no relaunch counted, and it makes the final.
    tools->holdRenders = true;
    controller->finishQueue().retryFinishJob(row(0).id);
    ASSERT_EQ(tools->renders.size(), 1u);
    EXPECT_EQ(PendingRender::read(PendingRender::markerPath(final))->relaunches, 0);
    tools->complete(0);
    EXPECT_EQ(row(0).state, (FinishJob::State{FinishJob::State::Kind::done, 0, final, {}}));
    EXPECT_TRUE(QFileInfo::exists(final));
    EXPECT_FALSE(QFileInfo::exists(PendingRender::markerPath(final)));
    const TakeRecovery::Findings after = TakeRecovery::sweep({path(QStringLiteral("Takes"))}, noted);
    EXPECT_TRUE(after.stoppedRenders.empty());
    EXPECT_TRUE(after.renders.empty());
}
