#include "FinishResumeFixture.h"

#include "finishing/IndexToFrontWork.h"
#include "finishing/PendingNote.h"
#include "finishing/TakeRecovery.h"
#include "shortexport/ShortExportWork.h"
#include "support/SyntheticTake.h"
#include "takes/FinishKinds.h"
#include "takes/VoiceFinishWork.h"

#include <QCoroFuture>

#include <gtest/gtest.h>

namespace {

using FinishResume = FinishResumeBase;

} // namespace

TEST_F(FinishResume, aJustMeTakeKilledInItsRemuxIsFinishedAtTheNextLaunchAndItsRemoteCutMadeOnce)
{
    const QString final = takes(QStringLiteral("video 4/final-2.mov"));
    const QString stop = takes(QStringLiteral("video 4/stop-2.json"));
    captureMovie(final, 6.0);
    ASSERT_GE(SyntheticTake::boxAfter(bytes(final), "moof", 0), 0);
    // Killed with the note written and the remux under way: its hidden sibling is half written.
    ASSERT_TRUE(PendingNote::write(*IndexToFrontWork({QStringLiteral("video 4 · take 2"), final, stop, true, 0}).note()));
    write(takes(QStringLiteral("video 4/.mixdown-0A1B2C3D-0000-4000-8000-00000000001A.mov")), "half a remux");

    const TakeRecovery::Findings found = TakeRecovery::sweep(path(QStringLiteral("Takes")));
    ASSERT_EQ(found.finishes.size(), 1u);
    EXPECT_TRUE(found.renders.empty());
    EXPECT_EQ(found.removedSiblings.size(), 1);
    EXPECT_EQ(found.finishes.front().value(QStringLiteral("relaunches")).toInt(), 1);
    EXPECT_TRUE(found.unsavedRaws.isEmpty());

    const std::vector<FinishWork::Outcome> outcomes = resumeAll(found);
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_FALSE(outcomes[0].failure);
    ASSERT_EQ(controller->finishJobs().size(), 1u);
    EXPECT_EQ(row(0).title, QStringLiteral("video 4 · take 2"));
    EXPECT_EQ(row(0).state.kind, FinishJob::State::Kind::done);
    EXPECT_EQ(row(0).state.path, final);
    // The index is at the front now, the remote's 1.5 s are gone and the stop record says so.
    const QByteArray movie = bytes(final);
    EXPECT_LT(movie.indexOf("moov"), movie.indexOf("mdat"));
    EXPECT_EQ(movie.indexOf("moof"), -1);
    EXPECT_NEAR(seconds(final), 4.5, 0.1);
    EXPECT_EQ(readJson(stop).value(QStringLiteral("stoppedBy")).toString(), QStringLiteral("remote-button"));
    EXPECT_FALSE(QFileInfo::exists(PendingNote::pathFor(final)));
    EXPECT_TRUE(readLog().contains(QStringLiteral("recovery: finishing ") + final + QStringLiteral(" again, its finish was cut short")));

    // Killed again after the cut was recorded: the next resume rewrites the index but cuts nothing more.
    ASSERT_TRUE(PendingNote::write(*IndexToFrontWork({QStringLiteral("video 4 · take 2"), final, stop, true, 0}).note()));
    resumeAll(TakeRecovery::sweep(path(QStringLiteral("Takes"))));
    EXPECT_NEAR(seconds(final), 4.5, 0.1);
    EXPECT_TRUE(TakeRecovery::sweep(path(QStringLiteral("Takes"))).finishes.empty());
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
    ASSERT_TRUE(PendingNote::write(*ShortExportWork({QStringLiteral("2026-01-02-short-1 · take 1"), shortFolder, raw, stopped, 0}).note()));
    // The export was cut short: the dead writer's hidden sibling is all there is of the short.
    write(takes(QStringLiteral("Shorts/2026-01-02-short-1/.mixdown-0A1B2C3D-0000-4000-8000-000000000077.mov")), "half a short");

    const TakeRecovery::Findings found = TakeRecovery::sweep(path(QStringLiteral("Takes")));
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
    EXPECT_FALSE(QFileInfo::exists(PendingNote::pathFor(made)));
}

TEST_F(FinishResume, aJobCutShortAgainAfterItsRelaunchIsLeftAndSaidOnceAndAnUnknownNoteIsOnlyReported)
{
    const QString final = takes(QStringLiteral("video 4/final.mov"));
    captureMovie(final, 2.0);
    ASSERT_TRUE(PendingNote::write(*IndexToFrontWork({QStringLiteral("t"), final, QString(), false, 1}).note()));
    write(takes(QStringLiteral("video 4/.voice.pending")), "not json");

    const TakeRecovery::Findings found = TakeRecovery::sweep(path(QStringLiteral("Takes")));
    EXPECT_TRUE(found.finishes.empty());
    EXPECT_EQ(readLog().count(QStringLiteral("was cut short again")), 1);
    EXPECT_TRUE(readLog().contains(QStringLiteral(".voice.pending could not be read; voice is not finished again")));
    EXPECT_TRUE(QFileInfo::exists(final));
    const TakeRecovery::Findings again = TakeRecovery::sweep(path(QStringLiteral("Takes")), found.noted);
    EXPECT_EQ(readLog().count(QStringLiteral("was cut short again")), 1);
    EXPECT_EQ(again.noted, found.noted);
    EXPECT_FALSE(FinishKinds::resume(QJsonObject{{QStringLiteral("kind"), QStringLiteral("telegraph")}}));
}

TEST_F(FinishResume, aVoiceTakeResumedAfterItsCutWritesItsSidecarWithoutCuttingAgain)
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
    facts.tailTrimmedSeconds = 1.5;
    facts.audioPath = audio;
    facts.startedAt = QDateTime(QDate(2026, 1, 2), QTime(9, 0), Qt::UTC);
    const QString sidecar = takes(QStringLiteral("voice 1/voice.json"));
    // Killed after the cut was noted and before the sidecar was written.
    ASSERT_TRUE(PendingNote::write(*VoiceFinishWork({QStringLiteral("voice 1 · take 1"), sidecar, facts, true, 0}).note()));

    resumeAll(TakeRecovery::sweep(path(QStringLiteral("Takes"))));
    const QJsonObject written = readJson(sidecar);
    EXPECT_EQ(written.value(QStringLiteral("stoppedBy")).toString(), QStringLiteral("remote-button"));
    EXPECT_DOUBLE_EQ(written.value(QStringLiteral("tailTrimmedSeconds")).toDouble(), 1.5);
    EXPECT_NEAR(written.value(QStringLiteral("durationSeconds")).toDouble(), 5.0, 0.1);
    EXPECT_EQ(written.value(QStringLiteral("recordedAt")).toString(), QStringLiteral("2026-01-02T09:00:00Z"));
    EXPECT_FALSE(QFileInfo::exists(PendingNote::pathFor(sidecar)));
}
