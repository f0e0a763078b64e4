#include "capture/ScreenRecorder.h"
#include "platform/audio/AudioTimestamper.h"
#include "takedata/RecordingClock.h"
#include "finishing/Mixdown.h"
#include "support/FakeAudioCapture.h"
#include "support/FakeScreenCapture.h"
#include "support/FakeSpeechAudioSink.h"
#include "support/ManualClock.h"
#include "support/MovieProbe.h"
#include "support/SimulatedSoundCard.h"
#include "support/ToneFile.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cmath>
#include <thread>
#include <sys/resource.h>

namespace {

class ScreenRecording : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        screen = std::make_shared<FakeScreenCapture::State>();
        microphone = std::make_shared<FakeAudioCapture::State>();
        system = std::make_shared<FakeAudioCapture::State>();
        rawPath = path(QStringLiteral("raw.mov"));
    }

    std::unique_ptr<ScreenRecorder> makeRecorder()
    {
        ScreenRecorder::Sources sources;
        sources.screen = std::make_unique<FakeScreenCapture>(screen);
        sources.microphone = std::make_unique<FakeAudioCapture>(microphone);
        sources.systemAudio = std::make_unique<FakeAudioCapture>(system);
        sources.speech = &speech;
        // A picture encoder the test can stall, as a starved machine would.
        sources.beforePictureEncode = [this] {
            ++picturesAtEncoder;
            while (pictureStalled)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
        auto recorder = std::make_unique<ScreenRecorder>(clock, std::move(sources));
        recorder->onFailure = [this](const ScreenRecorder::RecorderError& error) {
            std::lock_guard guard(failureLock);
            failures.push_back(error.errorDescription());
            failureKinds.push_back(error.kind());
        };
        return recorder;
    }

    ScreenRecorder::Options options() const
    {
        ScreenRecorder::Options o;
        o.display = {1, QStringLiteral("fake"), QRect(0, 0, 320, 180), true};
        o.frameRate = 30;
        o.targetHeight = 1080;
        return o;
    }

    // Pushes a frame and waits until the writer took it, as a grabber at real pace would.
    void frame(ScreenRecorder& recorder, double seconds)
    {
        const int64_t before = recorder.statistics().framesWritten;
        FakeScreenCapture::push(*screen, seconds);
        TestEnvironment::waitUntil([&] { return recorder.statistics().framesWritten > before; }, 3000);
    }

    // The frame at 1 s written, then the encoder stuck on the next while the grabber goes on up to
    // 1 + `last`/30 s: the oldest of those waiting behind it go.
    void stallBehindSecondFrame(ScreenRecorder& recorder, int last)
    {
        frame(recorder, 1.0);
        pictureStalled = true;
        FakeScreenCapture::push(*screen, 1.0 + 1 / 30.0);
        ASSERT_TRUE(TestEnvironment::waitUntil([&] { return picturesAtEncoder == 2; }, 3000));
        for (int i = 2; i <= last; ++i)
            FakeScreenCapture::push(*screen, 1.0 + i / 30.0);
    }

    static ScreenRecorder::StopResult stop(ScreenRecorder& recorder)
    {
        auto stopped = recorder.stop();
        stopped.waitForFinished();
        return stopped.result();
    }

    std::vector<QString> failureList()
    {
        std::lock_guard guard(failureLock);
        return failures;
    }

    // The card's tone passes the real timestamper into the recorder as its microphone from the card's start;
    // the picture starts `pictureFrom` seconds later and comes every `pictureEvery` seconds until `seconds`.
    // Returns the last picture's take time.
    double recordSimulated(ScreenRecorder& recorder, SimulatedSoundCard& card, double pictureFrom, double seconds, double pictureEvery)
    {
        AudioTimestamper stamper{SimulatedSoundCard::sampleRate, SimulatedSoundCard::channels};
        const double start = static_cast<double>(card.start) / 1e9;
        double nextPicture = start + pictureFrom, lastPicture = 0;
        while (nextPicture <= start + seconds) {
            const SimulatedSoundCard::Read read = card.next();
            for (const MediaSample& block : stamper.feed(read.now, read.reportedLatency, read.samples.data(), read.frames).blocks)
                microphone->onBlock(block);
            // A picture goes out once the sound captured up to it was read.
            while (static_cast<double>(card.nextFrameAt()) / 1e9 >= nextPicture && nextPicture <= start + seconds) {
                frame(recorder, nextPicture);
                lastPicture = nextPicture;
                nextPicture += pictureEvery;
            }
        }
        return lastPicture - (start + pictureFrom);
    }

    // A take of the simulated card (see recordSimulated) whose microphone track has no dropout and no phase
    // jump, the tone from the picture's start, ending within one frame (at 60 a second) of the last picture.
    void recordSteadyTone(SimulatedSoundCard& card, double pictureFrom, double seconds, double pictureEvery)
    {
        auto recorder = makeRecorder();
        ASSERT_FALSE(recorder->start(options(), rawPath));
        const double lastPicture = recordSimulated(*recorder, card, pictureFrom, seconds, pictureEvery);
        ASSERT_FALSE(stop(*recorder).error);
        MovieProbe::Sound mic;
        ASSERT_TRUE(MovieProbe::decodeAudio(rawPath, 0, mic));
        const ToneFile::Breaks breaks = ToneFile::breaksIn(mic.mono, mic.sampleRate, mic.startSeconds, 440);
        EXPECT_EQ(breaks.dropouts, 0);
        EXPECT_EQ(breaks.phaseJumps, 0);
        EXPECT_LE(breaks.firstLoudSeconds, 0.020);
        // The encoder pads its last packet with silence: the tone ends at its last loud sample.
        size_t loud = mic.mono.size();
        while (loud > 0 && std::abs(mic.mono[loud - 1]) < 0.2f)
            --loud;
        const double end = mic.startSeconds + static_cast<double>(loud) / mic.sampleRate;
        EXPECT_NEAR(end, lastPicture, 1.0 / 60);
        EXPECT_FALSE(readLog().contains(QStringLiteral("moved")));
    }

    // Seconds of the microphone track that can be read from the file as it stands.
    double microphoneSecondsInFile() const
    {
        MovieProbe::Sound mic;
        if (!MovieProbe::decodeAudio(rawPath, 0, mic))
            return 0;
        return mic.startSeconds + static_cast<double>(mic.mono.size()) / mic.sampleRate;
    }

    std::atomic<bool> pictureStalled{false};
    std::atomic<int> picturesAtEncoder{0}; // pictures that reached the encoder (stalled or not)
    RecordingClock clock;
    std::shared_ptr<FakeScreenCapture::State> screen;
    std::shared_ptr<FakeAudioCapture::State> microphone;
    std::shared_ptr<FakeAudioCapture::State> system;
    FakeSpeechAudioSink speech;
    QString rawPath;
    std::mutex failureLock;
    std::vector<QString> failures;
    std::vector<ScreenRecorder::RecorderError::Kind> failureKinds;
};

double rms(const std::vector<float>& samples)
{
    double sum = 0;
    for (float s : samples)
        sum += static_cast<double>(s) * s;
    return samples.empty() ? 0 : std::sqrt(sum / static_cast<double>(samples.size()));
}

} // namespace

TEST_F(ScreenRecording, writesVideoThenMicrophoneThenSystemFromTheFirstFrameAndFeedsVoiceFollowAlways)
{
    auto recorder = makeRecorder();
    ASSERT_FALSE(recorder->start(options(), rawPath));
    EXPECT_EQ(recorder->pixelSize(), QSize(320, 180));
    EXPECT_EQ(screen->configuration.sourceRect, QRect(0, 0, 320, 180));
    EXPECT_EQ(microphone->request.source, AudioCapture::Source::defaultMicrophone);
    EXPECT_EQ(system->request.source, AudioCapture::Source::systemAudio);
    EXPECT_TRUE(readLog().contains(QStringLiteral("capture started 320x180 @30 mic:true micDevice:system default system:true")));

    // Sound before the first frame: voice follow hears it, the file never gets it.
    FakeAudioCapture::push(*microphone, 99.90);
    FakeAudioCapture::push(*system, 99.90);
    // The system track is quieter than the microphone so the order can be told apart.
    system->amplitude = 0.1f;
    for (int i = 0; i < 60; ++i) {
        const double t = 100.0 + i / 30.0;
        for (int k = 0; k < 3; ++k) {
            FakeAudioCapture::push(*microphone, t + k * 0.01);
            FakeAudioCapture::push(*system, t + k * 0.01);
        }
        frame(*recorder, t);
    }
    const auto result = stop(*recorder);
    ASSERT_FALSE(result.error) << result.error->errorDescription().toStdString();
    ASSERT_EQ(result.url, rawPath);
    const auto fed = speech.fed();
    ASSERT_FALSE(fed.empty());
    EXPECT_EQ(fed.front(), MediaTime::fromSeconds(99.90));
    EXPECT_EQ(fed.size(), 181u);
    EXPECT_TRUE(readLog().contains(QStringLiteral("frames: written 60 of 60 expected, dropped 0, longest gap 33 ms")));

    const QJsonArray streams = MovieProbe::streams(rawPath).value(QStringLiteral("streams")).toArray();
    ASSERT_EQ(streams.size(), 3);
    MovieProbe::expectFields(streams[0].toObject(), {{"codec_name", "hevc"}, {"width", "320"}});
    for (int i : {1, 2})
        MovieProbe::expectFields(streams[i].toObject(), {{"codec_name", "aac"}, {"sample_rate", "48000"}, {"channels", "2"}});
    std::vector<double> times;
    ASSERT_TRUE(MovieProbe::decodeVideo(rawPath, [&](double t, const QImage&) { times.push_back(t); }));
    ASSERT_EQ(times.size(), 60u);
    EXPECT_DOUBLE_EQ(times.front(), 0.0);
    EXPECT_NEAR(times.back(), 59.0 / 30, 1e-3);
    MovieProbe::Sound mic, sys;
    ASSERT_TRUE(MovieProbe::decodeAudio(rawPath, 0, mic));
    ASSERT_TRUE(MovieProbe::decodeAudio(rawPath, 1, sys));
    EXPECT_NEAR(rms(mic.mono), 0.4 / std::sqrt(2.0), 0.06);
    EXPECT_NEAR(rms(sys.mono), 0.1 / std::sqrt(2.0), 0.02);
    EXPECT_NEAR(mic.startSeconds, 0.0, 0.03);
}

TEST_F(ScreenRecording, soundOpenedAheadFeedsOnlyVoiceFollowUntilThePictureStartsAndIsNotReopened)
{
    auto recorder = makeRecorder();
    ASSERT_FALSE(recorder->openSound(options()));
    EXPECT_TRUE(microphone->running);
    EXPECT_TRUE(system->running);
    EXPECT_FALSE(screen->running);
    for (int i = 0; i < 20; ++i)
        FakeAudioCapture::push(*microphone, 99.0 + i * 0.01);
    // The sources flow already: start() keeps them instead of opening them again.
    microphone->startError = QStringLiteral("opened twice");
    ASSERT_FALSE(recorder->start(options(), rawPath));
    for (int i = 0; i < 15; ++i) {
        const double t = 100.0 + i / 30.0;
        for (int k = 0; k < 3; ++k)
            FakeAudioCapture::push(*microphone, t + k * 0.01);
        frame(*recorder, t);
    }
    ASSERT_FALSE(stop(*recorder).error);
    EXPECT_EQ(speech.fed().size(), 65u);
    MovieProbe::Sound mic;
    ASSERT_TRUE(MovieProbe::decodeAudio(rawPath, 0, mic));
    EXPECT_NEAR(mic.startSeconds, 0.0, 0.03);
    EXPECT_NEAR(mic.mono.size() / 48000.0, 15 / 30.0, 0.05);
}

TEST_F(ScreenRecording, aMicrophoneWhoseLatencySettlesAfterThePictureStartedKeepsASteadyToneOnThePicturesTime)
{
    SimulatedSoundCard card;
    card.reportedLatency = SimulatedSoundCard::settling(330 * SimulatedSoundCard::millisecond, 10 * SimulatedSoundCard::millisecond, 0.6, 3.0);
    card.jitter = 4 * SimulatedSoundCard::millisecond;
    recordSteadyTone(card, 0.5, 20, 0.5);
}

TEST_F(ScreenRecording, aSoundCardDrifting100PartsPerMillionForTenMinutesIsStretchedOntoThePicturesTime)
{
    SimulatedSoundCard card;
    card.driftPartsPerMillion = 100;
    card.jitter = 4 * SimulatedSoundCard::millisecond;
    recordSteadyTone(card, 1.0, 601, 5);
}

TEST_F(ScreenRecording, aWriterThatFallsBehindLosesTheOldestWaitingFramesAndCountsThem)
{
    auto recorder = makeRecorder();
    ASSERT_FALSE(recorder->start(options(), rawPath));
    // The first frame opens the encoder; the burst behind it finds the writer busy. The last one is green.
    for (int i = 0; i < 60; ++i)
        FakeScreenCapture::push(*screen, 100.0 + i / 30.0, i == 59 ? 0xFF00C000u : 0xFF336699u);
    ASSERT_FALSE(stop(*recorder).error);
    const auto counts = recorder->statistics();
    EXPECT_GT(counts.framesDropped, 0);
    EXPECT_EQ(counts.framesWritten + counts.framesDropped, 60);
    QImage last;
    ASSERT_TRUE(MovieProbe::decodeVideo(rawPath, [&](double, const QImage& image) { last = image; }));
    // What was kept is the newest: the burst's last frame ends the movie.
    const QColor middle = last.pixelColor(last.width() / 2, last.height() / 2);
    EXPECT_GT(middle.green(), 150);
    EXPECT_LT(middle.blue(), 80);
}

TEST_F(ScreenRecording, aStarvedWriterKeepsOnlyTheNewestQuarterSecondOfPicturesWaiting)
{
    auto recorder = makeRecorder();
    ASSERT_FALSE(recorder->start(options(), rawPath));
    // Two seconds of grabs while the encoder is stuck on the first of them.
    stallBehindSecondFrame(*recorder, 60);
    ASSERT_FALSE(HasFatalFailure());
    pictureStalled = false;
    ASSERT_FALSE(stop(*recorder).error);

    std::vector<double> times;
    ASSERT_TRUE(MovieProbe::decodeVideo(rawPath, [&](double seconds, const QImage&) { times.push_back(seconds); }));
    ASSERT_GE(times.size(), 3u);
    // The first picture, the one the encoder was stuck on, then only what lay within a quarter of a second
    // of the newest grab: the file's picture never lags the screen by more than that.
    EXPECT_NEAR(times[1], 1.0 / 30, 1e-3);
    EXPECT_GE(times[2], 2.0 - 0.25 - 1e-3);
    EXPECT_NEAR(times.back(), 2.0, 1e-3);
    EXPECT_LE(times.size(), 2u + 8u);
    EXPECT_EQ(recorder->statistics().framesDropped + recorder->statistics().framesWritten, 61);
}

TEST_F(ScreenRecording, aStalledPictureEncoderNeverHoldsTheSoundBackAndOnlyPicturesDrop)
{
    auto recorder = makeRecorder();
    ASSERT_FALSE(recorder->start(options(), rawPath));
    // One second: 30 pictures and, up to each, its 10 ms sound blocks on both tracks. Stamps near zero keep
    // the fake's single-precision tone continuous.
    int pictures = 0, blocks = 0;
    auto second = [&](bool waitForPictures) {
        for (int i = 0; i < 30; ++i, ++pictures) {
            const double t = 1.0 + pictures / 30.0;
            for (; 1.0 + blocks * 0.01 < t + 1.0 / 30 - 1e-9; ++blocks) {
                FakeAudioCapture::push(*microphone, 1.0 + blocks * 0.01);
                FakeAudioCapture::push(*system, 1.0 + blocks * 0.01);
            }
            if (waitForPictures)
                frame(*recorder, t);
            else
                FakeScreenCapture::push(*screen, t);
        }
    };
    second(true);
    // Three seconds of steady sound while the picture encoder is stuck on one frame.
    pictureStalled = true;
    for (int s = 0; s < 3; ++s)
        second(false);
    const double soundSeconds = blocks * 0.01;
    // The file's sound keeps pace: what stays in memory is at most the fragment being filled.
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return microphoneSecondsInFile() >= soundSeconds - 1.0; }, 5000))
        << "sound in the file: " << microphoneSecondsInFile() << " s of " << soundSeconds << " s";
    const int64_t writtenWhileStalled = recorder->statistics().framesWritten;
    EXPECT_LE(writtenWhileStalled, 31);
    pictureStalled = false;
    second(true);
    ASSERT_FALSE(stop(*recorder).error);

    const auto counts = recorder->statistics();
    EXPECT_GT(counts.framesDropped, 60) << "the pictures behind the stuck one are what went";
    EXPECT_EQ(counts.framesWritten + counts.framesDropped, 150);
    for (int track : {0, 1}) {
        MovieProbe::Sound sound;
        ASSERT_TRUE(MovieProbe::decodeAudio(rawPath, track, sound));
        const ToneFile::Breaks breaks = ToneFile::breaksIn(sound.mono, sound.sampleRate, sound.startSeconds, 440);
        EXPECT_EQ(breaks.dropouts, 0) << "track " << track;
        EXPECT_EQ(breaks.phaseJumps, 0) << "track " << track;
        EXPECT_NEAR(sound.startSeconds + static_cast<double>(sound.mono.size()) / sound.sampleRate, 5.0, 0.05) << "track " << track;
    }
    EXPECT_FALSE(readLog().contains(QStringLiteral("audio: the writer was not ready")));
}

TEST_F(ScreenRecording, aPauseWritesEverySoundBlockStampedBeforeItAndNoneUntilTheResume)
{
    ManualClock host{0.5};
    auto recorder = makeRecorder();
    ASSERT_FALSE(recorder->start(options(), rawPath));
    frame(*recorder, 1.0);
    // Two seconds of microphone sound stuck on their way (voice follow is slow) when the pause comes.
    speech.held = true;
    for (int i = 0; i < 200; ++i)
        FakeAudioCapture::push(*microphone, 1.0 + i * 0.01);
    host.set(3.0);
    clock.pause();
    // Captured while paused: none of it belongs to the take.
    for (int i = 200; i < 500; ++i)
        FakeAudioCapture::push(*microphone, 1.0 + i * 0.01);
    speech.held = false;
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return speech.fed().size() == 500u; }));
    host.set(6.0);
    clock.resume();
    for (int i = 500; i < 700; ++i) {
        FakeAudioCapture::push(*microphone, 1.0 + i * 0.01);
        if (i % 3 == 0)
            frame(*recorder, 1.0 + i * 0.01);
    }
    ASSERT_FALSE(stop(*recorder).error);

    MovieProbe::Sound mic;
    ASSERT_TRUE(MovieProbe::decodeAudio(rawPath, 0, mic));
    // Two seconds before the pause and two after it, back to back: the tone runs on without a break
    // (three seconds of a 440 Hz tone is a whole number of cycles).
    EXPECT_NEAR(mic.startSeconds + static_cast<double>(mic.mono.size()) / mic.sampleRate, 4.0, 0.03);
    const ToneFile::Breaks breaks = ToneFile::breaksIn(mic.mono, mic.sampleRate, mic.startSeconds, 440);
    EXPECT_EQ(breaks.dropouts, 0);
    EXPECT_EQ(breaks.phaseJumps, 0);
    const size_t beforePause = static_cast<size_t>((1.9 - mic.startSeconds) * mic.sampleRate);
    ASSERT_LT(beforePause + 4800, mic.mono.size());
    EXPECT_NEAR(rms(std::vector<float>(mic.mono.begin() + static_cast<long>(beforePause), mic.mono.begin() + static_cast<long>(beforePause) + 4800)), 0.4 / std::sqrt(2.0), 0.06)
        << "the last tenth of a second before the pause is sound, not silence";
}

TEST_F(ScreenRecording, aLongPauseBehindALaggingWriterCountsAsLostOnlyTheFramesTheTakeItselfLost)
{
    ManualClock host{0.5};
    auto recorder = makeRecorder();
    ASSERT_FALSE(recorder->start(options(), rawPath));
    // The take's first second behind a stuck encoder: what drops now is a real loss.
    stallBehindSecondFrame(*recorder, 29);
    ASSERT_FALSE(HasFatalFailure());
    const int64_t droppedRunning = recorder->statistics().framesDropped;
    EXPECT_GT(droppedRunning, 0);
    // Two minutes paused, the grabber running on and missing one tick in three, the writer stuck for a while.
    host.set(2.0);
    clock.pause();
    for (int i = 0; i < 120 * 30 - 3; ++i) {
        FakeScreenCapture::push(*screen, 2.0 + i / 30.0);
        screen->statistics.framesMissed += i % 3 == 0 ? 1 : 0;
    }
    pictureStalled = false;
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return recorder->statistics().framesWritten == 30 - droppedRunning; }, 3000))
        << "what waited from before the pause is written during it";
    // The pause's last three ticks go missing in a grab that ends only once the take runs again.
    screen->statistics.framesMissed += 3;
    host.set(122.0);
    clock.resume();
    // A second after the resume, two of whose ticks the grabber missed.
    for (int i = 0; i < 32; ++i) {
        if (i == 10 || i == 11)
            ++screen->statistics.framesMissed;
        else
            frame(*recorder, 122.0 + i / 30.0);
    }
    ASSERT_FALSE(stop(*recorder).error);

    const auto counts = recorder->statistics();
    EXPECT_EQ(counts.framesMissed, 2);
    EXPECT_EQ(counts.framesDropped, droppedRunning);
    // The take ran 62 ticks (up to 61/30 s): each is in the file or counted lost, and the file holds what was written.
    EXPECT_EQ(counts.framesWritten + counts.framesDropped + counts.framesMissed, 62);
    EXPECT_TRUE(readLog().contains(QStringLiteral("frames: written %1 of 62 expected, dropped %2,").arg(counts.framesWritten).arg(droppedRunning + 2)));
    int64_t inFile = 0;
    ASSERT_TRUE(MovieProbe::decodeVideo(rawPath, [&](double, const QImage&) { ++inFile; }));
    EXPECT_EQ(inFile, counts.framesWritten);
}

TEST_F(ScreenRecording, anExistingFileRefusesTheStartAndStaysUntouched)
{
    QFile existing(rawPath);
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("earlier take");
    existing.close();
    auto refused = makeRecorder();
    auto error = refused->start(options(), rawPath);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->errorDescription(), QStringLiteral("Nothing was recorded — a file already exists at ") + rawPath);
    EXPECT_FALSE(screen->running);
    ASSERT_TRUE(existing.open(QIODevice::ReadOnly));
    EXPECT_EQ(existing.readAll(), QByteArray("earlier take"));
    existing.close();
}

TEST_F(ScreenRecording, aWriterFailureAfterFramesKeepsTheFileAndIsReportedOnce)
{
    auto recorder = makeRecorder();
    auto o = options();
    o.captureSystemAudio = false;
    ASSERT_FALSE(recorder->start(o, rawPath));
    for (int i = 0; i < 45; ++i) {
        FakeAudioCapture::push(*microphone, 10.0 + i / 30.0);
        frame(*recorder, 10.0 + i / 30.0);
    }
    // The disk fills up: no write may grow the file any more.
    const qint64 size = QFileInfo(rawPath).size();
    ASSERT_GT(size, 0);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limit = saved;
    limit.rlim_cur = static_cast<rlim_t>(size + 512);
    setrlimit(RLIMIT_FSIZE, &limit);
    for (int i = 45; i < 150; ++i) {
        FakeAudioCapture::push(*microphone, 10.0 + i / 30.0);
        FakeScreenCapture::push(*screen, 10.0 + i / 30.0);
        TestEnvironment::waitUntil([] { return false; }, 5);
    }
    const auto result = stop(*recorder);
    setrlimit(RLIMIT_FSIZE, &saved);
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->kind(), ScreenRecorder::RecorderError::Kind::writerFailed);
    ASSERT_EQ(result.url, rawPath) << "frames were written: the file stays";
    EXPECT_EQ(failureList().size(), 1u);
    EXPECT_EQ(readLog().count(QStringLiteral("FATAL: ")), 1);
    // Fragments of at most a second: of the 45 frames written before the disk filled, at most 30 are lost.
    int frames = 0;
    ASSERT_TRUE(MovieProbe::decodeVideo(rawPath, [&](double, const QImage&) { ++frames; }));
    EXPECT_GE(frames, 15);
}

TEST_F(ScreenRecording, destroyedWithoutStopWhileMicrophoneBlocksAreQueuedItFeedsThemAndReportsNothing)
{
    auto recorder = makeRecorder();
    ASSERT_FALSE(recorder->start(options(), rawPath));
    frame(*recorder, 50.0);
    for (int i = 0; i < 2000; ++i)
        FakeAudioCapture::push(*microphone, 50.0 + i * 0.01);
    recorder.reset();
    EXPECT_EQ(speech.fed().size(), 2000u);
    EXPECT_TRUE(failureList().empty());
}

// Run only by the test below, inside a user and mount namespace of its own with a small tmpfs at
// OLVENNAR_FULL_DISK_FOLDER: the disk really fills up.
TEST_F(ScreenRecording, DISABLED_onAFullDisk)
{
    const QString full = qEnvironmentVariable("OLVENNAR_FULL_DISK_FOLDER");
    ASSERT_FALSE(full.isEmpty());
    const QString raw = full + QStringLiteral("/raw.mov");
    auto recorder = makeRecorder();
    ASSERT_FALSE(recorder->start(options(), raw));
    int pushed = 0, blocks = 0;
    for (; pushed < 6000 && failureList().empty(); ++pushed) {
        const double t = 10.0 + pushed / 30.0;
        // The sound up to the next picture, as a real take delivers it.
        for (; 10.0 + blocks * 0.01 < t + 1.0 / 30 - 1e-9; ++blocks) {
            FakeAudioCapture::push(*microphone, 10.0 + blocks * 0.01);
            FakeAudioCapture::push(*system, 10.0 + blocks * 0.01);
        }
        const int64_t before = recorder->statistics().framesWritten;
        FakeScreenCapture::push(*screen, t, 0xFF000000u | static_cast<uint32_t>(pushed * 2654435761u & 0xFFFFFFu));
        TestEnvironment::waitUntil([&] { return recorder->statistics().framesWritten > before || !failureList().empty(); }, 3000);
    }
    const int64_t written = recorder->statistics().framesWritten;
    // The sources run on until the take stops: a second more of each.
    for (int i = 0; i < 30; ++i, ++pushed) {
        for (int k = 0; k < 4; ++k, ++blocks) {
            FakeAudioCapture::push(*microphone, 10.0 + blocks * 0.01);
            FakeAudioCapture::push(*system, 10.0 + blocks * 0.01);
        }
        FakeScreenCapture::push(*screen, 10.0 + pushed / 30.0);
    }
    const auto result = stop(*recorder);
    ASSERT_EQ(failureList().size(), 1u);
    {
        // The take tells a full disk from other failures by this kind, not by the sentence.
        std::lock_guard guard(failureLock);
        EXPECT_EQ(failureKinds.front(), ScreenRecorder::RecorderError::Kind::diskFull);
    }
    const int savedSeconds = static_cast<int>((written - 1) / 30);
    EXPECT_EQ(failureList().front(), QString::asprintf("Recording stopped: the disk is full. Saved up to %02d:%02d in raw.mov.", savedSeconds / 60, savedSeconds % 60));
    ASSERT_EQ(result.url, raw);
    // Sound and picture end together, and what could not be written is said once, not block by block.
    double pictureEnd = 0;
    ASSERT_TRUE(MovieProbe::decodeVideo(raw, [&](double time, const QImage&) { pictureEnd = time; }));
    for (int track : {0, 1}) {
        MovieProbe::Sound sound;
        ASSERT_TRUE(MovieProbe::decodeAudio(raw, track, sound));
        EXPECT_NEAR(sound.startSeconds + static_cast<double>(sound.mono.size()) / sound.sampleRate, pictureEnd, 1.0) << "track " << track;
    }
    const QString log = readLog();
    EXPECT_EQ(log.count(QStringLiteral("after the writer failed: ")), 1) << log.toStdString();
    EXPECT_EQ(log.count(QStringLiteral("audio: the writer was not ready")), 0);

    // The kept part finishes like any take.
    const QString finished = qEnvironmentVariable("OLVENNAR_FULL_DISK_FINAL");
    const auto failure = Mixdown::composePassthrough(raw, finished, [](double) {});
    ASSERT_FALSE(failure) << failure->info().description.toStdString();
    int frames = 0;
    ASSERT_TRUE(MovieProbe::decodeVideo(finished, [&](double, const QImage&) { ++frames; }));
    std::printf("full disk: %lld frames written, %d in the finished movie\n", static_cast<long long>(written), frames);
    EXPECT_GE(frames, written * 95 / 100);
}

TEST_F(ScreenRecording, aFullDiskStopsTheTakeSaysWhatWasKeptAndTheKeptPartFinishes)
{
    const QString full = path(QStringLiteral("small-disk"));
    ASSERT_TRUE(QDir().mkpath(full));
    QProcess inner;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("OLVENNAR_FULL_DISK_FOLDER"), full);
    environment.insert(QStringLiteral("OLVENNAR_FULL_DISK_FINAL"), path(QStringLiteral("final.mov")));
    inner.setProcessEnvironment(environment);
    inner.setProcessChannelMode(QProcess::MergedChannels);
    inner.start(QStringLiteral("unshare"), {QStringLiteral("-rm"), QStringLiteral("sh"), QStringLiteral("-c"),
        QStringLiteral("mount -t tmpfs -o size=1536k tmpfs \"$0\" || exit 77; exec \"$1\" --gtest_also_run_disabled_tests --gtest_filter=ScreenRecording.DISABLED_onAFullDisk"), full,
        QCoreApplication::applicationFilePath()});
    ASSERT_TRUE(inner.waitForFinished(120000));
    const QString output = QString::fromLocal8Bit(inner.readAll());
    if (inner.exitCode() == 77 || output.contains(QStringLiteral("unshare:")))
        GTEST_SKIP() << "this system allows no private mount: " << output.toStdString();
    const auto measured = QRegularExpression(QStringLiteral("full disk: [^\n]*")).match(output);
    std::printf("%s\n", qPrintable(measured.captured()));
    EXPECT_EQ(inner.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("final.mov"))));
}
