#include "ui/IconLabel.h"

#include "ui/ThemeIcon.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>

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
    WindowStyle::setTone(text_, tone);
    setProperty("tone", text_->property("tone"));
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
    icon_->setPixmap(ThemeIcon::icon(symbol_, WindowStyle::color(tone_, this)).pixmap(side - 2, side - 2));
    icon_->setFixedSize(side, side);
}
