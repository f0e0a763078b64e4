#pragma once

#include <QString>

#include <qcorotask.h>

class AccessProbe;

// Camera, microphone, screen and input access on Linux, and the instructions shown in place of a privacy pane.
namespace Permissions {
enum class State { granted, denied, notAsked };
QString stateName(State state); // "granted", "denied", "notAsked"

// Panes the studio names; each maps to a Linux instruction.
inline constexpr const char* cameraPane = "Privacy_Camera";
inline constexpr const char* microphonePane = "Privacy_Microphone";
inline constexpr const char* screenCapturePane = "Privacy_ScreenCapture";
inline constexpr const char* inputMonitoringPane = "Privacy_ListenEvent";

// The sentence shown for a pane; empty for an unknown pane.
QString instruction(const QString& pane);
// Said where a camera is needed and no capture device exists.
inline const QString noCameraFound = QStringLiteral("No camera found.");
// Said where a microphone is needed and none is listed.
inline const QString noMicrophoneFound = QStringLiteral("No microphone found.");
// Granted at once when the probe says so. Linux has no prompt, so "not asked" is settled by probing again;
// denied has the probe show the instruction and gives false; a device that does not exist (still notAsked) gives
// false without an instruction, since no group would help.
QCoro::Task<bool> requestMicrophone(AccessProbe& probe);
QCoro::Task<bool> requestCamera(AccessProbe& probe);
}
