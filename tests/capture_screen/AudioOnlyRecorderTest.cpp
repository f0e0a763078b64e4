#include "capture/AudioOnlyRecorder.h"
#include "support/FakeAudioCapture.h"
#include "support/FakeSpeechAudioSink.h"
#include "support/MovieProbe.h"
#include "platform/system/HostClock.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QJsonArray>

#include <gtest/gtest.h>

namespace {

class VoiceRecording : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        source = std::make_shared<FakeAudioCapture::State>();
        recorder = std::make_unique<AudioOnlyRecorder>(std::make_unique<FakeAudioCapture>(source), &speech);
        recorder->onFailure = [this](const ErrorInfo& error) {
            std::lock_guard guard(lock);
            failures.push_back(error.description);
        };
    }
    void TearDown() override
    {
        recorder.reset();
        SandboxTest::TearDown();
    }
    std::optional<QString> stop()
    {
        auto future = recorder->stop();
        future.waitForFinished();
        return future.result();
    }
    size_t failureCount()
    {
        std::lock_guard guard(lock);
        return failures.size();
    }

    std::shared_ptr<FakeAudioCapture::State> source;
    FakeSpeechAudioSink speech;
    std::unique_ptr<AudioOnlyRecorder> recorder;
    std::mutex lock;
    std::vector<QString> failures;
};

} // namespace

TEST_F(VoiceRecording, writesMonoAacFromTheFirstBlockAndFeedsVoiceFollow)
{
    const QString file = path(QStringLiteral("voice.m4a"));
    ASSERT_FALSE(recorder->start({QStringLiteral("usb-mic"), QStringLiteral("USB Mic")}, file));
    EXPECT_EQ(source->request.source, AudioCapture::Source::named);
    EXPECT_EQ(source->request.sourceName, QStringLiteral("usb-mic"));
    EXPECT_EQ(source->request.channels, 1);
    EXPECT_EQ(recorder->microphoneName(), QStringLiteral("Fake Microphone"));
    for (int i = 0; i < 150; ++i)
        FakeAudioCapture::push(*source, 50.0 + i * 0.01);
    EXPECT_EQ(stop(), file);
    EXPECT_EQ(speech.fed().size(), 150u);
    const QJsonObject probe = MovieProbe::streams(file);
    const QJsonArray streams = probe.value(QStringLiteral("streams")).toArray();
    ASSERT_EQ(streams.size(), 1);
    MovieProbe::expectFields(streams[0].toObject(), {{"codec_name", "aac"}, {"sample_rate", "48000"}, {"channels", "1"}});
    EXPECT_TRUE(probe[QStringLiteral("format")][QStringLiteral("format_name")].toString().contains(QStringLiteral("m4a")));
    EXPECT_NEAR(MovieProbe::number(probe[QStringLiteral("format")].toObject(), QStringLiteral("duration")), 1.5, 0.05);
    // Voice follow hears nothing once the recording stopped.
    FakeAudioCapture::push(*source, 60.0);
    EXPECT_EQ(speech.fed().size(), 150u);
    // Asking again returns the same file.
    EXPECT_EQ(stop(), file);
}

TEST_F(VoiceRecording, aMicrophoneLostMidTakeIsReportedAndKeepsWhatWasRecorded)
{
    const QString file = path(QStringLiteral("voice.m4a"));
    ASSERT_FALSE(recorder->start({std::nullopt, QStringLiteral("Built-in")}, file));
    EXPECT_EQ(source->request.source, AudioCapture::Source::defaultMicrophone);
    for (int i = 0; i < 100; ++i)
        FakeAudioCapture::push(*source, 7.0 + i * 0.01);
    source->onFailure(QStringLiteral("the sound source alsa_input stopped"));
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return failureCount() == 1; }, 2000));
    EXPECT_EQ(stop(), file);
    EXPECT_TRUE(readLog().contains(QStringLiteral("ERROR [voice track recording] the sound source alsa_input stopped")));
    EXPECT_NEAR(MovieProbe::streams(file)[QStringLiteral("format")][QStringLiteral("duration")].toString().toDouble(), 1.0, 0.05);
}

// The sound server went away during the countdown: the start fails with the reason instead of a take that
// would hold nothing.
TEST_F(VoiceRecording, aMicrophoneOpenedAheadThatStoppedFailsTheStart)
{
    ASSERT_FALSE(recorder->openMicrophone({QStringLiteral("usb-mic"), QStringLiteral("USB Mic")}));
    source->onFailure(QStringLiteral("the sound source usb-mic stopped"));
    const QString file = path(QStringLiteral("voice.m4a"));
    const auto error = recorder->start({QStringLiteral("usb-mic"), QStringLiteral("USB Mic")}, file);
    ASSERT_TRUE(error) << "the take started on a dead microphone";
    EXPECT_EQ(error->errorDescription(), QStringLiteral("The microphone USB Mic stopped before the take began: the sound source usb-mic stopped."));
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_FALSE(source->running) << "the dead microphone is let go";
    // A microphone opened afresh records again.
    ASSERT_FALSE(recorder->start({QStringLiteral("usb-mic"), QStringLiteral("USB Mic")}, file));
    for (int i = 0; i < 50; ++i)
        FakeAudioCapture::push(*source, 9.0 + i * 0.01);
    EXPECT_EQ(stop(), file);
}

// A microphone opened during the countdown: what it heard before the take's start stays out of the file,
// even when it arrives after the start, and a block across the start keeps only its part after it.
TEST_F(VoiceRecording, soundFromBeforeTheStartOfAMicrophoneOpenedAheadIsLeftOut)
{
    ASSERT_FALSE(recorder->openMicrophone({QStringLiteral("usb-mic"), QStringLiteral("USB Mic")}));
    const QString file = path(QStringLiteral("voice.m4a"));
    const double before = HostClock::nowSeconds();
    ASSERT_FALSE(recorder->start({QStringLiteral("usb-mic"), QStringLiteral("USB Mic")}, file));
    const double start = HostClock::nowSeconds();
    // Handed over late: a second from before the start, then a block across it, then one second after it.
    for (int i = 0; i < 100; ++i)
        FakeAudioCapture::push(*source, before - 1.0 + i * 0.01);
    FakeAudioCapture::push(*source, start - 0.005, 960); // 20 ms, about 15 ms of it after the start
    for (int i = 0; i < 100; ++i)
        FakeAudioCapture::push(*source, start + 0.015 + i * 0.01);
    EXPECT_EQ(stop(), file);
    const double duration = MovieProbe::number(MovieProbe::streams(file)[QStringLiteral("format")].toObject(), QStringLiteral("duration"));
    EXPECT_NEAR(duration, 1.015, 0.03); // AAC ends on a whole frame
    // Voice follow heard all of it.
    EXPECT_EQ(speech.fed().size(), 201u);
}
