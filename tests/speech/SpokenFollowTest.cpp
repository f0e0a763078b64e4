#include "platform/speech/PocketSphinxRecognizer.h"
#include "support/ManualTimer.h"
#include "support/SpokenScript.h"
#include "support/TestEnvironment.h"
#include "teleprompter/ScriptFollower.h"
#include "teleprompter/SpeechFollowHub.h"
#include "teleprompter/TeleprompterScript.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

struct FollowRun {
    double reached = 0; // share of the script's tokens
    int aheadBy = 0; // most tokens the cursor ever stood past what had been said
};

// The spoken script fed to the hub as a recorder would during a take: 10 ms blocks of 48 kHz float, the
// hub's clock moving with the sound.
FollowRun follow(const SpokenScript& spoken)
{
    ManualTimer* clock = nullptr;
    const std::unique_ptr<SpeechFollowHub> offlineHub = makeOfflineHub(clock);
    SpeechFollowHub& hub = *offlineHub;

    const QString script = sampleScript();
    ScriptFollower follower;
    follower.load(script, TeleprompterScript::Style::script);
    FollowRun run;
    std::size_t fed = 0;
    hub.onHeard = [&](const QString& text) {
        follower.hear(text);
        run.aheadBy = std::max(run.aheadBy, follower.cursor() - spoken.tokensBy(fed));
    };
    hub.setBusy(true);
    hub.setWanted(true, TeleprompterScript::contextualWords(script), script);
    feedAsRecorder(hub, *clock, spoken.samples, fed);
    hub.waitUntilIdle();
    QCoreApplication::processEvents();
    run.reached = double(follower.cursor()) / double(follower.tokens().size());
    return run;
}

class SpokenFollowTest : public SandboxTest {};

TEST_F(SpokenFollowTest, ASpokenScriptMovesTheFollowerThroughItWithoutRunningAhead)
{
    if (!PocketSphinxRecognizer().modelInstalled())
        GTEST_SKIP() << "pocketsphinx-en-us is not installed";
    const auto spoken = SpokenScript::speak(sampleScript(), folder->path());
    if (!spoken)
        GTEST_SKIP() << "espeak-ng or sox is missing";

    const FollowRun run = follow(*spoken);
    std::printf("script model: %.0f %% of the tokens reached, at most %d ahead (%.1f s of speech)\n", run.reached * 100, run.aheadBy, spoken->seconds());
    EXPECT_GE(run.reached, 0.8);
    EXPECT_LE(run.aheadBy, 0);
}

} // namespace
