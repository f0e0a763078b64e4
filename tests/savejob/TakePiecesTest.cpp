#include "FinishFixture.h"

#include "finishing/TakePieces.h"
#include "platform/system/Diagnostics.h"
#include "takes/TakeFiles.h"

#include <gtest/gtest.h>

namespace {

using Tidy = FinishTest;

QStringList entries(const QString& folder) { return QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name); }

TEST_F(Tidy, MovesEveryPieceWithTheFinalsSuffixAndNothingElse)
{
    const QStringList pieces = TakePieces::rawPieceNames(QStringLiteral("-3"));
    EXPECT_EQ(pieces,
        QStringList({"raw-3.mov", "face-3.mov", "camera-3.mov", "iphone-3.mov", "clicks-3.json", "cursor-3.json", "zoom-3.json",
            "layout-3.json", "take-3.json", "stop-3.json"}));
    for (const QString& name : pieces)
        touch(name);
    // Another take's pieces, the final itself and unrelated files stay.
    for (const char* other : {"final-3.mov", "raw.mov", "raw-2.mov", "take-30.json", "short-3.mov", "notes.txt"})
        touch(QString::fromLatin1(other));

    TakePieces::moveTakePiecesToRaw(take(QStringLiteral("final-3.mov")));

    QStringList expectedRaw = pieces;
    expectedRaw.sort();
    EXPECT_EQ(entries(take(QStringLiteral("Raw"))), expectedRaw);
    EXPECT_EQ(entries(take()), QStringList({"final-3.mov", "notes.txt", "raw-2.mov", "raw.mov", "short-3.mov", "take-30.json"}));
    Diagnostics::flush();
    EXPECT_TRUE(readLog().contains(QStringLiteral("tidy: moved 10 take piece(s) to Raw/ beside final-3.mov")));
}

TEST_F(Tidy, FirstTakeHasNoSuffixAndOtherTakesInRawAreNeverTouched)
{
    // Raw/ already holds take 2's pieces; tidying take 1 must leave them byte for byte.
    QDir().mkpath(take(QStringLiteral("Raw")));
    for (const char* name : {"Raw/raw-2.mov", "Raw/face-2.mov", "Raw/take-2.json"})
        touch(QString::fromLatin1(name), "take two");
    touch(QStringLiteral("raw.mov"), "take one");
    touch(QStringLiteral("take.json"), "take one");

    TakePieces::moveTakePiecesToRaw(take(QStringLiteral("final.mov")));

    EXPECT_EQ(entries(take(QStringLiteral("Raw"))), QStringList({"face-2.mov", "raw-2.mov", "raw.mov", "take-2.json", "take.json"}));
    for (const char* name : {"Raw/raw-2.mov", "Raw/face-2.mov", "Raw/take-2.json"})
        EXPECT_EQ(read(take(QString::fromLatin1(name))), "take two") << name;
    EXPECT_EQ(read(take(QStringLiteral("Raw/raw.mov"))), "take one");
}

TEST_F(Tidy, AFailedMoveIsLoggedAndTheRestStillMove)
{
    // A folder named like a piece sits in Raw/: that one move fails, the others go on.
    QDir().mkpath(take(QStringLiteral("Raw/raw.mov")));
    touch(QStringLiteral("Raw/raw.mov/keep"), "keep");
    touch(QStringLiteral("raw.mov"));
    touch(QStringLiteral("zoom.json"));
    TakePieces::moveTakePiecesToRaw(take(QStringLiteral("final.mov")));
    EXPECT_TRUE(QFileInfo::exists(take(QStringLiteral("raw.mov"))));
    EXPECT_EQ(read(take(QStringLiteral("Raw/raw.mov/keep"))), "keep");
    EXPECT_TRUE(QFileInfo::exists(take(QStringLiteral("Raw/zoom.json"))));
    Diagnostics::flush();
    EXPECT_TRUE(readLog().contains(QStringLiteral("ERROR [move raw.mov to Raw] Could not move raw.mov")));
    EXPECT_TRUE(readLog().contains(QStringLiteral("tidy: moved 1 take piece(s) to Raw/ beside final.mov")));
}

TEST_F(Tidy, DeleteTakeFilesRemovesOnlyTheDiscardedTakesFiles)
{
    const QStringList removed{"raw-2.mov", "camera-2.mov", "iphone-2.mov", "clicks-2.json", "cursor-2.json", "final-2.mov", "face-2.mov",
        "preview-2.mov", "take-2.json", "short-2.mov", "crop-2.json"};
    for (const QString& name : removed)
        touch(name);
    for (const char* kept : {"raw.mov", "take.json", "zoom-2.json", "voice-2.m4a"})
        touch(QString::fromLatin1(kept));
    TakeFiles::deleteTakeFiles(take(), QStringLiteral("-2"));
    EXPECT_EQ(entries(take()), QStringList({"raw.mov", "take.json", "voice-2.m4a", "zoom-2.json"}));
}

// A device recorder that found "camera-2.mov" taken wrote "camera-2 (2).mov": a discard and a tidy both take it.
TEST_F(Tidy, NumberedCopiesOfTheDeviceMoviesBelongToTheTake)
{
    for (const char* name : {"camera-2.mov", "camera-2 (2).mov", "iphone-2 (3).mov", "raw-2.mov"})
        touch(QString::fromLatin1(name));
    // Not copies of take 2's device movies: another take's, another word's, and look-alikes.
    const QStringList others{"camera (2).mov", "camera-20 (2).mov", "raw-2 (2).mov", "camera-2 (1).mov", "camera-2 (02).mov", "camera-2 (2).json",
        "camera-2 (x).mov"};
    for (const QString& name : others)
        touch(name);
    TakeFiles::deleteTakeFiles(take(), QStringLiteral("-2"));
    QStringList kept = others;
    kept.sort();
    EXPECT_EQ(entries(take()), kept);

    for (const char* name : {"final-2.mov", "camera-2 (2).mov", "camera-2 (10).mov", "iphone-2 (2).mov"})
        touch(QString::fromLatin1(name));
    TakePieces::moveTakePiecesToRaw(take(QStringLiteral("final-2.mov")));
    EXPECT_EQ(entries(take(QStringLiteral("Raw"))), QStringList({"camera-2 (10).mov", "camera-2 (2).mov", "iphone-2 (2).mov"}));
    Diagnostics::flush();
    EXPECT_TRUE(readLog().contains(QStringLiteral("tidy: moved 3 take piece(s) to Raw/ beside final-2.mov")));
}

} // namespace
