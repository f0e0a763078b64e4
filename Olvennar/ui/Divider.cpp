#include "ui/Divider.h"

#include <QPainter>

Divider::Divider(double opacity, QWidget* parent)
    : QWidget(parent)
    , opacity_(opacity)
{
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void Divider::paintEvent(QPaintEvent*)
{
    QColor color = palette().color(QPalette::WindowText);
    color.setAlphaF(opacity_);
    QPainter(this).fillRect(rect(), color);
}
