#include "views/teleprompter/FollowLine.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextCharFormat>

#include <algorithm>

namespace {

// Wide enough that a line that is never wrapped never meets its end.
constexpr double unboundedWidth = 1e6;

} // namespace

FollowLine::Fit FollowLine::fit(double naturalWidth, double width, bool singleWord)
{
    if (!(width > 0) || !(naturalWidth > width))
        return {};
    const double scale = width / naturalWidth;
    if (scale >= smallestScale || singleWord)
        return {scale, false};
    return {smallestScale, true};
}

FollowLine::FollowLine(const QStringList& words, int dimmedWords, const QFont& font, double width, const QColor& ink, const QColor& dimmedInk,
    Qt::LayoutDirection direction)
    : ink_(ink)
    , dimmedInk_(dimmedInk)
{
    layout_.setFont(font);
    // Left-aligned whatever the line's direction, as the column's other lines are.
    QTextOption option(Qt::AlignLeft | Qt::AlignAbsolute);
    option.setWrapMode(QTextOption::NoWrap);
    option.setTextDirection(direction);
    layout_.setTextOption(option);
    const QString text = words.join(u' ');
    // A dimmed word's run takes the space after it along.
    qsizetype dimmedLength = 0;
    for (qsizetype i = 0; i < std::min<qsizetype>(dimmedWords, words.size()); ++i)
        dimmedLength += words[i].size() + 1;
    dimmedLength = std::min(dimmedLength, text.size());
    layOut(text, static_cast<int>(dimmedLength));
    const Fit fitted = fit(naturalWidth(), width, words.size() <= 1);
    scale_ = fitted.scale;
    if (!fitted.cut)
        return;
    const QString cut = QFontMetricsF(font).elidedText(text, Qt::ElideRight, width / smallestScale);
    if (cut.isEmpty()) {
        scale_ = width / naturalWidth();
        return;
    }
    layOut(cut, static_cast<int>(std::min(dimmedLength, cut.size())));
    // The cut is measured apart from this layout; whatever rounding is left shrinks the line a little more.
    scale_ = std::min(smallestScale, width / std::max(naturalWidth(), 1.0));
}

void FollowLine::layOut(const QString& text, int dimmedLength)
{
    layout_.clearLayout();
    layout_.setText(text);
    QList<QTextLayout::FormatRange> formats;
    if (dimmedLength > 0) {
        QTextCharFormat dimmed;
        dimmed.setForeground(dimmedInk_);
        formats.append({0, dimmedLength, dimmed});
    }
    layout_.setFormats(formats);
    layout_.beginLayout();
    QTextLine line = layout_.createLine();
    if (line.isValid()) {
        line.setLineWidth(unboundedWidth);
        line.setPosition(QPointF(0, 0));
    }
    layout_.endLayout();
}

double FollowLine::naturalWidth() const { return layout_.lineCount() > 0 ? layout_.lineAt(0).naturalTextWidth() : 0; }

double FollowLine::width() const { return naturalWidth() * scale_; }

void FollowLine::paint(QPainter& painter, const QRectF& frame) const
{
    if (layout_.lineCount() == 0)
        return;
    const QTextLine line = layout_.lineAt(0);
    painter.save();
    painter.setPen(ink_);
    painter.translate(frame.left(), frame.center().y());
    painter.scale(scale_, scale_);
    layout_.draw(&painter, QPointF(0, -line.height() / 2));
    painter.restore();
}
