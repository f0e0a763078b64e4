#include "views/teleprompter/PrompterBar.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>

PrompterBar::PrompterBar(QColor fill, QMargins padding, bool shadow, QWidget* parent)
    : QWidget(parent)
    , fill_(fill)
    , shadow_(shadow)
    , row_(new QHBoxLayout(this))
{
    row_->setContentsMargins(padding);
    row_->setSpacing(12);
}

void PrompterBar::setFill(QColor fill)
{
    fill_ = fill;
    update();
}

void PrompterBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF capsule = QRectF(rect()).adjusted(0, 0, 0, shadow_ ? -1 : 0);
    const double radius = capsule.height() / 2;
    if (shadow_) {
        QPainterPath shade;
        shade.addRoundedRect(capsule.translated(0, 1), radius, radius);
        painter.fillPath(shade, QColor(0, 0, 0, static_cast<int>(0.12 * 255)));
    }
    QPainterPath path;
    path.addRoundedRect(capsule, radius, radius);
    painter.fillPath(path, fill_);
}
