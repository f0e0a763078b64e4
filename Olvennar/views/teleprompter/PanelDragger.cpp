#include "views/teleprompter/PanelDragger.h"

#include <QMouseEvent>
#include <QWidget>

#include <algorithm>

PanelDragger::PanelDragger(QWidget& window, bool resizable) : QObject(&window), window_(window), resizable_(resizable)
{
    window.installEventFilter(this);
}

bool PanelDragger::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &window_)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: return press(static_cast<QMouseEvent*>(event));
    case QEvent::MouseMove: return move(static_cast<QMouseEvent*>(event));
    case QEvent::MouseButtonRelease: return release(static_cast<QMouseEvent*>(event));
    case QEvent::Move:
    case QEvent::Resize:
        if (userPressed_ && movedByUser)
            movedByUser();
        return false;
    default: return false;
    }
}

int PanelDragger::edgesAt(QPoint local, QSize size, int band)
{
    int edges = 0;
    if (local.x() < band)
        edges |= Qt::LeftEdge;
    else if (local.x() >= size.width() - band)
        edges |= Qt::RightEdge;
    if (local.y() < band)
        edges |= Qt::TopEdge;
    else if (local.y() >= size.height() - band)
        edges |= Qt::BottomEdge;
    return edges;
}

QRect PanelDragger::resized(const QRect& start, int edges, QPoint delta, QSize minimum)
{
    int left = start.left(), top = start.top(), right = start.x() + start.width(), bottom = start.y() + start.height();
    if (edges & Qt::LeftEdge)
        left = std::min(left + delta.x(), right - minimum.width());
    if (edges & Qt::RightEdge)
        right = std::max(right + delta.x(), left + minimum.width());
    if (edges & Qt::TopEdge)
        top = std::min(top + delta.y(), bottom - minimum.height());
    if (edges & Qt::BottomEdge)
        bottom = std::max(bottom + delta.y(), top + minimum.height());
    return {left, top, right - left, bottom - top};
}

bool PanelDragger::press(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return false;
    userPressed_ = true;
    pressAt_ = event->globalPosition().toPoint();
    pressGeometry_ = window_.geometry();
    edges_ = resizable_ ? edgesAt(window_.mapFromGlobal(*pressAt_), window_.size(), edgeBand) : 0;
    return true;
}

bool PanelDragger::move(QMouseEvent* event)
{
    if (!pressAt_)
        return false;
    const QPoint delta = event->globalPosition().toPoint() - *pressAt_;
    if (edges_ == 0)
        window_.move(pressGeometry_.topLeft() + delta);
    else
        window_.setGeometry(resized(pressGeometry_, edges_, delta, window_.minimumSize()));
    return true;
}

bool PanelDragger::release(QMouseEvent* event)
{
    if (!pressAt_ || event->button() != Qt::LeftButton)
        return false;
    pressAt_.reset();
    return true;
}
