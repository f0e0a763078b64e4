#include "ui/WarningRow.h"

#include "ui/ThemeIcon.h"
#include "ui/WindowStyle.h"

#include <QEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>

WarningRow::WarningRow(QWidget* parent)
    : QWidget(parent)
    , message_(new QLabel(this))
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    auto* symbol = new QLabel(this);
    symbol->setPixmap(ThemeIcon::painted(QStringLiteral("exclamationmark.triangle.fill"), WindowStyle::systemOrange()).pixmap(13, 13));
    symbol->setFixedSize(14, 14);
    message_->setFont(WindowStyle::font(11));
    message_->setWordWrap(true);
    message_->setTextFormat(Qt::PlainText);
    // The row takes the width its column gives; the words are fitted to it, not it to the words.
    message_->setMinimumWidth(1);
    message_->installEventFilter(this);
    WindowStyle::setTone(message_, WindowStyle::Tone::secondary);
    row->addWidget(symbol, 0, Qt::AlignTop);
    row->addWidget(message_, 1);
}

void WarningRow::setText(const QString& text)
{
    text_ = text;
    fit();
}

bool WarningRow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == message_ && event->type() == QEvent::Resize)
        fit();
    return QWidget::eventFilter(watched, event);
}

void WarningRow::fit()
{
    // The label wraps only between words, so a wider word would be cut off at the window's edge.
    const QFontMetrics metrics = message_->fontMetrics();
    const int room = message_->contentsRect().width();
    QStringList words = text_.split(QLatin1Char(' '));
    bool shortened = false;
    for (QString& word : words) {
        if (metrics.horizontalAdvance(word) > room) {
            word = metrics.elidedText(word, Qt::ElideMiddle, room);
            shortened = true;
        }
    }
    message_->setText(words.join(QLatin1Char(' ')));
    // Tooltips that look like markup are shown as rich text; a device's name comes from outside.
    message_->setToolTip(shortened ? Qt::convertFromPlainText(text_, Qt::WhiteSpaceNormal) : QString());
}
