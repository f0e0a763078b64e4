#include "finishing/NoteFolders.h"
#include "finishing/PendingNote.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

class NoteFoldersTest : public SandboxTest {
protected:
    static FinishWork::Note note(const QString& output)
    {
        return {PendingNote::pathFor(output),
            QJsonObject{{QStringLiteral("kind"), QStringLiteral("render")}, {QStringLiteral("output"), output}, {QStringLiteral("relaunches"), 0}}};
    }
};

} // namespace

TEST_F(NoteFoldersTest, aFolderIsListedOnceHoweverItIsSpelledAndLeavesWithItsLastNote)
{
    const NoteFolders listed(*settings);
    const QString episode = path(QStringLiteral("episodes/ep12"));
    ASSERT_TRUE(QDir().mkpath(episode));
    ASSERT_TRUE(QFile::link(episode, path(QStringLiteral("linked"))));
    ASSERT_TRUE(listed.write(note(episode + QStringLiteral("/final.mov"))));
    ASSERT_TRUE(listed.write(note(path(QStringLiteral("episodes/../episodes/ep12/final-2.mov")))));
    ASSERT_TRUE(listed.write(note(path(QStringLiteral("linked/short.mov")))));
    EXPECT_EQ(listed.folders(), QStringList{NoteFolders::keyOf(episode)});

    listed.remove(PendingNote::pathFor(episode + QStringLiteral("/final.mov")));
    listed.remove(PendingNote::pathFor(path(QStringLiteral("linked/short.mov"))));
    EXPECT_EQ(listed.folders(), QStringList{NoteFolders::keyOf(episode)}) << "the second take's note is still there";
    listed.remove(PendingNote::pathFor(episode + QStringLiteral("/final-2.mov")));
    EXPECT_TRUE(listed.folders().isEmpty());
    EXPECT_FALSE(settings->contains(QStringLiteral("resumeNoteFolders")));
}

TEST_F(NoteFoldersTest, aNoteThatCouldNotBeWrittenLeavesItsFolderListedOnlyForAnotherNote)
{
    const NoteFolders listed(*settings);
    EXPECT_FALSE(listed.write(note(path(QStringLiteral("gone/final.mov")))));
    EXPECT_TRUE(listed.folders().isEmpty());

    // A take's note is there already; the next take's could not be written (its name is a folder).
    const QString episode = path(QStringLiteral("ep12"));
    ASSERT_TRUE(QDir().mkpath(episode));
    ASSERT_TRUE(listed.write(note(episode + QStringLiteral("/final.mov"))));
    ASSERT_TRUE(QDir().mkpath(episode + QStringLiteral("/.final-2.pending")));
    EXPECT_FALSE(listed.write(note(episode + QStringLiteral("/final-2.mov"))));
    EXPECT_EQ(listed.folders(), QStringList{NoteFolders::keyOf(episode)});
}
