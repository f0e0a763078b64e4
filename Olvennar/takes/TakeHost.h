#pragma once

#include "platform/system/ErrorInfo.h"
#include "takes/TakeFolder.h"

#include <QRect>
#include <QString>

#include <variant>

class Take;

#include <qcorotask.h>

// The steps of a take the studio shows; failures carry their sentence through fail().
enum class TakeStep { preparing, recording, paused, finishing, idle };

// What every take kind reaches in the studio that runs it: the published phase, access, the countdown,
// the destination folder, the elapsed ticker and the panels after a take. Called on the main thread.
class TakeHost {
public:
    virtual ~TakeHost() = default;

    virtual void enter(TakeStep step) = 0;
    virtual void fail(const QString& sentence) = 0;
    // Something the user should know about a take that was kept (frames lost on a busy machine): shown as
    // information until the next take starts, never as a failure.
    virtual void inform(const QString& sentence) = 0;
    // Recording or paused, as published.
    virtual bool rolling() const = 0;
    // Asks for the devices the take records; false when one was refused (the failure is shown and logged).
    virtual QCoro::Task<bool> requestAccess(bool microphone, bool camera) = 0;
    // Counts down over the frame when a countdown is set while take.prepareDevices() opens the take's
    // devices; true once both are done and the devices flow: the countdown's end is the take's start. False
    // when something interrupted the countdown or a device failed (shown and logged); the take's devices
    // are then released.
    virtual QCoro::Task<bool> countDown(QRect frame, Take& take) = 0;
    // The chosen folder with its next take suffix, else a new project folder.
    virtual std::variant<TakeFolder, ErrorInfo> openTakeFolder() = 0;
    // The elapsed time follows the take from here until stopTicker().
    virtual void startTicker() = 0;
    virtual void stopTicker() = 0;
    virtual void refreshDestinationName() = 0;
    virtual void settleOverlayWindows() = 0;
    // Back to idle with no elapsed time and the destination recomputed.
    virtual void reset() = 0;
};
