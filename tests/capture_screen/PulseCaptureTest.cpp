#include "platform/audio/PulseAudioCapture.h"
#include "platform/audio/PulseDeviceMonitor.h"
#include "platform/system/HostClock.h"
#include "support/PrivateNullSink.h"
#include "support/TestEnvironment.h"
#include "support/ToneFile.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <mutex>

namespace {

struct BlockLog {
    std::mutex lock;
    std::vector<MediaSample> blocks;
    AudioCapture::BlockHandler handler()
    {
        return [this](const MediaSample& sample) {
            std::lock_guard guard(lock);
            blocks.push_back(sample);
        };
    }
    size_t count()
    {
        std::lock_guard guard(lock);
        return blocks.size();
    }
};

class PulseCapture : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!PrivateNullSink::testServerRunning())
            GTEST_SKIP() << "the test PulseAudio server is not running";
    }
    // A tone file of the test's own.
    QString tone(double seconds, double hertz)
    {
        const QString file = folder.filePath(QStringLiteral("tone.wav"));
        EXPECT_TRUE(ToneFile::write(file, seconds, hertz));
        return file;
    }
    QTemporaryDir folder;
    BlockLog log;
};

} // namespace

TEST_F(PulseCapture, recordsTheDefaultInputAsContinuousHostClockBlocksWithTheToneInThem)
{
    const QString file = tone(1.0, 440);
    PulseAudioCapture capture;
    const MediaTime before = HostClock::now();
    ASSERT_FALSE(capture.start({AudioCapture::Source::defaultMicrophone, {}, 48000, 2}, log.handler()));
    EXPECT_EQ(capture.sourceName(), QStringLiteral("olvennar_mic.monitor"));
    EXPECT_TRUE(capture.isMonitor());
    QProcess player;
    player.start(QStringLiteral("paplay"), {QStringLiteral("--device=olvennar_mic"), file});
    ASSERT_TRUE(player.waitForFinished(5000));
    capture.stop();
    const size_t count = log.count();
    std::lock_guard guard(log.lock);
    ASSERT_GT(count, 50u);
    double peak = 0;
    for (size_t i = 0; i < log.blocks.size(); ++i) {
        const MediaSample& block = log.blocks[i];
        ASSERT_EQ(block.audio->channels, 2);
        ASSERT_EQ(block.audio->sampleRate, 48000);
        for (float v : block.audio->samples)
            peak = std::max(peak, static_cast<double>(std::fabs(v)));
        if (i > 0) {
            // Each block starts where the previous one ended (within the slow correction).
            const MediaSample& previous = log.blocks[i - 1];
            const double gap = (block.presentationTime() - (previous.presentationTime() + previous.duration())).seconds();
            EXPECT_LT(std::fabs(gap), 0.002) << "block " << i;
        }
    }
    EXPECT_GT(peak, 0.3);
    EXPECT_GE(log.blocks.front().presentationTime(), before - MediaTime(1, 10));
}

TEST_F(PulseCapture, systemAudioIsTheDefaultOutputsMonitorAndUnknownSourcesAreRefused)
{
    const QString file = tone(0.5, 660);
    PulseAudioCapture system;
    ASSERT_FALSE(system.start({AudioCapture::Source::systemAudio, {}, 48000, 2}, log.handler()));
    EXPECT_EQ(system.sourceName(), QStringLiteral("olvennar_system.monitor"));
    // A null sink's monitor only delivers while something plays.
    QProcess player;
    player.start(QStringLiteral("paplay"), {file});
    player.waitForFinished(4000);
    EXPECT_GT(log.count(), 5u) << player.readAllStandardError().toStdString() << " exit " << player.exitCode();
    system.stop();
    const size_t stopped = log.count();
    TestEnvironment::waitUntil([] { return false; }, 100);
    EXPECT_EQ(log.count(), stopped);

    PulseAudioCapture missing;
    const auto error = missing.start({AudioCapture::Source::named, QStringLiteral("no_such_source"), 48000, 1}, [](const MediaSample&) {});
    ASSERT_TRUE(error);
    EXPECT_EQ(*error, QStringLiteral("the sound source no_such_source is not available"));
}

TEST_F(PulseCapture, aNewSinkIsAnnouncedOnTheMainThread)
{
    PulseDeviceMonitor monitor;
    ASSERT_TRUE(monitor.isActive());
    int announced = 0;
    QObject::connect(&monitor, &PulseDeviceMonitor::devicesChanged, [&] { ++announced; });
    QProcess load;
    load.start(QStringLiteral("pactl"), {QStringLiteral("load-module"), QStringLiteral("module-null-sink"), QStringLiteral("sink_name=olvennar_s1_probe")});
    ASSERT_TRUE(load.waitForFinished(3000));
    const QString module = QString::fromUtf8(load.readAllStandardOutput()).trimmed();
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return announced > 0; }, 3000));
    QProcess::execute(QStringLiteral("pactl"), {QStringLiteral("unload-module"), module});
}
