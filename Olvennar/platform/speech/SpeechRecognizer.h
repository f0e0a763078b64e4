#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

// A speech decoder fed one utterance at a time with 16 kHz mono signed 16-bit samples. The owner calls it
// from one thread only; every call returns at once (the decoder works as fast as the samples arrive).
class SpeechRecognizer {
public:
    static constexpr int sampleRate = 16000;

    // The words the next utterances may contain: an ARPA n-gram model, the pronunciation of every word it
    // uses (word, phones; alternatives as "word(2)") and the weight of the general model mixed in (0: none).
    struct LanguageModel {
        QByteArray arpa;
        std::vector<std::pair<QString, QString>> pronunciations;
        double generalWeight = 0;
    };

    virtual ~SpeechRecognizer() = default;
    // The acoustic model and dictionary are installed.
    virtual bool modelInstalled() const = 0;
    // The decoder is loaded (loads it on first use); false with errorText() when it cannot be.
    virtual bool available() = 0;
    // The phones of a dictionary word ("B IY"), or nothing when the dictionary lacks it.
    virtual std::optional<QString> pronunciation(const QString& word) = 0;
    // Takes effect from the next utterance. False with errorText() on failure (the previous model stays).
    virtual bool installLanguageModel(const LanguageModel& model) = 0;
    virtual bool startUtterance() = 0;
    virtual bool process(const int16_t* samples, std::size_t count) = 0;
    // The best text of the open utterance so far; after endUtterance() its final text.
    virtual QString hypothesis() = 0;
    virtual bool inSpeech() = 0;
    virtual bool endUtterance() = 0;
    virtual QString errorText() const = 0;
};
