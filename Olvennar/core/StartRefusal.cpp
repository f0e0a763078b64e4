#include "core/StartRefusal.h"

namespace StartRefusal {

std::optional<QString> reason(const Situation& situation)
{
    const CaptureMode mode = situation.mode;
    // The devices come first: they are what the user can change.
    if (CaptureModes::usesCameraOnlyRecorder(mode) && !situation.hasCamera)
        return QStringLiteral("No camera found. Connect a camera, then press Record again.");
    if (mode != CaptureMode::screen && !situation.hasMicrophone)
        return QStringLiteral("No microphone found. Connect a microphone, then press Record again.");
    if (!situation.takeBuilt)
        return QLatin1Char('"') + CaptureModes::rawText(mode) + QStringLiteral("\" cannot record in this version. Switch to Screen to record.");
    return std::nullopt;
}

} // namespace StartRefusal
