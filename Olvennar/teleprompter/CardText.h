#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <limits>

// The text of an action or orb card fitted into its room: wrapped at spaces, and shrunk as far as
// smallestScale until it keeps within its lines and height. What still does not fit at that scale has a word
// wider than a line broken inside it, and its last line cut short with an ellipsis.
struct CardText {
    static constexpr double smallestScale = 0.6;

    // The room at full size; `advance` measures a line at full size.
    struct Room {
        double width = 0;
        int maxLines = 1;
        double lineHeight = 0;
        double height = std::numeric_limits<double>::infinity();
    };
    using Advance = std::function<double(QStringView)>;

    QStringList lines;
    double scale = 1;
    bool cut = false; // the last line ends with an ellipsis

    // The lines' height as drawn.
    double height(double lineHeight) const { return double(lines.size()) * lineHeight * scale; }

    static CardText fit(const QString& text, const Room& room, const Advance& advance);
    friend bool operator==(const CardText&, const CardText&) = default;
};
