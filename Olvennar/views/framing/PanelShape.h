#pragma once

class QPainterPath;
class QWidget;

// The outline of a floating panel (the countdown's circle, the bubble) as its window shape whenever no
// compositor draws the transparency around it, so no black square shows on a plain X11 desktop. With a
// compositor the panel keeps no shape and its antialiased edge.
namespace PanelShape {

// `outline` in the panel's own coordinates.
void apply(QWidget& panel, const QPainterPath& outline);

} // namespace PanelShape
