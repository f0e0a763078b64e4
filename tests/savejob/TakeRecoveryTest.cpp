#include "finishing/TakeRecovery.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

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
    write(QStringLiteral("Takes/video 4/.mixdown-0A1B.mov"), "half a render");
    write(QStringLiteral("Takes/video 4/raw-3.mov"), "raw three");
    write(QStringLiteral("Takes/Shorts/2026-01-02-short-1/.mixdown-77.mov"), "half a short");

    const TakeRecovery::Findings found = TakeRecovery::sweep(path(QStringLiteral("Takes")));
    EXPECT_EQ(found.removedSiblings.size(), 2);
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("Takes/video 4/.mixdown-0A1B.mov"))));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("Takes/Shorts/2026-01-02-short-1/.mixdown-77.mov"))));
    EXPECT_EQ(found.missingFinals, QStringList{path(QStringLiteral("Takes/video 4/final-2.mov"))});
    EXPECT_EQ(found.unsavedRaws, QStringList{path(QStringLiteral("Takes/video 4/raw-3.mov"))});
    for (const char* kept : {"raw.mov", "final.mov", "raw-2.mov", "raw-3.mov", "take-2.json"})
        EXPECT_TRUE(QFile::exists(path(QStringLiteral("Takes/video 4/") + QLatin1String(kept)))) << kept;
    EXPECT_TRUE(readLog().contains(QStringLiteral("recovery: removed the unfinished render ")));
    EXPECT_TRUE(readLog().contains(QStringLiteral("names final-2.mov, which was never finished")));
}
