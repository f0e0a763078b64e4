#include "takedata/CaptureMode.h"

namespace CaptureModes {

QString rawText(CaptureMode mode)
{
    switch (mode) {
    case CaptureMode::screen: return QStringLiteral("Screen");
    case CaptureMode::cameraOnly: return QStringLiteral("Just me");
    case CaptureMode::voice: return QStringLiteral("Voice only");
    case CaptureMode::short_: return QStringLiteral("Short");
    }
    return QStringLiteral("Screen");
}

std::optional<CaptureMode> fromRawText(const QString& text)
{
    for (CaptureMode mode : allCases) {
        if (rawText(mode) == text)
            return mode;
    }
    return std::nullopt;
}

} // namespace CaptureModes
