#include "ui/WarningRow.h"

#include "ui/ThemeIcon.h"
#include "ui/WindowStyle.h"

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
    WindowStyle::setTone(message_, WindowStyle::Tone::secondary);
    row->addWidget(symbol, 0, Qt::AlignTop);
    row->addWidget(message_, 1);
}

void WarningRow::setText(const QString& text) { message_->setText(text); }

QString WarningRow::text() const { return message_->text(); }
