#include "platform/system/OpenFile.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

class OpenFileTest : public SandboxTest {
protected:
    void writeFile(const QString& relative, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path(relative)).absolutePath());
        QFile out(path(relative));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes);
    }
    OpenFile open(const QString& relative)
    {
        auto opened = OpenFile::open(path(relative));
        EXPECT_TRUE(std::holds_alternative<OpenFile>(opened));
        return std::holds_alternative<OpenFile>(opened) ? std::move(std::get<OpenFile>(opened)) : OpenFile();
    }
};

TEST(OpenFileNaming, TheFirstCandidateNamingTheFileWinsAndADeletedFileHasNoName)
{
    const OpenFile::Identity file {1, 42, 1};
    const OpenFile::Identity other {1, 43, 1};
    const OpenFile::Identity otherDisk {2, 42, 1};
    struct Row {
        const char* what;
        OpenFile::Identity file;
        std::vector<OpenFile::Candidate> candidates;
        std::optional<QString> expected;
    };
    const std::vector<Row> rows {
        {"where it was written", file, {{"/a/raw.mov", file}, {"/a/raw.mov", file}}, QStringLiteral("/a/raw.mov")},
        {"renamed: nothing at the old path", file, {{"/a/raw.mov", std::nullopt}, {"/b/raw.mov", file}}, QStringLiteral("/b/raw.mov")},
        {"renamed and its name used again", file, {{"/a/raw.mov", other}, {"/b/raw.mov", file}}, QStringLiteral("/b/raw.mov")},
        {"the same inode on another disk is another file", file, {{"/a/raw.mov", otherDisk}}, std::nullopt},
        {"deleted", OpenFile::Identity {1, 42, 0}, {{"/a/raw.mov", file}}, std::nullopt},
        {"no path reaches it", file, {}, std::nullopt},
    };
    for (const Row& row : rows)
        EXPECT_EQ(OpenFile::firstNaming(row.file, row.candidates), row.expected) << row.what;
}

TEST_F(OpenFileTest, AFileFollowedThroughItsFoldersRenameIsSyncedAndFoundThereNotAtItsOldNameUsedAgain)
{
    writeFile(QStringLiteral("video 1/raw.mov"), "the take");
    const OpenFile file = open(QStringLiteral("video 1/raw.mov"));
    ASSERT_TRUE(file.isOpen());
    EXPECT_EQ(file.location({path(QStringLiteral("video 1/raw.mov"))}), path(QStringLiteral("video 1/raw.mov")));

    ASSERT_TRUE(QDir().rename(path(QStringLiteral("video 1")), path(QStringLiteral("intro"))));
    // A new take's folder takes the freed name, with a file of the same name in it.
    writeFile(QStringLiteral("video 1/raw.mov"), "the next take");
    EXPECT_EQ(file.sync(), std::nullopt);
    const std::optional<QString> now = file.location({path(QStringLiteral("video 1/raw.mov"))});
    ASSERT_TRUE(now);
    EXPECT_EQ(QFileInfo(*now).canonicalFilePath(), QFileInfo(path(QStringLiteral("intro/raw.mov"))).canonicalFilePath());

    ASSERT_TRUE(QFile::remove(*now));
    EXPECT_EQ(file.location({path(QStringLiteral("video 1/raw.mov")), path(QStringLiteral("intro/raw.mov"))}), std::nullopt);
    EXPECT_EQ(file.sync(), std::nullopt) << "a deleted file still syncs";
}

TEST_F(OpenFileTest, AFileThatCannotBeOpenedSaysWhyAndAnEmptyOneNamesNothing)
{
    const auto opened = OpenFile::open(path(QStringLiteral("missing/raw.mov")));
    ASSERT_TRUE(std::holds_alternative<QString>(opened));
    EXPECT_FALSE(std::get<QString>(opened).isEmpty());
    const OpenFile none;
    EXPECT_FALSE(none.isOpen());
    EXPECT_TRUE(none.sync());
    EXPECT_EQ(none.location({path(QStringLiteral("missing/raw.mov"))}), std::nullopt);
}

} // namespace
