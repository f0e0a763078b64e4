#pragma once

#include "platform/speech/SpeechRecognizer.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <optional>
#include <vector>

// A small trigram model of the script, built when following starts, so the recogniser expects the
// script's words in the script's order. Sentences give the n-grams (absolute discounting with back-off);
// the contextual words join as single words. Words the dictionary lacks are left out; all-caps acronyms
// are pronounced letter by letter.
class ScriptLanguageModel {
public:
    using Pronunciation = std::function<std::optional<QString>(const QString& word)>;
    static constexpr double discount = 0.2;

    struct Result {
        SpeechRecognizer::LanguageModel model;
        int droppedWords = 0; // distinct words missing from the dictionary
        int vocabulary = 0;
    };

    static Result build(const QString& scriptText, const QStringList& contextualWords, const Pronunciation& pronunciation);

    // The sentences of the script, line by line, without orb blocks (gesture tags go with their brackets
    // in dictionaryWords).
    static QStringList spokenSentences(const QString& scriptText);
    // A written word as dictionary words: lower case, numbers below 100 spelled out, hyphenated parts apart.
    static QStringList dictionaryWords(QStringView written);
    static bool isAcronym(QStringView word);
    // ARPA text of the sentences (each a list of words) plus the extra words as single words.
    static QByteArray arpa(const std::vector<QStringList>& sentences, const QStringList& extraWords);
};
