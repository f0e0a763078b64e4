#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <QTextLayout>

class QFont;
class QPainter;
class QRectF;

// One line of a spoken card, laid out as one string: words joined by single spaces, so the spacing and the
// order of right-to-left words come from the text's own directions; the words already read are dimmed.
// The line stays on one line and within its width: it shrinks to 0.8 of its size, and past that a line of
// several words is cut short with an ellipsis while a single word shrinks on, so no word is lost to the edge.
class FollowLine {
public:
    static constexpr double smallestScale = 0.8;

    struct Fit {
        double scale = 1;
        bool cut = false;
        friend bool operator==(const Fit&, const Fit&) = default;
    };
    // How a line whose full-size width is `naturalWidth` fits `width`.
    static Fit fit(double naturalWidth, double width, bool singleWord);

    // The first `dimmedWords` of `words` are drawn in `dimmedInk`, the rest in `ink`. `direction` is the
    // card's: a line of an English card that begins with a Hebrew word still reads left to right.
    FollowLine(const QStringList& words, int dimmedWords, const QFont& font, double width, const QColor& ink, const QColor& dimmedInk,
        Qt::LayoutDirection direction = Qt::LeftToRight);
    FollowLine(const FollowLine&) = delete;
    FollowLine& operator=(const FollowLine&) = delete;

    // The text as drawn: the words, or the start of them and an ellipsis when cut.
    QString text() const { return layout_.text(); }
    double scale() const { return scale_; }
    // The drawn width, at most the line's width.
    double width() const;
    // Draws the line at the frame's left edge, centred in its height.
    void paint(QPainter& painter, const QRectF& frame) const;

private:
    void layOut(const QString& text, int dimmedLength);
    double naturalWidth() const;

    QTextLayout layout_;
    QColor ink_;
    QColor dimmedInk_;
    double scale_ = 1;
};
