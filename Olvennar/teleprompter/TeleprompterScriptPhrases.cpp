#include "teleprompter/TeleprompterScript.h"

#include "teleprompter/TextCharacters.h"

#include <QSet>

#include <algorithm>
#include <cmath>
#include <limits>

namespace TeleprompterScript {

namespace {

const QSet<QString>& closers()
{
    static const QSet<QString> set{u"\""_qs, u"'"_qs, u")"_qs, u"]"_qs, u"\u201D"_qs, u"\u2019"_qs, u"*"_qs, u"_"_qs};
    return set;
}

const QSet<QString>& notEnds()
{
    static const QSet<QString> set{u"e.g."_qs, u"i.e."_qs, u"mr."_qs, u"mrs."_qs, u"ms."_qs,
                                   u"dr."_qs,  u"vs."_qs,  u"st."_qs, u"no."_qs};
    return set;
}

// A break before these words is cheap.
const QSet<QString>& joinCheap()
{
    static const QSet<QString> set{u"and"_qs,     u"but"_qs,    u"or"_qs,      u"so"_qs,      u"because"_qs,
                                   u"since"_qs,   u"which"_qs,  u"who"_qs,     u"whose"_qs,   u"where"_qs,
                                   u"when"_qs,    u"while"_qs,  u"if"_qs,      u"unless"_qs,  u"until"_qs,
                                   u"although"_qs, u"though"_qs, u"then"_qs,   u"instead"_qs, u"whether"_qs};
    return set;
}

// A break before these words is acceptable.
const QSet<QString>& joinOK()
{
    static const QSet<QString> set{u"that"_qs,  u"with"_qs,   u"without"_qs, u"for"_qs,  u"from"_qs, u"into"_qs,
                                   u"about"_qs, u"like"_qs,   u"after"_qs,   u"before"_qs, u"through"_qs, u"to"_qs,
                                   u"in"_qs,    u"on"_qs,     u"at"_qs,      u"by"_qs,   u"than"_qs, u"not"_qs,
                                   u"just"_qs,  u"even"_qs,   u"every"_qs,   u"how"_qs,  u"what"_qs, u"why"_qs};
    return set;
}

// A break after these words is expensive: they cling to the word that follows.
const QSet<QString>& clingers()
{
    static const QSet<QString> set{
        u"a"_qs,    u"an"_qs,   u"the"_qs,  u"my"_qs,    u"your"_qs,  u"his"_qs,  u"her"_qs,  u"our"_qs,  u"their"_qs,
        u"its"_qs,  u"this"_qs, u"that"_qs, u"these"_qs, u"those"_qs, u"to"_qs,   u"of"_qs,   u"in"_qs,   u"on"_qs,
        u"at"_qs,   u"for"_qs,  u"with"_qs, u"from"_qs,  u"by"_qs,    u"and"_qs,  u"or"_qs,   u"but"_qs,  u"i"_qs,
        u"you"_qs,  u"we"_qs,   u"they"_qs, u"it"_qs,    u"is"_qs,    u"was"_qs,  u"are"_qs,  u"be"_qs,   u"not"_qs,
        u"no"_qs,   u"very"_qs, u"so"_qs,   u"just"_qs,  u"one"_qs};
    return set;
}

bool isApostrophe(QStringView character)
{
    return character == u"'" || character == u"\u2019";
}

// Lower-cased letters and apostrophes only: the form the word tables are keyed by.
QString bare(QStringView word)
{
    QString result;
    for (QStringView c : TextCharacters::split(word)) {
        if (TextCharacters::isLetter(c) || isApostrophe(c))
            result += c;
    }
    return result.toLower();
}

bool isDash(QStringView character)
{
    return character == u"\u2014" || character == u"\u2013";
}

} // namespace

bool endsSentence(QStringView word)
{
    auto characters = TextCharacters::split(word);
    while (!characters.empty() && closers().contains(characters.back().toString()))
        characters.pop_back();
    if (characters.empty())
        return false;
    const QStringView mark = characters.back();
    if (mark != u"." && mark != u"!" && mark != u"?" && mark != u"\u2026")
        return false;
    const QStringView stripped = word.first(mark.data() + mark.size() - word.data());
    if (notEnds().contains(stripped.toString().toLower()))
        return false;
    const bool listNumber = std::all_of(characters.begin(), characters.end() - 1,
                                        [](QStringView c) { return TextCharacters::isNumber(c); });
    return !listNumber; // also false when the mark stands alone
}

double breakCost(const QStringList& words, int i)
{
    const QString& prev = words[i - 1];
    const QString& next = words[i];
    const QStringView prevLast = TextCharacters::last(prev);
    if (prevLast == u"," || prevLast == u";" || prevLast == u":" || prev == u"-" || isDash(prevLast))
        return 0;
    const QStringView nextFirst = TextCharacters::first(next);
    double cost = 10;
    if (isDash(nextFirst) || next == u"-")
        cost = 1;
    else if (nextFirst == u"(" || nextFirst == u"\"" || nextFirst == u"\u201C")
        cost = 3;
    else if (const QString nextBare = bare(next); joinCheap().contains(nextBare))
        cost = 2;
    else if (joinOK().contains(nextBare))
        cost = 5;
    if (clingers().contains(bare(prev)))
        cost += 6;
    return cost;
}

std::vector<int> breakSentence(const QStringList& words, int maxChars)
{
    const int n = int(words.size());
    if (n < 2)
        return {};
    // A column narrower than one character still needs a positive width for the free-room term.
    const qint64 width = std::max(maxChars, 1);
    std::vector<qint64> lengths(static_cast<size_t>(n));
    qint64 total = n - 1;
    for (int k = 0; k < n; ++k) {
        lengths[size_t(k)] = TextCharacters::count(words[k]);
        total += lengths[size_t(k)];
    }
    if (total <= width)
        return {};
    const qint64 shortLine = 3 * width > 99 ? 3 * width / 10 : 10;
    std::vector<double> breakCosts(size_t(n), 0.0);
    for (int i = 1; i < n; ++i)
        breakCosts[size_t(i)] = breakCost(words, i);

    constexpr double infinity = std::numeric_limits<double>::infinity();
    std::vector<double> cost(size_t(n) + 1, infinity);
    std::vector<int> back(size_t(n) + 1, 0);
    cost[0] = 0;
    for (int j = 1; j <= n; ++j) {
        qint64 length = 0;
        for (int i = j - 1; i >= 0; --i) {
            length += lengths[size_t(i)] + (i < j - 1 ? 1 : 0);
            const bool oneWord = i == j - 1;
            if (length > width && !oneWord)
                break;
            if (std::isinf(cost[size_t(i)]))
                continue;
            double candidate = cost[size_t(i)] + 1;
            if (i > 0)
                candidate += breakCosts[size_t(i)];
            if (length < shortLine)
                candidate += oneWord ? 8 : 5;
            if (j < n) {
                const double room = double(width - length) / double(width);
                candidate += 3 * room * room;
            }
            if (candidate < cost[size_t(j)]) {
                cost[size_t(j)] = candidate;
                back[size_t(j)] = i;
            }
        }
    }
    std::vector<int> starts;
    for (int k = n; k > 0; k = back[size_t(k)]) {
        if (back[size_t(k)] > 0)
            starts.push_back(back[size_t(k)]);
    }
    std::reverse(starts.begin(), starts.end());
    return starts;
}

std::set<int> phraseLineStarts(const QStringList& words, int maxChars)
{
    std::set<int> starts;
    const int n = int(words.size());
    if (n < 2)
        return starts;
    int sentenceStart = 0;
    for (int k = 0; k < n; ++k) {
        if (k != n - 1 && !endsSentence(words[k]))
            continue;
        if (sentenceStart >= 1)
            starts.insert(sentenceStart);
        for (int b : breakSentence(words.mid(sentenceStart, k - sentenceStart + 1), maxChars))
            starts.insert(sentenceStart + b);
        sentenceStart = k + 1;
    }
    return starts;
}

QString phraseLayout(const QString& text, int maxChars)
{
    QStringList laidOut;
    for (const QString& line : TextCharacters::lines(text)) {
        QStringList words;
        for (QStringView word : TextCharacters::words(line))
            words.append(word.toString());
        const std::set<int> starts = phraseLineStarts(words, maxChars);
        QString result;
        for (int k = 0; k < int(words.size()); ++k) {
            if (k > 0)
                result += starts.count(k) ? u'\n' : u' ';
            result += words[k];
        }
        laidOut.append(result);
    }
    return laidOut.join(u'\n');
}

} // namespace TeleprompterScript
