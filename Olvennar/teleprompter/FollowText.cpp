#include "teleprompter/FollowText.h"

#include "teleprompter/TextCharacters.h"

#include <algorithm>
#include <array>
#include <vector>

namespace FollowText {

namespace {

constexpr std::array<const char16_t*, 20> ones{
    u"zero", u"one", u"two", u"three", u"four", u"five", u"six", u"seven", u"eight", u"nine",
    u"ten", u"eleven", u"twelve", u"thirteen", u"fourteen", u"fifteen", u"sixteen", u"seventeen", u"eighteen",
    u"nineteen"};
constexpr std::array<const char16_t*, 10> tens{u"",      u"",      u"twenty",  u"thirty", u"forty",
                                               u"fifty", u"sixty", u"seventy", u"eighty", u"ninety"};

bool isSentenceMark(QStringView c)
{
    return c == u"." || c == u"!" || c == u"?" || c == u"\u2026";
}

bool isWordSplitter(QChar c)
{
    return c == u'-' || c == u'\u2013' || c == u'\u2014' || c == u'/';
}

bool isTokenUnit(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || (c >= 0x00E0 && c <= 0x00FF);
}

bool isApostrophe(char16_t c)
{
    return c == u'\u2019' || c == u'\u2018' || c == u'`' || c == u'\'';
}

void appendPart(QStringView part, QStringList& tokens)
{
    QString token = norm(part);
    if (token.isEmpty())
        return;
    if (token.size() < 3 && std::all_of(token.cbegin(), token.cend(), [](QChar c) { return c.isDigit(); })) {
        tokens.append(numberWords(token.toInt()));
        return;
    }
    tokens.append(std::move(token));
}

} // namespace

QStringList sentences(const QString& text)
{
    QStringList result;
    const auto characters = TextCharacters::split(text);
    const size_t n = characters.size();
    qsizetype bufferStart = 0;
    auto emit = [&](qsizetype end) {
        const QStringView sentence = TextCharacters::trimWhiteSpace(QStringView(text).mid(bufferStart, end - bufferStart));
        if (!sentence.isEmpty())
            result.append(sentence.toString());
        bufferStart = end;
    };
    auto endOf = [&](size_t k) { return characters[k].data() + characters[k].size() - text.data(); };
    for (size_t k = 0; k < n; ++k) {
        if (!isSentenceMark(characters[k]))
            continue;
        const bool last = k + 1 == n;
        if (!last) {
            const QStringView after = characters[k + 1];
            if (!TextCharacters::isWhiteSpace(after) && after != u"\"" && after != u"\u201D")
                continue;
        }
        // Closing quotes and brackets stay with the sentence they close.
        while (k + 1 < n) {
            const QStringView after = characters[k + 1];
            if (after != u"\"" && after != u"\u201D" && after != u"\u2019" && after != u")")
                break;
            ++k;
        }
        emit(endOf(k));
    }
    emit(text.size());
    return result;
}

QStringList chunks(const QString& text, int limit)
{
    QStringList pieces;
    const qsizetype wholeLimit = qsizetype(limit) * 3 / 2;
    const qsizetype pieceCut = qsizetype(limit) * 2 / 3;
    for (const QString& sentence : sentences(text)) {
        if (TextCharacters::count(sentence) <= wholeLimit) {
            pieces.append(sentence);
            continue;
        }
        QString piece;
        qsizetype pieceLength = 0;
        for (QStringView word : QStringView(sentence).split(u' ', Qt::SkipEmptyParts)) {
            if (!piece.isEmpty()) {
                piece += u' ';
                ++pieceLength;
            }
            piece += word;
            pieceLength += TextCharacters::count(word);
            const QStringView lastCharacter = TextCharacters::last(word);
            if (pieceLength >= pieceCut && (lastCharacter == u"," || lastCharacter == u";" || lastCharacter == u":")) {
                pieces.append(piece);
                piece.clear();
                pieceLength = 0;
            }
        }
        if (!piece.isEmpty())
            pieces.append(piece);
    }
    QStringList result;
    QString current;
    qsizetype currentLength = 0;
    for (const QString& piece : pieces) {
        const qsizetype length = TextCharacters::count(piece);
        if (current.isEmpty()) {
            current = piece;
            currentLength = length;
        } else if (currentLength + 1 + length <= limit) {
            current += u' ';
            current += piece;
            currentLength += 1 + length;
        } else {
            result.append(current);
            current = piece;
            currentLength = length;
        }
    }
    if (!current.isEmpty())
        result.append(current);
    return result;
}

QString norm(QStringView word)
{
    // Composed forms, so an accented letter typed with a combining mark gives the same token.
    const QString lowered = word.toString().toLower().normalized(QString::NormalizationForm_C);
    QString result;
    result.reserve(lowered.size());
    for (QChar c : lowered) {
        if (isApostrophe(c.unicode()))
            continue;
        if (isTokenUnit(c.unicode()))
            result += c;
    }
    return result;
}

QStringList numberWords(int n)
{
    if (n < 0 || n > 99)
        return {};
    if (n < 20)
        return {QString::fromUtf16(ones[size_t(n)])};
    QStringList words{QString::fromUtf16(tens[size_t(n / 10)])};
    if (n % 10 != 0)
        words.append(QString::fromUtf16(ones[size_t(n % 10)]));
    return words;
}

void appendWordTokens(QStringView word, QStringList& tokens)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i <= word.size(); ++i) {
        if (i < word.size() && !isWordSplitter(word[i]))
            continue;
        if (i > start)
            appendPart(word.mid(start, i - start), tokens);
        start = i + 1;
    }
}

QStringList tokens(QStringView text)
{
    QStringList result;
    for (QStringView word : TextCharacters::words(text))
        appendWordTokens(word, result);
    return result;
}

QStringList lastTokens(QStringView text, int count)
{
    // Words are tokenised one by one, so walking back from the end gives the same tail as tokenising it all.
    QStringList tail;
    if (count <= 0)
        return tail;
    qsizetype end = text.size();
    std::vector<QStringList> gathered;
    qsizetype total = 0;
    while (end > 0 && total < count) {
        while (end > 0 && text[end - 1].isSpace())
            --end;
        qsizetype start = end;
        while (start > 0 && !text[start - 1].isSpace())
            --start;
        if (start == end)
            break;
        QStringList wordTokens;
        appendWordTokens(text.mid(start, end - start), wordTokens);
        total += wordTokens.size();
        gathered.push_back(std::move(wordTokens));
        end = start;
    }
    for (auto it = gathered.rbegin(); it != gathered.rend(); ++it)
        tail.append(*it);
    if (tail.size() > count)
        tail = tail.mid(tail.size() - count);
    return tail;
}

} // namespace FollowText
