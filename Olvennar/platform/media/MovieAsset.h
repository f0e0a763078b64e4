#pragma once

#include "platform/media/MediaError.h"
#include "platform/media/TrackFormat.h"
#include "platform/system/MediaTime.h"

#include <QString>

#include <array>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// One stored track as the file describes it.
struct MovieTrack {
    enum class MediaType { video, audio, other };

    int index = 0; // position among the file's tracks; the reader and Remux address tracks by it
    int trackID = 0;
    MediaType mediaType = MediaType::other;
    std::string codecName; // "hevc", "h264", "aac", ...
    std::string profileName; // "High", "Main", "LC", ... or empty
    int width = 0;
    int height = 0;
    double nominalFrameRate = 0; // frames per second as stored (average)
    bool hasFrameReordering = false; // B-frames: decode order differs from presentation order
    int sampleRate = 0;
    int channels = 0;
    int64_t bitRate = 0; // average, bits per second
    // The track's media on the movie timeline: where its first sample shows and how long it runs.
    MediaTime start = MediaTime::zero();
    MediaTime duration = MediaTime::zero();
    // Length of the empty edit that opens the track's edit list; zero when there is none.
    MediaTime emptyEditDuration = MediaTime::zero();
    std::optional<std::array<int32_t, 9>> displayMatrix;
    TrackFormat format;

    MediaTime end() const { return start + duration; }
    // Where the track's media really begins: the later of its start (not before 0) and its empty edit's end.
    MediaTime mediaStart() const;
};

// The tracks and durations of a movie file. Immutable once opened; safe to share between threads.
class MovieAsset {
public:
    static std::variant<MovieAsset, MediaError> open(const QString& path);
    // The movie's length; nothing when it cannot be opened.
    static std::optional<double> durationSeconds(const QString& path);

    const QString& path() const { return path_; }
    MediaTime duration() const { return duration_; }
    const std::vector<MovieTrack>& tracks() const { return tracks_; }
    std::vector<const MovieTrack*> tracks(MovieTrack::MediaType type) const;
    const MovieTrack* firstTrack(MovieTrack::MediaType type) const;

private:
    QString path_;
    MediaTime duration_ = MediaTime::zero();
    std::vector<MovieTrack> tracks_;
};
