#pragma once

#include "shortexport/ShortExportRequest.h"

#include <QRect>

#include <variant>

// Re-encodes the crop of a raw camera movie as a vertical short: every output frame cut and Lanczos-scaled
// from the raw frame due then, H.264 High at 16 Mbit/s at a constant frame rate, the sound as mono AAC.
// Blocking (run it off the main thread). The short is written to a hidden ".short-<UUID>" sibling and
// renamed over the destination only when it is complete: a failure keeps an earlier file as it was and
// leaves no sibling.
namespace ShortExport {

// The stored frame size of the raw movie's first video track.
std::variant<QSizeF, ErrorInfo> frameSize(const QString& rawURL);

// The crop rounded outward to whole pixels when it lies inside the frame (edges included); else badCrop.
std::variant<QRect, ExportError> checkCrop(const QRectF& crop, const QSizeF& frame);

// Writes the short to `to` and returns `to`.
std::variant<QString, ErrorInfo> exportShort(const Request& request, const QString& to, const Options& options = {});

} // namespace ShortExport
