// Voice follow on 60 s of espeak-ng speech: the hub fed 10 ms blocks of 48 kHz float as a recorder feeds
// it (resampling, queue hops, partial texts to the main thread), against calling the same decoder directly
// with the same sound already at 16 kHz. Prints both real-time factors and their ratio, in CPU time (the
// work the hub adds to decoding) and in wall time (which also holds the harness's hand-over after every
// block: a real recorder never waits for the hub). Then the script model against the script model blended
// with the general English model, on the same spoken script: speed and how far a follower gets.
//
// The CPU ratio is measured twice. With every thread of the process on one core, the hub's own work shows
// alone: that figure carries the goal. Across the cores the process may use, each block's hand-over also
// wakes a sleeping thread on another core, which costs the waker and the woken CPU time that depends on the
// machine, not on the hub: that figure is printed beside it as the hand-over cost.
//
// Usage: speech_follow; pin it with taskset -c 0,1 (or a cpuset) to see a two-core machine.
#include "platform/speech/PocketSphinxRecognizer.h"
#include "platform/speech/SpeechSampleConverter.h"
#include "support/ManualTimer.h"
#include "support/SpokenScript.h"
#include "teleprompter/ScriptFollower.h"
#include "teleprompter/ScriptLanguageModel.h"
#include "teleprompter/SpeechFollowHub.h"
#include "teleprompter/TeleprompterScript.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

#include <sched.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t blockFrames = 480;
constexpr double blendedGeneralWeight = 0.1;

double processCpu()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// The cores this process may use: under taskset or in a cpuset, only those.
cpu_set_t allowedCores()
{
    cpu_set_t cores;
    CPU_ZERO(&cores);
    if (sched_getaffinity(0, sizeof cores, &cores) != 0)
        CPU_SET(0, &cores);
    return cores;
}

int firstCore(const cpu_set_t& cores)
{
    for (int core = 0; core < CPU_SETSIZE; ++core) {
        if (CPU_ISSET(core, &cores))
            return core;
    }
    return 0;
}

// Every thread the process has now; the threads a hub starts later inherit their starter's cores.
void runOn(const cpu_set_t& cores)
{
    for (const QString& task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        sched_setaffinity(task.toInt(), sizeof cores, &cores);
}

struct Cost {
    double wall = -1;
    double cpu = -1;
    bool valid() const { return wall > 0 && cpu > 0; }
    void keepBest(const Cost& other)
    {
        if (!valid() || (other.valid() && other.cpu < cpu))
            cpu = other.cpu;
        if (!valid() || (other.valid() && other.wall < wall))
            wall = other.wall;
    }
};

class Meter {
public:
    Meter()
        : wall_(Clock::now())
        , cpu_(processCpu())
    {
    }
    Cost read() const { return {std::chrono::duration<double>(Clock::now() - wall_).count(), processCpu() - cpu_}; }

private:
    Clock::time_point wall_;
    double cpu_;
};

// The least a follower must do: decode, read the text after each block, end the utterance at each pause.
Cost direct(const std::vector<int16_t>& pcm, const QString& script)
{
    PocketSphinxRecognizer recognizer;
    auto built = ScriptLanguageModel::build(script, TeleprompterScript::contextualWords(script),
        [&](const QString& word) { return recognizer.pronunciation(word); });
    built.model.generalWeight = SpeechFollowHub::defaultGeneralModelWeight;
    if (!recognizer.installLanguageModel(built.model) || !recognizer.startUtterance())
        return {};
    const std::size_t chunk = blockFrames / 3;
    int texts = 0;
    bool speaking = false;
    const Meter meter;
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
    const Cost cost = meter.read();
    std::printf("  direct: %d texts, %.3f s CPU, %.3f s wall\n", texts, cost.cpu, cost.wall);
    return cost;
}

struct HubRun {
    Cost cost;
    int texts = 0;
    double reached = 0; // share of the script's tokens a follower reached
};

HubRun throughHub(const std::vector<float>& samples, const QString& script, double generalWeight)
{
    ManualTimer* clock = nullptr;
    const std::unique_ptr<SpeechFollowHub> offlineHub = makeOfflineHub(clock, generalWeight);
    SpeechFollowHub& hub = *offlineHub;
    HubRun run;
    ScriptFollower follower;
    follower.load(script, TeleprompterScript::Style::script);
    hub.onHeard = [&](const QString& text) {
        ++run.texts;
        follower.hear(text);
    };
    // Loads the decoder and the script's model before the clock starts.
    hub.setWanted(true, TeleprompterScript::contextualWords(script), script);
    hub.waitUntilIdle();
    hub.setBusy(true);
    hub.waitUntilIdle();
    const Meter meter;
    std::size_t fed = 0;
    feedAsRecorder(hub, *clock, samples, fed);
    hub.waitUntilIdle();
    QCoreApplication::processEvents();
    run.cost = meter.read();
    run.reached = follower.tokens().empty() ? 0 : double(follower.cursor()) / double(follower.tokens().size());
    std::printf("  hub: %d texts, %.3f s CPU, %.3f s wall\n", run.texts, run.cost.cpu, run.cost.wall);
    return run;
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

    // Three runs each, alternating, best of three: a busy machine slows whichever runs at the wrong moment.
    const auto measure = [&] {
        std::pair<Cost, Cost> best; // the direct decoder, the hub
        for (int round = 0; round < 3; ++round) {
            best.first.keepBest(direct(pcm, script));
            best.second.keepBest(throughHub(samples, script, SpeechFollowHub::defaultGeneralModelWeight).cost);
        }
        return best;
    };
    const cpu_set_t cores = allowedCores();
    cpu_set_t oneCore;
    CPU_ZERO(&oneCore);
    CPU_SET(firstCore(cores), &oneCore);
    std::printf("on core %d alone:\n", firstCore(cores));
    runOn(oneCore);
    const auto [baseline, hub] = measure();
    std::pair<Cost, Cost> across;
    if (CPU_COUNT(&cores) > 1) {
        std::printf("across %d cores:\n", CPU_COUNT(&cores));
        runOn(cores);
        across = measure();
    }
    if (!baseline.valid() || (CPU_COUNT(&cores) > 1 && !across.first.valid())) {
        std::printf("speech_follow: the decoder did not start\n");
        return 1;
    }
    std::printf("speech_follow: %.0f s of speech\n", audioSeconds);
    std::printf("  on one core:\n");
    std::printf("    direct decoder  %.3f x real time CPU, %.3f x wall\n", baseline.cpu / audioSeconds, baseline.wall / audioSeconds);
    std::printf("    through the hub %.3f x real time CPU, %.3f x wall\n", hub.cpu / audioSeconds, hub.wall / audioSeconds);
    std::printf("    ratio hub/direct %.3f CPU, %.3f wall (goal <= 1.05 in CPU, both under 0.5 x real time)\n", hub.cpu / baseline.cpu,
        hub.wall / baseline.wall);
    if (CPU_COUNT(&cores) > 1) {
        const auto& [acrossBaseline, acrossHub] = across;
        const double ratio = acrossHub.cpu / acrossBaseline.cpu;
        std::printf("  across %d cores:\n", CPU_COUNT(&cores));
        std::printf("    direct decoder  %.3f x real time CPU, %.3f x wall\n", acrossBaseline.cpu / audioSeconds, acrossBaseline.wall / audioSeconds);
        std::printf("    through the hub %.3f x real time CPU, %.3f x wall\n", acrossHub.cpu / audioSeconds, acrossHub.wall / audioSeconds);
        // What the hub costs across the cores beyond what it costs on one: the waking of its threads.
        std::printf("    ratio hub/direct %.3f CPU, %.3f wall; hand-over cost %+.3f of the decoder's CPU, %+.2f %% of one core "
                    "(no goal: a thread woken on another core costs what the machine makes it cost)\n",
            ratio, acrossHub.wall / acrossBaseline.wall, ratio - hub.cpu / baseline.cpu,
            100.0 * ((acrossHub.cpu - acrossBaseline.cpu) - (hub.cpu - baseline.cpu)) / audioSeconds);
    } else {
        std::printf("  across cores: this process may use one core only\n");
    }
    // The general model's figure: the script read once, followed with the script's model alone and blended.
    std::printf("general model, on the %.1f s spoken script:\n", spoken->seconds());
    for (const double weight : {SpeechFollowHub::defaultGeneralModelWeight, blendedGeneralWeight}) {
        const HubRun run = throughHub(spoken->samples, script, weight);
        std::printf("  general weight %.2f: %.3f x real time CPU, %.0f %% of the script's words followed\n", weight,
            run.cost.cpu / spoken->seconds(), run.reached * 100);
    }
    return 0;
}
