#include "views/shorts/ShortFramingBadge.h"

#include "shorts/ShortFraming.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

constexpr int sideMargin = 9;
constexpr int topMargin = 6;
constexpr int dotSize = 9;
constexpr int dotDrop = 3;
constexpr int spacing = 7;
constexpr int lineSpacing = 1;

QFont lineFont(int index)
{
    QFont font;
    font.setPixelSize(index == 0 ? 12 : 10);
    font.setWeight(index == 0 ? QFont::DemiBold : QFont::Normal);
    return font;
}

QColor withOpacity(QColor color, double opacity)
{
    color.setAlphaF(color.alphaF() * opacity);
    return color;
}

} // namespace

ShortFramingBadge::ShortFramingBadge(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void ShortFramingBadge::setAdvice(const FramingAdvice& advice)
{
    if (advice == advice_)
        return;
    advice_ = advice;
    updateGeometry();
    adjustSize();
    update();
}

void ShortFramingBadge::setCream(const QColor& cream)
{
    cream_ = cream;
    update();
}

QStringList ShortFramingBadge::shownHints() const { return advice_.hints.mid(0, 2); }

QSize ShortFramingBadge::sizeHint() const
{
    const QStringList hints = shownHints();
    int textWidth = 0;
    int textHeight = 0;
    for (int i = 0; i < hints.size(); ++i) {
        const QFontMetrics metrics(lineFont(i));
        textWidth = std::max(textWidth, metrics.horizontalAdvance(hints[i]));
        textHeight += metrics.height() + (i > 0 ? lineSpacing : 0);
    }
    const int width = dotSize + (hints.isEmpty() ? 0 : spacing + textWidth);
    const int height = std::max(dotDrop + dotSize, textHeight);
    return {width + 2 * sideMargin, height + 2 * topMargin};
}

void ShortFramingBadge::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath background;
    background.addRoundedRect(QRectF(rect()), 8, 8);
    painter.fillPath(background, QColor::fromRgbF(0, 0, 0, 0.55f));
    painter.setPen(Qt::NoPen);
    painter.setBrush(ShortFraming::shortColor(advice_.status));
    painter.drawEllipse(QRectF(sideMargin, topMargin + dotDrop, dotSize, dotSize));
    const QStringList hints = shownHints();
    int y = topMargin;
    for (int i = 0; i < hints.size(); ++i) {
        const QFont font = lineFont(i);
        const QFontMetrics metrics(font);
        painter.setFont(font);
        painter.setPen(withOpacity(cream_, i == 0 ? 0.95 : 0.7));
        painter.drawText(QRect(sideMargin + dotSize + spacing, y, width(), metrics.height()), Qt::AlignLeft | Qt::AlignVCenter, hints[i]);
        y += metrics.height() + lineSpacing;
    }
}
