#include "views/teleprompter/AutoPageColumn.h"

#include "teleprompter/PrompterFont.h"
#include "teleprompter/TeleprompterPalette.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace {

constexpr double glyphWidthFactor = 0.55;
constexpr int minimumLine = 14;
constexpr int unsizedLine = 40;
constexpr double blockGap = 8;

// A block of wrapped text: one layout per source line, with extra spacing between lines. A word wider than
// the block is broken inside it rather than left to run off both edges.
struct TextBlock {
    std::vector<std::unique_ptr<QTextLayout>> lines;
    double height = 0;
    QColor colour;

    TextBlock(const QString& text, const QFont& font, double width, double spacing, Qt::Alignment alignment, QColor ink)
        : colour(ink)
    {
        QTextOption option(alignment);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        double y = 0;
        bool first = true;
        for (const QString& source : text.split(QLatin1Char('\n'))) {
            auto layout = std::make_unique<QTextLayout>(source, font);
            layout->setTextOption(option);
            layout->beginLayout();
            for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
                line.setLineWidth(width);
                if (!first)
                    y += spacing;
                first = false;
                line.setPosition(QPointF(0, y));
                y += line.height();
            }
            layout->endLayout();
            lines.push_back(std::move(layout));
        }
        height = y;
    }

    // The first line's baseline below the block's top; 0 for a block without lines.
    double firstBaseline() const
    {
        for (const auto& layout : lines)
            if (layout->lineCount() > 0)
                return layout->lineAt(0).y() + layout->lineAt(0).ascent();
        return 0;
    }

    // The widest laid-out line.
    double naturalWidth() const
    {
        double widest = 0;
        for (const auto& layout : lines)
            for (int i = 0; i < layout->lineCount(); ++i)
                widest = std::max(widest, layout->lineAt(i).naturalTextWidth());
        return widest;
    }

    void paint(QPainter& painter, QPointF at) const
    {
        painter.setPen(colour);
        for (const auto& layout : lines)
            layout->draw(&painter, at);
    }
};

} // namespace

struct AutoPageColumn::Item {
    using Kind = BlockKind;
    Kind kind = Kind::paragraph;
    double y = 0;
    double height = 0;
    double width = 0;
    std::unique_ptr<TextBlock> body;
    std::unique_ptr<TextBlock> label; // orb heading, cue keyword, gesture name
    double labelWidth = 0;
    bool spokenCue = false;
    bool leading = false;
    // How far the label and the body sit below the item's top (a cue's smaller keyword drops to the text's baseline).
    double labelTop = 0;
    double bodyTop = 0;
};

AutoPageColumn::AutoPageColumn() = default;
AutoPageColumn::~AutoPageColumn() = default;

int AutoPageColumn::lineLength(double pageWidth, double fontSize)
{
    if (!(fontSize > 0))
        return unsizedLine;
    const double characters = std::floor((pageWidth - 2 * sideInset) / (glyphWidthFactor * fontSize));
    if (!(characters >= minimumLine))
        return minimumLine;
    return static_cast<int>(std::min(characters, 100000.0));
}

std::vector<AutoPageColumn::Placed> AutoPageColumn::placed() const
{
    std::vector<Placed> result;
    for (const auto& item : items_)
        result.push_back({item->kind, item->y, item->height, item->labelWidth, item->spokenCue});
    return result;
}

bool AutoPageColumn::update(const Key& key)
{
    if (laidOut_ && key == key_)
        return false;
    key_ = key;
    layOut();
    return true;
}

void AutoPageColumn::layOut()
{
    laidOut_ = true;
    items_.clear();
    tiles_.clear();
    tileUse_.clear();
    height_ = 0;
    if (key_.text.isEmpty())
        return;
    const double f = key_.fontSize;
    const double width = std::max(1.0, key_.pageWidth - 2 * sideInset);
    const bool leading = key_.style == TeleprompterScript::Style::cues;
    const Qt::Alignment textAlignment = leading ? Qt::AlignLeft : Qt::AlignHCenter;
    const int n = lineLength(key_.pageWidth, f);
    const QColor white(Qt::white);
    QColor dimWhite(Qt::white);
    dimWhite.setAlphaF(0.42f);
    const double smallSize = std::max(0.38 * f, 10.0);
    double y = 0;
    bool firstSegment = true;
    auto place = [&](std::unique_ptr<Item> item, double gap) {
        if (!items_.empty())
            y += gap;
        item->y = y;
        y += item->height;
        items_.push_back(std::move(item));
    };
    for (const TeleprompterScript::Segment& segment : TeleprompterScript::segments(key_.text)) {
        const double segmentGap = firstSegment ? 0 : 0.7 * f;
        firstSegment = false;
        if (segment.isOrb) {
            auto item = std::make_unique<Item>();
            item->kind = Item::Kind::orb;
            QColor heading = TeleprompterPalette::orbGreen();
            heading.setAlphaF(0.9f);
            item->label = std::make_unique<TextBlock>(QStringLiteral("DON'T SAY THIS — PAUSE, THE ORB SPEAKS"),
                prompterFont(std::max(0.36 * f, 10.0), QFont::Bold, 0.8), width - 36 - 15, 0, Qt::AlignLeft, heading);
            item->body = std::make_unique<TextBlock>(segment.text, prompterFont(0.74 * f, QFont::DemiBold), width - 36, 5, Qt::AlignHCenter,
                TeleprompterPalette::orbGreen());
            item->height = 12 + item->label->height + 8 + item->body->height + 12;
            item->width = width;
            place(std::move(item), segmentGap);
            continue;
        }
        bool firstBlock = true;
        for (const TeleprompterScript::Block& block : TeleprompterScript::blocks(segment.text, key_.style)) {
            const double gap = firstBlock ? segmentGap : blockGap;
            firstBlock = false;
            auto item = std::make_unique<Item>();
            item->leading = leading;
            item->width = width;
            switch (block.kind) {
            case TeleprompterScript::Block::Kind::paragraph:
                item->kind = Item::Kind::paragraph;
                item->body = std::make_unique<TextBlock>(TeleprompterScript::phraseLayout(block.text, n), prompterFont(f, QFont::Medium), width, 8,
                    textAlignment, white);
                item->height = item->body->height;
                break;
            case TeleprompterScript::Block::Kind::cue: {
                item->kind = Item::Kind::cue;
                item->spokenCue = block.cue.keyword == u"SAY";
                QColor keyColour = item->spokenCue ? TeleprompterPalette::cueGold() : dimWhite;
                if (item->spokenCue)
                    keyColour.setAlphaF(0.9f);
                item->labelWidth = std::max(2.3 * f, 56.0);
                item->label = std::make_unique<TextBlock>(block.cue.keyword, prompterFont(smallSize, QFont::Bold, 1.2), item->labelWidth, 0,
                    Qt::AlignLeft, keyColour);
                item->body = std::make_unique<TextBlock>(block.cue.text, prompterFont(f, item->spokenCue ? QFont::DemiBold : QFont::Medium),
                    std::max(1.0, width - item->labelWidth - 14), 6, Qt::AlignLeft, white);
                // The row is aligned on the first text baseline.
                const double baseline = std::max(item->label->firstBaseline(), item->body->firstBaseline());
                item->labelTop = baseline - item->label->firstBaseline();
                item->bodyTop = baseline - item->body->firstBaseline();
                item->height = std::max(item->labelTop + item->label->height, item->bodyTop + item->body->height);
                break;
            }
            case TeleprompterScript::Block::Kind::gesture:
                item->kind = Item::Kind::gesture;
                item->label = std::make_unique<TextBlock>(QStringLiteral("☝ ") + block.text, prompterFont(smallSize, QFont::Bold, 1.4), width, 0,
                    textAlignment, dimWhite);
                item->height = item->label->height;
                break;
            }
            place(std::move(item), gap);
        }
    }
    height_ = std::ceil(y);
}

const QImage& AutoPageColumn::tile(int index)
{
    auto found = tiles_.find(index);
    if (found == tiles_.end()) {
        if (static_cast<int>(tileUse_.size()) >= keptTiles) {
            tiles_.erase(tileUse_.front());
            tileUse_.erase(tileUse_.begin());
        }
        QImage image(std::max(1, key_.pageWidth), tileHeight, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        const double tileTop = static_cast<double>(index) * tileHeight;
        painter.translate(sideInset, -tileTop);
        for (const auto& item : items_) {
            if (item->y + item->height < tileTop - 4 || item->y > tileTop + tileHeight + 4)
                continue;
            const QPointF at(0, item->y);
            switch (item->kind) {
            case Item::Kind::paragraph:
                item->body->paint(painter, at);
                break;
            case Item::Kind::orb: {
                const QRectF box(0, item->y, item->width, item->height);
                QPainterPath path;
                path.addRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
                QColor fill = TeleprompterPalette::orbGreen();
                fill.setAlphaF(0.12f);
                painter.fillPath(path, fill);
                QColor stroke = TeleprompterPalette::orbGreen();
                stroke.setAlphaF(0.45f);
                QPen pen(stroke, 1, Qt::CustomDashLine, Qt::FlatCap, Qt::MiterJoin);
                pen.setDashPattern({5, 4});
                painter.strokePath(path, pen);
                const double headingTop = item->y + 12;
                // The green dot leads the centred heading.
                const double headingWidth = item->label->naturalWidth();
                const double headingLeft = (item->width - headingWidth - 15) / 2;
                painter.setPen(Qt::NoPen);
                painter.setBrush(TeleprompterPalette::orbGreen());
                painter.drawEllipse(QPointF(headingLeft + 4, headingTop + item->label->height / 2), 4, 4);
                item->label->paint(painter, QPointF(headingLeft + 15, headingTop));
                item->body->paint(painter, QPointF(18, headingTop + item->label->height + 8));
                break;
            }
            case Item::Kind::cue:
                item->label->paint(painter, at + QPointF(0, item->labelTop));
                item->body->paint(painter, at + QPointF(item->labelWidth + 14, item->bodyTop));
                break;
            case Item::Kind::gesture:
                item->label->paint(painter, at);
                break;
            }
        }
        painter.end();
        found = tiles_.emplace(index, std::move(image)).first;
        tileUse_.push_back(index);
    }
    return found->second;
}

void AutoPageColumn::paint(QPainter& painter, double top, const QRect& clip)
{
    if (items_.empty())
        return;
    const double firstVisible = std::max(0.0, clip.top() - top);
    const double lastVisible = std::min(height_, clip.top() + clip.height() - top);
    if (lastVisible <= firstVisible)
        return;
    const int first = static_cast<int>(std::floor(firstVisible / tileHeight));
    const int last = static_cast<int>(std::floor((lastVisible - 1) / tileHeight));
    for (int index = first; index <= last; ++index)
        painter.drawImage(QPointF(0, std::round(top) + static_cast<double>(index) * tileHeight), tile(index));
}
