#pragma once

#include "takedata/PointerPath.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <cstddef>
#include <variant>
#include <vector>

// A pointer path's positions as a render's note keeps them. A day's take has ten million points a side: as
// JSON numbers that is some 400 MB of text and several times that once parsed, so a note holds them as a
// "count" and a "track" of base64 strings, one a minute. Each position is rounded to a step of 2⁻²⁰ of the
// capture's side (a sixty-fourth of a pixel at 16384 pixels) and stored as how far it lands from where the
// two points before it were heading, a zigzag varint of a byte or two while the pointer moves smoothly.
// Notes written before the track kept "xs" and "ys" arrays; MixdownRequestNote still reads those.
namespace PointerPathNote {

inline constexpr double stepsPerSide = 1 << 20;
inline constexpr size_t pointsPerString = 120 * 60;
// A position within ±Mixdown::largestSide lands at most 2³⁶ steps from where it was heading: 6 varint bytes.
inline constexpr int longestStepBytes = 6;

// The most a track of PointerPath::largestCount points takes in a note, quotes and commas included.
inline constexpr qint64 largestTrackBytes = [] {
    const qint64 strings = (static_cast<qint64>(PointerPath::largestCount) + pointsPerString - 1) / pointsPerString;
    const qint64 bytesPerString = 2 * longestStepBytes * static_cast<qint64>(pointsPerString);
    return strings * ((bytesPerString + 2) / 3 * 4 + 3);
}();

struct Positions {
    std::vector<double> xs;
    std::vector<double> ys;
};

// {"count", "track"} for the path's positions; none when its xs and ys are out of step (such a path draws no
// pointer either). A position that is not a number is kept as 0, as a JSON null read; one beyond
// ±Mixdown::largestSide, far off any picture, at that edge.
QJsonObject encode(const PointerPath& path);
// `count` points from a track's strings; a sentence naming what no studio writes otherwise ("a pointer
// track that is not base64"). Nothing is set aside for more points than the strings can hold.
std::variant<Positions, QString> decode(size_t count, const QJsonArray& track);

} // namespace PointerPathNote
