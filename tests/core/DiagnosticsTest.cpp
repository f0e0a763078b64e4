#include "platform/system/Diagnostics.h"
#include "core/ProjectFolder.h"
#include "core/SaveLocation.h"
#include "support/TestEnvironment.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <thread>

namespace {

class DiagnosticsTest : public SandboxTest { };

TEST_F(DiagnosticsTest, LineIsTimestampTwoSpacesMessage)
{
    const QDateTime time(QDate(2026, 3, 4), QTime(5, 6, 7, 89));
    EXPECT_EQ(Diagnostics::formatLine(time, QStringLiteral("tidy: moved 4")), QStringLiteral("2026-03-04 05:06:07.089  tidy: moved 4\n"));
}

TEST_F(DiagnosticsTest, ErrorLineNamesContextDomainAndCode)
{
    const ErrorInfo error{QStringLiteral("Olvennar.Mixdown"), 3, QStringLiteral("Could not write the finished file: disk full")};
    EXPECT_EQ(Diagnostics::errorLine(error, QStringLiteral("finish")),
        QStringLiteral("ERROR [finish] Could not write the finished file: disk full (domain: Olvennar.Mixdown, code: 3)"));
}

TEST_F(DiagnosticsTest, LinesFromManyThreadsNeverInterleave)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i)
                Diagnostics::log(QStringLiteral("thread %1 line %2 ").arg(t).arg(i) + QString(40, QLatin1Char('x')));
        });
    }
    for (auto& thread : threads)
        thread.join();
    const QStringList lines = readLog().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 800);
    const QRegularExpression whole(QStringLiteral("^\\S+ \\S+  thread \\d line \\d+ x{40}$"));
    for (const QString& line : lines)
        ASSERT_TRUE(whole.match(line).hasMatch()) << line.toStdString();
}

class SaveLocationTest : public SandboxTest { };

TEST_F(SaveLocationTest, AnUnmountedDriveIsNotRecreatedByATakeAndTheFactIsLogged)
{
    const QString root = path(QStringLiteral("media/Drive/Recordings"));
    settings->setString(QStringLiteral("publicSaveFolder.v1"), root);
    const auto error = SaveLocation::ensureCurrent(*settings);
    ASSERT_TRUE(error);
    EXPECT_EQ(*error, QStringLiteral("The save folder ") + root + QStringLiteral(" is not available — is the drive connected?"));
    const auto take = ProjectFolder::createNextProject(*settings, RecordingChannel::ai);
    ASSERT_FALSE(take.ok());
    EXPECT_EQ(take.error->description, *error);
    const auto shortTake = ProjectFolder::createNextShort(*settings, QString(), QString(), QDateTime::currentDateTime());
    EXPECT_FALSE(shortTake.ok());
    EXPECT_FALSE(QDir(path(QStringLiteral("media"))).exists());
    EXPECT_TRUE(readLog().contains(QStringLiteral("save location: parent of ") + root));
}

TEST_F(SaveLocationTest, ARootOnAMountPointWithNothingMountedIsRefusedLikeAMissingDrive)
{
    // The drive's folder exists, empty, on the system disk: fstab names it, nothing is mounted there.
    const QString drive = path(QStringLiteral("Drive"));
    ASSERT_TRUE(QDir().mkpath(drive));
    const QStringList mountPoints{QStringLiteral("/srv/other"), drive};
    const QString unavailable = QStringLiteral(" is not available — is the drive connected?");

    for (const QString& root : {drive, drive + QStringLiteral("/Recordings")}) {
        settings->setString(QStringLiteral("publicSaveFolder.v1"), root);
        EXPECT_EQ(SaveLocation::ensureCurrent(*settings, mountPoints).value_or(QString()), QStringLiteral("The save folder ") + root + unavailable);
        EXPECT_TRUE(QDir(drive).isEmpty()) << "nothing is made on the system disk";
        EXPECT_TRUE(readLog().contains(QStringLiteral("save location: ") + root + QStringLiteral(" is on a drive that is not mounted")));
        // A folder that no mount names is an ordinary folder.
        EXPECT_FALSE(SaveLocation::ensureCurrent(*settings, {}));
        QDir(drive).removeRecursively();
        QDir().mkpath(drive);
    }
    // A drive with something on it is used.
    ASSERT_TRUE(QDir().mkpath(drive + QStringLiteral("/Old takes")));
    settings->setString(QStringLiteral("publicSaveFolder.v1"), drive);
    EXPECT_FALSE(SaveLocation::ensureCurrent(*settings, mountPoints));
}

TEST_F(SaveLocationTest, OnlyAnAbsoluteRootIsUsedAndABadOneIsWarnedAboutOnce)
{
    settings->setString(QStringLiteral("publicSaveFolder.v1"), QStringLiteral("takes/here"));
    for (int refresh = 0; refresh < 5; ++refresh)
        EXPECT_EQ(SaveLocation::current(*settings), SaveLocation::defaultPath());
    EXPECT_EQ(readLog().count(QStringLiteral("save location: takes/here is not an absolute path")), 1);
    settings->setInteger(QStringLiteral("publicSaveFolder.v1"), 42);
    EXPECT_EQ(SaveLocation::current(*settings), SaveLocation::defaultPath());
    EXPECT_TRUE(readLog().contains(QStringLiteral("save location: 42 is not an absolute path; using ") + SaveLocation::defaultPath()));
    settings->setString(QStringLiteral("publicSaveFolder.v1"), QStringLiteral("~/Takes/"));
    EXPECT_EQ(SaveLocation::current(*settings), QDir::homePath() + QStringLiteral("/Takes"));
}

TEST_F(DiagnosticsTest, AnUnwritableLogGoesToStandardErrorSayingWhyOnce)
{
    const QString blocked = path(QStringLiteral("blocked"));
    QFile file(blocked);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    // A plain file where the log's folder should be: the log can never be created.
    Diagnostics::setLogPathForTesting(blocked + QStringLiteral("/Olvennar.log"));
    testing::internal::CaptureStderr();
    Diagnostics::log(QStringLiteral("first line"));
    Diagnostics::log(QStringLiteral("second line"));
    Diagnostics::flush();
    const QString written = QString::fromStdString(testing::internal::GetCapturedStderr());
    Diagnostics::setLogPathForTesting(logPath);
    EXPECT_EQ(written.count(QStringLiteral("cannot write the log ") + blocked + QStringLiteral("/Olvennar.log (Not a directory)")), 1);
    EXPECT_TRUE(written.contains(QStringLiteral("  first line\n")));
    EXPECT_TRUE(written.contains(QStringLiteral("  second line\n")));
}

} // namespace
