// Throwing the running take away: every recorder stops, the take's files go, and a project folder the take
// made goes too when nothing else is in it.
#include "core/RecordingController.h"

#include "capture/ClickTracker.h"
#include "capture/PointerTracker.h"
#include "capture/ScreenRecorder.h"
#include "platform/system/Diagnostics.h"
#include "takes/OverlayRecorder.h"

#include <QFileInfo>
#include <QPointer>

#include <qcorofuture.h>

QCoro::Task<> RecordingController::discard()
{
    if (phase_.kind() != Phase::Kind::recording && phase_.kind() != Phase::Kind::paused)
        co_return;
    QPointer<RecordingController> weak(this);
    cancelPendingRemoteStop();
    stopInputs();
    const std::optional<QString> folder = projectFolder_;
    setPhase(Phase::finishing());

    if (captureMode_ == CaptureMode::screen) {
        QCoro::Task<bool> stopping = stopTakeRecorders();
        if (!co_await std::move(stopping))
            co_return;
    }

    if (folder) {
        deleteTakeFiles(*folder, takeSuffix_);
        if (createdProjectFolder_)
            removeFolderIfOnlyLeftovers(*folder, takeSuffix_);
    }
    Diagnostics::log(folder ? QStringLiteral("discarded take in ") + QFileInfo(*folder).fileName() : QStringLiteral("discarded take"));
    projectFolder_.reset();
    setPhase(Phase::idle());
    setElapsed(0);
    refreshDestinationName();
    settleOverlayWindows();
}
