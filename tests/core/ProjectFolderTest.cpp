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
        {"Video12", 12}, {"video 12 final", 12}, {"  VIDEO 7  ", 7}, {"videos", std::nullopt}, {"video -3", std::nullopt},
        {"my video 4", std::nullopt}, {"video 9.txt", 9},
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
}

TEST_F(ProjectFolderTest, ANewFolderNeverTakesOverOneMadeMeanwhile)
{
    // Another take made "video 5" between the count and the mkdir: the next number is used instead.
    const QString parent = path(QStringLiteral("Race"));
    make(parent, {QStringLiteral("video 5/"), QStringLiteral("video 6/")});
    const auto raced = ProjectFolder::createFreshFolder(parent, [](qint64 n) { return QStringLiteral("video ") + QString::number(n); }, 5);
    ASSERT_TRUE(raced.ok());
    EXPECT_EQ(QFileInfo(raced.path).fileName(), QStringLiteral("video 7"));
}

TEST_F(ProjectFolderTest, TakeSuffix)
{
    const struct {
        QStringList entries;
        const char* suffix;
    } cases[] = {
        {{}, ""},
        {{QStringLiteral("final.mov")}, "-2"},
        {{QStringLiteral("final.mov"), QStringLiteral("final-2.mov")}, "-3"},
        {{QStringLiteral("voice-3.m4a")}, "-2"},
        // Leftovers of any take word count, so no later take writes over them.
        {{QStringLiteral("raw.mov"), QStringLiteral("camera-2.mov")}, "-3"},
        {{QStringLiteral("take.json"), QStringLiteral("clicks-2.json"), QStringLiteral("zoom-3.json")}, "-4"},
        // The pieces of finished takes live in "Raw".
        {{QStringLiteral("final.mov"), QStringLiteral("final-2.mov"), QStringLiteral("Raw/final-3.mov")}, "-4"},
        // Names that only look like take files.
        {{QStringLiteral("rawhide.txt"), QStringLiteral("final-cut.mov"), QStringLiteral(".facemux-1.mov"), QStringLiteral("Final.mov")}, ""},
        {{QStringLiteral("final.mov"), QStringLiteral("final-2-old.mov")}, "-2"},
    };
    int index = 0;
    for (const auto& c : cases) {
        const QString takeFolder = path(QStringLiteral("suffix-%1").arg(index++));
        make(takeFolder, c.entries);
        EXPECT_EQ(ProjectFolder::nextTakeSuffix(takeFolder), QString::fromLatin1(c.suffix)) << c.entries.join(QLatin1Char(',')).toStdString();
    }
    EXPECT_EQ(ProjectFolder::nextTakeSuffix(path(QStringLiteral("missing"))), QString());
}

TEST_F(ProjectFolderTest, TakeSuffixSkipsTheNameOfAJobStillPending)
{
    // A take's shown files deleted while its render waits: the job's hidden note still holds the name.
    const struct {
        QStringList entries;
        const char* suffix;
    } cases[] = {
        {{QStringLiteral(".final.pending")}, "-2"},
        {{QStringLiteral("final.mov"), QStringLiteral("Raw/raw.mov"), QStringLiteral(".final-2.pending")}, "-3"},
        // Hidden files that are no job's note.
        {{QStringLiteral(".final-2.mov"), QStringLiteral(".notes.pending"), QStringLiteral(".final.pending.tmp")}, ""},
    };
    int index = 0;
    for (const auto& c : cases) {
        const QString takeFolder = path(QStringLiteral("pending-%1").arg(index++));
        make(takeFolder, c.entries);
        EXPECT_EQ(ProjectFolder::nextTakeSuffix(takeFolder), QString::fromLatin1(c.suffix)) << c.entries.join(QLatin1Char(',')).toStdString();
    }
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
        {channelRoot + QStringLiteral("/clips"), channelRoot + QStringLiteral("/clips")},
        {QStringLiteral("  ") + channelRoot + QStringLiteral("/clips/  \n"), channelRoot + QStringLiteral("/clips")},
        {channelRoot, fallback},
        {channelRoot + QStringLiteral("/../INKWELL-CHANNEL/shorts"), fallback},
        {channelRoot + QStringLiteral("X/shorts"), fallback},
        {QStringLiteral("/tmp/elsewhere"), fallback},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProjectFolder::shortsRoot(*settings, RecordingChannel::branchline, c.requested), c.expected) << c.requested.toStdString();
    EXPECT_EQ(ProjectFolder::shortsRoot(*settings, RecordingChannel::ai, channelRoot + QStringLiteral("/clips")), recordings() + QStringLiteral("/Shorts"));
}

TEST_F(ProjectFolderTest, TakeRootsNameEveryChannelsRecordingsAndShortsOnce)
{
    const QString projects = path(QStringLiteral("Brain/PROJECTS"));
    EXPECT_EQ(ProjectFolder::takeRoots(*settings),
        (QStringList{recordings(), recordings() + QStringLiteral("/Shorts"), projects + QStringLiteral("/DORVEL-TALK/recordings"),
            projects + QStringLiteral("/DORVEL-TALK/tiktok"), projects + QStringLiteral("/BRANCHLINE/recordings"), projects + QStringLiteral("/BRANCHLINE/shorts"),
            projects + QStringLiteral("/INKWELL-CHANNEL/recordings"), projects + QStringLiteral("/INKWELL-CHANNEL/shorts")}));
    EXPECT_FALSE(QFileInfo::exists(projects)) << "naming the roots makes no folder";
}

} // namespace
