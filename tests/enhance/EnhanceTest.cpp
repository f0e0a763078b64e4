#include "finishing/EnhancePipeline.h"
#include "finishing/EnhanceQueue.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

class EnhanceTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        // Temporary folders of the pipeline go under this test's own folder, so "gone afterwards" is checkable.
        tempRoot = path(QStringLiteral("tmp"));
        QDir().mkpath(tempRoot);
        previousTemp = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(tempRoot));
    }
    void TearDown() override
    {
        qputenv("TMPDIR", previousTemp);
        SandboxTest::TearDown();
    }
    QString script(const QString& name, const QString& body, mode_t mode = 0700)
    {
        const QString file = path(name);
        QFile out(file);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(("#!/bin/sh\n" + body + "\n").toUtf8());
        out.close();
        ::chmod(QFile::encodeName(file).constData(), mode);
        return file;
    }
    QString makeMovie()
    {
        const QString movie = path(QStringLiteral("final-2.mov"));
        const int rc = QProcess::execute(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
            QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("testsrc=size=160x90:rate=10:duration=1"),
            QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("sine=frequency=440:duration=1"),
            QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"), QStringLiteral("ultrafast"),
            QStringLiteral("-c:a"), QStringLiteral("aac"), movie});
        EXPECT_EQ(rc, 0);
        return movie;
    }
    QStringList leftoverFolders() const { return QDir(tempRoot).entryList({QStringLiteral("pravik-enhance-*")}, QDir::Dirs); }

    QString tempRoot;
    QByteArray previousTemp;
};

TEST_F(EnhanceTest, AFailingOrMissingToolReportsItsError)
{
    const QString loud = script(QStringLiteral("loud.sh"), QStringLiteral("echo 'polish: model missing' >&2\nexit 1"));
    const auto error = EnhancePipeline::runProcess(loud, {});
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, QStringLiteral("AudioEnhance"));
    EXPECT_EQ(error->code, 1);
    EXPECT_EQ(error->description, QStringLiteral("polish: model missing"));

    const QString quiet = script(QStringLiteral("quiet.sh"), QStringLiteral("exit 2"));
    const auto silent = EnhancePipeline::runProcess(quiet, {});
    ASSERT_TRUE(silent);
    EXPECT_EQ(silent->description, quiet + QStringLiteral(" exited 2"));
    EXPECT_FALSE(EnhancePipeline::runProcess(script(QStringLiteral("ok.sh"), QStringLiteral("exit 0")), {}));

    // A tool that cannot start fails with the launch error.
    const auto missing = EnhancePipeline::runProcess(path(QStringLiteral("no-such-tool")), {});
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->domain, QStringLiteral("AudioEnhance"));
    EXPECT_FALSE(missing->description.isEmpty());
}

TEST_F(EnhanceTest, AToolThatWritesALotToStandardErrorDoesNotStall)
{
    const QString chatty = script(QStringLiteral("chatty.sh"), QStringLiteral("i=0; while [ $i -lt 20000 ]; do echo \"line $i\" >&2; i=$((i+1)); done; exit 0"));
    EXPECT_FALSE(EnhancePipeline::runProcess(chatty, {}));
}

TEST_F(EnhanceTest, OnlyAPrivateRegularScriptIsRun)
{
    EXPECT_FALSE(EnhancePipeline::scriptRefusal(script(QStringLiteral("mine.sh"), QStringLiteral("exit 0"), 0700)));
    EXPECT_TRUE(EnhancePipeline::scriptRefusal(script(QStringLiteral("shared.sh"), QStringLiteral("exit 0"), 0772)));
    EXPECT_TRUE(EnhancePipeline::scriptRefusal(path(QStringLiteral("absent.sh"))));
    EXPECT_TRUE(EnhancePipeline::scriptRefusal(tempRoot));
}

TEST_F(EnhanceTest, AWholeRunCopiesTheVideoAndCleansUp)
{
    if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
        GTEST_SKIP() << "needs ffmpeg";
    const QString source = makeMovie();
    const EnhancePipeline::Tools tools{QStandardPaths::findExecutable(QStringLiteral("ffmpeg")),
        script(QStringLiteral("voice_polish.sh"), QStringLiteral("cp \"$1\" \"$2\""))};
    const QString output = EnhancePipeline::outputPath(source);
    EXPECT_EQ(output, path(QStringLiteral("final-2.enhanced.mov")));
    ASSERT_FALSE(EnhancePipeline::run(tools, source, output));
    ASSERT_TRUE(QFile::exists(output));
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
        QStringLiteral("stream=codec_type,codec_name"), QStringLiteral("-of"), QStringLiteral("csv=p=0"), output});
    probe.waitForFinished();
    const QString streams = QString::fromUtf8(probe.readAllStandardOutput());
    EXPECT_TRUE(streams.contains(QStringLiteral("h264,video"))) << streams.toStdString();
    EXPECT_TRUE(streams.contains(QStringLiteral("audio"))) << streams.toStdString();
    EXPECT_TRUE(leftoverFolders().isEmpty());
}

TEST_F(EnhanceTest, AFailedScriptLeavesNoOutputAndNoTemporaryFolder)
{
    if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
        GTEST_SKIP() << "needs ffmpeg";
    const QString source = makeMovie();
    const EnhancePipeline::Tools tools{QStandardPaths::findExecutable(QStringLiteral("ffmpeg")),
        script(QStringLiteral("voice_polish.sh"), QStringLiteral("echo 'denoise failed' >&2; exit 3"))};
    EnhanceQueue queue([tools](const QString& s, const QString& o) { return EnhancePipeline::run(tools, s, o); });
    queue.enqueue(source);
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return queue.enhanceJobs()[0].state == EnhanceQueue::EnhanceJob::State::failed; }, 20000));
    EXPECT_EQ(queue.enhanceJobs()[0].result, QStringLiteral("denoise failed"));
    EXPECT_FALSE(QFile::exists(EnhancePipeline::outputPath(source)));
    EXPECT_TRUE(leftoverFolders().isEmpty());
}

} // namespace
