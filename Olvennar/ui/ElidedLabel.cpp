#include "ui/ElidedLabel.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTextDocument>

ElidedLabel::ElidedLabel(Qt::TextElideMode mode, QWidget* parent)
    : QWidget(parent)
    , mode_(mode)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void ElidedLabel::setText(const QString& text)
{
    if (text == text_)
        return;
    text_ = text;
    updateGeometry();
    updateToolTip();
    update();
}

QString ElidedLabel::shownText() const { return fontMetrics().elidedText(text_, mode_, width()); }

QSize ElidedLabel::sizeHint() const
{
    const QFontMetrics metrics = fontMetrics();
    return {metrics.horizontalAdvance(text_), metrics.height()};
}

QSize ElidedLabel::minimumSizeHint() const { return {fontMetrics().horizontalAdvance(QStringLiteral("…")) * 3, fontMetrics().height()}; }

void ElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, shownText());
}

void ElidedLabel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    updateToolTip();
}

void ElidedLabel::updateToolTip()
{
    // Tooltips that look like markup are shown as rich text; the text here (titles, paths) comes from outside.
    setToolTip(shownText() == text_ ? QString() : Qt::convertFromPlainText(text_, Qt::WhiteSpaceNormal));
}
