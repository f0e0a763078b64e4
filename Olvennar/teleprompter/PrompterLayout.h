#pragma once

#include "teleprompter/CardText.h"

#include "teleprompter/FollowBox.h"

#include <vector>

// Where one card lies in the follow-mode column (points, y down from the column's top).
struct BoxLayout {
    // Half-open range of word indexes shown on one line.
    struct WordRange {
        int lower = 0;
        int upper = 0;
        bool contains(int k) const { return k >= lower && k < upper; }
        friend bool operator==(const WordRange&, const WordRange&) = default;
    };

    int index = 0;
    double y = 0;
    double height = 0; // the card's slot, including the gap after it
    std::vector<WordRange> lines; // spoken cards only
    double head = 0;       // gesture row of a spoken card; the label row of other cards
    double cardHeight = 0; // drawn height of an action or orb card; 0 for spoken cards
    CardText cardText;     // an action or orb card's text as fitted to the card, which the page draws
    friend bool operator==(const BoxLayout&, const BoxLayout&) = default;
};

// The follow-mode column for a font size and column width. Rebuilt only when the cards or sizes change;
// readY runs on every redraw.
struct PrompterLayout {
    std::vector<BoxLayout> boxes;
    double totalHeight = 0;
    double fontSize = 0;
    double lineHeight = 0;

    static PrompterLayout build(const std::vector<FollowBox>& boxes, double fontSize, double columnWidth);
    // The reading line: the middle of the line holding the next word to read in the focused card.
    double readY(int focus, int wordsRead) const;
};
