#pragma once

#include "platform/system/MediaTime.h"

#include <QFuture>
#include <QString>

#include <cstdint>
#include <optional>

class CropRenderer;
class DispatchQueue;
class ExportGate;
class MovieWriterInput;
class SampleSource;

namespace ShortExport {

struct VideoOutcome {
    int64_t framesWritten = 0;
    std::optional<QString> failure; // why the half stopped before its end
};

// The video half of a short export: on `queue`, whenever the input wants data, paces the raw pictures of
// `output` to `fps`, renders each output frame with `renderer` and appends it stamped start + n/fps,
// holding still while the gate is raised. The future completes once, when the input is marked finished.
QFuture<VideoOutcome> runVideo(MovieWriterInput& input, SampleSource& output, CropRenderer& renderer, const MediaTime& start,
    const MediaTime& end, int fps, DispatchQueue& queue, ExportGate& gate, double gatePollSeconds);

} // namespace ShortExport
