#pragma once

#include "teleprompter/FollowBox.h"
#include "teleprompter/PrompterLayout.h"

#include <QImage>
#include <QSizeF>
#include <QString>

#include <map>

class QPainter;
class TeleprompterModel;

// The follow page: the script's cards in one column that slides up under a fixed reading line near the
// panel's top, with the focused card's read words dimmed. Each card is drawn once per look with its halo
// (three blurred passes of its own shape), in pieces of about a page's height, and a piece is kept while its
// look holds and it stays near the page; a frame blits the pieces, so a heard word re-draws the focused
// card's pieces on the page, and a card of any length or size holds only the pieces near the page. Main
// thread only.
class FollowPage {
public:
    struct Metrics {
        double columnWidth = 0; // max(W − 60, 200)
        double lineHeight = 0;  // 1.42 × f
        double lineY = 0;       // the reading line's centre from the page top: 0.71 × f + 16
        double bandTop = 0;     // always 11
        double viewHeight = 0;  // max(H − 46, 60)
        static Metrics of(QSizeF page, double fontSize);
    };
    enum class Relation { before, focused, after };

    static double cardOpacity(FollowBox::Kind::Tag kind, Relation relation, double bgOpacity);
    // The band is filled only while the focus is a valid spoken card.
    static bool bandFilled(const TeleprompterModel& model);
    static bool showsEndLabel(const TeleprompterModel& model);
    static QString emptyText();

    // The column's shift that puts the line being read on the reading line: lineY − readY.
    double targetShift(QSizeF page, const TeleprompterModel& model);
    // Paints the page; `shift` is the column's current (animated) shift.
    void paint(QPainter& painter, QSizeF page, const TeleprompterModel& model, double shift);
    // Card pieces drawn into their images since the start (tests and benchmarks).
    int cardRenders() const { return renders_; }
    // The most bytes one card picture has asked for since the start, and what the pieces kept now hold.
    qint64 largestCardPicture() const { return largestPicture_; }
    qint64 keptBytes() const;

private:
    // A card's look. Its words and place are not in it: the page forgets its cards when the cards change
    // (layout()), and their place follows the size and width that are; so a frame compares a few numbers
    // per card, not a long card's words.
    struct CardKey {
        Relation relation = Relation::after;
        int wordsRead = 0;
        double fontSize = 0;
        double columnWidth = 0;
        double bgOpacity = 0;
        QString theme;
        friend bool operator==(const CardKey&, const CardKey&) = default;
    };
    struct Card {
        CardKey key;
        int pieceRows = 0;
        std::map<qint64, QImage> pieces; // by their order from the card's top, each with its halo margin
    };
    const PrompterLayout& layout(const TeleprompterModel& model, double columnWidth);
    const QImage& piece(const FollowBox& card, const BoxLayout& box, const CardKey& key, int pieceRows, qint64 index);
    // The rows [firstRow, endRow) of the card's picture, which has a halo margin all round.
    QImage drawPiece(const FollowBox& card, const BoxLayout& box, const CardKey& key, double firstRow, double endRow);

    PrompterLayout layout_;
    std::vector<FollowBox> layoutBoxes_;
    double layoutFont_ = -1;
    double layoutWidth_ = -1;
    std::map<int, Card> cards_;
    QImage layer_; // the column before its fade, reused frame to frame
    int renders_ = 0;
    qint64 largestPicture_ = 0;
};
