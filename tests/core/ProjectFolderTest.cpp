#include "core/ProjectFolder.h"
#include "core/SaveLocation.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

class ProjectFolderTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        settings->setString(QString::fromLatin1(SaveLocation::settingsKey), path(QStringLiteral("Recordings")));
        settings->setString(QString::fromLatin1(ProjectFolder::brainRootKey), path(QStringLiteral("Brain")));
    }

    // Creates the entries (a trailing "/" makes a folder) under the folder.
    static void make(const QString& folder, const QStringList& entries)
    {
        QDir().mkpath(folder);
        for (const QString& entry : entries) {
            const QString full = QDir(folder).filePath(entry);
            if (entry.endsWith(QLatin1Char('/'))) {
                QDir().mkpath(full);
            } else {
                QDir().mkpath(QFileInfo(full).absolutePath());
                QFile file(full);
                ASSERT_TRUE(file.open(QIODevice::WriteOnly));
                file.write("x");
            }
        }
    }

    QString recordings() const { return path(QStringLiteral("Recordings")); }
};

TEST(ProjectFolderNumber, ReadsTheNumberOfVideoFolderNames)
{
    const struct {
        const char* name;
        std::optional<qint64> number;
    } cases[] = {
        {"video 12", 12}, {"Video12", 12}, {"video 12 final", 12}, {"  VIDEO 7  ", 7}, {"video\t3", 3},
        {"video", std::nullopt}, {"videos", std::nullopt}, {"video x", std::nullopt}, {"video -3", std::nullopt},
        {"my video 4", std::nullopt}, {"video 9.txt", 9}, {"video 0", 0},
        {"video \xd9\xa3", std::nullopt}, // an Arabic-Indic digit is a number but not ASCII
        {"video 99999999999999999999", std::nullopt}, // does not fit
        {"\nvideo 5", std::nullopt}, // line breaks are not trimmed
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProjectFolder::number(QString::fromUtf8(c.name)), c.number) << c.name;
}

TEST_F(ProjectFolderTest, NumberingSkipsGapsAndCountsFilesAndNonNumericNames)
{
    EXPECT_EQ(ProjectFolder::nextProjectURL(*settings, RecordingChannel::ai), QDir(recordings()).filePath(QStringLiteral("video 1")));
    make(recordings(), {QStringLiteral("video 3/"), QStringLiteral("video 7/"), QStringLiteral("notes/"), QStringLiteral("videos/")});
    EXPECT_EQ(ProjectFolder::highestUsedNumber(*settings, RecordingChannel::ai), 7);
    EXPECT_EQ(ProjectFolder::nextProjectURL(*settings, RecordingChannel::ai), QDir(recordings()).filePath(QStringLiteral("video 8")));
    make(recordings(), {QStringLiteral("video 12 final/"), QStringLiteral("video 9.txt")});
    EXPECT_EQ(ProjectFolder::highestUsedNumber(*settings, RecordingChannel::ai), 12);
    EXPECT_EQ(ProjectFolder::existingProjects(*settings, RecordingChannel::ai),
        (QStringList{QDir(recordings()).filePath(QStringLiteral("video 12 final")), QDir(recordings()).filePath(QStringLiteral("video 9.txt")),
            QDir(recordings()).filePath(QStringLiteral("video 7")), QDir(recordings()).filePath(QStringLiteral("video 3"))}));
}

TEST_F(ProjectFolderTest, CreateNextProjectMakesTheChannelTreeAndNeverTakesOverAnExistingFolder)
{
    const auto first = ProjectFolder::createNextProject(*settings, RecordingChannel::branchline);
    ASSERT_TRUE(first.ok());
    EXPECT_EQ(first.path, path(QStringLiteral("Brain/PROJECTS/BRANCHLINE/recordings/video 1")));
    EXPECT_TRUE(QFileInfo(first.path).isDir());

    // Another take made "video 5" between the count and the mkdir: the next number is used instead.
    const QString parent = path(QStringLiteral("Race"));
    make(parent, {QStringLiteral("video 5/"), QStringLiteral("video 6/")});
    const auto raced = ProjectFolder::createFreshFolder(parent, [](qint64 n) { return QStringLiteral("video ") + QString::number(n); }, 5);
    ASSERT_TRUE(raced.ok());
    EXPECT_EQ(QFileInfo(raced.path).fileName(), QStringLiteral("video 7"));
}

TEST_F(ProjectFolderTest, CreateReportsTheFileSystemError)
{
    make(path(QString()), {QStringLiteral("blocker")}); // a file where the parent folder should be
    const auto result = ProjectFolder::createFreshFolder(path(QStringLiteral("blocker/sub")), [](qint64 n) { return QString::number(n); }, 1);
    ASSERT_FALSE(result.ok());
    EXPECT_TRUE(result.path.isEmpty());
    EXPECT_FALSE(result.error->description.isEmpty());
}

TEST_F(ProjectFolderTest, TakeSuffix)
{
    const struct {
        QStringList entries;
        const char* suffix;
    } cases[] = {
        {{}, ""},
        {{QStringLiteral("notes.txt"), QStringLiteral("Raw/")}, ""},
        {{QStringLiteral("final.mov")}, "-2"},
        {{QStringLiteral("final.mov"), QStringLiteral("final-2.mov")}, "-3"},
        {{QStringLiteral("final-2.mov")}, "-3"},
        {{QStringLiteral("voice.m4a")}, "-2"},
        {{QStringLiteral("voice-3.m4a")}, "-2"},
        // Leftovers of any take word count, so no later take writes over them.
        {{QStringLiteral("camera.mov")}, "-2"},
        {{QStringLiteral("raw.mov"), QStringLiteral("camera-2.mov")}, "-3"},
        {{QStringLiteral("take.json"), QStringLiteral("clicks-2.json"), QStringLiteral("zoom-3.json")}, "-4"},
        // The pieces of finished takes live in "Raw".
        {{QStringLiteral("final.mov"), QStringLiteral("Raw/raw.mov"), QStringLiteral("Raw/final-3.mov")}, "-2"},
        {{QStringLiteral("final.mov"), QStringLiteral("final-2.mov"), QStringLiteral("Raw/final-3.mov")}, "-4"},
        // Names that only look like take files.
        {{QStringLiteral("rawhide.txt"), QStringLiteral("final-cut.mov"), QStringLiteral(".facemux-1.mov"), QStringLiteral("Final.mov")}, ""},
        {{QStringLiteral("final.mov"), QStringLiteral("final-2-old.mov")}, "-2"},
    };
    int index = 0;
    for (const auto& c : cases) {
        const QString folder = path(QStringLiteral("suffix-%1").arg(index++));
        make(folder, c.entries);
        EXPECT_EQ(ProjectFolder::nextTakeSuffix(folder), QString::fromLatin1(c.suffix)) << c.entries.join(QLatin1Char(',')).toStdString();
    }
    EXPECT_EQ(ProjectFolder::nextTakeSuffix(path(QStringLiteral("missing"))), QString());
}

TEST_F(ProjectFolderTest, ChannelRoots)
{
    EXPECT_FALSE(ProjectFolder::channelRoot(*settings, RecordingChannel::ai));
    EXPECT_EQ(ProjectFolder::recordingsRoot(*settings, RecordingChannel::ai), recordings());
    EXPECT_EQ(ProjectFolder::shortsRoot(*settings, RecordingChannel::ai), recordings() + QStringLiteral("/Shorts"));
    EXPECT_EQ(ProjectFolder::shortsRoot(*settings, RecordingChannel::dorvelTalk), path(QStringLiteral("Brain/PROJECTS/DORVEL-TALK/tiktok")));
    EXPECT_EQ(ProjectFolder::recordingsRoot(*settings, RecordingChannel::inkwell), path(QStringLiteral("Brain/PROJECTS/INKWELL-CHANNEL/recordings")));
}

TEST_F(ProjectFolderTest, TheProjectsRootDefaultsUnderHomeAndExpandsTilde)
{
    Settings fresh(path(QStringLiteral("fresh.conf")));
    EXPECT_EQ(ProjectFolder::brainRoot(fresh), QDir::homePath() + QStringLiteral("/Olvennar Projects"));
    fresh.setString(QString::fromLatin1(ProjectFolder::brainRootKey), QStringLiteral("~/Work"));
    EXPECT_EQ(ProjectFolder::brainRoot(fresh), QDir::homePath() + QStringLiteral("/Work"));
    fresh.setString(QString::fromLatin1(ProjectFolder::brainRootKey), QStringLiteral("relative/place"));
    EXPECT_EQ(ProjectFolder::brainRoot(fresh), QDir::homePath() + QStringLiteral("/Olvennar Projects"));
}

TEST_F(ProjectFolderTest, RequestedShortsRootMustLieStrictlyInsideTheChannelTree)
{
    const QString channelRoot = path(QStringLiteral("Brain/PROJECTS/BRANCHLINE"));
    const QString fallback = channelRoot + QStringLiteral("/shorts");
    const struct {
        QString requested;
        QString expected;
    } cases[] = {
        {QString(), fallback},
        {QStringLiteral("   \n"), fallback},
        {channelRoot + QStringLiteral("/clips"), channelRoot + QStringLiteral("/clips")},
        {QStringLiteral("  ") + channelRoot + QStringLiteral("/clips/  \n"), channelRoot + QStringLiteral("/clips")},
        {channelRoot, fallback},
        {channelRoot + QStringLiteral("/"), fallback},
        {channelRoot + QStringLiteral("/../INKWELL-CHANNEL/shorts"), fallback},
        {channelRoot + QStringLiteral("X/shorts"), fallback},
        {QStringLiteral("clips"), fallback},
        {QStringLiteral("/tmp/elsewhere"), fallback},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProjectFolder::shortsRoot(*settings, RecordingChannel::branchline, c.requested), c.expected) << c.requested.toStdString();
    EXPECT_EQ(ProjectFolder::shortsRoot(*settings, RecordingChannel::ai, channelRoot + QStringLiteral("/clips")), recordings() + QStringLiteral("/Shorts"));

    // "~" is expanded before the check.
    Settings homeBased(path(QStringLiteral("home.conf")));
    homeBased.setString(QString::fromLatin1(ProjectFolder::brainRootKey), QStringLiteral("~/Brain"));
    EXPECT_EQ(ProjectFolder::shortsRoot(homeBased, RecordingChannel::inkwell, QStringLiteral("~/Brain/PROJECTS/INKWELL-CHANNEL/cuts")),
        QDir::homePath() + QStringLiteral("/Brain/PROJECTS/INKWELL-CHANNEL/cuts"));
}

TEST(ProjectFolderInside, ComparesWholePathComponents)
{
    EXPECT_TRUE(ProjectFolder::isInside(QStringLiteral("/a/b"), QStringLiteral("/a/b")));
    EXPECT_TRUE(ProjectFolder::isInside(QStringLiteral("/a/b/c"), QStringLiteral("/a/b/")));
    EXPECT_FALSE(ProjectFolder::isInside(QStringLiteral("/a/bc"), QStringLiteral("/a/b")));
    EXPECT_FALSE(ProjectFolder::isInside(QStringLiteral("/a/b/../c"), QStringLiteral("/a/b")));
}

TEST_F(ProjectFolderTest, ShortFoldersNumberPerDayAndScript)
{
    const QDateTime day(QDate(2026, 12, 5), QTime(10, 0));
    EXPECT_EQ(ProjectFolder::shortDayPrefix(day), QStringLiteral("2026-12-05-short-"));
    EXPECT_EQ(ProjectFolder::shortDayPrefix(day, QStringLiteral("hook-intro")), QStringLiteral("2026-12-05-hook-intro-short-"));

    const QString root = path(QStringLiteral("Shorts"));
    EXPECT_EQ(ProjectFolder::nextShortURL(*settings, day, QString(), root), root + QStringLiteral("/2026-12-05-short-1"));
    make(root, {QStringLiteral("2026-12-05-short-1/"), QStringLiteral("2026-12-05-short-x/"), QStringLiteral("2026-12-04-short-9/")});
    EXPECT_EQ(ProjectFolder::nextShortURL(*settings, day, QString(), root), root + QStringLiteral("/2026-12-05-short-2"));
    EXPECT_EQ(ProjectFolder::nextShortURL(*settings, day, QStringLiteral("hook"), root), root + QStringLiteral("/2026-12-05-hook-short-1"));
    // No root: the recordings root's Shorts.
    EXPECT_EQ(ProjectFolder::nextShortURL(*settings, day), recordings() + QStringLiteral("/Shorts/2026-12-05-short-1"));

    const auto created = ProjectFolder::createNextShort(*settings, QString(), root, day);
    ASSERT_TRUE(created.ok());
    EXPECT_EQ(created.path, root + QStringLiteral("/2026-12-05-short-2"));
    EXPECT_TRUE(QFileInfo(created.path).isDir());
}

TEST_F(ProjectFolderTest, LatestShortTakeIsTheNewestFinishedShort)
{
    EXPECT_FALSE(ProjectFolder::latestShortTake(*settings));
    const QString shorts = recordings() + QStringLiteral("/Shorts");
    make(shorts, {QStringLiteral("2026-12-04-short-1/short.mov"), QStringLiteral("2026-12-05-short-1/short.mov"),
                     QStringLiteral("2026-12-05-short-2/raw.mov"), QStringLiteral("other/short.mov")});
    QFile older(shorts + QStringLiteral("/2026-12-05-short-1/short.mov"));
    ASSERT_TRUE(older.open(QIODevice::ReadWrite));
    older.setFileTime(QDateTime::currentDateTime().addDays(-2), QFileDevice::FileModificationTime);
    EXPECT_EQ(ProjectFolder::latestShortTake(*settings), shorts + QStringLiteral("/2026-12-04-short-1/short.mov"));
}

} // namespace
