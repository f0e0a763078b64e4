#pragma once

#include "platform/media/MediaError.h"
#include "platform/media/MovieAsset.h"
#include "platform/media/SampleSource.h"

#include <memory>
#include <optional>
#include <variant>

// How a video output hands out pictures: BGRA PixelBuffers, optionally cropped and scaled in one swscale pass,
// or the decoder's own planes where they are already what the encoders take.
struct VideoOutputSettings {
    struct Rect {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
    };
    enum class Scaling { bilinear, bicubic, area, lanczos };

    std::optional<Rect> crop; // stored-frame pixels, origin top-left; snapped to the chroma grid
    int width = 0; // output size; 0 keeps the crop's (or the frame's) size
    int height = 0;
    Scaling scaling = Scaling::bilinear;
    // Decoder threads; 0 leaves the decoder's choice (one per core and one more, each holding frames).
    int decoderThreads = 0;
    // Pictures decoded as 8-bit 4:2:0 BT.709 limited range, neither cropped nor scaled, leave as PlanarPictures
    // sharing the decoder's planes (no conversion); any other picture still leaves as BGRA.
    bool encoderPlanesAsDecoded = false;
};

// How an audio output hands out sound: interleaved float AudioBlocks at this rate and channel count.
struct AudioOutputSettings {
    int sampleRate = 48000;
    int channels = 2;
};

// One output of a MovieReader: the samples of one track, in order.
class MovieReaderOutput : public SampleSource {
public:
    virtual int trackIndex() const = 0;
};

// Reads a movie's tracks through outputs: compressed packets (sizes, key flags, exact bytes), decoded BGRA
// pictures, or decoded sound converted to a requested rate and layout. A time range limits every output:
// packets run from the key frame at or before its start, pictures from the one showing at its start, sound
// is cut to the exact sample.
//
// Threading: configure (add outputs, time range) and startReading() on one thread; afterwards each output
// may be drained from its own thread at the same time. The demuxer is shared under a lock and hands each
// output its packets; packets of tracks without an output are skipped.
class MovieReader {
public:
    enum class Status { unknown = 0, reading = 1, completed = 2, failed = 3, cancelled = 4 };

    static std::variant<std::unique_ptr<MovieReader>, MediaError> open(const QString& path);
    ~MovieReader();
    MovieReader(const MovieReader&) = delete;
    MovieReader& operator=(const MovieReader&) = delete;

    const MovieAsset& asset() const;
    // Before startReading. An invalid duration reads to the end.
    void setTimeRange(const MediaTime& start, const MediaTime& duration);

    // Nothing when the track does not exist, has the wrong type, or reading has started.
    MovieReaderOutput* addPacketOutput(int trackIndex);
    MovieReaderOutput* addVideoOutput(int trackIndex, const VideoOutputSettings& settings = {});
    MovieReaderOutput* addAudioOutput(int trackIndex, const AudioOutputSettings& settings = {});

    bool startReading();
    void cancelReading();
    Status status() const;
    std::optional<MediaError> error() const;
    // Pictures of the time range the video outputs left out as damaged so far (each output logs its own at its end).
    int damagedPictures() const;

    struct Private;

private:
    MovieReader();
    std::shared_ptr<Private> d;
};
