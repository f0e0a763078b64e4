#pragma once

#include "platform/media/MediaError.h"
#include "platform/media/MovieFileType.h"
#include "platform/media/MovieWriterInput.h"
#include "platform/media/TrackFormat.h"
#include "platform/media/VideoSettings.h"
#include "platform/system/MediaTime.h"

#include <QFuture>
#include <QString>

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// Writes a QuickTime movie or an M4A file from per-track inputs: HEVC or H.264 High video (BGRA converted
// with swscale, or planar pictures taken as they are), AAC audio, or packets passed through unchanged.
//
// Life: create → add inputs → startWriting() → startSession(t) → appends → markAsFinished each input →
// finishWriting(). The session start is file time 0; samples before it are dropped.
// Capture mode writes a fragmented file in place, readable at any moment, and cut back to its last whole
// fragment after a failed write (a full disk); finishing mode writes a hidden sibling and renames it over the
// target only when the trailer is written, so a failure leaves the old target untouched and no sibling behind.
//
// Threading: all members are thread-safe. Inputs may be fed from different queues at once; encoding runs
// on the appending thread, muxing under the writer's lock. Status numbers follow the usual writer
// convention (0 unknown, 1 writing, 2 completed, 3 failed, 4 cancelled). A request block runs on the queue
// given to requestMediaDataWhenReady; destroy the writer only after those queues have finished with it.
class MovieWriter {
public:
    enum class Status { unknown = 0, writing = 1, completed = 2, failed = 3, cancelled = 4 };

    MovieWriter(QString path, MovieFileType type, MovieWriteMode mode, QString siblingPurpose = QStringLiteral("write"));
    ~MovieWriter();
    MovieWriter(const MovieWriter&) = delete;
    MovieWriter& operator=(const MovieWriter&) = delete;

    // Nothing when the track cannot be added (after startWriting, or the encoder cannot be opened; the
    // reason is then in lastInputError()).
    MovieWriterInput* addVideoInput(const VideoSettings& settings);
    MovieWriterInput* addAudioInput(const AudioSettings& settings);
    // Compressed packet samples copied as they are, described by a reader's track format.
    MovieWriterInput* addPassthroughInput(const TrackFormat& format, std::optional<std::array<int32_t, 9>> displayMatrix = {});
    std::optional<MediaError> lastInputError() const;

    // Names the file to write, replacing the path given at construction, so a capture writer can open its
    // encoders before its file is named. False once writing started.
    bool setPath(QString path);
    // Opens the file and writes the header; false (status failed, error set) when it cannot.
    bool startWriting();
    void startSession(const MediaTime& sourceTime);
    // Flushes the encoders, writes the trailer and (finishing mode) renames over the target.
    bool finishWriting();
    QFuture<bool> finishWritingAsync();
    // Stops without a trailer. A finishing sibling is removed; a capture file keeps what it holds.
    void cancelWriting();

    Status status() const;
    std::optional<MediaError> error() const;
    const QString& path() const { return path_; }
    // Where the file written lies now: its path, or wherever a rename of it or of its folders took it while
    // it was written (an open file follows its renames); a finishing file's target once renamed into place.
    // Nothing before the file was opened or once it was deleted.
    std::optional<QString> location() const;
    // Encoder actually used for each video input, e.g. "libx265" (what a VAAPI fallback chose).
    std::vector<std::string> videoEncoderNames() const;

private:
    friend class MovieWriterInput;
    struct Private;

    // Under the lock.
    MovieWriterInput* addTrack(std::shared_ptr<MovieWriterTrack> track);
    bool appendTo(MovieWriterTrack& track, const MediaSample& sample);
    void finishTrack(MovieWriterTrack& track);
    bool isTrackReady(const MovieWriterTrack& track) const;
    void wakeWaitingInputs();
    void fail(MediaError error);

    QString path_;
    std::unique_ptr<Private> d;
};
