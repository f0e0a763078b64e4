#include "capture/AudioOnlyRecorder.h"
#include "platform/audio/PulseAudioCapture.h"
#include "platform/speech/PocketSphinxRecognizer.h"
#include "platform/system/SteadyTimer.h"
#include "support/PrivateMicrophone.h"
#include "support/PrivateNullSink.h"
#include "support/SpokenScript.h"
#include "support/TestEnvironment.h"
#include "teleprompter/ScriptFollower.h"
#include "teleprompter/SpeechFollowHub.h"
#include "teleprompter/TeleprompterScript.h"

#include <QProcess>

namespace {

QString pactl(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("pactl"), arguments);
    process.waitForFinished(5000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// Record streams at 16 kHz on the source: the hub's own listening stream.
int hubStreams(const QString& source)
{
    QString index;
    for (const QString& line : pactl({QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sources")}).split(u'\n'))
        if (line.section(u'\t', 1, 1) == source)
            index = line.section(u'\t', 0, 0);
    int count = 0;
    for (const QString& line : pactl({QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("source-outputs")}).split(u'\n'))
        if (!index.isEmpty() && line.section(u'\t', 1, 1) == index && line.contains(QStringLiteral("16000Hz")))
            ++count;
    return count;
}

bool play(const SpokenScript& spoken, const QString& sink, const QString& folder)
{
    const QString wav = folder + QStringLiteral("/play.wav");
    return spoken.writeWav(wav) && QProcess::execute(QStringLiteral("paplay"), {QStringLiteral("--device=") + sink, wav}) == 0;
}

class LiveFollowTest : public SandboxTest {};

TEST_F(LiveFollowTest, FollowsTheMicrophoneWhenIdleAndTheRecorderDuringATake)
{
    if (!PrivateNullSink::testServerRunning())
        GTEST_SKIP() << "no test sound server";
    if (!PocketSphinxRecognizer().modelInstalled())
        GTEST_SKIP() << "pocketsphinx-en-us is not installed";
    const auto sink = PrivateNullSink::load(QStringLiteral("speech"));
    ASSERT_TRUE(sink);
    const QStringList paragraphs = sampleScript().split(u'\n');
    const auto idleSpeech = SpokenScript::speak(paragraphs[0], folder->path());
    const auto takeSpeech = SpokenScript::speak(paragraphs[1], folder->path());
    if (!idleSpeech || !takeSpeech)
        GTEST_SKIP() << "espeak-ng or sox is missing";

    SpeechFollowHub::Services services;
    services.recognizer = std::make_unique<PocketSphinxRecognizer>();
    services.microphone = std::make_unique<PrivateMicrophone>(sink->monitor());
    services.timer = std::make_unique<SteadyTimer>("speech.timer");
    SpeechFollowHub hub(std::move(services));
    ScriptFollower follower;
    follower.load(sampleScript(), TeleprompterScript::Style::script);
    QString status;
    hub.onHeard = [&](const QString& text) { follower.hear(text); };
    hub.onStatus = [&](const QString& text) { status = text; };
    hub.setWanted(true, TeleprompterScript::contextualWords(sampleScript()), sampleScript());
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return status == QStringLiteral("Listening (on this computer)"); }, 10000)) << status.toStdString();
    EXPECT_EQ(hubStreams(sink->monitor()), 1);

    ASSERT_TRUE(play(*idleSpeech, sink->name(), folder->path()));
    const int firstParagraph = idleSpeech->sentences.back().tokensSaid;
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return follower.cursor() >= firstParagraph * 3 / 4; }, 3000)) << follower.cursor();
    EXPECT_LE(follower.cursor(), firstParagraph);

    hub.setBusy(true);
    hub.waitUntilIdle();
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return hubStreams(sink->monitor()) == 0; }, 2000));

    AudioOnlyRecorder recorder(std::make_unique<PulseAudioCapture>(), &hub);
    ASSERT_FALSE(recorder.start({sink->monitor(), QStringLiteral("Private")}, path(QStringLiteral("voice.m4a"))));
    ASSERT_TRUE(play(*takeSpeech, sink->name(), folder->path()));
    const int secondParagraph = firstParagraph + takeSpeech->sentences.back().tokensSaid;
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return follower.cursor() >= firstParagraph + (secondParagraph - firstParagraph) * 3 / 4; }, 3000))
        << follower.cursor();
    EXPECT_EQ(hubStreams(sink->monitor()), 0);
    recorder.stop().waitForFinished();

    hub.setBusy(false);
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return hubStreams(sink->monitor()) == 1; }, 3000));
}

} // namespace
