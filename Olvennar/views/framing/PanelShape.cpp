#include "views/framing/PanelShape.h"

#include "platform/x11/X11Compositor.h"

#include <QPainterPath>
#include <QRegion>
#include <QWidget>

namespace PanelShape {

void apply(QWidget& panel, const QPainterPath& outline)
{
    if (X11Compositor::ownsScreen() || outline.isEmpty()) {
        panel.clearMask();
        return;
    }
    panel.setMask(QRegion(outline.toFillPolygon().toPolygon()));
}

} // namespace PanelShape
