#include "ui/Spinner.h"

#include <QPainter>
#include <QTimer>

namespace {
constexpr int spokes = 8;
}

Spinner::Spinner(int side, QWidget* parent)
    : QWidget(parent)
    , side_(side)
    , timer_(new QTimer(this))
{
    setFixedSize(side, side);
    timer_->setInterval(90);
    connect(timer_, &QTimer::timeout, this, [this] {
        step_ = (step_ + 1) % spokes;
        update();
    });
}

bool Spinner::isSpinning() const { return timer_->isActive(); }

void Spinner::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(width() / 2.0, height() / 2.0);
    const double radius = side_ / 2.0;
    QColor color = palette().color(QPalette::WindowText);
    for (int i = 0; i < spokes; ++i) {
        // The newest spoke is darkest; the trail fades behind it.
        const int age = (step_ - i + spokes) % spokes;
        color.setAlphaF(1.0 - 0.8 * age / spokes);
        painter.setPen(QPen(color, side_ / 8.0, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(0, -radius * 0.45), QPointF(0, -radius * 0.9));
        painter.rotate(360.0 / spokes);
    }
}

void Spinner::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    timer_->start();
}

void Spinner::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    timer_->stop();
}
