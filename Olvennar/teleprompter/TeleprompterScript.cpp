#include "teleprompter/TeleprompterScript.h"

#include "teleprompter/TextCharacters.h"

#include <QSet>

#include <algorithm>

namespace TeleprompterScript {

namespace {

constexpr int gestureNameLimit = 24;
constexpr qsizetype contextualWordLimit = 100;

bool isBlank(QStringView line)
{
    return TextCharacters::trimSpacesAndTabs(line).isEmpty();
}

// Drops blank lines at both ends; inner lines keep their indentation.
QString trimBlankEdges(QStringView text)
{
    QStringList lines = TextCharacters::lines(text);
    qsizetype begin = 0;
    qsizetype end = lines.size();
    while (begin < end && isBlank(lines[begin]))
        ++begin;
    while (end > begin && isBlank(lines[end - 1]))
        --end;
    return lines.mid(begin, end - begin).join(u'\n');
}

} // namespace

QString rawText(Style style)
{
    switch (style) {
    case Style::script: return QStringLiteral("script");
    case Style::cues: return QStringLiteral("cues");
    case Style::mixed: return QStringLiteral("mixed");
    }
    return QStringLiteral("script");
}

std::optional<Style> styleFromRawText(const QString& text)
{
    for (Style style : allStyles) {
        if (rawText(style) == text)
            return style;
    }
    return std::nullopt;
}

std::vector<Segment> segments(const QString& text)
{
    std::vector<Segment> result;
    QStringView rest = text;
    while (true) {
        const qsizetype open = rest.indexOf(orbOpen);
        if (open < 0)
            break;
        QString spoken = trimBlankEdges(rest.first(open));
        if (!spoken.isEmpty())
            result.push_back({std::move(spoken), false});
        const QStringView after = rest.mid(open + orbOpen.size());
        const qsizetype close = after.indexOf(orbClose);
        const QStringView orb = TextCharacters::trimWhiteSpace(close < 0 ? after : after.first(close));
        if (!orb.isEmpty())
            result.push_back({orb.toString(), true});
        if (close < 0) {
            rest = {};
            break;
        }
        rest = after.mid(close + orbClose.size());
    }
    QString spoken = trimBlankEdges(rest);
    if (!spoken.isEmpty())
        result.push_back({std::move(spoken), false});
    return result;
}

std::vector<Block> blocks(const QString& text, Style style)
{
    std::vector<Block> result;
    QStringList pending;
    auto flush = [&] {
        const QString joined = pending.join(u'\n');
        const QStringView paragraph = TextCharacters::trimWhiteSpace(joined);
        if (!paragraph.isEmpty())
            result.push_back(Block::paragraph(paragraph.toString()));
        pending.clear();
    };
    for (QString line : TextCharacters::lines(text)) {
        if (auto gesture = leadingGesture(line)) {
            flush();
            result.push_back(Block::gesture(gesture->cue));
            if (gesture->rest.isEmpty())
                continue;
            line = gesture->rest;
        }
        if (style != Style::script) {
            if (auto cue = cueLine(line)) {
                flush();
                result.push_back(Block::cueBlock(std::move(*cue)));
                continue;
            }
        }
        if (style == Style::cues) {
            flush();
            const QStringView unit = TextCharacters::trimSpacesAndTabs(line);
            if (!unit.isEmpty())
                result.push_back(Block::paragraph(unit.toString()));
            continue;
        }
        pending.append(line);
    }
    flush();
    return result;
}

bool isGestureName(QStringView name)
{
    const QString upper = name.toString().toUpper();
    if (std::find(gestureCues.begin(), gestureCues.end(), upper) != gestureCues.end())
        return true;
    if (name.isEmpty() || upper == u"ORB" || upper == u"/ORB")
        return false;
    const auto characters = TextCharacters::split(name);
    if (characters.size() > size_t(gestureNameLimit))
        return false;
    const bool hasWordCharacter = std::any_of(characters.begin(), characters.end(), [](QStringView c) {
        return TextCharacters::isLetter(c) || TextCharacters::isNumber(c);
    });
    if (!hasWordCharacter)
        return false;
    return std::all_of(characters.begin(), characters.end(), [](QStringView c) {
        return TextCharacters::isUpperLetter(c) || TextCharacters::isNumber(c) || c == u" " || c == u"-";
    });
}

std::optional<LeadingGesture> leadingGesture(QStringView line)
{
    const QStringView trimmed = TextCharacters::trimSpacesAndTabs(line);
    if (!trimmed.startsWith(u'['))
        return std::nullopt;
    const qsizetype close = trimmed.indexOf(u']');
    if (close < 0)
        return std::nullopt;
    const QStringView name = TextCharacters::trimSpacesAndTabs(trimmed.mid(1, close - 1));
    if (!isGestureName(name))
        return std::nullopt;
    return LeadingGesture{name.toString().toUpper(),
                          TextCharacters::trimSpacesAndTabs(trimmed.mid(close + 1)).toString()};
}

std::optional<CueLine> cueLine(QStringView line)
{
    const QStringView trimmed = TextCharacters::trimSpacesAndTabs(line);
    const auto characters = TextCharacters::split(trimmed);
    for (QStringView keyword : cueKeywords) {
        const size_t length = size_t(keyword.size()); // keywords are plain ASCII
        if (characters.size() <= length)
            continue;
        const QStringView& after = characters[length];
        const QStringView head = trimmed.first(after.data() - trimmed.data());
        if (head.toString().toUpper() != keyword || !TextCharacters::isWhiteSpace(after))
            continue;
        const QStringView rest = TextCharacters::trimSpacesAndTabs(trimmed.mid(head.size()));
        if (rest.isEmpty())
            continue;
        return CueLine{keyword.toString(), rest.toString()};
    }
    return std::nullopt;
}

QStringList contextualWords(const QString& text)
{
    QStringList result;
    QSet<QString> seen;
    for (QStringView word : TextCharacters::words(text)) {
        if (result.size() >= contextualWordLimit)
            break;
        if (word.contains(u'[') || word.contains(u']'))
            continue;
        QString cleaned;
        qsizetype length = 0;
        bool allUpper = true;
        for (QStringView c : TextCharacters::split(word)) {
            const bool letter = TextCharacters::isLetter(c);
            if (!letter && !TextCharacters::isNumber(c) && c != u"'" && c != u"\u2019")
                continue;
            cleaned += c;
            ++length;
            allUpper = allUpper && letter && TextCharacters::isUpperLetter(c);
        }
        const bool qualifies = length > 5 || (length >= 2 && allUpper);
        if (!qualifies)
            continue;
        const QString key = cleaned.toLower();
        if (seen.contains(key))
            continue;
        seen.insert(key);
        result.append(cleaned);
    }
    return result;
}

} // namespace TeleprompterScript
