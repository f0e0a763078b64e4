#pragma once

#include "takedata/NextTake.h"

#include <QString>

#include <functional>
#include <optional>

class QWidget;
class RecordingController;

// Everything the window's controls set off besides writing a published value: the take operations, the
// folder chooser, the file-manager reveal and the access requests. The defaults act on the controller and
// the desktop; tests replace single entries to watch them.
struct WindowActions {
    std::function<void()> start;
    std::function<void()> stop;
    std::function<void()> discard;
    std::function<void()> togglePause;
    // Shows the "Save here" chooser; true when a new recordings folder was stored.
    std::function<bool()> chooseSaveFolder;
    std::function<void(const QString& path)> revealInFileManager;
    std::function<void()> requestScreenPermission;
    std::function<void()> grantMicrophone;
    std::function<void()> grantCamera;
    // Opens the "Check framing" window (the short preview in Short mode).
    std::function<void()> openFramingCheck;
    // The short preview window: opened by the controller (it asks for the camera first), closed through its
    // hooks; open while the controller says so.
    std::function<void()> openShortPreview;
    std::function<void()> closeShortPreview;
    std::function<bool()> shortPreviewShown;
    // The handed-off script the next short records, and "Not this one".
    std::function<std::optional<NextTake>()> nextTake;
    std::function<void()> ignoreNextTake;

    // `dialogParent` is where the chooser and the access instructions appear.
    static WindowActions forController(RecordingController& controller, QWidget* dialogParent);
};
