#include "FinishResumeFixture.h"

#include "finishing/NoteFolders.h"
#include "finishing/PendingNote.h"
#include "finishing/PendingRender.h"
#include "finishing/RenderWork.h"

#include <QJsonArray>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using Kind = FinishJob::State::Kind;

// A take folder is renamed or moved whenever its owner likes, and its old name may be taken by the next take
// at once: a job knows its take by the folder it holds, never by a path or by how its note is spelled.
class FollowedFolder : public FinishResumeBase {
protected:
    // A saved take in `folder` whose render is noted (`relaunches` as a launch left it), drawn with a pointer.
    PendingRender::Job notedTake(const QString& folder, int relaunches, const QByteArray& raw = "raw")
    {
        QDir().mkpath(folder);
        write(folder + QStringLiteral("/raw.mov"), raw);
        write(folder + QStringLiteral("/take.json"), R"({"screen": "raw.mov", "preview": "final.mov"})");
        Mixdown::Request request;
        request.rawURL = folder + QStringLiteral("/raw.mov");
        request.clicks = {{1.5, 0.25, 0.75}, {4.0, 0.5, 0.5}};
        request.pointer = PointerPath::fromClicks(request.clicks);
        request.recordedSeconds = 6;
        const QString title = QFileInfo(folder).fileName() + QStringLiteral(" · take 1 video");
        PendingRender::Job job{title, title, folder + QStringLiteral("/final.mov"), folder + QStringLiteral("/stop.json"), request, relaunches, std::nullopt, nullptr};
        EXPECT_TRUE(PendingRender::write(job));
        return job;
    }
    // The note as the studio wrote it before its pointer became a track: positions in two lists.
    static void rewriteWithPointerLists(const QString& folder)
    {
        const QString marker = folder + QStringLiteral("/.final.pending");
        QJsonObject note = *PendingNote::read(marker);
        const std::optional<PendingRender::Job> job = PendingRender::fromNote(note);
        ASSERT_TRUE(job && job->request.pointer);
        QJsonObject request = note.value(QStringLiteral("request")).toObject();
        QJsonObject pointer = request.value(QStringLiteral("pointer")).toObject();
        pointer.remove(QStringLiteral("count"));
        pointer.remove(QStringLiteral("track"));
        QJsonArray xs;
        QJsonArray ys;
        for (size_t i = 0; i < job->request.pointer->xs.size(); ++i) {
            xs.append(job->request.pointer->xs[i] + 1.0 / 3.0);
            ys.append(job->request.pointer->ys[i] + 1.0 / 7.0);
        }
        pointer.insert(QStringLiteral("xs"), xs);
        pointer.insert(QStringLiteral("ys"), ys);
        request.insert(QStringLiteral("pointer"), pointer);
        note.insert(QStringLiteral("request"), request);
        ASSERT_TRUE(PendingNote::write({marker, note}));
    }
    static std::optional<PendingRender::Job> noteIn(const QString& folder) { return PendingRender::read(folder + QStringLiteral("/.final.pending")); }
    // The file a path names now (a job reads through its held folder).
    static QString fileAt(const QString& path) { return QFileInfo(path).canonicalFilePath(); }
};

TEST_F(FollowedFolder, aRenderTheGuardStoppedIsRetriedInItsOwnFolderWhereverItWentAndHoweverItsNoteIsSpelled)
{
    const struct {
        const char* name;
        bool renamedAfterTheCrash;
        bool pointerInLists;
    } cases[] = {
        {"renamed after the crash", true, false},
        {"noted with the pointer in lists", false, true},
        {"both", true, true},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString recorded = takes(QStringLiteral("video ") + QString::number(++index));
        notedTake(recorded, 1);
        if (c.pointerInLists)
            rewriteWithPointerLists(recorded);
        const QString folder = c.renamedAfterTheCrash ? recorded + QStringLiteral(" renamed") : recorded;
        if (c.renamedAfterTheCrash)
            ASSERT_TRUE(QDir().rename(recorded, folder));

        const TakeRecovery::Findings found = TakeRecovery::sweep({path(QStringLiteral("Takes"))});
        ASSERT_EQ(found.stoppedRenders.size(), 1u);
        const size_t rows = controller->finishJobs().size();
        const size_t renders = tools->renders.size();
        listStopped(found);
        const QUuid id = row(rows).id;
        controller->finishQueue().retryFinishJob(id);
        clock.advance(10);
        ASSERT_EQ(tools->renders.size(), renders + 1) << row(rows).state.message.toStdString();
        EXPECT_EQ(fileAt(tools->renders.back()->request.rawURL), fileAt(folder + QStringLiteral("/raw.mov")));
        EXPECT_EQ(row(rows).state.kind, Kind::done) << row(rows).state.message.toStdString();
        EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("/final.mov")));
        EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("/Raw/raw.mov")));
        EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/.final.pending")));
        // Nothing stays for the next launch.
        const TakeRecovery::Findings next = TakeRecovery::sweep({path(QStringLiteral("Takes"))});
        EXPECT_TRUE(next.renders.empty() && next.stoppedRenders.empty());
    }
}

TEST_F(FollowedFolder, aResumedRenderWhoseFolderIsRenamedWhileItRunsIsResumedAgainAfterAnOrderlyEnd)
{
    tools->holdRenders = true;
    const QString recorded = takes(QStringLiteral("video 1"));
    notedTake(recorded, 0);
    const TakeRecovery::Findings found = TakeRecovery::sweep({path(QStringLiteral("Takes"))});
    ASSERT_EQ(found.renders.size(), 1u);
    controller->finishQueue().submit(std::make_shared<RenderWork>(found.renders.front()));
    clock.advance(10);
    ASSERT_EQ(tools->renders.size(), 1u);
    ASSERT_EQ(noteIn(recorded)->relaunches, 1);

    const QString renamed = takes(QStringLiteral("intro take"));
    ASSERT_TRUE(QDir().rename(recorded, renamed));
    // A logout: the studio ends in order while the render runs.
    controller->finishQueue().keepNotesForNextLaunch();
    const std::optional<PendingRender::Job> kept = noteIn(renamed);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->relaunches, 0) << "an orderly end is no crash";
    EXPECT_EQ(kept->finalURL, renamed + QStringLiteral("/final.mov"));
    EXPECT_EQ(kept->request.rawURL, renamed + QStringLiteral("/raw.mov"));

    const TakeRecovery::Findings next = TakeRecovery::sweep({path(QStringLiteral("Takes"))});
    EXPECT_TRUE(next.stoppedRenders.empty());
    ASSERT_EQ(next.renders.size(), 1u);
    EXPECT_EQ(next.renders.front().finalURL, renamed + QStringLiteral("/final.mov"));
}

TEST_F(FollowedFolder, aRenderWhoseFolderIsRenamedAndWhoseNameTheNextTakeTakesRendersOnlyItsOwnTake)
{
    const struct {
        const char* name;
        bool failsFirst; // the rename comes after a failure, and the Retry is pressed while the next take films
    } cases[] = {{"waiting for its turn", false}, {"retried", true}};
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tools->holdRenders = !c.failsFirst;
        tools->failRenders = c.failsFirst ? 1 : 0;
        const QString folder = takes(QStringLiteral("video ") + QString::number(++index));
        const QString renamed = folder + QStringLiteral(" renamed");
        PendingRender::Job first = notedTake(folder, 0, "the first take");
        first.folder = HeldFolder::hold(folder);
        ASSERT_TRUE(first.folder);
        const size_t renders = tools->renders.size();
        const size_t rows = controller->finishJobs().size();
        // A render ahead of it keeps it waiting.
        if (!c.failsFirst)
            controller->finishQueue().submit(std::make_shared<RenderWork>(notedTake(takes(QStringLiteral("ahead")), 0)));
        controller->finishQueue().submit(std::make_shared<RenderWork>(first));
        clock.advance(10);
        const size_t firstRow = rows + (c.failsFirst ? 0 : 1);
        if (c.failsFirst)
            ASSERT_EQ(row(firstRow).state.kind, Kind::failed);

        // The folder is renamed and the next take lands in the name it freed, with its own render noted.
        ASSERT_TRUE(QDir().rename(folder, renamed));
        const PendingRender::Job next = notedTake(folder, 0, "the next take");
        const QByteArray nextNote = bytes(folder + QStringLiteral("/.final.pending"));
        if (c.failsFirst) {
            controller->setPhase(RecordingPhase::recording());
            controller->finishQueue().retryFinishJob(row(firstRow).id);
            controller->setPhase(RecordingPhase::idle());
        } else {
            tools->complete(renders);
        }
        clock.advance(10);

        ASSERT_EQ(tools->renders.size(), renders + (c.failsFirst ? 2 : 2));
        const auto& render = *tools->renders.back();
        EXPECT_EQ(fileAt(render.request.rawURL), fileAt(renamed + QStringLiteral("/raw.mov")));
        EXPECT_EQ(render.finalPath, QFileInfo(renamed).canonicalFilePath() + QStringLiteral("/final.mov"));
        if (!c.failsFirst)
            tools->complete(renders + 1);
        EXPECT_EQ(row(firstRow).state.kind, Kind::done) << row(firstRow).state.message.toStdString();
        EXPECT_EQ(row(firstRow).state.path, renamed + QStringLiteral("/final.mov"));
        EXPECT_EQ(bytes(renamed + QStringLiteral("/Raw/raw.mov")), "the first take");
        EXPECT_FALSE(QFileInfo::exists(renamed + QStringLiteral("/.final.pending")));
        // The next take's files are as it left them: its raw, its note, no final of another take's.
        EXPECT_EQ(bytes(folder + QStringLiteral("/raw.mov")), "the next take");
        EXPECT_EQ(bytes(folder + QStringLiteral("/.final.pending")), nextNote);
        EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/final.mov")));
        EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/Raw")));
        (void)next;
    }
}

TEST_F(FollowedFolder, aRenderWhoseFolderIsDeletedWhileItWaitsSaysSoAndOffersNoRetry)
{
    tools->holdRenders = true;
    controller->finishQueue().submit(std::make_shared<RenderWork>(notedTake(takes(QStringLiteral("ahead")), 0)));
    const QString folder = takes(QStringLiteral("video 1"));
    PendingRender::Job job = notedTake(folder, 0);
    job.folder = HeldFolder::hold(folder);
    controller->finishQueue().submit(std::make_shared<RenderWork>(job));
    clock.advance(10);
    ASSERT_TRUE(QDir(folder).removeRecursively());
    // Another folder of its name is another take's.
    notedTake(folder, 0, "another take");
    tools->complete(0);
    clock.advance(10);
    EXPECT_EQ(tools->renders.size(), 1u) << "nothing of the folder made since is read";
    EXPECT_EQ(row(1).state.kind, Kind::failed);
    EXPECT_EQ(row(1).state.message,
        QStringLiteral("final.mov was not made: its take's folder was deleted or moved to another disk. A launch that finds the folder where it went finishes it there."));
    EXPECT_FALSE(controller->finishQueue().hasFinishRetry(row(1).id));
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("/.final.pending"))) << "the other take's note stays";
}

TEST_F(FollowedFolder, aTakesSaveFollowsItsFolderAndNotesItsRenderThere)
{
    touch(QStringLiteral("raw.mov"));
    SaveJobHandover job = saveJob(QString(), false);
    job.folder = HeldFolder::hold(take());
    job.refusedSidecars.hold(take(QStringLiteral("cursor.json")), "{}", QStringLiteral("cursor"));
    // Renamed between the stop and the save, and the next take films in the name it freed.
    const QString renamed = take() + QStringLiteral(" renamed");
    ASSERT_TRUE(QDir().rename(take(), renamed));
    QDir().mkpath(take());
    stopTake(job);
    EXPECT_EQ(row(0).state.kind, Kind::done) << row(0).state.message.toStdString();
    EXPECT_TRUE(row(0).state.message.isEmpty()) << "no file was refused: " << row(0).state.message.toStdString();
    // Saved, rendered and tidied where the folder went.
    ASSERT_EQ(tools->renders.size(), 1u);
    EXPECT_EQ(tools->renders.front()->request.rawURL, QFileInfo(renamed).canonicalFilePath() + QStringLiteral("/raw.mov"));
    for (const char* name : {"final.mov", "Raw/take.json", "Raw/cursor.json", "Raw/raw.mov"})
        EXPECT_TRUE(QFileInfo::exists(renamed + QLatin1Char('/') + QLatin1String(name))) << name;
    EXPECT_EQ(row(1).state.path, renamed + QStringLiteral("/final.mov"));
    EXPECT_TRUE(QDir(take()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) << "nothing of it lands in the name it freed";
}

TEST_F(FollowedFolder, aNoteWrittenOrRemovedAsItsFolderIsRenamedLandsInItsOwnFolderAndLeavesTheNextTakesNoteAlone)
{
    const QString folder = takes(QStringLiteral("video 1"));
    const PendingRender::Job job = notedTake(folder, 0);
    const std::shared_ptr<const HeldFolder> held = HeldFolder::hold(folder);
    ASSERT_TRUE(held);
    // Renamed between the moment the queue looked where the folder was and the note's writing, and the next
    // take already noted itself in the name the rename freed.
    const QString renamed = folder + QStringLiteral(" renamed");
    ASSERT_TRUE(QDir().rename(folder, renamed));
    notedTake(folder, 0, "the next take");
    const QByteArray nextNote = bytes(folder + QStringLiteral("/.final.pending"));
    FinishWork::Note note = PendingRender::note(job);
    note.content.insert(QStringLiteral("relaunches"), 0);
    note.content.insert(QStringLiteral("title"), QStringLiteral("written again"));

    const NoteFolders notes(*settings);
    ASSERT_TRUE(notes.write(note, *held));
    EXPECT_EQ(noteIn(renamed)->title, QStringLiteral("written again"));
    EXPECT_EQ(bytes(folder + QStringLiteral("/.final.pending")), nextNote);
    notes.remove(note, *held);
    EXPECT_FALSE(QFileInfo::exists(renamed + QStringLiteral("/.final.pending")));
    EXPECT_EQ(bytes(folder + QStringLiteral("/.final.pending")), nextNote);
}

TEST(BesideNote, aTakesOwnMovieIsReadBesideItsNoteOrIsMissingAndAMovieRecordedElsewhereWhereItIs)
{
    const QTemporaryDir sandbox;
    const QDir root(sandbox.path());
    const QString recordedIn = root.filePath(QStringLiteral("video 2"));
    const QDir note(root.filePath(QStringLiteral("intro take")));
    const QString elsewhere = root.filePath(QStringLiteral("Phone/iphone.mov"));
    const auto put = [](const QString& file) {
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    };
    const struct {
        const char* name;
        QString named;
        QStringList present;
        QString read;
    } cases[] = {
        {"own, beside the note", recordedIn + QStringLiteral("/raw.mov"), {note.filePath(QStringLiteral("raw.mov"))}, note.filePath(QStringLiteral("raw.mov"))},
        {"own, missing beside the note, another's where the folder was", recordedIn + QStringLiteral("/raw.mov"),
            {recordedIn + QStringLiteral("/raw.mov")}, note.filePath(QStringLiteral("raw.mov"))},
        {"own camera, missing everywhere", recordedIn + QStringLiteral("/camera.mov"), {}, note.filePath(QStringLiteral("camera.mov"))},
        {"elsewhere, still there", elsewhere, {elsewhere, note.filePath(QStringLiteral("iphone.mov"))}, elsewhere},
        {"elsewhere, gone, one beside the note", elsewhere, {note.filePath(QStringLiteral("iphone.mov"))}, note.filePath(QStringLiteral("iphone.mov"))},
        {"elsewhere, gone everywhere", elsewhere, {}, elsewhere},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const QString& folder : {recordedIn, note.path(), root.filePath(QStringLiteral("Phone"))})
            QDir(folder).removeRecursively();
        QDir().mkpath(note.path());
        for (const QString& file : c.present)
            put(file);
        EXPECT_EQ(PendingNote::besideNote(c.named, recordedIn, note), c.read);
    }
}

} // namespace
