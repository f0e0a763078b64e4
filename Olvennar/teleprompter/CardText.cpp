#include "teleprompter/CardText.h"

#include "teleprompter/TextCharacters.h"

#include <QHash>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace {

// Halvings of the shrink range: the scale found fits and lies within 0.0004 of the largest that would.
constexpr int scaleSteps = 10;
// Rounding slack when a height is a whole number of lines.
constexpr double lineSlack = 1e-9;

struct Line {
    QString text;
    bool glued = false; // the next line goes on inside the same word
};

// The words of each source line; blank lines are dropped.
using Paragraphs = std::vector<std::vector<QStringView>>;

// Greedy lines at spaces within `width`. A word wider than the width is broken between its characters when
// `breakWords`; otherwise the wrap fails.
std::optional<std::vector<Line>> wrap(const Paragraphs& paragraphs, double width, bool breakWords, const CardText::Advance& advance)
{
    std::vector<Line> lines;
    for (const auto& words : paragraphs) {
        QString current;
        for (QStringView word : words) {
            const QString longer = current.isEmpty() ? word.toString() : current + u' ' + word.toString();
            if (advance(longer) <= width) {
                current = longer;
                continue;
            }
            if (!current.isEmpty())
                lines.push_back({current});
            current = word.toString();
            if (advance(current) <= width)
                continue;
            if (!breakWords)
                return std::nullopt;
            current.clear();
            for (QStringView character : TextCharacters::split(word)) {
                const QString piece = current + character.toString();
                // A line holds at least one character, however narrow the card.
                if (current.isEmpty() || advance(piece) <= width) {
                    current = piece;
                } else {
                    lines.push_back({current, true});
                    current = character.toString();
                }
            }
        }
        if (!current.isEmpty())
            lines.push_back({current});
    }
    return lines;
}

int allowedLines(const CardText::Room& room, double scale)
{
    const int most = std::max(room.maxLines, 1);
    if (!(room.lineHeight > 0) || !std::isfinite(room.height))
        return most;
    const double fitting = std::floor(room.height / (room.lineHeight * scale) + lineSlack);
    return fitting >= most ? most : std::max(1, static_cast<int>(fitting));
}

// The longest start of `rest` that fits `width` with an ellipsis after it.
QString elided(QStringView rest, double width, const CardText::Advance& advance)
{
    const QString ellipsis = QStringLiteral("…");
    const std::vector<QStringView> characters = TextCharacters::split(rest);
    const auto withEllipsis = [&](size_t count) {
        const QStringView start = count == 0 ? rest.first(0) : rest.first(characters[count - 1].data() + characters[count - 1].size() - rest.data());
        return start.trimmed().toString() + ellipsis;
    };
    size_t low = 0, high = characters.size();
    while (low < high) {
        const size_t middle = (low + high + 1) / 2;
        if (advance(withEllipsis(middle)) <= width)
            low = middle;
        else
            high = middle - 1;
    }
    return withEllipsis(low);
}

CardText fitted(const std::vector<Line>& lines, double scale)
{
    CardText text;
    for (const Line& line : lines)
        text.lines << line.text;
    text.scale = scale;
    return text;
}

} // namespace

CardText CardText::fit(const QString& text, const Room& room, const Advance& measure)
{
    // The wraps at the scales tried measure the same lines again and again; each is measured once.
    QHash<QString, double> widths;
    const Advance advance = [&](QStringView line) {
        const QString key = line.toString();
        const auto found = widths.constFind(key);
        return found != widths.constEnd() ? *found : *widths.insert(key, measure(line));
    };

    const QStringList sourceLines = TextCharacters::lines(text);
    Paragraphs paragraphs;
    for (const QString& line : sourceLines) {
        std::vector<QStringView> words = TextCharacters::words(line);
        if (!words.empty())
            paragraphs.push_back(std::move(words));
    }
    if (paragraphs.empty())
        return {};
    if (!(room.width > 0)) {
        // No room to measure against: each source line as it stands.
        CardText whole;
        for (const auto& words : paragraphs) {
            QStringList line;
            for (QStringView word : words)
                line << word.toString();
            whole.lines << line.join(u' ');
        }
        return whole;
    }

    const auto fitsAt = [&](double scale) -> std::optional<std::vector<Line>> {
        auto lines = wrap(paragraphs, room.width / scale, false, advance);
        if (lines && static_cast<int>(lines->size()) <= allowedLines(room, scale))
            return lines;
        return std::nullopt;
    };
    if (auto lines = fitsAt(1))
        return fitted(*lines, 1);
    if (auto lines = fitsAt(smallestScale)) {
        // Fitting only gets easier as the text shrinks: the largest scale that fits lies between the two.
        double low = smallestScale, high = 1;
        std::vector<Line> best = std::move(*lines);
        for (int step = 0; step < scaleSteps; ++step) {
            const double middle = (low + high) / 2;
            if (auto shrunk = fitsAt(middle)) {
                low = middle;
                best = std::move(*shrunk);
            } else {
                high = middle;
            }
        }
        return fitted(best, low);
    }

    const double width = room.width / smallestScale;
    std::vector<Line> lines = *wrap(paragraphs, width, true, advance);
    const size_t allowed = static_cast<size_t>(allowedLines(room, smallestScale));
    if (lines.size() <= allowed)
        return fitted(lines, smallestScale);
    // The last line takes the rest of the text, cut short before an ellipsis.
    QString rest;
    for (size_t i = allowed - 1; i < lines.size(); ++i) {
        rest += lines[i].text;
        if (i + 1 < lines.size() && !lines[i].glued)
            rest += u' ';
    }
    lines.resize(allowed);
    lines.back().text = elided(rest, width, advance);
    CardText result = fitted(lines, smallestScale);
    result.cut = true;
    return result;
}
