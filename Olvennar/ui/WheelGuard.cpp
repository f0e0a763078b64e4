#include "ui/WheelGuard.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>

WheelGuard::WheelGuard(QScrollArea* area)
    : QObject(area)
    , area_(area)
{
    qApp->installEventFilter(this);
}

bool WheelGuard::takesWheel(const QObject* object)
{
    return qobject_cast<const QComboBox*>(object) || qobject_cast<const QAbstractSlider*>(object)
        || qobject_cast<const QAbstractSpinBox*>(object);
}

bool WheelGuard::inColumn(const QWidget* widget) const
{
    return area_ && area_->widget() && widget != area_->verticalScrollBar() && area_->widget()->isAncestorOf(widget);
}

bool WheelGuard::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::Polish && type != QEvent::Show && type != QEvent::Wheel)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || !inColumn(widget))
        return false;
    // The control itself, or the part of it the pointer is over (a spin box's line edit).
    QWidget* control = widget;
    while (control && !takesWheel(control) && inColumn(control))
        control = control->parentWidget();
    if (!control || !takesWheel(control))
        return false;
    if (type != QEvent::Wheel) {
        // The wheel would otherwise focus the control before it reaches this filter.
        if (control->focusPolicy() & Qt::WheelFocus & ~Qt::StrongFocus)
            control->setFocusPolicy(Qt::StrongFocus);
        return false;
    }
    // Focused in its window (clicked or tabbed to): the control is being worked with.
    if (control->window()->focusWidget() == control)
        return false;
    QCoreApplication::sendEvent(area_->verticalScrollBar(), event);
    return true;
}
