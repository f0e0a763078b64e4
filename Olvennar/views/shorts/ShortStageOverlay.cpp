#include "views/shorts/ShortStageOverlay.h"

#include <QPainter>

ShortStageOverlay::ShortStageOverlay(std::function<void(QPainter&)> draw, QWidget* parent)
    : QWidget(parent)
    , draw_(std::move(draw))
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

void ShortStageOverlay::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    draw_(painter);
}
