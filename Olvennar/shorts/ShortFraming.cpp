#include "shorts/ShortFraming.h"

#include "framing/FramingReport.h"

#include <algorithm>
#include <cmath>

namespace ShortFraming {

QString describe(const QSizeF& frame)
{
    const double width = frame.width();
    const double height = frame.height();
    if (!(width >= 2) || !(height >= 2))
        return QStringLiteral("Waiting for the camera…");
    const QRectF crop = cropRect(frame, Position {});
    auto whole = [](double value) { return QString::number(static_cast<long long>(value)); };
    const QString feed = whole(width) + QStringLiteral("×") + whole(height);
    const double scale = crop.height() > 0 ? 1920 / crop.height() : 1.0;
    const QString scaleText = std::abs(scale - 1) < 0.005 ? QStringLiteral("no scaling") : QString::asprintf("×%.2f", scale);
    if (std::max(width - crop.width(), 0.0) < 2 && std::max(height - crop.height(), 0.0) < 2)
        return QStringLiteral("Portrait ") + feed + QStringLiteral(" feed — used whole, no crop → 1080×1920 (") + scaleText + QStringLiteral(")");
    return whole(crop.width()) + QStringLiteral("×") + whole(crop.height()) + QStringLiteral(" of the ")
        + (width < height ? QStringLiteral("portrait ") : QString()) + feed + QStringLiteral(" feed → 1080×1920 (") + scaleText
        + QStringLiteral(")");
}

const std::vector<SafeZone>& safeZones()
{
    static const std::vector<SafeZone> zones {
        {QStringLiteral("top bar"), QRectF(0, 0, 1080, 290), false},
        {QStringLiteral("buttons"), QRectF(880, 290, 200, 1050), false},
        {QStringLiteral("captions"), QRectF(0, 1200, 880, 140), true},
        {QStringLiteral("caption + sound"), QRectF(0, 1340, 1080, 580), false},
    };
    return zones;
}

QColor shortColor(FramingStatus status)
{
    switch (status) {
    case FramingStatus::good: return QColor::fromRgbF(0.961f, 0.929f, 0.847f, 1.0f);
    case FramingStatus::adjust: return QColor::fromRgbF(0.831f, 0.643f, 0.604f, 1.0f);
    case FramingStatus::fix: return QColor::fromRgbF(0.47f, 0.24f, 0.12f, 1.0f);
    case FramingStatus::unknown: break;
    }
    return QColor::fromRgbF(0.961f, 0.929f, 0.847f, 0.4f);
}

} // namespace ShortFraming
