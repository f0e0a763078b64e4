#pragma once

#include "plans/MixdownRequest.h"

#include <QJsonObject>
#include <QString>

#include <functional>
#include <optional>

// A screen take's render request as JSON, for the note that resumes a render cut short by a crash.
// Enumerations are stored by their numeric value; a note only lives until its render is finished. A note is
// a file in the user's folder, so it is read as untrusted: a value no studio writes is named, not rendered.
namespace MixdownRequestNote {

// What a note holds: its request, and the first value in it no studio writes, as the row says it ("a frame
// rate of 2147483647", "a recorded length that is not a number", an export range that holds no picture of the
// take). Such a value reads as the request's default.
struct Decoded {
    Mixdown::Request request;
    std::optional<QString> unwritten;
    // The first text read cut short, longer than a studio writes ("a layout reason of 4194304 characters"):
    // reasons and summaries past PendingNote::longestPlanText, or past PendingNote::mostPlanText all together.
    // None of them changes what is rendered. (A movie path longer than a path can be is unwritten, and kept
    // no longer than a path.)
    std::optional<QString> cut;
};

// The most entries a plan's lists hold for a take of `recordedSeconds` (0: unknown, as long as a take can be),
// from how the studio makes each: a note holding more is refused before any entry is read.
struct MostEntries {
    // Clicks, zooms, zoom keys and layout stops: at most one a frame. Each comes of a click, a zoom mark or a
    // burst of activity, none of which a hand gives every frame.
    qsizetype perFrame = 0;
    // Camera or phone spans: parted by more than a recorder's gap.
    qsizetype spans = 0;
    // Window focuses: each held a dwell's time.
    qsizetype windows = 0;
    // Cursor shapes: looked at every few pointer ticks.
    qsizetype shapes = 0;
    // Pointer positions, as notes listed them before the track.
    qsizetype positions = 0;
};
MostEntries mostEntries(double recordedSeconds);

// How a note names a movie the request reads from `path`; nothing: by that path.
using MovieNames = std::function<QString(const QString& path)>;
QJsonObject encode(const Mixdown::Request& request, const MovieNames& named = {});
// Whether the object is a request: it names a raw movie.
bool isRequest(const QJsonObject& json);
// Nothing when the object is not a request.
std::optional<Decoded> decode(const QJsonObject& json);

} // namespace MixdownRequestNote
