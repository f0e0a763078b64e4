#include "ui/NoticeCard.h"

#include "ui/WindowStyle.h"

#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

NoticeCard::NoticeCard(int padding, int spacing, QWidget* parent)
    : QFrame(parent)
    , content_(new QVBoxLayout(this))
{
    content_->setContentsMargins(padding, padding, padding, padding);
    content_->setSpacing(spacing);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
}

void NoticeCard::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath card;
    card.addRoundedRect(QRectF(rect()), 8, 8);
    painter.fillPath(card, WindowStyle::noticeFill());
}
