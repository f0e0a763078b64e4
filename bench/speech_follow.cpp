// Voice follow on 60 s of espeak-ng speech: the hub fed 10 ms blocks of 48 kHz float as a recorder feeds
// it (resampling, queue hops, partial texts to the main thread), against calling the same decoder directly
// with the same sound already at 16 kHz. Prints both real-time factors and their ratio.
#include "platform/speech/PocketSphinxRecognizer.h"
#include "platform/speech/SpeechSampleConverter.h"
#include "support/ManualTimer.h"
#include "support/SpokenScript.h"
#include "teleprompter/ScriptLanguageModel.h"
#include "teleprompter/SpeechFollowHub.h"
#include "teleprompter/TeleprompterScript.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t blockFrames = 480;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// The least a follower must do: decode, read the text after each block, end the utterance at each pause.
double direct(const std::vector<int16_t>& pcm, const QString& script)
{
    PocketSphinxRecognizer recognizer;
    auto built = ScriptLanguageModel::build(script, TeleprompterScript::contextualWords(script),
        [&](const QString& word) { return recognizer.pronunciation(word); });
    built.model.generalWeight = SpeechFollowHub::defaultGeneralModelWeight;
    if (!recognizer.installLanguageModel(built.model) || !recognizer.startUtterance())
        return -1;
    const std::size_t chunk = blockFrames / 3;
    int texts = 0;
    bool speaking = false;
    const auto start = Clock::now();
    for (std::size_t at = 0; at < pcm.size(); at += chunk) {
        recognizer.process(pcm.data() + at, std::min(chunk, pcm.size() - at));
        texts += recognizer.hypothesis().isEmpty() ? 0 : 1;
        const bool now = recognizer.inSpeech();
        if (speaking && !now) {
            recognizer.endUtterance();
            texts += recognizer.hypothesis().isEmpty() ? 0 : 1;
            recognizer.startUtterance();
        }
        speaking = now;
    }
    const double elapsed = secondsSince(start);
    std::printf("  direct: %d texts\n", texts);
    return elapsed;
}

double throughHub(const std::vector<float>& samples, const QString& script)
{
    ManualTimer* clock = nullptr;
    const std::unique_ptr<SpeechFollowHub> offlineHub = makeOfflineHub(clock);
    SpeechFollowHub& hub = *offlineHub;
    int texts = 0;
    hub.onHeard = [&](const QString&) { ++texts; };
    // Loads the decoder and the script's model before the clock starts.
    hub.setWanted(true, TeleprompterScript::contextualWords(script), script);
    hub.waitUntilIdle();
    hub.setBusy(true);
    hub.waitUntilIdle();
    const auto start = Clock::now();
    std::size_t fed = 0;
    feedAsRecorder(hub, *clock, samples, fed);
    hub.waitUntilIdle();
    QCoreApplication::processEvents();
    const double elapsed = secondsSince(start);
    std::printf("  hub: %d texts\n", texts);
    return elapsed;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (!PocketSphinxRecognizer().modelInstalled()) {
        std::printf("speech_follow: pocketsphinx-en-us is not installed\n");
        return 1;
    }
    QTemporaryDir folder;
    const QString script = sampleScript();
    const auto spoken = SpokenScript::speak(script, folder.path());
    if (!spoken) {
        std::printf("speech_follow: espeak-ng or sox is missing\n");
        return 1;
    }
    std::vector<float> samples;
    while (samples.size() < std::size_t(60 * SpokenScript::sampleRate))
        samples.insert(samples.end(), spoken->samples.begin(), spoken->samples.end());
    samples.resize(std::size_t(60 * SpokenScript::sampleRate));
    const double audioSeconds = double(samples.size()) / SpokenScript::sampleRate;

    AudioBlock whole;
    whole.sampleRate = SpokenScript::sampleRate;
    whole.channels = 1;
    whole.samples = samples;
    std::vector<int16_t> pcm;
    SpeechSampleConverter().convert(whole, pcm);

    // Each twice, alternating, best of two: a busy machine slows whichever runs at the wrong moment.
    double baseline = direct(pcm, script);
    double hub = throughHub(samples, script);
    baseline = std::min(baseline, direct(pcm, script));
    hub = std::min(hub, throughHub(samples, script));
    if (baseline <= 0) {
        std::printf("speech_follow: the decoder did not start\n");
        return 1;
    }
    std::printf("speech_follow: %.0f s of speech\n", audioSeconds);
    std::printf("  direct decoder  %.3f x real time\n", baseline / audioSeconds);
    std::printf("  through the hub %.3f x real time\n", hub / audioSeconds);
    std::printf("  ratio hub/direct %.3f (goal <= 1.15, both under 0.5)\n", hub / baseline);
    return 0;
}
