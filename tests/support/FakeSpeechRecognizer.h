#pragma once

#include "platform/speech/SpeechRecognizer.h"

#include <QHash>

#include <memory>

// A recogniser whose answers the test sets. Every word of lower-case letters is in its dictionary unless
// listed as unknown. The test reads and writes the state only while the hub is idle.
class FakeSpeechRecognizer final : public SpeechRecognizer {
public:
    struct State {
        bool installed = true;
        bool loads = true;
        QHash<QString, QString> pronunciations;
        QStringList unknownWords;
        std::vector<LanguageModel> models;
        int utterancesStarted = 0;
        std::size_t samplesThisUtterance = 0;
        QString hypothesis;
        bool inSpeech = false;
        bool failProcess = false;
        bool failEnd = false;
        QString error = QStringLiteral("the fake decoder gave up");
    };
    explicit FakeSpeechRecognizer(std::shared_ptr<State> state) : state_(std::move(state)) {}

    bool modelInstalled() const override { return state_->installed; }
    bool available() override { return state_->installed && state_->loads; }
    std::optional<QString> pronunciation(const QString& word) override
    {
        if (const auto found = state_->pronunciations.constFind(word); found != state_->pronunciations.cend())
            return *found;
        const bool plain = !word.isEmpty() && std::all_of(word.begin(), word.end(), [](QChar c) { return c >= u'a' && c <= u'z'; });
        if (!plain || state_->unknownWords.contains(word))
            return std::nullopt;
        return word.toUpper();
    }
    bool installLanguageModel(const LanguageModel& model) override
    {
        state_->models.push_back(model);
        return true;
    }
    bool startUtterance() override
    {
        ++state_->utterancesStarted;
        state_->samplesThisUtterance = 0;
        open_ = true;
        return true;
    }
    bool process(const int16_t*, std::size_t count) override
    {
        if (state_->failProcess)
            return false;
        state_->samplesThisUtterance += count;
        return true;
    }
    QString hypothesis() override { return state_->hypothesis; }
    bool inSpeech() override { return open_ && state_->inSpeech; }
    bool endUtterance() override
    {
        open_ = false;
        return !state_->failEnd;
    }
    QString errorText() const override { return state_->error; }

private:
    std::shared_ptr<State> state_;
    bool open_ = false;
};
