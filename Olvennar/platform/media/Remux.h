#pragma once

#include "platform/media/MediaError.h"
#include "platform/media/MovieFileType.h"
#include "platform/system/MediaTime.h"

#include <QString>

#include <optional>
#include <vector>

// Copies stored packets of chosen tracks, unchanged, into a new movie: each insert takes one track of a
// source file within a time range and places it at a destination time, keeping its codec parameters and
// display matrix. A track placed after 0 opens with an empty edit. A range cannot start between key frames,
// so a copy starts at the key frame at or before the range's start.
//
// The destination is written as a hidden sibling and renamed over it when complete (the source may be the
// destination itself, as in a tail trim). Threading: a blocking call; run it off the main thread.
namespace Remux {

struct Insert {
    QString sourcePath;
    int trackIndex = 0;
    MediaTime sourceStart = MediaTime::zero();
    MediaTime sourceDuration = MediaTime::invalid(); // invalid: to the end of the track
    MediaTime destinationStart = MediaTime::zero();
};

struct Options {
    MovieFileType type = MovieFileType::quickTimeMovie;
    QString siblingPurpose = QStringLiteral("remux");
};

// Nothing on success; the old destination is untouched on failure and no sibling stays behind.
std::optional<MediaError> write(const QString& destination, const std::vector<Insert>& inserts, const Options& options = {});

} // namespace Remux
