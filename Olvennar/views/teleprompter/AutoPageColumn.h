#pragma once

#include "teleprompter/TeleprompterScript.h"

#include <QImage>
#include <QString>

#include <map>
#include <memory>
#include <vector>

class QPainter;
class QTextLayout;

// The auto page's script column: orb blocks, paragraphs broken at phrase boundaries, cue rows and gesture
// tags, laid out once per text, style, font size and page width. Painting blits pixel tiles of the column
// that are rendered on first use and kept, so a scroll tick costs a blit of the visible strip.
class AutoPageColumn {
public:
    static constexpr int tileHeight = 512;
    static constexpr int keptTiles = 6;
    static constexpr double sideInset = 28;

    struct Key {
        QString text;
        TeleprompterScript::Style style = TeleprompterScript::Style::script;
        double fontSize = 0;
        int pageWidth = 0;
        friend bool operator==(const Key&, const Key&) = default;
    };

    AutoPageColumn();
    ~AutoPageColumn();
    AutoPageColumn(const AutoPageColumn&) = delete;
    AutoPageColumn& operator=(const AutoPageColumn&) = delete;

    // Lays the column out again only when the key changed; true when it did.
    bool update(const Key& key);
    const Key& key() const { return key_; }
    double height() const { return height_; }
    // Draws the column with its top at `top` (page coordinates) into the page `clip`.
    void paint(QPainter& painter, double top, const QRect& clip);
    // Characters per paragraph line: 40 without a size, else ⌊(width − 56) ÷ (0.55 × f)⌋, at least 14.
    static int lineLength(double pageWidth, double fontSize);

    // Where each block of the column sits, top to bottom (column coordinates, y down).
    enum class BlockKind { paragraph, orb, cue, gesture };
    struct Placed {
        BlockKind kind = BlockKind::paragraph;
        double y = 0;
        double height = 0;
        double labelWidth = 0; // a cue's keyword column
        bool spokenCue = false;
    };
    std::vector<Placed> placed() const;

    struct Item;

private:
    void layOut();
    const QImage& tile(int index);

    Key key_;
    bool laidOut_ = false;
    std::vector<std::unique_ptr<Item>> items_;
    double height_ = 0;
    std::map<int, QImage> tiles_;
    std::vector<int> tileUse_;
};
