#pragma once

#include "teleprompter/CardText.h"
#include "teleprompter/FollowBox.h"

#include <QFont>

#include <limits>

// The lettering of an action or orb card at a font size: its label or heading, the gap under it and its
// text with the lines the text may take. The column's layout sizes a card with it and the page draws the card
// with it, so both fit the text alike.
struct CardLettering {
    static constexpr double sideInset = 18;
    static constexpr double verticalPadding = 14;

    QFont head;
    double gap = 0;
    QFont text;
    int maxLines = 1;

    static CardLettering of(FollowBox::Kind::Tag kind, double fontSize);
    // A card is 20 points wider than the column.
    static double cardWidth(double columnWidth) { return columnWidth + 20; }
    static double textWidth(double columnWidth) { return cardWidth(columnWidth) - 2 * sideInset; }

    double headHeight() const;
    double lineHeight() const;
    // The text fitted to a card; `cardHeight` bounds it once the card has its size.
    CardText fit(const QString& cardText, double columnWidth, double cardHeight = std::numeric_limits<double>::infinity()) const;
    // The card's height around its fitted text.
    double cardHeight(const CardText& fitted) const;
};
