#pragma once

#include <QString>

#include <array>
#include <optional>

// What a take captures. The raw text is shown, logged and part of the per-mode settings keys.
// (`short_` because `short` is a keyword.)
enum class CaptureMode { screen, cameraOnly, voice, short_ };

namespace CaptureModes {
inline constexpr std::array<CaptureMode, 4> allCases{CaptureMode::screen, CaptureMode::cameraOnly, CaptureMode::voice, CaptureMode::short_};

QString rawText(CaptureMode mode);
std::optional<CaptureMode> fromRawText(const QString& text);
// "Just me" and "Short" are both filmed by the camera-only recorder.
inline bool usesCameraOnlyRecorder(CaptureMode mode) { return mode == CaptureMode::cameraOnly || mode == CaptureMode::short_; }
}
