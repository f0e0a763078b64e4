#include "LaunchedStudio.h"

#include "support/MovieProbe.h"

#include <gtest/gtest.h>

#include <iostream>

namespace {

// What lies in the folder and its Raw/, each movie with its length: said with the outcome.
QString onDisk(const QString& folder)
{
    QStringList said;
    for (const QString& place : {folder, folder + QStringLiteral("/Raw")}) {
        for (const QFileInfo& file : QDir(place).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name)) {
            QString line = QDir(folder).relativeFilePath(file.filePath());
            if (file.suffix() == QLatin1String("mov"))
                line += QStringLiteral(" (") + QString::number(MovieProbe::durationSeconds(file.filePath()), 'f', 2) + QStringLiteral(" s)");
            said << line;
        }
    }
    return said.join(QStringLiteral(", "));
}

TEST_F(LaunchedStudio, ATakeDeletedWhileItsRenderWaitsAndTheNextTakeFilmedAtOnceLeaveTheNextTakeItsOwnFinal)
{
    filmATake();
    // "Delete the bad take, record again": every file a file manager shows goes while the render waits for the
    // break, and the next take, longer, is filmed at once in the same folder.
    const QDir folder(takeFolder());
    const QStringList shown = folder.entryList(QDir::Files, QDir::Name);
    ASSERT_TRUE(shown.contains(QStringLiteral("raw.mov"))) << shown.join(QLatin1Char(' ')).toStdString();
    for (const QString& name : shown)
        ASSERT_TRUE(QFile::remove(folder.filePath(name))) << name.toStdString();
    filmInShownStudio(7000);
    // Both takes saved, then both renders ended: no note and no half-made final is left.
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return studioLog().count(QStringLiteral(" saved:raw+")) == 2; }, 60000)) << studioLog().toStdString();
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return hiddenInTake().filter(QStringLiteral(".pending")).isEmpty() && !renderUnderWay(); }, 180000))
        << hiddenInTake().join(QLatin1Char(' ')).toStdString();
    std::cout << "on disk: " << onDisk(takeFolder()).toStdString() << "\n";

    // The next take has a name of its own, and its final is made from its own raw.
    const QString nextRaw = folder.filePath(QStringLiteral("Raw/raw-2.mov"));
    const QString nextFinal = folder.filePath(QStringLiteral("final-2.mov"));
    ASSERT_TRUE(QFileInfo::exists(nextFinal) && QFileInfo::exists(nextRaw)) << onDisk(takeFolder()).toStdString() << "\n" << studioLog().toStdString();
    EXPECT_NEAR(MovieProbe::durationSeconds(nextFinal), MovieProbe::durationSeconds(nextRaw), 0.5);
    EXPECT_GT(MovieProbe::durationSeconds(nextFinal), 5.5) << "the seven-second take, not the deleted one";
    // The deleted take's render made nothing and says why.
    EXPECT_FALSE(QFileInfo::exists(folder.filePath(QStringLiteral("final.mov"))));
    EXPECT_FALSE(QFileInfo::exists(folder.filePath(QStringLiteral("Raw/raw.mov"))));
    EXPECT_TRUE(studioLog().contains(QStringLiteral("final.mov was not made: raw.mov was deleted or replaced after the take stopped")))
        << studioLog().toStdString();
    EXPECT_FALSE(studioLog().contains(QStringLiteral("could not be read"))) << studioLog().toStdString();
}

} // namespace
