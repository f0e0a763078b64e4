#include "FinishResumeFixture.h"

#include "finishing/IndexToFrontWork.h"
#include "finishing/PendingNote.h"
#include "finishing/TakeRecovery.h"
#include "platform/media/ExportGate.h"
#include "shortexport/ShortExportWork.h"
#include "support/SyntheticTake.h"
#include "takes/FinishKinds.h"

#include <QCoreApplication>
#include <QCoroFuture>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>

namespace {

// What the child is told to finish: "<kind>\n<title>\n<first path>\n<second path>".
constexpr const char* childJobVariable = "OLVENNAR_FINISH_UNTIL_KILLED";

std::shared_ptr<FinishWork> childWork(const QStringList& job)
{
    if (job.value(0) == QStringLiteral("just-me"))
        return std::make_shared<IndexToFrontWork>(IndexToFrontWork::Job{job.value(1), job.value(2), job.value(3), true});
    if (job.value(0) == QStringLiteral("short") || job.value(0) == QStringLiteral("short-at-the-end")) {
        const QString raw = job.value(3);
        ShortTake::Settings stopped;
        stopped.filePosition = {0.5, 0.5};
        stopped.camera = QStringLiteral("Desk");
        stopped.tailTrim = 1.5;
        return std::make_shared<ShortExportWork>(ShortExportWork::Job{job.value(1), job.value(2), raw, stopped, 0});
    }
    return nullptr;
}

// A real studio process is killed with SIGKILL while a finish job writes its file; the next launch (this
// process) sweeps the save root and resumes a short's export from its note, as it does a screen take's render.
class FinishKill : public FinishResumeBase {
protected:
    // Starts this test program as the studio doing `job`, and kills it once the job's hidden file holds
    // bytes in `takeFolder`; false when it could not be caught mid-write.
    bool killWhileWriting(const QStringList& job, const QString& takeFolder)
    {
        QProcess studio;
        if (!startChild(studio, job))
            return false;
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 60'000 && studio.state() == QProcess::Running) {
            const QFileInfoList hidden = QDir(takeFolder).entryInfoList({QStringLiteral(".*.mov")}, QDir::Files | QDir::Hidden);
            if (std::any_of(hidden.begin(), hidden.end(), [](const QFileInfo& file) { return file.size() > 0; })) {
                ::kill(static_cast<pid_t>(studio.processId()), SIGKILL);
                studio.waitForFinished();
                return studio.exitStatus() == QProcess::CrashExit;
            }
            QThread::usleep(500);
        }
        studio.kill();
        studio.waitForFinished();
        return false;
    }

    // Runs the child to its end; whether it ended well.
    bool runToTheEnd(const QStringList& job)
    {
        QProcess studio;
        if (!startChild(studio, job) || !studio.waitForFinished(120'000))
            return false;
        return studio.exitStatus() == QProcess::NormalExit && studio.exitCode() == 0;
    }

private:
    static bool startChild(QProcess& studio, const QStringList& job)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(childJobVariable), job.join(QLatin1Char('\n')));
        studio.setProcessEnvironment(environment);
        studio.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        studio.start(QCoreApplication::applicationFilePath(),
            {QStringLiteral("--gtest_also_run_disabled_tests"), QStringLiteral("--gtest_filter=FinishKillChild.DISABLED_finishesTheJobItIsHanded")});
        return studio.waitForStarted();
    }
};

using FinishKillChild = FinishResumeBase;

} // namespace

// The child's side: run the one job the parent named through the real queue, until the parent kills it.
TEST_F(FinishKillChild, DISABLED_finishesTheJobItIsHanded)
{
    const QStringList job = qEnvironmentVariable(childJobVariable).split(QLatin1Char('\n'));
    const std::shared_ptr<FinishWork> work = childWork(job);
    ASSERT_TRUE(work);
    // The studio is ending: its exports stop where they are.
    const bool ending = job.value(0) == QStringLiteral("short-at-the-end");
    if (ending)
        ExportGate::shared().abandon();
    const FinishWork::Outcome outcome = answer(controller->finishQueue().submit(work));
    EXPECT_EQ(outcome.failure.has_value(), ending);
}

TEST_F(FinishKill, aJustMeFinishKilledWhileItRewritesTheMovieLeavesItsWholeMovieAndNothingToResume)
{
    const QString takeFolder = takes(QStringLiteral("video 5"));
    const QString final = takeFolder + QStringLiteral("/final.mov");
    const QString stop = takeFolder + QStringLiteral("/stop.json");
    captureMovie(final, 40.0);
    const double captured = seconds(final);

    ASSERT_TRUE(killWhileWriting({QStringLiteral("just-me"), QStringLiteral("video 5 · take 1"), final, stop}, takeFolder))
        << "the finish ended before it could be killed";
    // The take was final when its file closed: the kill leaves that movie whole and no note to run again.
    EXPECT_FALSE(QFileInfo::exists(PendingNote::pathFor(final)));
    EXPECT_NEAR(seconds(final), captured, 0.1);

    const TakeRecovery::Findings found = TakeRecovery::sweep({path(QStringLiteral("Takes"))});
    EXPECT_TRUE(found.finishes.empty());
    EXPECT_TRUE(found.renders.empty());
    EXPECT_EQ(found.removedSiblings.size(), 1);
    EXPECT_TRUE(found.missingFinals.isEmpty());
    EXPECT_EQ(resumeAll(found).size(), 0u);
    EXPECT_TRUE(controller->finishJobs().empty());
    EXPECT_NEAR(seconds(final), captured, 0.1);
    EXPECT_FALSE(QFileInfo::exists(stop)) << "nothing cut, nothing recorded";
    EXPECT_TRUE(QDir(takeFolder).entryList({QStringLiteral(".*.mov")}, QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(FinishKill, aShortKilledWhileItExportsIsExportedAtTheNextLaunch)
{
    const QString takeFolder = takes(QStringLiteral("Shorts/2026-01-03-short-1"));
    const QString raw = takeFolder + QStringLiteral("/raw.mov");
    QDir().mkpath(takeFolder);
    SyntheticTake::MovieRecipe recipe;
    recipe.width = 640;
    recipe.height = 360;
    recipe.seconds = 8.0;
    recipe.mode = MovieWriteMode::capture;
    SyntheticTake::writeMovie(raw, recipe);

    ASSERT_TRUE(killWhileWriting({QStringLiteral("short"), QStringLiteral("2026-01-03-short-1 · take 1"), takeFolder, raw}, takeFolder))
        << "the export ended before it could be killed";
    const QString made = takeFolder + QStringLiteral("/short.mov");
    EXPECT_FALSE(QFileInfo::exists(made));
    ASSERT_TRUE(QFileInfo::exists(PendingNote::pathFor(made)));
    const QString recordedAt = readJson(takeFolder + QStringLiteral("/crop.json")).value(QStringLiteral("recordedAt")).toString();
    ASSERT_FALSE(recordedAt.isEmpty());
    // The next launch comes a while later.
    TestEnvironment::waitUntil([&] { return QDateTime::currentDateTimeUtc().toString(Qt::ISODate) > recordedAt; }, 3000);

    const TakeRecovery::Findings found = TakeRecovery::sweep({path(QStringLiteral("Takes"))});
    ASSERT_EQ(found.finishes.size(), 1u);
    const std::vector<FinishWork::Outcome> outcomes = resumeAll(found);
    ASSERT_EQ(outcomes.size(), 1u);
    ASSERT_FALSE(outcomes[0].failure) << outcomes[0].failure->description.toStdString();
    EXPECT_EQ(row(0).state.path, made);
    EXPECT_EQ(SyntheticTake::probeField(made, QStringLiteral("video"), QStringLiteral("height")), QStringLiteral("1920"));
    EXPECT_NEAR(seconds(made), 6.5, 0.1);
    EXPECT_EQ(readJson(takeFolder + QStringLiteral("/crop.json")).value(QStringLiteral("camera")).toString(), QStringLiteral("Desk"));
    EXPECT_EQ(readJson(takeFolder + QStringLiteral("/crop.json")).value(QStringLiteral("recordedAt")).toString(), recordedAt) << "the take's own time";
    EXPECT_FALSE(QFileInfo::exists(PendingNote::pathFor(made)));
    EXPECT_TRUE(QDir(takeFolder).entryList({QStringLiteral(".*.mov")}, QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(FinishKill, aShortStoppedBecauseTheStudioEndsKeepsItsNoteAsAfterACrash)
{
    const QString takeFolder = takes(QStringLiteral("Shorts/2026-01-03-short-2"));
    const QString raw = takeFolder + QStringLiteral("/raw.mov");
    captureMovie(raw, 4.0);
    ASSERT_TRUE(runToTheEnd({QStringLiteral("short-at-the-end"), QStringLiteral("2026-01-03-short-2 · take 1"), takeFolder, raw}));
    const QString made = takeFolder + QStringLiteral("/short.mov");
    EXPECT_FALSE(QFileInfo::exists(made));
    EXPECT_TRUE(QFileInfo::exists(PendingNote::pathFor(made))) << "the next launch exports it";
    EXPECT_EQ(TakeRecovery::sweep({path(QStringLiteral("Takes"))}).finishes.size(), 1u);
}
