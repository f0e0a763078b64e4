#include "finishing/NoteFolders.h"
#include "finishing/PendingRender.h"
#include "finishing/PointerPathNote.h"
#include "finishing/TakeDescription.h"
#include "finishing/TakeRecovery.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class TakeRecoveryTest : public SandboxTest {
protected:
    void write(const QString& relative, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path(relative)).absolutePath());
        QFile file(path(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    // A saved take in `folder` whose render was cut short, its folder listed with the note.
    void cutShortRender(const NoteFolders& listed, const QString& folder)
    {
        Mixdown::Request request;
        request.rawURL = path(folder + QStringLiteral("/raw.mov"));
        write(folder + QStringLiteral("/raw.mov"), "raw");
        write(folder + QStringLiteral("/take.json"), R"({"screen": "raw.mov", "preview": "final.mov"})");
        const QString name = QFileInfo(folder).fileName();
        ASSERT_TRUE(listed.write(PendingRender::note({name + QStringLiteral(" · take 1"), name, path(folder + QStringLiteral("/final.mov")), QString(), request, 0, std::nullopt})));
    }
};

} // namespace

TEST_F(TakeRecoveryTest, aKilledRenderAndAKilledTakeAreFoundAndOnlyTheRenderSiblingGoes)
{
    // Take one finished; take two was saved but its render was killed; take three was killed while recording.
    write(QStringLiteral("Takes/video 4/raw.mov"), "raw one");
    write(QStringLiteral("Takes/video 4/take.json"), R"({"screen": "raw.mov", "preview": "final.mov"})");
    write(QStringLiteral("Takes/video 4/final.mov"), "final one");
    write(QStringLiteral("Takes/video 4/raw-2.mov"), "raw two");
    write(QStringLiteral("Takes/video 4/take-2.json"), R"({"screen": "raw-2.mov", "preview": "final-2.mov"})");
    write(QStringLiteral("Takes/video 4/.mixdown-0A1B2C3D-0000-4000-8000-00000000001A.mov"), "half a render");
    write(QStringLiteral("Takes/video 4/raw-3.mov"), "raw three");
    write(QStringLiteral("Takes/Shorts/2026-01-02-short-1/.mixdown-0A1B2C3D-0000-4000-8000-000000000077.mov"), "half a short");

    const TakeRecovery::Findings found = TakeRecovery::sweep({path(QStringLiteral("Takes"))});
    EXPECT_EQ(found.removedSiblings.size(), 2);
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("Takes/video 4/.mixdown-0A1B2C3D-0000-4000-8000-00000000001A.mov"))));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("Takes/Shorts/2026-01-02-short-1/.mixdown-0A1B2C3D-0000-4000-8000-000000000077.mov"))));
    EXPECT_EQ(found.missingFinals, QStringList{path(QStringLiteral("Takes/video 4/final-2.mov"))});
    EXPECT_EQ(found.unsavedRaws, QStringList{path(QStringLiteral("Takes/video 4/raw-3.mov"))});
    for (const char* kept : {"raw.mov", "final.mov", "raw-2.mov", "raw-3.mov", "take-2.json"})
        EXPECT_TRUE(QFile::exists(path(QStringLiteral("Takes/video 4/") + QLatin1String(kept)))) << kept;
    EXPECT_TRUE(readLog().contains(QStringLiteral("recovery: removed the unfinished render ")));
    EXPECT_TRUE(readLog().contains(QStringLiteral("names final-2.mov, which was never finished")));

    // The next launch finds the same two, and says nothing more about them.
    const qsizetype logged = readLog().size();
    const TakeRecovery::Findings again = TakeRecovery::sweep({path(QStringLiteral("Takes"))}, found.noted);
    EXPECT_EQ(again.noted, found.noted);
    EXPECT_EQ(readLog().size(), logged);
}

TEST_F(TakeRecoveryTest, finishedTakesTidiedIntoRawAreNeverReported)
{
    for (const char* suffix : {"", "-2"}) {
        const QString s = QLatin1String(suffix);
        write(QStringLiteral("Takes/video 4/final") + s + QStringLiteral(".mov"), "final");
        write(QStringLiteral("Takes/video 4/Raw/raw") + s + QStringLiteral(".mov"), "raw");
        write(QStringLiteral("Takes/video 4/Raw/take") + s + QStringLiteral(".json"),
            QStringLiteral(R"({"screen": "raw%1.mov", "preview": "final%1.mov"})").arg(s).toUtf8());
    }
    const TakeRecovery::Findings found = TakeRecovery::sweep({path(QStringLiteral("Takes"))});
    EXPECT_TRUE(found.missingFinals.isEmpty());
    EXPECT_TRUE(found.unsavedRaws.isEmpty());
    EXPECT_TRUE(found.noted.isEmpty());
    EXPECT_FALSE(readLog().contains(QStringLiteral("recovery:")));
}

TEST_F(TakeRecoveryTest, aCutShortRenderIsHandedBackOnceAndAFinishedOnesNoteGoes)
{
    Mixdown::Request request;
    request.rawURL = path(QStringLiteral("Takes/video 4/raw-2.mov"));
    request.cameraURL = path(QStringLiteral("Takes/video 4/face-2.mov"));
    request.layout = ScreenLayout::studio;
    request.bubbleRect = QRectF(10, 20, 300, 400);
    request.zoom.maxScale = 1.9;
    request.zoom.segments.push_back({1, 1.5, 3, 3.5, {{1.2, QPointF(0.25, 0.75), 1.9}}, QStringLiteral("click")});
    request.clicks = {{1.2, 0.25, 0.75}};
    request.layoutTimeline.stops = {{LayoutState::face, 0, 0, QStringLiteral("opening"), 2}};
    request.pointer = PointerPath{0.5, {0.1, 0.2}, {0.3, 0.4}, {{0.5, CursorShape::hand}}};
    request.exportRange = Mixdown::Request::TimeRange{MediaTime(1, 2), MediaTime(9, 1)};
    write(QStringLiteral("Takes/video 4/raw-2.mov"), "raw two");
    write(QStringLiteral("Takes/video 4/take-2.json"), R"({"screen": "raw-2.mov", "preview": "final-2.mov"})");
    ASSERT_TRUE(PendingRender::write({QStringLiteral("4 video"), QStringLiteral("video 4"), path(QStringLiteral("Takes/video 4/final-2.mov")),
        QString(), request, 0, std::nullopt}));
    // Take one's render finished, but the crash came before its note was removed.
    write(QStringLiteral("Takes/video 4/final.mov"), "final one");
    write(QStringLiteral("Takes/video 4/.final.pending"), "stale");

    const TakeRecovery::Findings found = TakeRecovery::sweep({path(QStringLiteral("Takes"))});
    ASSERT_EQ(found.renders.size(), 1u);
    const PendingRender::Job& job = found.renders.front();
    EXPECT_EQ(job.finalURL, path(QStringLiteral("Takes/video 4/final-2.mov")));
    EXPECT_EQ(job.title, QStringLiteral("4 video"));
    EXPECT_EQ(job.relaunches, 1);
    EXPECT_EQ(job.request.cameraURL, request.cameraURL);
    EXPECT_EQ(job.request.bubbleRect, request.bubbleRect);
    EXPECT_EQ(job.request.zoom.segments, request.zoom.segments);
    EXPECT_EQ(job.request.clicks, request.clicks);
    EXPECT_EQ(job.request.layoutTimeline.stops, request.layoutTimeline.stops);
    ASSERT_TRUE(job.request.pointer);
    ASSERT_EQ(job.request.pointer->ys.size(), request.pointer->ys.size());
    for (size_t i = 0; i < request.pointer->ys.size(); ++i) // kept to the nearest step of the note's track
        EXPECT_NEAR(job.request.pointer->ys[i], request.pointer->ys[i], 0.5 / PointerPathNote::stepsPerSide);
    EXPECT_EQ(job.request.pointer->shapeKeys.front().shape, CursorShape::hand);
    EXPECT_EQ(job.request.exportRange->start, request.exportRange->start);
    EXPECT_EQ(job.request.isPassthrough(), request.isPassthrough());
    EXPECT_TRUE(found.missingFinals.isEmpty()) << "a final about to be finished again is not also reported";
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("Takes/video 4/.final.pending"))));

    // Cut short again: the next launch leaves it, says so once, and the launch after says nothing.
    const TakeRecovery::Findings second = TakeRecovery::sweep({path(QStringLiteral("Takes"))}, found.noted);
    EXPECT_TRUE(second.renders.empty());
    EXPECT_EQ(readLog().count(QStringLiteral("was cut short again")), 1);
    const TakeRecovery::Findings third = TakeRecovery::sweep({path(QStringLiteral("Takes"))}, second.noted);
    EXPECT_TRUE(third.renders.empty());
    EXPECT_EQ(readLog().count(QStringLiteral("was cut short again")), 1);
    EXPECT_EQ(readLog().count(QStringLiteral("finishing ")), 1);
}

TEST_F(TakeRecoveryTest, aShortFolderKeepsItsRawUnreportedWhileALongFormRawWithoutItsTakeIsSaidOnce)
{
    // A finished short, a short killed while it was filmed, and a screen take killed while it was filmed.
    write(QStringLiteral("Takes/Shorts/2026-01-02-short-1/raw.mov"), "raw");
    write(QStringLiteral("Takes/Shorts/2026-01-02-short-1/short.mov"), "short");
    write(QStringLiteral("Takes/Shorts/2026-01-02-short-1/crop.json"), "{}");
    write(QStringLiteral("Takes/Shorts/2026-01-02-hook-7-short-2/raw.mov"), "raw");
    write(QStringLiteral("Takes/video 4/raw.mov"), "raw one");

    const TakeRecovery::Findings found = TakeRecovery::sweep({path(QStringLiteral("Takes"))});
    EXPECT_EQ(found.unsavedRaws, QStringList{path(QStringLiteral("Takes/video 4/raw.mov"))});
    EXPECT_EQ(readLog().count(QStringLiteral("was recorded but its take was never saved")), 1);
    EXPECT_FALSE(readLog().contains(QStringLiteral("-short-")));
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("Takes/Shorts/2026-01-02-hook-7-short-2/raw.mov"))));
}

TEST_F(TakeRecoveryTest, everyRootIsSweptAndAFolderTwoRootsReachIsSweptOnce)
{
    // The save root holds its own shorts root; a channel's recordings root lies elsewhere.
    const QStringList roots{path(QStringLiteral("Takes")), path(QStringLiteral("Takes/Shorts")), path(QStringLiteral("Brain/BRANCHLINE/recordings")),
        path(QStringLiteral("Brain/BRANCHLINE/shorts")), path(QStringLiteral("Takes"))};
    Mixdown::Request request;
    request.rawURL = path(QStringLiteral("Brain/BRANCHLINE/recordings/video 2/raw.mov"));
    write(QStringLiteral("Brain/BRANCHLINE/recordings/video 2/raw.mov"), "raw");
    write(QStringLiteral("Brain/BRANCHLINE/recordings/video 2/take.json"), R"({"screen": "raw.mov", "preview": "final.mov"})");
    write(QStringLiteral("Brain/BRANCHLINE/recordings/video 2/.mixdown-0A1B2C3D-0000-4000-8000-00000000002B.mov"), "half a render");
    ASSERT_TRUE(PendingRender::write({QStringLiteral("video 2 · take 1"), QStringLiteral("video 2"),
        path(QStringLiteral("Brain/BRANCHLINE/recordings/video 2/final.mov")), QString(), request, 0, std::nullopt}));
    write(QStringLiteral("Brain/BRANCHLINE/shorts/2026-01-02-short-1/.mixdown-0A1B2C3D-0000-4000-8000-00000000003C.mov"), "half a short");
    write(QStringLiteral("Takes/Shorts/2026-01-02-short-1/.mixdown-0A1B2C3D-0000-4000-8000-00000000004D.mov"), "half a short");
    write(QStringLiteral("Takes/video 4/raw-3.mov"), "raw three");

    const TakeRecovery::Findings found = TakeRecovery::sweep(roots);
    ASSERT_EQ(found.renders.size(), 1u);
    EXPECT_EQ(found.renders.front().finalURL, path(QStringLiteral("Brain/BRANCHLINE/recordings/video 2/final.mov")));
    EXPECT_EQ(found.removedSiblings.size(), 3);
    EXPECT_EQ(found.unsavedRaws, QStringList{path(QStringLiteral("Takes/video 4/raw-3.mov"))});
    EXPECT_EQ(readLog().count(QStringLiteral("recovery: finishing ")), 1);
    EXPECT_EQ(readLog().count(QStringLiteral("was recorded but its take was never saved")), 1);
    EXPECT_TRUE(QDir(path(QStringLiteral("Brain/BRANCHLINE/shorts/2026-01-02-short-1"))).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(TakeRecoveryTest, aKilledShortExportsHiddenFileIsNamedAsTheShortExports)
{
    const QString shortSibling = QStringLiteral("Takes/Shorts/2026-01-02-short-1/.short-0A1B2C3D-0000-4000-8000-000000000077.mov");
    const QString renderSibling = QStringLiteral("Takes/video 4/.mixdown-0A1B2C3D-0000-4000-8000-00000000001A.mov");
    write(QStringLiteral("Takes/Shorts/2026-01-02-short-1/raw.mov"), "raw");
    write(shortSibling, "half a short");
    write(renderSibling, "half a render");

    const TakeRecovery::Findings found = TakeRecovery::sweep({path(QStringLiteral("Takes"))});
    EXPECT_EQ(found.removedSiblings.size(), 2);
    const QString log = readLog();
    EXPECT_TRUE(log.contains(QStringLiteral("recovery: removed the unfinished short export ") + path(shortSibling))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("recovery: removed the unfinished render ") + path(renderSibling)));
    EXPECT_EQ(log.count(QStringLiteral("unfinished render")), 1);
}

TEST_F(TakeRecoveryTest, listedFoldersAreSweptOnceAndAFolderGoneOrWithoutNotesLeavesTheListQuietly)
{
    const NoteFolders listed(*settings);
    // A take under a root whose folder is listed as well, cut short.
    ASSERT_NO_FATAL_FAILURE(cutShortRender(listed, QStringLiteral("Takes/video 4")));
    Mixdown::Request request;
    request.rawURL = path(QStringLiteral("Takes/video 4/raw.mov"));
    // A handoff's folder whose render finished before the crash removed its note.
    write(QStringLiteral("Elsewhere/ep12/final.mov"), "final");
    ASSERT_TRUE(listed.write(PendingRender::note({QStringLiteral("ep12 · take 1"), QStringLiteral("ep12"),
        path(QStringLiteral("Elsewhere/ep12/final.mov")), QString(), request, 0, std::nullopt})));
    // A handoff's folder deleted since.
    write(QStringLiteral("Elsewhere/ep13/raw.mov"), "raw");
    ASSERT_TRUE(listed.write(PendingRender::note({QStringLiteral("ep13 · take 1"), QStringLiteral("ep13"),
        path(QStringLiteral("Elsewhere/ep13/final.mov")), QString(), request, 0, std::nullopt})));
    ASSERT_TRUE(QDir(path(QStringLiteral("Elsewhere/ep13"))).removeRecursively());
    ASSERT_EQ(listed.folders().size(), 3);

    const TakeRecovery::Findings found = TakeRecovery::sweep({path(QStringLiteral("Takes")), path(QStringLiteral("Takes"))}, {}, listed);
    ASSERT_EQ(found.renders.size(), 1u);
    EXPECT_EQ(found.renders.front().finalURL, path(QStringLiteral("Takes/video 4/final.mov")));
    const QString log = readLog();
    EXPECT_EQ(log.count(QStringLiteral("recovery: ")), 1) << log.toStdString();
    EXPECT_FALSE(log.contains(QStringLiteral("ep13")));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("Elsewhere/ep12/.final.pending"))));
    EXPECT_EQ(listed.folders(), QStringList{NoteFolders::keyOf(path(QStringLiteral("Takes/video 4")))}) << "its note stays until the render ends";
}

TEST_F(TakeRecoveryTest, aRenderCutShortOnADriveThatIsAwayAtLaunchIsSaidOnceAndResumedWhenTheDriveComesBack)
{
    const NoteFolders listed(*settings);
    ASSERT_NO_FATAL_FAILURE(cutShortRender(listed, QStringLiteral("Drive/PROJECTS/ep12")));
    const QString final = path(QStringLiteral("Drive/PROJECTS/ep12/final.mov"));
    const QStringList listedBefore = listed.folders();

    // The drive is not mounted at the next two launches.
    ASSERT_TRUE(QDir().rename(path(QStringLiteral("Drive")), path(QStringLiteral("Unmounted"))));
    const TakeRecovery::Findings away = TakeRecovery::sweep({path(QStringLiteral("Takes"))}, {}, listed);
    EXPECT_TRUE(away.renders.empty());
    EXPECT_EQ(listed.folders(), listedBefore);
    EXPECT_EQ(readLog().count(QStringLiteral(" is out of reach")), 1) << readLog().toStdString();
    const TakeRecovery::Findings stillAway = TakeRecovery::sweep({path(QStringLiteral("Takes"))}, away.noted, listed);
    EXPECT_TRUE(stillAway.renders.empty());
    EXPECT_EQ(listed.folders(), listedBefore);
    EXPECT_EQ(readLog().count(QStringLiteral(" is out of reach")), 1) << "said once while it stays away";

    // It comes back: the render is handed back and said, and the folder stays listed until the render ends.
    ASSERT_TRUE(QDir().rename(path(QStringLiteral("Unmounted")), path(QStringLiteral("Drive"))));
    const TakeRecovery::Findings back = TakeRecovery::sweep({path(QStringLiteral("Takes"))}, stillAway.noted, listed);
    ASSERT_EQ(back.renders.size(), 1u);
    EXPECT_EQ(back.renders.front().finalURL, final);
    EXPECT_EQ(back.renders.front().relaunches, 1);
    EXPECT_TRUE(readLog().contains(QStringLiteral("recovery: finishing ") + final + QStringLiteral(" again")));
    EXPECT_EQ(listed.folders(), listedBefore);
}

TEST_F(TakeRecoveryTest, everyHalfWrittenHiddenFileIsRemovedAndNamedAsWhatItWas)
{
    // A kill during the stop leaves a sidecar's or a take description's sibling; one during a finish job, its movie's.
    const struct {
        const char* name;
        const char* said;
    } siblings[] = {
        {".zoom-0A1B2C3D-0000-4000-8000-000000000001.json", "half-written zoom sidecar"},
        {".zoom-2-0A1B2C3D-0000-4000-8000-000000000002.json", "half-written zoom-2 sidecar"},
        {".take-3-0A1B2C3D-0000-4000-8000-000000000003.json", "half-written take-3 sidecar"},
        {".cursor-0A1B2C3D-0000-4000-8000-000000000004.json", "half-written cursor sidecar"},
        {".pending-0A1B2C3D-0000-4000-8000-000000000005.pending", "half-written finish note"},
        {".mixdown-0A1B2C3D-0000-4000-8000-000000000006.mov", "unfinished render"},
        {".short-0A1B2C3D-0000-4000-8000-000000000007.mov", "unfinished short export"},
        {".facemux-0A1B2C3D-0000-4000-8000-000000000008.mov", "unfinished face movie"},
    };
    for (const auto& sibling : siblings)
        write(QStringLiteral("Takes/video 4/") + QLatin1String(sibling.name), "half");
    // The user's own hidden files stay.
    write(QStringLiteral("Takes/video 4/.zoom-notes.json"), "mine");

    const TakeRecovery::Findings found = TakeRecovery::sweep({path(QStringLiteral("Takes"))});
    EXPECT_EQ(found.removedSiblings.size(), static_cast<qsizetype>(std::size(siblings)));
    const QString log = readLog();
    for (const auto& sibling : siblings) {
        const QString file = path(QStringLiteral("Takes/video 4/") + QLatin1String(sibling.name));
        EXPECT_FALSE(QFile::exists(file)) << sibling.name;
        EXPECT_TRUE(log.contains(QStringLiteral("recovery: removed the ") + QLatin1String(sibling.said) + QLatin1Char(' ') + file)) << log.toStdString();
    }
    EXPECT_EQ(log.count(QStringLiteral("unfinished render")), 1);
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("Takes/video 4/.zoom-notes.json"))));
}

TEST_F(TakeRecoveryTest, aRenderNoteWithoutARenderPlanIsSaidOnceAcrossLaunchesAndStays)
{
    write(QStringLiteral("Takes/video 4/raw.mov"), "raw");
    write(QStringLiteral("Takes/video 4/take.json"), R"({"screen": "raw.mov", "preview": "final.mov"})");
    write(QStringLiteral("Takes/video 4/.final.pending"), R"({"kind": "render", "output": "final.mov"})");
    write(QStringLiteral("Takes/video 4/raw-2.mov"), "raw two");
    write(QStringLiteral("Takes/video 4/take-2.json"), R"({"screen": "raw-2.mov", "preview": "final-2.mov"})");
    write(QStringLiteral("Takes/video 4/.final-2.pending"), R"({"kind": "render", "output": "final-2.mov", "request": {"frameRate": 60}})");

    const TakeRecovery::Findings found = TakeRecovery::sweep({path(QStringLiteral("Takes"))});
    const TakeRecovery::Findings again = TakeRecovery::sweep({path(QStringLiteral("Takes"))}, found.noted);
    EXPECT_TRUE(found.renders.empty());
    EXPECT_TRUE(again.renders.empty());
    EXPECT_EQ(again.noted, found.noted);
    const QString log = readLog();
    EXPECT_EQ(log.count(QStringLiteral(" holds no render plan; ")), 2) << log.toStdString();
    EXPECT_TRUE(log.contains(path(QStringLiteral("Takes/video 4/.final.pending")) + QStringLiteral(" holds no render plan; final.mov is not finished again")));
    EXPECT_TRUE(log.contains(path(QStringLiteral("Takes/video 4/.final-2.pending")) + QStringLiteral(" holds no render plan; final-2.mov is not finished again")));
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("Takes/video 4/.final.pending"))));
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("Takes/video 4/raw-2.mov"))));
}

TEST_F(TakeRecoveryTest, aFinalThatIsNoRegularFileLeavesItsNoteWhereItIsAndIsSaidOnce)
{
    const QString made = path(QStringLiteral("Takes/video 4/final.mov"));
    const QByteArray fifo = QFile::encodeName(path(QStringLiteral("pipe")));
    const std::function<bool()> makes[] = {
        [&] { return ::mkfifo(QFile::encodeName(made).constData(), 0600) == 0; },
        [&] { return QDir().mkpath(made); },
        [&] { return ::mkfifo(fifo.constData(), 0600) == 0 && QFile::link(QString::fromUtf8(fifo), made); },
    };
    for (const auto& make : makes) {
        ASSERT_TRUE(QDir(path(QStringLiteral("Takes"))).removeRecursively());
        QFile::remove(QString::fromUtf8(fifo));
        ASSERT_NO_FATAL_FAILURE(write(QStringLiteral("Takes/video 4/take.json"), R"({"screen": "raw.mov", "preview": "final.mov"})"));
        ASSERT_TRUE(PendingRender::write({QStringLiteral("4 video"), QStringLiteral("video 4"), made, QString(), {}, 0, std::nullopt}));
        ASSERT_TRUE(make());

        const qsizetype before = readLog().count(made + QStringLiteral(" is not a regular file; its note stays"));
        const TakeRecovery::Findings found = TakeRecovery::sweep({path(QStringLiteral("Takes"))});
        const TakeRecovery::Findings again = TakeRecovery::sweep({path(QStringLiteral("Takes"))}, found.noted);
        EXPECT_TRUE(found.renders.empty() && again.renders.empty());
        EXPECT_EQ(readLog().count(made + QStringLiteral(" is not a regular file; its note stays")), before + 1) << readLog().toStdString();
        EXPECT_TRUE(QFile::exists(path(QStringLiteral("Takes/video 4/.final.pending"))));
    }
}

TEST_F(TakeRecoveryTest, theDescriptionOfADaysTakeWhoseCameraDroppedOutEveryHalfSecondIsRead)
{
    // The most spans a day holds: a new one starts only after a gap of more than half a second.
    TakeDescription::Fields fields;
    fields.screenName = QStringLiteral("raw.mov");
    fields.duration = 24 * 3600;
    for (double start = 0; start < fields.duration; start += 0.5)
        fields.cameraSegments.push_back({start + 0.0001, start + 0.0002});
    fields.recordedAt = QDateTime(QDate(2026, 1, 2), QTime(10, 30), Qt::UTC);
    fields.previewName = QStringLiteral("final.mov");
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("Takes/video 4"))));
    ASSERT_TRUE(TakeDescription::write(path(QStringLiteral("Takes/video 4/take.json")), TakeDescription::object(fields)));

    const TakeRecovery::Findings found = TakeRecovery::sweep({path(QStringLiteral("Takes"))});
    EXPECT_EQ(found.missingFinals, QStringList{path(QStringLiteral("Takes/video 4/final.mov"))}) << readLog().toStdString();
}
