#include "teleprompter/PrompterLayout.h"

#include "teleprompter/CardLettering.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double lineFactor = 1.42;
constexpr double gapFactor = 0.8;
constexpr double gestureRowFactor = 0.62;
constexpr double glyphWidthFactor = 0.55;
constexpr double cardLabelRow = 14;
constexpr int minimumLineCharacters = 14;
constexpr int unsizedLineCharacters = 40;
constexpr int maximumLineCharacters = 100000;

// Characters per line for a width and font size; NaN and absurd sizes fall back to the bounds.
int charactersPerLine(double width, double fontSize)
{
    if (!(fontSize > 0))
        return unsizedLineCharacters;
    const double characters = std::floor(width / (glyphWidthFactor * fontSize));
    if (!(characters >= minimumLineCharacters))
        return minimumLineCharacters;
    return int(std::min<double>(characters, maximumLineCharacters));
}

} // namespace

PrompterLayout PrompterLayout::build(const std::vector<FollowBox>& boxes, double fontSize, double columnWidth)
{
    PrompterLayout layout;
    layout.fontSize = fontSize;
    layout.lineHeight = lineFactor * fontSize;
    const int spokenCharacters = charactersPerLine(columnWidth, fontSize);
    const double gap = gapFactor * fontSize;
    double y = 0;
    layout.boxes.reserve(boxes.size());
    for (size_t i = 0; i < boxes.size(); ++i) {
        const FollowBox& card = boxes[i];
        BoxLayout box;
        box.index = int(i);
        box.y = y;
        if (card.kind.isSpoken()) {
            const std::set<int> starts = card.lineStarts(spokenCharacters);
            int lower = 0;
            for (int start : starts) {
                box.lines.push_back({lower, start});
                lower = start;
            }
            box.lines.push_back({lower, int(card.words.size())});
            box.head = card.gesture ? gestureRowFactor * fontSize : 0;
            box.height = gap + box.head + layout.lineHeight * double(box.lines.size());
        } else {
            // The card holds its text as the page will fit it: within its lines, shrunk if need be.
            const CardLettering lettering = CardLettering::of(card.kind.tag(), fontSize);
            box.cardText = lettering.fit(card.text, columnWidth);
            box.cardHeight = lettering.cardHeight(box.cardText);
            box.height = gap + box.cardHeight;
            box.head = cardLabelRow;
        }
        y += box.height;
        layout.boxes.push_back(std::move(box));
    }
    layout.totalHeight = y;
    return layout;
}

double PrompterLayout::readY(int focus, int wordsRead) const
{
    if (focus < 0 || focus >= int(boxes.size()))
        return 0;
    const BoxLayout& box = boxes[size_t(focus)];
    if (box.lines.empty())
        return box.y + lineHeight / 2;
    const int lastWord = std::max(box.lines.back().upper - 1, 0);
    const int k = std::clamp(wordsRead, 0, lastWord);
    size_t line = 0;
    for (size_t i = 0; i < box.lines.size(); ++i) {
        if (box.lines[i].contains(k)) {
            line = i;
            break;
        }
    }
    return box.y + box.head + lineHeight * double(line) + lineHeight / 2;
}
