#pragma once

#include <QString>

#include <cstdint>
#include <map>

// Internal: the few QuickTime boxes libavformat does not expose. Reads only the movie box, wherever it is.
namespace MovieBoxes {

struct TrackEdits {
    int64_t leadingEmptyEdit = 0; // in the movie timescale
};

struct MovieHeader {
    uint32_t timescale = 0;
    std::map<int, TrackEdits> tracks; // by track ID
};

// Nothing found (not a QuickTime file, or no movie box) gives an empty header.
MovieHeader read(const QString& path);

} // namespace MovieBoxes
