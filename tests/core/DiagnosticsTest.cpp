#include "platform/system/Diagnostics.h"
#include "core/ProjectFolder.h"
#include "core/SaveLocation.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <thread>

#include <sys/stat.h>

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

TEST_F(SaveLocationTest, AMissingDriveFolderWhereDrivesAreMountedIsAnUnpluggedDrive)
{
    // A machine of its own: drives appear in mnt and media, each user has a folder of drives in media and
    // run/media, and fstab names srv/data; nothing is plugged in.
    SaveLocation::MountTable mounts({path(QStringLiteral("srv/data"))});
    mounts.driveParents = {path(QStringLiteral("mnt")), path(QStringLiteral("media"))};
    mounts.userParents = {path(QStringLiteral("media")), path(QStringLiteral("run/media"))};
    for (const char* made : {"mnt", "media/alice", "run/media/alice", "srv", "Videos"})
        ASSERT_TRUE(QDir().mkpath(path(QString::fromLatin1(made))));
    const QString unavailable = QStringLiteral(" is not available — is the drive connected?");

    for (const char* missing : {"mnt/DRIVE", "media/DRIVE", "media/alice/DRIVE", "run/media/alice/DRIVE", "srv/data"}) {
        const QString root = path(QString::fromLatin1(missing));
        SCOPED_TRACE(missing);
        settings->setString(QStringLiteral("publicSaveFolder.v1"), root);
        EXPECT_EQ(SaveLocation::ensureCurrent(*settings, mounts).value_or(QString()), QStringLiteral("The save folder ") + root + unavailable);
        EXPECT_FALSE(QFileInfo::exists(root)) << "nothing is made on the system disk";
        EXPECT_TRUE(readLog().contains(QStringLiteral("save location: ") + root + QStringLiteral(" is on a drive that is not mounted")));
    }

    // Folders inside a drive that holds files, and ordinary folders, are made as before.
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("mnt/DRIVE/Old takes"))));
    for (const char* fresh : {"mnt/DRIVE/Olvennar", "Videos/Takes"}) {
        SCOPED_TRACE(fresh);
        const QString root = path(QString::fromLatin1(fresh));
        settings->setString(QStringLiteral("publicSaveFolder.v1"), root);
        EXPECT_FALSE(SaveLocation::ensureCurrent(*settings, mounts));
        EXPECT_TRUE(QFileInfo(root).isDir());
    }
}

TEST_F(SaveLocationTest, AFileWhereAFolderBelongsIsNamedAsWhatIsInTheWay)
{
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("Videos"))));
    const QString file = path(QStringLiteral("Videos/notes.txt"));
    QFile made(file);
    ASSERT_TRUE(made.open(QIODevice::WriteOnly));
    made.write("notes");
    made.close();
    // The root under the file, deeper under it, and the file itself; with every mount table.
    for (const QString& root : {file + QStringLiteral("/Takes"), file + QStringLiteral("/Takes/Olvennar"), file}) {
        for (const SaveLocation::MountTable& mounts : {SaveLocation::MountTable(), SaveLocation::MountTable({file})}) {
            SCOPED_TRACE(root.toStdString());
            settings->setString(QStringLiteral("publicSaveFolder.v1"), root);
            EXPECT_EQ(SaveLocation::ensureCurrent(*settings, mounts).value_or(QString()).toStdString(),
                (QStringLiteral("The save folder ") + root + QStringLiteral(" is not available — ") + file + QStringLiteral(" is a file, not a folder"))
                    .toStdString());
            EXPECT_TRUE(QFileInfo(file).isFile()) << "the file stays as it was";
        }
        EXPECT_TRUE(readLog().contains(QStringLiteral("save location: ") + file + QStringLiteral(" is a file; cannot make ") + root));
    }
    // A take is refused with the same sentence.
    settings->setString(QStringLiteral("publicSaveFolder.v1"), file + QStringLiteral("/Takes"));
    const auto take = ProjectFolder::createNextProject(*settings, RecordingChannel::ai);
    ASSERT_FALSE(take.ok());
    EXPECT_TRUE(take.error->description.endsWith(file + QStringLiteral(" is a file, not a folder"))) << take.error->description.toStdString();
}

TEST_F(SaveLocationTest, ADriveMountedStraightInAUsersFolderIsUsed)
{
    // /dev/shm is a mount of its own inside /dev: as a drive mounted straight in /media would be.
    struct stat shm {};
    struct stat dev {};
    if (::stat("/dev/shm", &shm) != 0 || ::stat("/dev", &dev) != 0 || shm.st_dev == dev.st_dev)
        GTEST_SKIP() << "needs /dev/shm mounted on its own";
    SaveLocation::MountTable mounts;
    mounts.driveParents = {};
    mounts.userParents = {QStringLiteral("/dev")};
    EXPECT_FALSE(SaveLocation::holdsDrives(QStringLiteral("/dev/shm"), mounts));
    const QString root = QStringLiteral("/dev/shm/olvennar-test-") + QString::number(QCoreApplication::applicationPid());
    settings->setString(QStringLiteral("publicSaveFolder.v1"), root);
    EXPECT_FALSE(SaveLocation::ensureCurrent(*settings, mounts));
    EXPECT_TRUE(QFileInfo(root).isDir());
    QDir(root).removeRecursively();
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
