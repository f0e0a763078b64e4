#include "plans/LayoutSignals.h"
#include "plans/MovieLayoutSignalsSource.h"
#include "platform/system/Paths.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Writes a 6 s HEVC movie: a static screen then a busy one, a tone then silence, each 3 s.
bool writeMovie(const QString& ffmpeg, const QString& path, bool withAudio)
{
    QStringList args{"-y", "-v", "error", "-f", "lavfi", "-i", "color=c=0x336699:s=320x180:r=30:d=3", "-f", "lavfi", "-i",
        "testsrc2=s=320x180:r=30:d=3"};
    QString graph = "[0:v][1:v]concat=n=2:v=1:a=0[v]";
    if (withAudio) {
        args << "-f" << "lavfi" << "-i" << "sine=f=440:r=48000:d=3" << "-f" << "lavfi" << "-i" << "anullsrc=r=48000:cl=mono:d=3";
        graph += ";[2:a][3:a]concat=n=2:v=0:a=1[a]";
    }
    args << "-filter_complex" << graph << "-map" << "[v]";
    if (withAudio)
        args << "-map" << "[a]" << "-c:a" << "aac";
    args << "-c:v" << "libx265" << "-x265-params" << "keyint=30:bframes=0:log-level=error" << path;
    QProcess process;
    process.start(ffmpeg, args);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

class LayoutSignalsMovieTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ffmpeg = Paths::findExecutable("ffmpeg");
        if (ffmpeg.isEmpty())
            GTEST_SKIP() << "ffmpeg is not installed; it makes the test movies";
        ASSERT_TRUE(folder.isValid());
    }
    QString ffmpeg;
    QTemporaryDir folder;
};

TEST_F(LayoutSignalsMovieTest, ToneInTheFirstHalfAndABusySecondHalf)
{
    const QString path = folder.filePath("raw.mov");
    ASSERT_TRUE(writeMovie(ffmpeg, path, true));
    const LayoutSignals signals = LayoutSignals::load(path);

    ASSERT_TRUE(signals.screen);
    ASSERT_EQ(signals.screen->size(), 12u);
    for (size_t i = 0; i < 12; ++i)
        EXPECT_EQ((*signals.screen)[i], i >= 6) << "screen step " << i;

    ASSERT_TRUE(signals.speech);
    EXPECT_NEAR(static_cast<double>(signals.speech->size()), 60, 1);
    // The tone's edge may fall either side of a window boundary; the widening adds 3 steps.
    for (size_t i = 0; i < signals.speech->size(); ++i) {
        if (i <= 31) {
            EXPECT_TRUE((*signals.speech)[i]) << "speech step " << i;
        } else if (i >= 34) {
            EXPECT_FALSE((*signals.speech)[i]) << "speech step " << i;
        }
    }
    EXPECT_NEAR(*signals.talkingFraction(0, 3), 1.0, 1e-12);
    EXPECT_NEAR(*signals.talkingFraction(3.5, 6), 0.0, 1e-12);
}

TEST_F(LayoutSignalsMovieTest, MissingPiecesLeaveTheirSignalAbsent)
{
    const QString silent = folder.filePath("silent.mov");
    ASSERT_TRUE(writeMovie(ffmpeg, silent, false));
    LayoutSignals signals = LayoutSignals::load(silent);
    EXPECT_TRUE(signals.screen);
    EXPECT_FALSE(signals.speech);

    signals = LayoutSignals::load(folder.filePath("missing.mov"));
    EXPECT_FALSE(signals.screen);
    EXPECT_FALSE(signals.speech);
}

} // namespace
