#pragma once

#include <QList>
#include <QRect>

#include <functional>

class QScreen;
class RecordingController;

// The teleprompter section's show/hide switch. It acts on the screen of the selected display (the main
// screen when that display is gone) and then sets the controller's flag from whether the panel really
// shows, so a flag that drifted from the panel is put right by the next press.
namespace TeleprompterToggle {

// The floating teleprompter as the switch sees it.
struct Panel {
    std::function<bool()> showing;
    std::function<void(QScreen*)> show; // does nothing while shown
    std::function<void()> hide;
};

// The screen whose frame is `frame`, else the primary one; none when there are no screens.
QScreen* screenFor(const QRect& frame, const QList<QScreen*>& screens, QScreen* primary);

// One press: nothing without a screen; otherwise hide a showing panel or show it on the screen.
void press(RecordingController& controller, const Panel& panel);

} // namespace TeleprompterToggle
