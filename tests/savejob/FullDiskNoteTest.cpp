#include "FinishFixture.h"
#include "FinishResumeFixture.h"

#include "finishing/NoteFolders.h"
#include "finishing/PendingRender.h"
#include "finishing/RenderWork.h"
#include "finishing/TakeRecovery.h"
#include "platform/system/Diagnostics.h"
#include "support/QueueRender.h"

#include <QCoreApplication>
#include <QProcess>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// The small disk's folder, and what one run of the studio does on it.
constexpr const char* diskVariable = "OLVENNAR_FULL_DISK";
constexpr const char* runVariable = "OLVENNAR_FULL_DISK_RUN";

// A saved take whose render waits for its break when the disk fills up, and the studio runs after it: each
// run is a process of its own over one small tmpfs, which lives as long as the runs.
class FullDisk : public FinishTest {
protected:
    QString disk() const { return qEnvironmentVariable(diskVariable); }
    QString final() const { return disk() + QStringLiteral("/video 1/final.mov"); }
    QString note() const { return PendingRender::markerPath(final()); }
    QString filler() const { return disk() + QStringLiteral("/filler"); }
    QString noteText() const { return QString::fromUtf8(read(note())); }

    // Writes until the disk takes no more.
    void fill() const
    {
        const int fd = ::open(QFile::encodeName(filler()).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        const QByteArray block(64 * 1024, 'x');
        while (::write(fd, block.constData(), static_cast<size_t>(block.size())) > 0) { }
        const int why = errno;
        ::close(fd);
        ASSERT_EQ(why, ENOSPC);
    }

    // Films the take and fills the disk while its render waits; its note says relaunches 0.
    void filmAndFill()
    {
        const QString takeFolder = QFileInfo(final()).absolutePath();
        ASSERT_TRUE(QDir().mkpath(takeFolder));
        QFile raw(takeFolder + QStringLiteral("/raw.mov"));
        ASSERT_TRUE(raw.open(QIODevice::WriteOnly) && raw.write("raw") == 3);
        raw.close();
        QFile description(takeFolder + QStringLiteral("/take.json"));
        ASSERT_TRUE(description.open(QIODevice::WriteOnly) && description.write(R"({"screen": "raw.mov", "preview": "final.mov"})") > 0);
        description.close();
        endTake();
        Mixdown::Request request;
        request.rawURL = raw.fileName();
        queueRender(controller->finishQueue(), QStringLiteral("video 1 · take 1"), request, final(), QString(), QStringLiteral("take"));
        ASSERT_TRUE(tools->renders.empty()) << "the render waits for its break";
        ASSERT_EQ(PendingRender::read(note())->relaunches, 0);
        fill();
    }

    // Runs this program once for each of `runs` in turn, in one mount namespace of their own with a small
    // tmpfs; nothing when they ran, else why they could not (this system allows no private mount).
    std::optional<QString> runStudios(const QStringList& runs)
    {
        const QString small = path(QStringLiteral("small-disk"));
        EXPECT_TRUE(QDir().mkpath(small));
        QStringList script{QStringLiteral("mount -t tmpfs -o size=256k tmpfs \"$0\" || exit 77")};
        for (const QString& run : runs)
            script << QString::fromLatin1(runVariable) + QLatin1Char('=') + run
                    + QStringLiteral(" \"$1\" --gtest_also_run_disabled_tests --gtest_filter=FullDisk.DISABLED_studioRun || exit 1");
        QProcess inner;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(diskVariable), small);
        inner.setProcessEnvironment(environment);
        inner.setProcessChannelMode(QProcess::MergedChannels);
        inner.start(QStringLiteral("unshare"),
            {QStringLiteral("-rm"), QStringLiteral("sh"), QStringLiteral("-c"), script.join(QLatin1Char('\n')), small, QCoreApplication::applicationFilePath()});
        EXPECT_TRUE(inner.waitForFinished(120'000));
        const QString output = QString::fromLocal8Bit(inner.readAll());
        if (inner.exitCode() == 77 || output.contains(QStringLiteral("unshare:")))
            return output;
        EXPECT_EQ(inner.exitCode(), 0) << output.toStdString();
        EXPECT_EQ(output.count(QStringLiteral("[  PASSED  ] 1 test")), runs.size()) << output.toStdString();
        return std::nullopt;
    }
};

} // namespace

// One run of the studio, started by the tests below inside their namespace.
TEST_F(FullDisk, DISABLED_studioRun)
{
    ASSERT_FALSE(disk().isEmpty());
    const QString run = qEnvironmentVariable(runVariable);
    if (run == QLatin1String("end") || run == QLatin1String("kill")) {
        filmAndFill();
        const QString noted = noteText();
        // A kill ends here; an orderly end writes back the notes it leaves.
        if (run == QLatin1String("end"))
            controller->finishQueue().keepNotesForNextLaunch();
        EXPECT_EQ(noteText(), noted);
        if (run == QLatin1String("end")) {
            EXPECT_TRUE(readLog().contains(QStringLiteral("quit: the next launch finishes ") + final())) << readLog().toStdString();
        }
    } else if (run == QLatin1String("launch-full")) {
        const QString noted = noteText();
        const TakeRecovery::Findings found = TakeRecovery::sweep({disk()});
        EXPECT_TRUE(found.renders.empty()) << "never run uncounted";
        EXPECT_TRUE(found.stoppedRenders.empty());
        EXPECT_TRUE(found.missingFinals.isEmpty());
        EXPECT_EQ(noteText(), noted);
        EXPECT_EQ(readLog().count(QStringLiteral("recovery: ") + final() + QStringLiteral(" is not finished at this launch: its note could not be counted (No space left on device)")), 1)
            << readLog().toStdString();
        EXPECT_FALSE(readLog().contains(QStringLiteral("could not note"))) << "said once";
    } else {
        ASSERT_EQ(run, QStringLiteral("launch-room"));
        ASSERT_TRUE(QFile::remove(filler()));
        const TakeRecovery::Findings found = TakeRecovery::sweep({disk()});
        ASSERT_EQ(found.renders.size(), 1u) << readLog().toStdString();
        EXPECT_EQ(found.renders.front().relaunches, 1);
        EXPECT_TRUE(found.missingFinals.isEmpty());
        const FinishWork::Outcome outcome = FinishResumeBase::answer(controller->finishQueue().submit(std::make_shared<RenderWork>(found.renders.front())));
        EXPECT_FALSE(outcome.failure);
        EXPECT_EQ(read(final()), QByteArray("final"));
        EXPECT_FALSE(QFileInfo::exists(note()));
        EXPECT_FALSE(readLog().contains(QStringLiteral("never finished")));
    }
}

TEST_F(FullDisk, anOrderlyEndKeepsTheWaitingRendersNoteAndTheLaunchAfterSpaceIsFreedMakesTheFinal)
{
    if (const std::optional<QString> refused = runStudios({QStringLiteral("end"), QStringLiteral("launch-room")}))
        GTEST_SKIP() << "this system allows no private mount: " << refused->toStdString();
}

TEST_F(FullDisk, aLaunchLeavesTheNoteAsItWasAndTheLaunchAfterSpaceIsFreedMakesTheFinal)
{
    // Killed while the render waited, then launched twice on the full disk.
    const QStringList runs{QStringLiteral("kill"), QStringLiteral("launch-full"), QStringLiteral("launch-full"), QStringLiteral("launch-room")};
    if (const std::optional<QString> refused = runStudios(runs))
        GTEST_SKIP() << "this system allows no private mount: " << refused->toStdString();
}

// Without a disk to fill: a file size limit refuses every byte, as a full disk does. A render resumed at this
// launch is noted at 1, and an orderly end writes it back at 0.
TEST_F(FullDisk, aNoteThatCannotBeRewrittenStaysAsItWasAndListedAndOneThatSaysTheSameIsNotWritten)
{
    Mixdown::Request request;
    request.rawURL = take(QStringLiteral("raw.mov"));
    PendingRender::Job job{QStringLiteral("t"), QStringLiteral("t"), take(QStringLiteral("final.mov")), QString(), request, 1, std::nullopt};
    const NoteFolders listed(*settings);
    ASSERT_TRUE(listed.write(PendingRender::note(job)));
    const QString noted = QString::fromUtf8(read(PendingRender::markerPath(job.finalURL)));

    Diagnostics::flush();
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous {};
    getrlimit(RLIMIT_FSIZE, &previous);
    rlimit none = previous;
    none.rlim_cur = 0;
    setrlimit(RLIMIT_FSIZE, &none);
    const bool same = listed.write(PendingRender::note(job));
    job.relaunches = 0;
    const bool rewritten = listed.write(PendingRender::note(job));
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_TRUE(same);
    EXPECT_FALSE(rewritten);
    EXPECT_EQ(QString::fromUtf8(read(PendingRender::markerPath(job.finalURL))), noted);
    EXPECT_EQ(QDir(take()).entryList({QStringLiteral(".pending-*")}, QDir::Hidden | QDir::Files), QStringList{});
    EXPECT_EQ(listed.folders(), QStringList{NoteFolders::keyOf(take())}) << "its folder stays listed with it";
}
