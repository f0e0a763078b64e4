#include "FinishFixture.h"

#include "finishing/PendingRender.h"
#include "finishing/TakePieces.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include <sys/stat.h>

namespace {

using Kind = FinishJob::State::Kind;

// "Delete the bad take, record again": a take's files deleted as a file manager deletes them while its render
// waits for the break, and the next take filmed at once under the same name. A job knows its take's files by
// what they are, never by their names.
class ReusedTakeName : public FinishTest {
protected:
    // A take stopped in the take folder, its movie and pointer log saying whose they are, handed to its save.
    void film(const QString& title, const QByteArray& whose, const QString& suffix = {})
    {
        touch(QStringLiteral("raw") + suffix + QStringLiteral(".mov"), whose);
        touch(QStringLiteral("cursor") + suffix + QStringLiteral(".json"), whose);
        SaveJobHandover job = saveJob(suffix, false);
        job.title = title;
        job.folder = HeldFolder::hold(take());
        endTake();
        stopTake(job);
    }
    // The take's files as a file manager deletes them.
    void remove(const QString& suffix) const
    {
        for (const QString& name : TakePieces::pieceNames(take(QStringLiteral("final") + suffix + QStringLiteral(".mov")))) {
            if (QFileInfo::exists(take(name))) {
                ASSERT_TRUE(QFile::remove(take(name))) << name.toStdString();
            }
        }
    }
    // Descriptors this process holds on files in the sandbox that have no name left: their space stays taken.
    int heldDeleted() const
    {
        const QString sandbox = QFileInfo(path(QString())).canonicalFilePath() + QLatin1Char('/');
        int count = 0;
        for (const QFileInfo& descriptor : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System | QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
            struct stat file {};
            if (descriptor.symLinkTarget().startsWith(sandbox) && ::stat(QFile::encodeName(descriptor.filePath()).constData(), &file) == 0 && file.st_nlink == 0)
                ++count;
        }
        return count;
    }
    const FinishJob& rowTitled(const QString& title) const
    {
        const auto& rows = controller->finishJobs();
        const auto found = std::find_if(rows.begin(), rows.end(), [&title](const FinishJob& job) { return job.title == title; });
        EXPECT_NE(found, rows.end()) << title.toStdString();
        return found == rows.end() ? rows.front() : *found;
    }
};

TEST_F(ReusedTakeName, aRenderWhoseTakeWasDeletedWhileItWaitedTouchesNothingOfTheNextTakeFilmedUnderItsName)
{
    tools->holdRenders = true;
    const QString note = take(QStringLiteral(".final.pending"));
    film(QStringLiteral("first take"), "the first take");
    ASSERT_TRUE(QFileInfo::exists(note));
    ASSERT_TRUE(tools->renders.empty()) << "its render waits for the break";
    for (const QString& name : QDir(take()).entryList(QDir::Files))
        ASSERT_TRUE(QFile::remove(take(name)));
    film(QStringLiteral("second take"), "the second take");
    const QByteArray secondNote = read(note);
    ASSERT_EQ(PendingRender::read(note)->title, QStringLiteral("second take video"));
    // An orderly end while both wait leaves the second take's note as it is.
    controller->finishQueue().keepNotesForNextLaunch();
    EXPECT_EQ(read(note), secondNote);

    clock.advance(10);
    // Each take's save row, then its render's.
    ASSERT_EQ(row(1).title, QStringLiteral("first take video"));
    EXPECT_EQ(row(1).state.kind, Kind::failed);
    EXPECT_EQ(row(1).state.message,
        QStringLiteral("final.mov was not made: raw.mov was deleted or replaced after the take stopped; the files now in its folder stay as they are"));
    EXPECT_FALSE(controller->finishQueue().hasFinishRetry(row(1).id)) << "a Retry could only fail the same way";
    // The second take's render, the only one, reads its own raw; nothing of it was tidied or written over.
    ASSERT_EQ(tools->renders.size(), 1u);
    EXPECT_EQ(read(tools->renders.front()->request.rawURL), "the second take");
    EXPECT_EQ(read(note), secondNote);
    EXPECT_FALSE(QFileInfo::exists(take(QStringLiteral("Raw"))));
    EXPECT_FALSE(QFileInfo::exists(take(QStringLiteral("final.mov"))));

    tools->complete(0);
    EXPECT_EQ(row(3).state.kind, Kind::done) << row(3).title.toStdString();
    EXPECT_EQ(read(take(QStringLiteral("final.mov"))), "final");
    for (const char* piece : {"Raw/raw.mov", "Raw/cursor.json"})
        EXPECT_EQ(read(take(QString::fromLatin1(piece))), "the second take") << piece;
    EXPECT_TRUE(QFileInfo::exists(take(QStringLiteral("Raw/take.json"))));
    EXPECT_FALSE(QFileInfo::exists(note));
}

TEST_F(ReusedTakeName, aTakeDeletedWhileItsRenderWaitsGivesItsSpaceBackBeforeItsTurnAndATrashedOneIsKeptForIt)
{
    tools->holdRenders = true;
    film(QStringLiteral("first take"), "the first take");
    film(QStringLiteral("second take"), "the second take", QStringLiteral("-2"));
    film(QStringLiteral("third take"), "the third take", QStringLiteral("-3"));
    ASSERT_TRUE(tools->renders.empty()) << "their renders wait for the break";
    ASSERT_EQ(heldDeleted(), 0);

    // Deleted, then the next take starts at once: its countdown finds the space free.
    remove(QString());
    controller->setPhase(RecordingPhase::countingDown());
    EXPECT_EQ(heldDeleted(), 0) << "the first take's files keep their space taken";

    // Deleted while that take films, another put in the Trash on the same disk: the waiting renders' next look
    // lets go of the deleted one only.
    controller->setPhase(RecordingPhase::recording());
    remove(QStringLiteral("-2"));
    const QString trashed = path(QStringLiteral("Trash/files/raw-3.mov"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(trashed).absolutePath()));
    ASSERT_TRUE(QFile::rename(take(QStringLiteral("raw-3.mov")), trashed));
    ASSERT_GT(heldDeleted(), 0);
    clock.advance(2);
    EXPECT_EQ(heldDeleted(), 0) << "the second take's files keep their space taken while the next take films";
    ASSERT_TRUE(tools->renders.empty());

    // Put back before its turn; the first take's name holds a file again, which is none of that take's.
    ASSERT_TRUE(QFile::rename(trashed, take(QStringLiteral("raw-3.mov"))));
    touch(QStringLiteral("raw.mov"), "a later file");
    controller->setPhase(RecordingPhase::idle());
    clock.advance(10);
    for (const auto& [title, made, raw] : {std::tuple{"first take video", "final.mov", "raw.mov"}, std::tuple{"second take video", "final-2.mov", "raw-2.mov"}}) {
        const FinishJob& row = rowTitled(QString::fromLatin1(title));
        EXPECT_EQ(row.state.kind, Kind::failed) << title;
        EXPECT_EQ(row.state.message, QString::fromLatin1(made) + QStringLiteral(" was not made: ") + QString::fromLatin1(raw)
                + QStringLiteral(" was deleted or replaced after the take stopped; the files now in its folder stay as they are"));
        EXPECT_FALSE(controller->finishQueue().hasFinishRetry(row.id)) << title;
    }
    EXPECT_EQ(read(take(QStringLiteral("raw.mov"))), "a later file");
    ASSERT_EQ(tools->renders.size(), 1u);
    EXPECT_EQ(read(tools->renders.front()->request.rawURL), "the third take");
    tools->complete(0);
    EXPECT_EQ(rowTitled(QStringLiteral("third take video")).state.kind, Kind::done);
    EXPECT_EQ(read(take(QStringLiteral("Raw/raw-3.mov"))), "the third take");
}

} // namespace
