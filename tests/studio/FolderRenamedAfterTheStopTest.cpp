#include "LaunchedStudio.h"

#include "support/MovieProbe.h"

#include <gtest/gtest.h>

#include <iostream>

namespace {

TEST_F(LaunchedStudio, ATakeFolderRenamedRightAfterTheStopWhileTheNextTakeFilmsInItsNameLeavesEachTakeItsOwnFinal)
{
    QProcess& studio = filmATake();
    (void)studio;
    // Renamed while its render waits for the break, and the next take, longer, films at once in the name freed.
    const QString renamed = path(QStringLiteral("home/Videos/Olvennar/intro take"));
    ASSERT_TRUE(QDir().rename(takeFolder(), renamed));
    filmInShownStudio(7000);
    ASSERT_TRUE(QFileInfo::exists(takeFolder() + QStringLiteral("/raw.mov"))) << "the next take films in the freed name";

    for (const QString& take : {renamed, takeFolder()}) {
        SCOPED_TRACE(take.toStdString());
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return QFileInfo::exists(take + QStringLiteral("/Raw/raw.mov")) && QFileInfo::exists(take + QStringLiteral("/final.mov")); }, 180000))
            << studioLog().toStdString();
        const double raw = MovieProbe::durationSeconds(take + QStringLiteral("/Raw/raw.mov"));
        const double final = MovieProbe::durationSeconds(take + QStringLiteral("/final.mov"));
        std::cout << QFileInfo(take).fileName().toStdString() << ": raw " << raw << " s, final " << final << " s\n";
        EXPECT_NEAR(final, raw, 0.5);
        EXPECT_FALSE(QFileInfo::exists(take + QStringLiteral("/raw.mov")));
        EXPECT_TRUE(TestEnvironment::waitUntil([&] { return !QFileInfo::exists(take + QStringLiteral("/.final.pending")); }, 10000));
    }
    EXPECT_GT(MovieProbe::durationSeconds(takeFolder() + QStringLiteral("/final.mov")), MovieProbe::durationSeconds(renamed + QStringLiteral("/final.mov")) + 1.5) << "each final is its own take's";
    EXPECT_TRUE(studioLog().contains(QStringLiteral("take folder moved: ") + takeFolder() + QStringLiteral(" -> ") + renamed)) << studioLog().toStdString();
    // Nothing about the folders failed; a busy machine may still drop frames of the take filmed beside the render.
    QString failures = studioLog();
    failures.remove(QStringLiteral("The computer could not keep up"));
    EXPECT_FALSE(failures.contains(QStringLiteral("could not"))) << studioLog().toStdString();
    EXPECT_FALSE(studioLog().contains(QStringLiteral("ERROR"))) << studioLog().toStdString();
}

} // namespace
