#include "platform/audio/PulseAudioPlayback.h"
#include "support/FakeAudioPlayback.h"
#include "support/PrivateNullSink.h"
#include "support/SyntheticTake.h"
#include "support/TestEnvironment.h"
#include "views/shorts/ShortReplayWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr int frameRate = 30;

// Every whole second the picture flashes white and the sound beeps for 50 ms; the rest is dark and silent.
QString makeShort(const QString& folder)
{
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(QStringLiteral("short.mov"));
    SyntheticTake::MovieRecipe recipe;
    recipe.width = 1080;
    recipe.height = 1920;
    recipe.frameRate = frameRate;
    recipe.seconds = 12;
    recipe.bitsPerPixel = 0.5;
    recipe.picture = [](int width, int height, int index) {
        auto pixels = std::make_shared<PixelBuffer>(width, height);
        const uint8_t level = index % frameRate == 0 ? 235 : 40;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width * 4; ++x)
                pixels->row(y)[x] = (x % 4 == 3) ? 255 : level;
        return pixels;
    };
    recipe.sound = [](int, int64_t firstFrame, int frames) {
        auto block = std::make_shared<AudioBlock>();
        block->samples.resize(static_cast<size_t>(frames) * 2);
        for (int i = 0; i < frames; ++i) {
            const int64_t n = firstFrame + i;
            const float value = n % 48000 < 2400 ? 0.5f * static_cast<float>(std::sin(2 * M_PI * 1000.0 * n / 48000)) : 0.0f;
            block->samples[2 * i] = block->samples[2 * i + 1] = value;
        }
        return block;
    };
    SyntheticTake::writeMovie(path, recipe);
    return path;
}

bool waitUntil(const std::function<bool()>& condition, int milliseconds = 10000)
{
    QElapsedTimer clock;
    clock.start();
    bool met = false;
    while (!(met = condition()) && clock.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return met;
}

bool bright(const QImage& frame) { return !frame.isNull() && qGray(frame.pixel(frame.width() / 2, frame.height() / 2)) > 180; }

class ShortReplayTest : public SandboxTest {
protected:
    static void SetUpTestSuite()
    {
        movieFolder = new QTemporaryDir;
        moviePath = makeShort(movieFolder->filePath(QStringLiteral("2026-05-01-s12-short-2")));
    }
    static void TearDownTestSuite()
    {
        delete movieFolder;
        movieFolder = nullptr;
    }

    static inline QTemporaryDir* movieFolder = nullptr;
    static inline QString moviePath;
};

TEST_F(ShortReplayTest, PicturesFollowTheSoundClockAndEveryPlayStartsAtTheBeginning)
{
    auto output = std::make_shared<FakeAudioPlayback::State>();
    ShortReplayWindow window(*settings, [output] { return std::make_unique<FakeAudioPlayback>(output); });
    window.play(moviePath);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Last take — 2026-05-01-s12-short-2"));
    EXPECT_TRUE(window.isVisible());
    ASSERT_EQ(output->streamsStarted, 1);
    // An output takes what is queued, however little: a tenth of a second may come in several pulls.
    int64_t pulled = 0;
    EXPECT_TRUE(waitUntil([&] { return (pulled += output->pull(4800 - pulled)) == 4800; })) << "the sound flows from the decode run: " << pulled;

    struct Step {
        double clock;
        double frameTime;
        bool flash;
    };
    for (const Step& step : {Step {2.51, 2.5, false}, Step {3.0, 3.0, true}, Step {3.02, 3.0, true}, Step {4.51, 4.5, false}}) {
        output->playedSeconds = step.clock;
        ASSERT_TRUE(waitUntil([&] { return std::abs(window.player().frameTime() - step.frameTime) < 0.001; })) << step.clock << " shows " << window.player().frameTime() << " playing " << window.player().isPlaying();
        EXPECT_EQ(bright(window.player().frame()), step.flash) << step.clock;
        output->pull(static_cast<int64_t>(48000 * 0.5)); // keep the sound queue moving as an output would
    }

    window.close();
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(output->running) << "closing ends the sound stream";
    EXPECT_NEAR(window.player().position(), 4.51, 1e-9);

    window.play(moviePath);
    EXPECT_EQ(output->streamsStarted, 2);
    EXPECT_TRUE(window.player().isPlaying());
    EXPECT_NEAR(window.player().position(), 0, 1e-9);
    ASSERT_TRUE(waitUntil([&] { return window.player().frameTime() == 0 && bright(window.player().frame()); }));
}

TEST_F(ShortReplayTest, PicturesRunOnOnceTheOutputHasTakenTheLastSound)
{
    auto output = std::make_shared<FakeAudioPlayback::State>();
    ShortReplayWindow window(*settings, [output] { return std::make_unique<FakeAudioPlayback>(output); });
    window.play(moviePath);
    output->playedSeconds = 0.5;
    int64_t taken = 0;
    ASSERT_TRUE(waitUntil([&] {
        taken += output->pull(48000);
        return taken >= 12 * 48000;
    })) << "all the sound, as an output far ahead would take it";
    // The sound's clock stands still at 0.5 s; the pictures must not.
    EXPECT_TRUE(waitUntil([&] { return window.player().frameTime() > 0.9; }, 3000)) << window.player().frameTime();
}

TEST_F(ShortReplayTest, KeepsTheShortsShapeAndShowsAnUnreadableFileAsSuch)
{
    ShortReplayWindow window(*settings, nullptr);
    window.show();
    EXPECT_EQ(window.size(), QSize(360, 640));
    window.resize(450, 500);
    EXPECT_TRUE(waitUntil([&] { return window.height() == 800; }, 1000)) << window.height();

    const QString broken = path(QStringLiteral("2026-05-02-short-1/short.mov"));
    QDir().mkpath(QFileInfo(broken).path());
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a movie");
    file.close();
    window.play(broken);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Last take — 2026-05-02-short-1"));
    EXPECT_FALSE(window.player().isPlaying());
}

QString sinkInputs()
{
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"), {QStringLiteral("list"), QStringLiteral("sink-inputs")});
    pactl.waitForFinished(5000);
    return QString::fromUtf8(pactl.readAllStandardOutput());
}

TEST_F(ShortReplayTest, TenSecondsOnTheRealSoundServerStayWithinOneFrameAndClosingSilencesIt)
{
    if (!PrivateNullSink::testServerRunning())
        GTEST_SKIP() << "no test sound server";
    const auto sink = PrivateNullSink::load(QStringLiteral("replay"));
    ASSERT_TRUE(sink);
    const QString streamName = QStringLiteral("olvennar replay test %1").arg(QCoreApplication::applicationPid());
    ShortReplayWindow window(*settings, [&] { return std::make_unique<PulseAudioPlayback>(streamName, sink->name()); });
    MoviePlayer& player = window.player();
    int frames = 0;
    int late = 0; // shown more than a frame behind the clock
    int flashesOnTime = 0;
    double worst = 0;
    QObject::connect(&player, &MoviePlayer::frameChanged, [&] {
        if (!player.isPlaying())
            return;
        ++frames;
        const double lag = player.position() - player.frameTime();
        worst = std::max(worst, std::abs(lag));
        if (std::abs(lag) > 1.0 / frameRate + 0.001)
            ++late;
        const bool wholeSecond = std::abs(player.frameTime() - std::round(player.frameTime())) < 1e-3;
        if (wholeSecond && bright(player.frame()))
            ++flashesOnTime;
    });
    window.play(moviePath);
    ASSERT_TRUE(player.isClockedBySound());
    waitUntil([&] { return player.position() >= 10; }, 15000);
    EXPECT_GE(player.position(), 10);
    // Within one frame of the sound clock; a machine too busy to run the GUI thread on time may slip now and
    // then, never for long.
    EXPECT_LE(late, frames / 50) << late << " of " << frames << " pictures more than a frame off the sound clock, worst " << worst << " s";
    EXPECT_LE(worst, 0.15) << "the shown picture strays from the sound clock";
    EXPECT_GE(frames, 290) << "pictures skipped";
    EXPECT_GE(flashesOnTime, 9) << "the flashes show at their whole seconds";
    EXPECT_TRUE(sinkInputs().contains(streamName));

    window.close();
    EXPECT_FALSE(sinkInputs().contains(streamName)) << "the stream outlived the window";
}

} // namespace
