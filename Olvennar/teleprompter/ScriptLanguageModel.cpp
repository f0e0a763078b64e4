#include "teleprompter/ScriptLanguageModel.h"

#include "teleprompter/FollowText.h"
#include "teleprompter/TeleprompterScript.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

namespace {

const QString sentenceStart = QStringLiteral("<s>");
const QString sentenceEnd = QStringLiteral("</s>");

bool isSplitter(QChar c) { return c == u'-' || c == u'\u2013' || c == u'\u2014' || c == u'/'; }
bool isApostrophe(QChar c) { return c == u'\'' || c == u'\u2019' || c == u'\u2018' || c == u'`'; }

QString number(double log10Value) { return QString::number(log10Value, 'f', 6); }

// The log10 of a probability; ARPA's stand-in for zero is -99.
double log10Of(double p) { return p > 0 ? std::log10(p) : -99.0; }

} // namespace

bool ScriptLanguageModel::isAcronym(QStringView word)
{
    return word.size() >= 2 && std::all_of(word.begin(), word.end(), [](QChar c) { return c >= u'A' && c <= u'Z'; });
}

QStringList ScriptLanguageModel::spokenSentences(const QString& scriptText)
{
    QStringList sentences;
    for (const TeleprompterScript::Segment& segment : TeleprompterScript::segments(scriptText)) {
        if (segment.isOrb)
            continue;
        for (QStringView line : QStringView(segment.text).split(u'\n', Qt::SkipEmptyParts))
            sentences.append(FollowText::sentences(line.toString()));
    }
    return sentences;
}

QStringList ScriptLanguageModel::dictionaryWords(QStringView written)
{
    if (written.contains(u'[') || written.contains(u']'))
        return {};
    QStringList words;
    QString part;
    auto finish = [&] {
        while (!part.isEmpty() && part.front() == u'\'')
            part.remove(0, 1);
        while (!part.isEmpty() && part.back() == u'\'')
            part.chop(1);
        const bool digits = !part.isEmpty() && std::all_of(part.begin(), part.end(), [](QChar c) { return c.isDigit(); });
        if (digits && part.size() < 3)
            words.append(FollowText::numberWords(part.toInt()));
        else if (!part.isEmpty())
            words.append(part);
        part.clear();
    };
    for (QChar c : written) {
        if (isSplitter(c))
            finish();
        else if (isApostrophe(c))
            part += u'\'';
        else if (c.isLetterOrNumber())
            part += c;
    }
    finish();
    return words;
}

ScriptLanguageModel::Result ScriptLanguageModel::build(const QString& scriptText, const QStringList& contextualWords, const Pronunciation& pronunciation)
{
    Result result;
    QHash<QString, bool> known;
    auto spelled = [&](const QString& acronym) -> std::optional<QString> {
        QStringList phones;
        for (QChar letter : acronym) {
            const auto letterPhones = pronunciation(QString(letter.toLower()) + u'.');
            if (!letterPhones)
                return std::nullopt;
            phones.append(*letterPhones);
        }
        return phones.join(u' ');
    };
    // Whether the word can be said; acronyms also get their letter-by-letter pronunciation.
    auto resolve = [&](const QString& written) {
        const QString word = written.toLower();
        if (const auto found = known.constFind(word); found != known.cend())
            return *found ? std::optional<QString>(word) : std::nullopt;
        auto& entries = result.model.pronunciations;
        const auto firstEntry = entries.size();
        QString name = word;
        for (int alternative = 2; const auto phones = pronunciation(name); ++alternative) {
            entries.emplace_back(name, *phones);
            name = word + QStringLiteral("(%1)").arg(alternative);
        }
        // `name` is now the first free alternative.
        if (const auto letters = isAcronym(written) ? spelled(written) : std::nullopt) {
            const bool listed = std::any_of(entries.begin() + long(firstEntry), entries.end(), [&](const auto& entry) { return entry.second == *letters; });
            if (!listed)
                entries.emplace_back(name, *letters);
        }
        const bool keep = entries.size() > firstEntry;
        known.insert(word, keep);
        if (!keep)
            ++result.droppedWords;
        return keep ? std::optional<QString>(word) : std::nullopt;
    };

    std::vector<QStringList> runs;
    for (const QString& sentence : spokenSentences(scriptText)) {
        QStringList run;
        for (QStringView written : QStringView(sentence).split(u' ', Qt::SkipEmptyParts)) {
            for (const QString& part : dictionaryWords(written)) {
                if (const auto word = resolve(part)) {
                    run.append(*word);
                } else if (!run.isEmpty()) {
                    // No n-gram spans a word the recogniser cannot hear.
                    runs.push_back(run);
                    run.clear();
                }
            }
        }
        if (!run.isEmpty())
            runs.push_back(run);
    }
    QStringList extra;
    for (const QString& written : contextualWords)
        for (const QString& part : dictionaryWords(written))
            if (const auto word = resolve(part))
                extra.append(*word);

    QSet<QString> vocabulary(extra.cbegin(), extra.cend());
    for (const QStringList& run : runs)
        vocabulary.unite(QSet<QString>(run.cbegin(), run.cend()));
    result.vocabulary = static_cast<int>(vocabulary.size());
    if (!vocabulary.isEmpty())
        result.model.arpa = arpa(runs, extra);
    return result;
}

QByteArray ScriptLanguageModel::arpa(const std::vector<QStringList>& sentences, const QStringList& extraWords)
{
    using Bigram = std::pair<QString, QString>;
    using Trigram = std::tuple<QString, QString, QString>;
    std::map<QString, int> unigrams;
    std::map<Bigram, int> bigrams;
    std::map<Trigram, int> trigrams;
    int tokens = 0;
    for (const QStringList& sentence : sentences) {
        QStringList padded{sentenceStart};
        padded += sentence;
        padded.append(sentenceEnd);
        for (qsizetype i = 1; i < padded.size(); ++i) {
            ++unigrams[padded[i]];
            ++tokens;
            ++bigrams[{padded[i - 1], padded[i]}];
            if (i >= 2)
                ++trigrams[{padded[i - 2], padded[i - 1], padded[i]}];
        }
    }
    for (const QString& word : extraWords)
        unigrams.try_emplace(word, 0);
    unigrams.try_emplace(sentenceEnd, 0);

    // Unigrams: add-one over the vocabulary (with </s>, without <s>).
    const double unigramTotal = tokens + static_cast<double>(unigrams.size());
    std::map<QString, double> unigramP;
    for (const auto& [word, count] : unigrams)
        unigramP[word] = (count + 1.0) / unigramTotal;

    // Per history: count, distinct followers and the lower-order mass those followers take.
    struct History {
        int count = 0;
        int followers = 0;
        double lowerMass = 0;
    };
    std::map<QString, History> bigramHistory;
    for (const auto& [pair, count] : bigrams) {
        History& h = bigramHistory[pair.first];
        h.count += count;
        ++h.followers;
        h.lowerMass += unigramP[pair.second];
    }
    auto bigramP = [&](const Bigram& pair) { return (bigrams.at(pair) - discount) / bigramHistory.at(pair.first).count; };
    std::map<Bigram, History> trigramHistory;
    for (const auto& [triple, count] : trigrams) {
        const auto& [u, v, w] = triple;
        History& h = trigramHistory[{u, v}];
        h.count += count;
        ++h.followers;
        h.lowerMass += bigramP({v, w});
    }
    auto backoff = [](const History& h) {
        const double left = discount * h.followers / h.count;
        return left / std::max(1.0 - h.lowerMass, 1e-9);
    };

    QByteArray text;
    text += "\\data\\\n";
    text += "ngram 1=" + QByteArray::number(qsizetype(unigrams.size() + 1)) + '\n';
    text += "ngram 2=" + QByteArray::number(qsizetype(bigrams.size())) + '\n';
    text += "ngram 3=" + QByteArray::number(qsizetype(trigrams.size())) + "\n\n";
    text += "\\1-grams:\n";
    auto unigramLine = [&](const QString& word, double logP) {
        QString line = number(logP) + u' ' + word;
        if (const auto h = bigramHistory.find(word); h != bigramHistory.end())
            line += u' ' + number(log10Of(backoff(h->second)));
        text += line.toUtf8() + '\n';
    };
    unigramLine(sentenceStart, -99.0);
    for (const auto& [word, p] : unigramP)
        unigramLine(word, log10Of(p));
    text += "\n\\2-grams:\n";
    for (const auto& [pair, count] : bigrams) {
        QString line = number(log10Of(bigramP(pair))) + u' ' + pair.first + u' ' + pair.second;
        if (const auto h = trigramHistory.find(pair); h != trigramHistory.end())
            line += u' ' + number(log10Of(backoff(h->second)));
        text += line.toUtf8() + '\n';
    }
    text += "\n\\3-grams:\n";
    for (const auto& [triple, count] : trigrams) {
        const auto& [u, v, w] = triple;
        const double p = (count - discount) / trigramHistory.at({u, v}).count;
        text += (number(log10Of(p)) + u' ' + u + u' ' + v + u' ' + w).toUtf8() + '\n';
    }
    text += "\n\\end\\\n";
    return text;
}
