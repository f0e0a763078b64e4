#include "platform/speech/PocketSphinxRecognizer.h"
#include "platform/system/SteadyTimer.h"
#include "support/PrivateMicrophone.h"
#include "support/PrivateNullSink.h"
#include "support/SpokenScript.h"
#include "support/TestEnvironment.h"
#include "teleprompter/SpeechFollowHub.h"
#include "teleprompter/SpeechFollowHubSwitch.h"
#include "views/teleprompter/TeleprompterWindow.h"

#include <QGuiApplication>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

class TeleprompterVoiceTest : public SandboxTest {};

// The panel shown in follow mode switches the real hub on; speech played into the microphone moves the focus.
TEST_F(TeleprompterVoiceTest, SpeechIntoTheMicrophoneMovesTheFocusedCard)
{
    if (!PrivateNullSink::testServerRunning())
        GTEST_SKIP() << "no test sound server";
    if (!PocketSphinxRecognizer().modelInstalled())
        GTEST_SKIP() << "pocketsphinx-en-us is not installed";
    const auto sink = PrivateNullSink::load(QStringLiteral("prompter"));
    ASSERT_TRUE(sink);
    const QString script = sampleScript();
    const auto spoken = SpokenScript::speak(script.split(u'\n')[0], folder->path());
    if (!spoken)
        GTEST_SKIP() << "espeak-ng or sox is missing";

    SpeechFollowHub::Services services;
    services.recognizer = std::make_unique<PocketSphinxRecognizer>();
    services.microphone = std::make_unique<PrivateMicrophone>(sink->monitor());
    services.timer = std::make_unique<SteadyTimer>("speech.timer");
    SpeechFollowHub hub(std::move(services));
    SpeechFollowHubSwitch speech(hub);
    TeleprompterWindow window(*settings, &speech);
    window.model().setMode(PrompterMode::follow);
    window.model().setText(script);
    window.show(QGuiApplication::primaryScreen());
    ASSERT_TRUE(TestEnvironment::waitUntil([&] { return window.model().speechStatus().startsWith(QStringLiteral("Listening")); }, 10000))
        << window.model().speechStatus().toStdString();

    const QString wav = path(QStringLiteral("speech.wav"));
    ASSERT_TRUE(spoken->writeWav(wav));
    ASSERT_EQ(QProcess::execute(QStringLiteral("paplay"), {QStringLiteral("--device=") + sink->name(), wav}), 0);
    EXPECT_TRUE(TestEnvironment::waitUntil([&] { return window.model().follower().focus() >= 1; }, 4000))
        << "cursor " << window.model().follower().cursor();

    window.hide();
    EXPECT_EQ(window.model().speechStatus(), QString());
    hub.waitUntilIdle();
}

} // namespace
