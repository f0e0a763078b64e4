#include "core/SaveLocation.h"
#include "platform/system/Diagnostics.h"
#include "support/TestEnvironment.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <thread>

namespace {

class DiagnosticsTest : public SandboxTest { };

TEST_F(DiagnosticsTest, LineIsTimestampTwoSpacesMessage)
{
    const QDateTime time(QDate(2026, 3, 4), QTime(5, 6, 7, 89));
    EXPECT_EQ(Diagnostics::formatLine(time, QStringLiteral("tidy: moved 4")), QStringLiteral("2026-03-04 05:06:07.089  tidy: moved 4\n"));
}

TEST_F(DiagnosticsTest, ErrorLineNamesContextDomainAndCode)
{
    const ErrorInfo error{QStringLiteral("Olvennar.Mixdown"), 3, QStringLiteral("Could not write the finished file: disk full")};
    EXPECT_EQ(Diagnostics::errorLine(error, QStringLiteral("finish")),
        QStringLiteral("ERROR [finish] Could not write the finished file: disk full (domain: Olvennar.Mixdown, code: 3)"));
}

TEST_F(DiagnosticsTest, LinesFromManyThreadsNeverInterleave)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i)
                Diagnostics::log(QStringLiteral("thread %1 line %2 ").arg(t).arg(i) + QString(40, QLatin1Char('x')));
        });
    }
    for (auto& thread : threads)
        thread.join();
    const QStringList lines = readLog().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 800);
    const QRegularExpression whole(QStringLiteral("^\\S+ \\S+  thread \\d line \\d+ x{40}$"));
    for (const QString& line : lines)
        ASSERT_TRUE(whole.match(line).hasMatch()) << line.toStdString();
}

class SaveLocationTest : public SandboxTest { };

TEST_F(SaveLocationTest, AnUnmountedDriveIsNotRecreatedAndTheFactIsLogged)
{
    const QString root = path(QStringLiteral("media/Drive/Recordings"));
    settings->setString(QStringLiteral("publicSaveFolder.v1"), root);
    const auto error = SaveLocation::ensureCurrent(*settings);
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->contains(root));
    EXPECT_FALSE(QDir(path(QStringLiteral("media"))).exists());
    EXPECT_TRUE(readLog().contains(QStringLiteral("save location: parent of ") + root));
}

} // namespace
