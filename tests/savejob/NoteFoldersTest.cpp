#include "core/SaveLocation.h"
#include "finishing/NoteFolders.h"
#include "finishing/PendingNote.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <vector>

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

TEST_F(NoteFoldersTest, aListedFolderStaysWhileTheFolderHoldingItIsMissingAndGoesOnlyWhenItIsThereWithoutANote)
{
    struct Case {
        const char* name;
        const char* folder; // listed, under the sandbox
        const char* removed; // taken away after the note was written ("" for nothing)
        bool notedAfter; // a note stands in the folder when the list is pruned
        bool kept;
    };
    const std::vector<Case> cases{
        {"present with its note", "Drive/ep1", "", true, true},
        {"present without a note", "Drive/ep2", "", false, false},
        {"gone, the folder holding it there", "Drive/ep3", "Drive/ep3", false, false},
        {"the folder holding it missing", "Away/ep4", "Away", false, true},
        {"missing two levels up", "Volume/PROJECTS/ep5", "Volume", false, true},
        {"straight on a drive's empty mount point", "Mnt/Drive/ep6", "Mnt/Drive/ep6", false, true},
    };
    const NoteFolders listed(*settings, [mounts = SaveLocation::MountTable({path(QStringLiteral("Mnt/Drive"))})](const QString& folder) {
        return SaveLocation::isUnmountedMountPoint(folder, mounts);
    });
    QStringList keys;
    for (const Case& item : cases) {
        const QString folder = path(QLatin1String(item.folder));
        ASSERT_TRUE(QDir().mkpath(folder)) << item.name;
        keys << NoteFolders::keyOf(folder);
        ASSERT_TRUE(listed.write(note(folder + QStringLiteral("/final.mov")))) << item.name;
        if (!item.notedAfter)
            PendingNote::remove(PendingNote::pathFor(folder + QStringLiteral("/final.mov")));
        if (*item.removed)
            ASSERT_TRUE(QDir(path(QLatin1String(item.removed))).removeRecursively()) << item.name;
    }
    ASSERT_EQ(listed.folders().size(), qsizetype(cases.size()));
    listed.prune();
    for (size_t index = 0; index < cases.size(); ++index)
        EXPECT_EQ(listed.folders().contains(keys.at(qsizetype(index))), cases[index].kept) << cases[index].name;

    // The drive comes back without its notes (they were finished elsewhere): its folders go at the next prune.
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("Away/ep4"))));
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("Volume/PROJECTS"))));
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("Mnt/Drive/ep6"))));
    listed.prune();
    EXPECT_EQ(listed.folders(), QStringList{keys.front()});
}

TEST_F(NoteFoldersTest, pastTheBoundTheOldestFoldersOutOfReachGoFirstThenTheOldestOfAll)
{
    const NoteFolders listed(*settings);
    const QString running = path(QStringLiteral("Drive/running"));
    ASSERT_TRUE(QDir().mkpath(running));
    ASSERT_TRUE(listed.write(note(running + QStringLiteral("/final.mov"))));
    // Folders on a drive that is then taken away fill the list up to its bound.
    QStringList away;
    for (qsizetype index = 1; index < NoteFolders::maxFolders; ++index) {
        const QString folder = path(QStringLiteral("Away/ep%1").arg(index));
        ASSERT_TRUE(QDir().mkpath(folder));
        ASSERT_TRUE(listed.write(note(folder + QStringLiteral("/final.mov"))));
        away << NoteFolders::keyOf(folder);
    }
    ASSERT_TRUE(QDir().rename(path(QStringLiteral("Away")), path(QStringLiteral("Gone"))));
    ASSERT_EQ(listed.folders().size(), NoteFolders::maxFolders);

    // One more: the oldest away goes; the older folder whose job still runs stays.
    const QString next = path(QStringLiteral("Drive/next"));
    ASSERT_TRUE(QDir().mkpath(next));
    ASSERT_TRUE(listed.write(note(next + QStringLiteral("/final.mov"))));
    QStringList expected{NoteFolders::keyOf(running)};
    for (qsizetype index = 1; index < away.size(); ++index)
        expected << away.at(index);
    expected << NoteFolders::keyOf(next);
    EXPECT_EQ(listed.folders(), expected);

    // With none out of reach, the oldest of all goes.
    ASSERT_TRUE(QDir().rename(path(QStringLiteral("Gone")), path(QStringLiteral("Away"))));
    const QString last = path(QStringLiteral("Drive/last"));
    ASSERT_TRUE(QDir().mkpath(last));
    ASSERT_TRUE(listed.write(note(last + QStringLiteral("/final.mov"))));
    expected.removeFirst();
    expected << NoteFolders::keyOf(last);
    EXPECT_EQ(listed.folders(), expected);
}
