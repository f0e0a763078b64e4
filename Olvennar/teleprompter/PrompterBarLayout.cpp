#include "teleprompter/PrompterBarLayout.h"

#include <algorithm>

namespace PrompterBarLayout {

namespace {

int capsuleWidth(const std::vector<int>& widths, int spacing, int padding)
{
    int total = 2 * padding;
    for (int width : widths)
        total += width;
    if (!widths.empty())
        total += spacing * (static_cast<int>(widths.size()) - 1);
    return total;
}

// Takes up to `excess` points from the items of one kind, each in proportion to how far it may still narrow,
// so two sliders stay alike. Returns what it took.
int narrow(std::vector<int>& widths, const std::vector<Item>& items, bool elides, int excess)
{
    int slack = 0;
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].elides == elides)
            slack += std::max(widths[i] - items[i].minimum, 0);
    const int wanted = std::min(excess, slack);
    if (wanted <= 0)
        return 0;
    int taken = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i].elides != elides)
            continue;
        const int share = std::max(widths[i] - items[i].minimum, 0) * wanted / slack;
        widths[i] -= share;
        taken += share;
    }
    // What the rounding down left over, a point at a time.
    for (size_t i = 0; i < items.size() && taken < wanted; ++i)
        if (items[i].elides == elides && widths[i] > items[i].minimum) {
            --widths[i];
            ++taken;
        }
    return taken;
}

int ceilDivide(int value, int divisor) { return (value + divisor - 1) / divisor; }

} // namespace

Fit fit(const std::vector<Item>& items, const Style& style, int available)
{
    Fit result;
    result.spacing = style.spacing;
    result.padding = style.padding;
    for (const Item& item : items)
        result.widths.push_back(item.width);
    const int gaps = std::max(static_cast<int>(items.size()) - 1, 0);

    int excess = capsuleWidth(result.widths, result.spacing, result.padding) - available;
    if (excess > 0 && gaps > 0) {
        const int cut = std::min(ceilDivide(excess, gaps), std::max(style.spacing - style.minimumSpacing, 0));
        result.spacing -= cut;
        excess -= cut * gaps;
    }
    if (excess > 0)
        excess -= narrow(result.widths, items, false, excess);
    if (excess > 0) {
        const int cut = std::min(ceilDivide(excess, 2), std::max(style.padding - style.minimumPadding, 0));
        result.padding -= cut;
        excess -= 2 * cut;
    }
    if (excess > 0)
        narrow(result.widths, items, true, excess);

    result.width = capsuleWidth(result.widths, result.spacing, result.padding);
    return result;
}

} // namespace PrompterBarLayout
