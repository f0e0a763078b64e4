#include "ui/TeleprompterToggle.h"

#include "core/RecordingController.h"

#include <QGuiApplication>
#include <QScreen>

namespace TeleprompterToggle {

QScreen* screenFor(const QRect& frame, const QList<QScreen*>& screens, QScreen* primary)
{
    for (QScreen* screen : screens) {
        if (screen->geometry() == frame)
            return screen;
    }
    return primary ? primary : (screens.isEmpty() ? nullptr : screens.first());
}

void press(RecordingController& controller, const Panel& panel)
{
    const auto place = controller.selectedScreen();
    QScreen* screen = screenFor(place ? place->display.frame : QRect(), QGuiApplication::screens(), QGuiApplication::primaryScreen());
    if (!screen)
        return;
    if (panel.showing())
        panel.hide();
    else
        panel.show(screen);
    controller.setTeleprompterVisible(panel.showing());
}

} // namespace TeleprompterToggle
