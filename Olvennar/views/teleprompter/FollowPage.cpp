#include "views/teleprompter/FollowPage.h"

#include "views/teleprompter/FollowLine.h"
#include "views/teleprompter/ShadowBlur.h"

#include "platform/image/PictureSize.h"
#include "platform/system/Edition.h"
#include "teleprompter/CardLettering.h"
#include "teleprompter/TeleprompterModel.h"
#include "teleprompter/PrompterFont.h"
#include "teleprompter/TeleprompterPalette.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

namespace {

constexpr double columnInset = 18;
// As far as the widest blur reaches (its kernel's half width), so a halo is whole within the margin.
constexpr double haloMargin = 24;
constexpr int keptAround = 4;
// A card is cut into pieces of the page's height, but none shorter than 128 rows, where the halo's overlap
// would cost more than the piece, nor taller than 512, so a tall page's blur works in small buffers.
constexpr int smallestPieceRows = 128;
constexpr int largestPieceRows = 512;

// Rows of a card's picture: the card with a halo margin all round.
double pictureRows(const FollowBox& card, const BoxLayout& box)
{
    return std::ceil((card.kind.isSpoken() ? box.height : box.cardHeight) + 2 * haloMargin);
}

// A shape's rectangle cut to the rows [top, bottom) with some room to spare, so a card's bar that is far
// taller than a piece is filled only where the piece shows it, its cut ends (and their rounding) outside.
QRectF nearRows(const QRectF& rect, double top, double bottom)
{
    constexpr double room = 8;
    return rect.intersected(QRectF(rect.left(), top - room, rect.width(), bottom - top + 2 * room));
}

QColor withAlpha(QColor colour, double opacity)
{
    colour.setAlphaF(static_cast<float>(std::clamp(colour.alphaF() * opacity, 0.0, 1.0)));
    return colour;
}

void roundedFill(QPainter& painter, const QRectF& rect, double radius, const QColor& colour)
{
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    painter.fillPath(path, colour);
}

// A card's label or heading on one line, centred in `area`, after a dot of `dot` points when one is given;
// shrunk as a whole when it is wider than the area, so it stays on a narrow card.
void paintHead(QPainter& painter, const QRectF& area, const QFont& font, const QColor& colour, const QString& text, double dot)
{
    const QFontMetricsF metrics(font);
    const double dotRoom = dot > 0 ? dot + 7 : 0;
    const double natural = dotRoom + metrics.horizontalAdvance(text);
    const double scale = FollowLine::fit(natural, area.width(), true).scale;
    painter.save();
    painter.translate(area.center().x(), area.top());
    painter.scale(scale, scale);
    const double left = -natural / 2;
    if (dot > 0) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawEllipse(QRectF(left, (metrics.height() - dot) / 2, dot, dot));
    }
    painter.setFont(font);
    painter.setPen(colour);
    painter.drawText(QPointF(left + dotRoom, metrics.ascent()), text);
    painter.restore();
}

// Three soft shadows of the content's own shape, under the content: a rim and two glows.
void paintHalo(QImage& result, const QImage& content, double t, bool dark)
{
    const int w = content.width(), h = content.height();
    cv::Mat alpha(h, w, CV_8UC1);
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(content.constScanLine(y));
        auto* out = alpha.ptr<uint8_t>(y);
        for (int x = 0; x < w; ++x)
            out[x] = static_cast<uint8_t>(qAlpha(row[x]));
    }
    const struct { double opacity, radius; } passes[] = {
        {0.35 + 0.65 * t, 1 + 2 * t}, {0.95 * t, 3 + 6 * t}, {0.8 * t, 6 + 10 * t}};
    cv::Mat halo(h, w, CV_32FC1, cv::Scalar(0));
    for (const auto& pass : passes) {
        if (pass.opacity <= 0)
            continue;
        cv::Mat blurred;
        cv::GaussianBlur(alpha, blurred, cv::Size(), shadowSigma(pass.radius), shadowSigma(pass.radius));
        cv::Mat scaled;
        blurred.convertTo(scaled, CV_32F, pass.opacity / 255.0);
        // Stacked shadows: each covers what is left uncovered by the ones before.
        halo = halo + scaled.mul(1 - halo);
    }
    const QColor colour = TeleprompterPalette::halo(dark);
    for (int y = 0; y < h; ++y) {
        auto* out = reinterpret_cast<QRgb*>(result.scanLine(y));
        const float* a = halo.ptr<float>(y);
        for (int x = 0; x < w; ++x) {
            const int alphaValue = std::clamp(static_cast<int>(std::lround(a[x] * 255)), 0, 255);
            out[x] = qPremultiply(qRgba(colour.red(), colour.green(), colour.blue(), alphaValue));
        }
    }
}

// The content over its halo. A halo whose buffers cannot be allocated is left out.
QImage withHalo(const QImage& content, double t, bool dark)
{
    QImage result = PictureSize::image(content.width(), content.height());
    if (content.isNull() || result.isNull())
        return content;
    try {
        paintHalo(result, content, t, dark);
    } catch (const std::exception&) {
        return content;
    }
    QPainter painter(&result);
    painter.drawImage(0, 0, content);
    return result;
}

} // namespace

FollowPage::Metrics FollowPage::Metrics::of(QSizeF page, double f)
{
    Metrics m;
    m.columnWidth = std::max(page.width() - 60, 200.0);
    m.lineHeight = TeleprompterModel::lineFactor * f;
    m.lineY = m.lineHeight / 2 + 16;
    m.bandTop = m.lineY - m.lineHeight / 2 - 5;
    m.viewHeight = std::max(page.height() - 46, 60.0);
    return m;
}

double FollowPage::cardOpacity(FollowBox::Kind::Tag kind, Relation relation, double bgOpacity)
{
    if (relation == Relation::focused)
        return 1;
    switch (kind) {
    case FollowBox::Kind::Tag::spoken: return relation == Relation::before ? 0.22 : 0.58 + 0.27 * (1 - bgOpacity);
    case FollowBox::Kind::Tag::action: return relation == Relation::before ? 0.3 : 0.8;
    case FollowBox::Kind::Tag::orb: return 0.7;
    }
    return 1;
}

bool FollowPage::bandFilled(const TeleprompterModel& model)
{
    const auto& boxes = model.follower().boxes();
    const int focus = model.follower().focus();
    return focus >= 0 && focus < static_cast<int>(boxes.size()) && boxes[static_cast<size_t>(focus)].kind.isSpoken();
}

bool FollowPage::showsEndLabel(const TeleprompterModel& model)
{
    const ScriptFollower& follower = model.follower();
    const int tokens = static_cast<int>(follower.tokens().size());
    return tokens > 0 && follower.cursor() >= tokens && follower.focus() == static_cast<int>(follower.boxes().size()) - 1;
}

QString FollowPage::emptyText()
{
    return QStringLiteral("No script yet. Paste one in the %1 window, or press Record on a video in Quillet.").arg(Edition::appName());
}

const PrompterLayout& FollowPage::layout(const TeleprompterModel& model, double columnWidth)
{
    const auto& boxes = model.follower().boxes();
    if (layoutFont_ != model.fontSize() || layoutWidth_ != columnWidth || layoutBoxes_ != boxes) {
        layout_ = PrompterLayout::build(boxes, model.fontSize(), columnWidth);
        if (layoutBoxes_ != boxes)
            cards_.clear();
        layoutBoxes_ = boxes;
        layoutFont_ = model.fontSize();
        layoutWidth_ = columnWidth;
    }
    return layout_;
}

double FollowPage::targetShift(QSizeF page, const TeleprompterModel& model)
{
    const Metrics m = Metrics::of(page, model.fontSize());
    const ScriptFollower& follower = model.follower();
    const int focus = follower.focus();
    return m.lineY - layout(model, m.columnWidth).readY(focus, follower.wordsRead(focus));
}

QImage FollowPage::drawPiece(const FollowBox& card, const BoxLayout& box, const CardKey& key, double firstRow, double endRow)
{
    const TeleprompterPalette& palette = TeleprompterPalette::forTheme(key.theme);
    const double f = key.fontSize;
    const double lh = TeleprompterModel::lineFactor * f;
    const double colW = key.columnWidth;
    const double bg = key.bgOpacity;
    // A piece's halo takes in the card's shape as far as the blur reaches past the piece: those rows are
    // drawn as well and cut off after the blur, so the halo runs on across the pieces' seams.
    const double reach = card.kind.isSpoken() ? haloMargin : 0;
    const double drawnTop = std::max(0.0, firstRow - reach);
    const double drawnBottom = std::min(pictureRows(card, box), endRow + reach);
    const double pictureWidth = colW + 25 + 2 * haloMargin;
    largestPicture_ = std::max(largestPicture_, static_cast<qint64>(std::ceil(pictureWidth) * std::ceil(drawnBottom - drawnTop) * 4));
    // A piece too large to hold (on a page too large to hold as well) is not drawn; the rest of the page is.
    QImage content = PictureSize::image(pictureWidth, drawnBottom - drawnTop);
    if (content.isNull())
        return content;
    content.fill(Qt::transparent);
    QPainter painter(&content);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.translate(haloMargin, haloMargin - drawnTop);
    // The card's own rows (its top at 0) that the picture holds.
    const double shownTop = drawnTop - haloMargin, shownBottom = drawnBottom - haloMargin;
    const bool focused = key.relation == Relation::focused;
    switch (card.kind.tag()) {
    case FollowBox::Kind::Tag::spoken: {
        const double barHeight = std::max(0.0, box.height - 0.8 * f - 4);
        roundedFill(painter, nearRows(QRectF(0, 2, 5, barHeight), shownTop, shownBottom), 2.5,
            focused ? palette.accent : withAlpha(palette.ink, 0.16));
        const double textX = 5 + 15;
        if (card.gesture && shownTop < box.head) {
            painter.setFont(prompterFont(std::max(0.36 * f, 10.0), QFont::Bold, 1.2));
            painter.setPen(withAlpha(palette.ink, 0.5));
            painter.drawText(QRectF(textX, 0, colW, box.head), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("☝ ") + *card.gesture);
        }
        const QFont lineFont = prompterFont(f, QFont::Medium, 0.005 * f);
        const QColor dimmedInk = withAlpha(palette.ink, 0.5);
        // The card's lines share its direction, given by its first letter that has one.
        const Qt::LayoutDirection direction = card.text.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight;
        // Only the lines in the picture's rows, and one either side for a letter that reaches out of its line.
        const double lines = static_cast<double>(box.lines.size());
        const double firstLine = lh > 0 ? std::clamp(std::floor((shownTop - box.head) / lh) - 1, 0.0, lines) : 0;
        const double endLine = lh > 0 ? std::clamp(std::ceil((shownBottom - box.head) / lh) + 1, 0.0, lines) : lines;
        for (auto line = static_cast<size_t>(firstLine); line < static_cast<size_t>(endLine); ++line) {
            const BoxLayout::WordRange range = box.lines[line];
            QStringList words;
            for (int i = range.lower; i < range.upper && i < static_cast<int>(card.words.size()); ++i)
                words.append(card.words[static_cast<size_t>(i)].text);
            const int dimmed = focused ? std::clamp(key.wordsRead - range.lower, 0, static_cast<int>(words.size())) : 0;
            const FollowLine text(words, dimmed, lineFont, colW, palette.ink, dimmedInk, direction);
            text.paint(painter, QRectF(textX, box.head + static_cast<double>(line) * lh, colW, lh));
        }
        break;
    }
    case FollowBox::Kind::Tag::action:
    case FollowBox::Kind::Tag::orb: {
        const bool orb = card.kind.tag() == FollowBox::Kind::Tag::orb;
        const QRectF rect(5, 0, CardLettering::cardWidth(colW), box.cardHeight);
        roundedFill(painter, rect, 12,
            orb ? withAlpha(TeleprompterPalette::orbGreen(), 0.18 + 0.5 * (1 - bg)) : withAlpha(TeleprompterPalette::actionYellow(), 0.8 + 0.2 * bg));
        const CardLettering lettering = CardLettering::of(card.kind.tag(), f);
        const CardText& text = box.cardText;
        const double headHeight = lettering.headHeight();
        const double lineHeight = lettering.lineHeight();
        const QRectF textArea = rect.adjusted(CardLettering::sideInset, 0, -CardLettering::sideInset, 0);
        const double top = rect.top() + (rect.height() - headHeight - lettering.gap - text.height(lineHeight)) / 2;
        const QColor ink = orb ? TeleprompterPalette::orbGreen() : QColor(Qt::black);
        const QRectF headArea(textArea.left(), top, textArea.width(), headHeight);
        if (orb)
            paintHead(painter, headArea, lettering.head, ink, QStringLiteral("DON'T SAY THIS. PAUSE, THE ORB SPEAKS"), 9);
        else
            paintHead(painter, headArea, lettering.head, QColor(0, 0, 0, 153), card.kind.keyword(), 0);
        painter.setFont(lettering.text);
        painter.setPen(ink);
        const double lineTop = top + headHeight + lettering.gap;
        for (qsizetype line = 0; line < text.lines.size(); ++line) {
            // Each line at full size in a frame scaled down with it, so the fitted widths hold as measured.
            painter.save();
            painter.translate(textArea.center().x(), lineTop + static_cast<double>(line) * lineHeight * text.scale);
            painter.scale(text.scale, text.scale);
            const double width = textArea.width() / text.scale;
            painter.drawText(QRectF(-width / 2, 0, width, lineHeight), Qt::AlignHCenter | Qt::AlignTop, text.lines[line]);
            painter.restore();
        }
        break;
    }
    }
    painter.end();
    if (!card.kind.isSpoken())
        return content;
    const QImage haloed = withHalo(content, 1 - bg, key.theme == u"dark");
    if (drawnTop == firstRow && drawnBottom == endRow)
        return haloed;
    return haloed.copy(0, static_cast<int>(firstRow - drawnTop), haloed.width(), static_cast<int>(endRow - firstRow));
}

const QImage& FollowPage::piece(const FollowBox& card, const BoxLayout& box, const CardKey& key, int pieceRows, qint64 index)
{
    Card& slot = cards_[box.index];
    if (!(slot.key == key) || slot.pieceRows != pieceRows) {
        slot.key = key;
        slot.pieceRows = pieceRows;
        slot.pieces.clear();
    }
    auto found = slot.pieces.find(index);
    if (found != slot.pieces.end())
        return found->second;
    ++renders_;
    const double top = static_cast<double>(index) * pieceRows;
    const double bottom = std::min(top + pieceRows, pictureRows(card, box));
    return slot.pieces[index] = drawPiece(card, box, key, top, bottom);
}

qint64 FollowPage::keptBytes() const
{
    qint64 bytes = 0;
    for (const auto& [index, card] : cards_)
        for (const auto& [order, picture] : card.pieces)
            bytes += picture.sizeInBytes();
    return bytes;
}

void FollowPage::paint(QPainter& painter, QSizeF page, const TeleprompterModel& model, double shift)
{
    const TeleprompterPalette& palette = TeleprompterPalette::forTheme(model.theme());
    const double f = model.fontSize();
    const Metrics m = Metrics::of(page, f);
    const QRectF bounds(QPointF(0, 0), page);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath clip;
    clip.addRoundedRect(bounds, 14, 14);
    painter.setClipPath(clip);
    painter.fillPath(clip, withAlpha(palette.page, model.bgOpacity()));
    const ScriptFollower& follower = model.follower();
    if (follower.boxes().empty()) {
        painter.setFont(prompterFont(15, QFont::Normal));
        painter.setPen(withAlpha(palette.ink, 0.6));
        painter.drawText(bounds.adjusted(28, 28, -28, -28), Qt::AlignCenter | Qt::TextWordWrap, emptyText());
        painter.restore();
        cards_.clear();
        return;
    }
    if (bandFilled(model))
        roundedFill(painter, QRectF(24, m.bandTop, page.width() - 24, m.lineHeight + 10), 10, palette.band);
    painter.fillRect(QRectF(14, m.bandTop, page.width() - 28, 1.5), withAlpha(palette.accent, 0.7));
    QPainterPath pointer;
    pointer.moveTo(7, m.lineY - 9);
    pointer.lineTo(7, m.lineY + 9);
    pointer.lineTo(18, m.lineY);
    pointer.closeSubpath();
    painter.fillPath(pointer, palette.accent);

    // The column, drawn into its own layer so the fade at the top can mask it.
    const PrompterLayout& column = layout(model, m.columnWidth);
    if (!PictureSize::fits(page.width(), m.viewHeight)) {
        painter.restore();
        cards_.clear();
        return;
    }
    const QSize layerSize(static_cast<int>(std::ceil(page.width())), static_cast<int>(std::ceil(m.viewHeight)));
    if (layer_.size() != layerSize)
        layer_ = PictureSize::image(layerSize.width(), layerSize.height());
    if (layer_.isNull()) {
        painter.restore();
        return;
    }
    QImage& layer = layer_;
    layer.fill(Qt::transparent);
    {
        QPainter columnPainter(&layer);
        const int focus = follower.focus();
        const int read = follower.wordsRead(focus);
        const int pieceRows = std::clamp(layerSize.height(), smallestPieceRows, largestPieceRows);
        // The page row of a card's picture's first row.
        const auto pictureTop = [&](const BoxLayout& box) { return std::round(box.y + shift) - haloMargin; };
        int firstDrawn = std::numeric_limits<int>::max(), lastDrawn = -1;
        for (const BoxLayout& box : column.boxes) {
            const double top = box.y + shift;
            const double height = std::max(box.height, box.cardHeight);
            if (top + height + haloMargin < 0 || top - haloMargin > m.viewHeight)
                continue;
            firstDrawn = std::min(firstDrawn, box.index);
            lastDrawn = std::max(lastDrawn, box.index);
            const FollowBox& card = follower.boxes()[static_cast<size_t>(box.index)];
            const Relation relation = box.index == focus ? Relation::focused : (box.index < focus ? Relation::before : Relation::after);
            const CardKey key{relation, relation == Relation::focused ? read : 0, f, m.columnWidth, model.bgOpacity(), model.theme()};
            // Only the pieces of the card's picture that reach into the page.
            const double origin = pictureTop(box);
            const double shownTop = std::max(0.0, -origin);
            const double shownBottom = std::min(pictureRows(card, box), std::ceil(m.viewHeight) - origin);
            if (shownBottom <= shownTop)
                continue;
            columnPainter.setOpacity(cardOpacity(card.kind.tag(), relation, model.bgOpacity()));
            const auto firstPiece = static_cast<qint64>(std::floor(shownTop / pieceRows));
            const auto lastPiece = static_cast<qint64>(std::floor((shownBottom - 1) / pieceRows));
            for (qint64 index = firstPiece; index <= lastPiece; ++index) {
                const QImage& picture = piece(card, box, key, pieceRows, index);
                if (!picture.isNull())
                    columnPainter.drawImage(QPointF(columnInset - haloMargin, origin + static_cast<double>(index) * pieceRows), picture);
            }
        }
        // Cards far from the page are drawn again when they come back; a long script keeps a few in memory,
        // and a long card only its pieces within a piece of the page.
        for (auto entry = cards_.begin(); entry != cards_.end();) {
            Card& card = entry->second;
            const double origin = pictureTop(column.boxes[static_cast<size_t>(entry->first)]);
            std::erase_if(card.pieces, [&](const auto& piece) {
                const double top = origin + static_cast<double>(piece.first) * pieceRows;
                return card.pieceRows != pieceRows || top + 2.0 * pieceRows < 0 || top > m.viewHeight + pieceRows;
            });
            const bool far = entry->first < firstDrawn - keptAround || entry->first > lastDrawn + keptAround;
            entry = far || card.pieces.empty() ? cards_.erase(entry) : std::next(entry);
        }
        const double viewH = std::max(m.viewHeight, 1.0);
        QLinearGradient fade(0, 0, 0, m.viewHeight);
        fade.setColorAt(0, Qt::transparent);
        fade.setColorAt(std::min(11 / viewH, 1.0), Qt::transparent);
        fade.setColorAt(std::min(18 / viewH, 1.0), Qt::black);
        fade.setColorAt(1, Qt::black);
        columnPainter.setOpacity(1);
        columnPainter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        columnPainter.fillRect(layer.rect(), fade);
    }
    painter.drawImage(QPointF(0, 0), layer);
    if (showsEndLabel(model)) {
        painter.setFont(prompterFont(13, QFont::Medium));
        painter.setPen(withAlpha(palette.ink, 0.4));
        painter.drawText(QRectF(0, m.lineY + m.lineHeight, page.width(), 24), Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("End of script"));
    }
    painter.restore();
}
