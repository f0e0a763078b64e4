#pragma once

#include "platform/system/ErrorInfo.h"
#include "platform/system/MediaTime.h"

#include <QRectF>
#include <QSizeF>
#include <QString>

#include <cstdint>
#include <optional>

class ExportGate;

namespace ShortExport {

// What to cut out of a raw camera movie and how to encode it.
struct Request {
    struct TimeRange {
        MediaTime start;
        MediaTime duration;
    };

    QString rawURL;
    QRectF crop; // pixels of the stored frame, top-left origin
    QSizeF outputSize; // finite; truncated to whole pixels
    int32_t frameRate = 30; // above 0
    std::optional<TimeRange> timeRange; // nothing: the whole video track
};

// The export's own failures; platform errors (opening or reading the movie) come as they are.
struct ExportError {
    enum class Kind { readerRefused, writerRefused, failed, noVideoTrack, badCrop };
    Kind kind = Kind::failed;
    QString detail;

    QString description() const
    {
        switch (kind) {
        case Kind::readerRefused: return QStringLiteral("Could not read the raw recording: ") + detail;
        case Kind::writerRefused: return QStringLiteral("Could not write short.mov: ") + detail;
        case Kind::failed: return QStringLiteral("Short export failed: ") + detail;
        case Kind::noVideoTrack: return QStringLiteral("The raw recording has no video track.");
        case Kind::badCrop: return QStringLiteral("The 9:16 crop does not fit inside the recorded frame.");
        }
        return {};
    }
    ErrorInfo info() const { return {QStringLiteral("Olvennar.ShortExport.ExportError"), static_cast<int>(kind), description()}; }
};

struct Options {
    ExportGate* gate = nullptr; // nothing: ExportGate::shared()
    double gatePollSeconds = 0.25; // how long a raised gate sleeps between looks
};

} // namespace ShortExport
