#include "platform/system/Permissions.h"

#include "platform/system/AccessProbe.h"

namespace Permissions {

QString stateName(State state)
{
    switch (state) {
    case State::granted: return QStringLiteral("granted");
    case State::denied: return QStringLiteral("denied");
    case State::notAsked: return QStringLiteral("notAsked");
    }
    return QStringLiteral("notAsked");
}

QString instruction(const QString& pane)
{
    if (pane == QLatin1String(cameraPane))
        return QStringLiteral("Camera access: add your user to the \"video\" group (sudo usermod -aG video $USER), then log out and in again.");
    if (pane == QLatin1String(microphonePane))
        return QStringLiteral("Microphone access: make sure PulseAudio or PipeWire is running for your session and the microphone is not muted in the sound settings.");
    if (pane == QLatin1String(screenCapturePane))
        return QStringLiteral("Screen recording needs an X11 session with the MIT-SHM extension. Log in with an X11 (Xorg) session instead of Wayland.");
    if (pane == QLatin1String(inputMonitoringPane))
        return QStringLiteral("Input access: add your user to the \"input\" group (sudo usermod -aG input $USER), then log out and in again.");
    return {};
}

namespace {
QCoro::Task<bool> request(State state, AccessProbe& probe, State (AccessProbe::*reprobe)(), const char* pane)
{
    if (state == State::notAsked)
        state = (probe.*reprobe)();
    if (state == State::granted)
        co_return true;
    // No device at all is nothing the user could grant: the caller says it is missing.
    if (state == State::denied)
        probe.showInstruction(QString::fromLatin1(pane));
    co_return false;
}
} // namespace

QCoro::Task<bool> requestMicrophone(AccessProbe& probe)
{
    return request(probe.microphone(), probe, &AccessProbe::microphone, microphonePane);
}

QCoro::Task<bool> requestCamera(AccessProbe& probe)
{
    return request(probe.camera(), probe, &AccessProbe::camera, cameraPane);
}

} // namespace Permissions
