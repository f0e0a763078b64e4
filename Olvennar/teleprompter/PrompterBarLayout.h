#pragma once

#include <vector>

// How a control bar's row fits across the page it floats on, in whole points. A row that fits keeps its own
// gaps, padding and widths. A longer one gives way in this order, each only down to its floor: the gaps, the
// controls that can narrow (sliders), the padding, and last the texts that can shorten with an ellipsis, so
// every control stays whole on a page of the panel's least width.
namespace PrompterBarLayout {

struct Item {
    int width = 0;       // at ease
    int minimum = 0;     // the narrowest it may be drawn; the width itself for a control that never narrows
    bool elides = false; // a text that shortens with an ellipsis: it gives way after the padding
};

struct Style {
    int spacing = 12;
    int minimumSpacing = 6;
    int padding = 14; // left and right of the row, inside the capsule
    int minimumPadding = 8;
};

struct Fit {
    std::vector<int> widths;
    int spacing = 0;
    int padding = 0;
    int width = 0; // the capsule: both paddings, every item and the gaps between them
};

// The row fitted into a capsule at most `available` wide. When even every floor is wider, the row is drawn
// at its floors and the result is wider than `available`.
Fit fit(const std::vector<Item>& items, const Style& style, int available);

} // namespace PrompterBarLayout
