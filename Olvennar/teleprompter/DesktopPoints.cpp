#include "teleprompter/DesktopPoints.h"

#include <QGuiApplication>
#include <QScreen>

namespace DesktopPoints {

double primaryHeight()
{
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary)
        return 0;
    const QRect g = primary->geometry();
    return g.y() + g.height();
}

PrompterPlacement::Screen screen(const QScreen& screen)
{
    const double h = primaryHeight();
    return {PrompterPlacement::fromWindowSystem(QRectF(screen.geometry()), h),
        PrompterPlacement::fromWindowSystem(QRectF(screen.availableGeometry()), h)};
}

} // namespace DesktopPoints
