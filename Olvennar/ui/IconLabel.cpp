#include "ui/IconLabel.h"

#include "ui/ThemeIcon.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

IconLabel::IconLabel(const QString& symbol, const QString& text, const QFont& font, WindowStyle::Tone tone, QWidget* parent)
    : QWidget(parent)
    , symbol_(symbol)
    , tone_(tone)
    , icon_(new QLabel(this))
    , text_(new QLabel(text, this))
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(5);
    text_->setFont(font);
    text_->setTextFormat(Qt::PlainText);
    row->addWidget(icon_, 0, Qt::AlignTop);
    row->addWidget(text_, 1);
    setTone(tone);
}

void IconLabel::setText(const QString& text) { text_->setText(text); }

QString IconLabel::text() const { return text_->text(); }

void IconLabel::setWordWrap(bool wrap)
{
    text_->setWordWrap(wrap);
    text_->setSizePolicy(QSizePolicy::Preferred, wrap ? QSizePolicy::Minimum : QSizePolicy::Preferred);
}

void IconLabel::setTone(WindowStyle::Tone tone)
{
    tone_ = tone;
    color_.reset();
    WindowStyle::setTone(text_, tone);
    setProperty("tone", text_->property("tone"));
    paintIcon();
}

void IconLabel::setColor(const QColor& color)
{
    color_ = color;
    QPalette palette = text_->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    text_->setPalette(palette);
    paintIcon();
}

void IconLabel::setSymbol(const QString& symbol)
{
    if (symbol == symbol_)
        return;
    symbol_ = symbol;
    paintIcon();
}

void IconLabel::paintIcon()
{
    // The symbol matches the first line's cap height.
    const int side = QFontMetrics(text_->font()).height();
    QPixmap pixmap = ThemeIcon::icon(symbol_, color_.value_or(WindowStyle::color(tone_, this))).pixmap(side - 2, side - 2);
    if (color_) {
        // A theme's icon comes in the theme's colours; one of its own colour keeps the shape only.
        QPainter painter(&pixmap);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(pixmap.rect(), *color_);
    }
    icon_->setPixmap(pixmap);
    icon_->setFixedSize(side, side);
}
