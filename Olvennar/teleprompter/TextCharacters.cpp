#include "teleprompter/TextCharacters.h"

#include <QTextBoundaryFinder>

namespace TextCharacters {

namespace {

// Below U+0300 every code unit is a cluster of its own, except CR LF.
bool isSimple(QStringView text)
{
    for (QChar unit : text) {
        if (unit.unicode() >= 0x300 || unit == u'\r')
            return false;
    }
    return true;
}

} // namespace

std::vector<QStringView> split(QStringView text)
{
    std::vector<QStringView> characters;
    if (text.isEmpty())
        return characters;
    if (isSimple(text)) {
        characters.reserve(size_t(text.size()));
        for (qsizetype i = 0; i < text.size(); ++i)
            characters.push_back(text.mid(i, 1));
        return characters;
    }
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.data(), text.size());
    qsizetype start = 0;
    while (true) {
        const qsizetype end = finder.toNextBoundary();
        if (end <= start)
            break;
        characters.push_back(text.mid(start, end - start));
        start = end;
    }
    if (start < text.size())
        characters.push_back(text.mid(start));
    return characters;
}

qsizetype count(QStringView text)
{
    if (isSimple(text))
        return text.size();
    return qsizetype(split(text).size());
}

QStringView prefix(QStringView text, qsizetype characters)
{
    if (characters <= 0)
        return text.first(0);
    if (isSimple(text))
        return text.first(std::min(characters, text.size()));
    const auto parts = split(text);
    if (qsizetype(parts.size()) <= characters)
        return text;
    const QStringView& lastKept = parts[size_t(characters - 1)];
    return text.first(lastKept.data() - text.data() + lastKept.size());
}

QStringView first(QStringView text)
{
    return prefix(text, 1);
}

QStringView last(QStringView text)
{
    if (text.isEmpty())
        return text;
    if (isSimple(text))
        return text.last(1);
    return split(text).back();
}

char32_t leadCodePoint(QStringView character)
{
    if (character.isEmpty())
        return 0;
    const QChar high = character.front();
    if (high.isHighSurrogate() && character.size() > 1 && character[1].isLowSurrogate())
        return QChar::surrogateToUcs4(high, character[1]);
    return high.unicode();
}

bool isLetter(QStringView character)
{
    return !character.isEmpty() && QChar::isLetter(leadCodePoint(character));
}

bool isNumber(QStringView character)
{
    return !character.isEmpty() && QChar::isNumber(leadCodePoint(character));
}

bool isUpperLetter(QStringView character)
{
    return isLetter(character) && QChar::isUpper(leadCodePoint(character));
}

bool isWhiteSpace(QStringView character)
{
    return !character.isEmpty() && QChar::isSpace(leadCodePoint(character));
}

bool isSpaceOrTab(QChar unit)
{
    return unit == u'\t' || unit.category() == QChar::Separator_Space;
}

QStringView trimSpacesAndTabs(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isSpaceOrTab(text[begin]))
        ++begin;
    while (end > begin && isSpaceOrTab(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

QStringView trimWhiteSpace(QStringView text)
{
    return text.trimmed();
}

QStringList lines(QStringView text)
{
    QStringList result;
    qsizetype start = 0;
    while (true) {
        const qsizetype newline = text.indexOf(u'\n', start);
        const qsizetype end = newline < 0 ? text.size() : newline;
        qsizetype lineEnd = end;
        if (newline >= 0 && lineEnd > start && text[lineEnd - 1] == u'\r')
            --lineEnd;
        result.append(text.mid(start, lineEnd - start).toString());
        if (newline < 0)
            break;
        start = newline + 1;
    }
    return result;
}

std::vector<QStringView> words(QStringView text)
{
    std::vector<QStringView> result;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        while (i < n && text[i].isSpace())
            ++i;
        const qsizetype start = i;
        while (i < n && !text[i].isSpace())
            ++i;
        if (i > start)
            result.push_back(text.mid(start, i - start));
    }
    return result;
}

} // namespace TextCharacters
