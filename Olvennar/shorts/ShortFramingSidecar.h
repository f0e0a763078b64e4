#pragma once

#include "takedata/RecordingChannel.h"
#include "takedata/NextTake.h"
#include "shorts/ShortFraming.h"

#include <QDateTime>
#include <QJsonObject>

#include <optional>

namespace ShortFraming {

// The members of a short's "crop.json" (all but the tail-trim ones): the feed, the crop in pixels of raw.mov,
// both positions and mirror flags, the fixed output description, the duration already trimmed, the safe
// zones, and the script, channel and measured framing when there are any. Integers are whole JSON numbers.
QJsonObject sidecar(const QSizeF& feed, const QRectF& crop, const Position& position, const Position& previewPosition,
    bool fileMirrored, bool previewMirrored, double rotation, const QString& camera, double duration,
    const std::optional<NextTake>& script, const std::optional<MeasuredFraming>& framing, RecordingChannel channel,
    const QDateTime& recordedAt = QDateTime::currentDateTimeUtc());

} // namespace ShortFraming
