#pragma once

#include "platform/speech/SpeechRecognizer.h"

#include <QHash>

#include <memory>

struct cmd_ln_s;
struct ps_decoder_s;
struct ngram_model_s;

// PocketSphinx with the US English acoustic model and dictionary from the pocketsphinx-en-us package. The
// decoder loads on first use with an empty dictionary and learns each model's words as it is installed:
// with the whole dictionary loaded, every model swap walks its 134,000 words and takes seconds.
class PocketSphinxRecognizer final : public SpeechRecognizer {
public:
    struct Files {
        QString acousticModel;
        QString dictionary;
        QString generalModel;
    };
    static Files installedFiles();

    PocketSphinxRecognizer();
    explicit PocketSphinxRecognizer(Files files);
    ~PocketSphinxRecognizer() override;
    PocketSphinxRecognizer(const PocketSphinxRecognizer&) = delete;
    PocketSphinxRecognizer& operator=(const PocketSphinxRecognizer&) = delete;

    bool modelInstalled() const override;
    bool available() override;
    std::optional<QString> pronunciation(const QString& word) override;
    bool installLanguageModel(const LanguageModel& model) override;
    bool startUtterance() override;
    bool process(const int16_t* samples, std::size_t count) override;
    QString hypothesis() override;
    bool inSpeech() override;
    bool endUtterance() override;
    QString errorText() const override { return error_; }

private:
    struct ConfigFree {
        void operator()(cmd_ln_s* config) const;
    };
    struct DecoderFree {
        void operator()(ps_decoder_s* decoder) const;
    };
    struct ModelFree {
        void operator()(ngram_model_s* model) const;
    };
    using Config = std::unique_ptr<cmd_ln_s, ConfigFree>;
    using Decoder = std::unique_ptr<ps_decoder_s, DecoderFree>;
    using Model = std::unique_ptr<ngram_model_s, ModelFree>;

    bool fail(const QString& text);
    Model readArpa(const QByteArray& arpa);
    ngram_model_s* generalModel();

    Files files_;
    Config config_;
    Decoder decoder_;
    Model general_;
    QHash<QString, QString> dictionary_;
    bool wholeDictionaryLoaded_ = false;
    bool loadFailed_ = false;
    bool utteranceOpen_ = false;
    int searchNumber_ = 0; // searches alternate between two names so the active one is never replaced in place
    QString error_;
};
