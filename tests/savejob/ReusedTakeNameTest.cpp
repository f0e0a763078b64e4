#include "FinishFixture.h"

#include "finishing/PendingRender.h"

#include <gtest/gtest.h>

namespace {

using Kind = FinishJob::State::Kind;

// "Delete the bad take, record again": a take's files deleted as a file manager deletes them while its render
// waits for the break, and the next take filmed at once under the same name. A job knows its take's files by
// what they are, never by their names.
class ReusedTakeName : public FinishTest {
protected:
    // A take stopped in the take folder, its movie and pointer log saying whose they are, handed to its save.
    void film(const QString& title, const QByteArray& whose)
    {
        touch(QStringLiteral("raw.mov"), whose);
        touch(QStringLiteral("cursor.json"), whose);
        SaveJobHandover job = saveJob(QString(), false);
        job.title = title;
        job.folder = HeldFolder::hold(take());
        endTake();
        stopTake(job);
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

} // namespace
