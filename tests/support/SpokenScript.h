#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

// A script read aloud by espeak-ng, sentence by sentence, as 48 kHz mono float samples, with where each
// sentence's sound ends and how many script tokens have been said by then.
struct SpokenScript {
    static constexpr int sampleRate = 48000;
    struct Sentence {
        std::size_t endSample = 0;
        int tokensSaid = 0;
    };
    std::vector<float> samples;
    std::vector<Sentence> sentences;

    // Nothing when espeak-ng or sox is missing. Sentences come from FollowText::sentences per paragraph.
    static std::optional<SpokenScript> speak(const QString& script, const QString& folder);
    // The same sound as a 48 kHz mono 16-bit WAV file.
    bool writeWav(const QString& path) const;
    double seconds() const { return double(samples.size()) / sampleRate; }
    // Tokens said once `sample` samples have sounded, counting the sentence under way as said.
    int tokensBy(std::size_t sample) const;
};

class ManualTimer;
class SpeechFollowHub;

// Three paragraphs about recording a take, for the speech tests and the benchmark.
QString sampleScript();

// Feeds the samples to the hub as a recorder does during a take: 10 ms blocks of 48 kHz float, the hub's
// clock moving with the sound and its main-thread deliveries run after each block. `fed` counts the
// samples handed over so far.
void feedAsRecorder(SpeechFollowHub& hub, ManualTimer& clock, const std::vector<float>& samples, std::size_t& fed);

// A hub with the real recognizer, no microphone of its own and a manual clock that settles the hub's queue,
// as the spoken-script tests and the benchmark drive it. `clock` points into the hub's services. A negative
// weight keeps the hub's default share of the general model.
std::unique_ptr<SpeechFollowHub> makeOfflineHub(ManualTimer*& clock, double generalModelWeight = -1);
