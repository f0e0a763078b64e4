#pragma once

#include "platform/media/MediaSample.h"

#include <QString>

#include <functional>
#include <optional>

// Records one sound source as interleaved float blocks stamped on the host clock (the time of each block's
// first frame). Blocks arrive on the backend's own thread; handlers must return quickly.
class AudioCapture {
public:
    enum class Source { named, defaultMicrophone, systemAudio };
    using BlockHandler = std::function<void(const MediaSample&)>;
    struct Request {
        Source source = Source::defaultMicrophone;
        QString sourceName; // for Source::named
        int sampleRate = 48000;
        int channels = 2;
        // Optional: every block the moment it is read, before the start handler's block of the same sound,
        // for a listener that needs the sound at once rather than in its place (voice follow). A backend may
        // hold blocks back while it finds their place (a latency that settles, a late read being checked);
        // these it never holds. Stamped where the block was measured; same thread and rules as the start
        // handler.
        BlockHandler onRead = {};
    };
    using FailureHandler = std::function<void(const QString& reason)>;

    virtual ~AudioCapture() = default;
    // The error sentence, or nothing once the source is open.
    virtual std::optional<QString> start(const Request& request, BlockHandler onBlock, FailureHandler onFailure = {}) = 0;
    // Returns once the first block arrived (or the backend gave up waiting), so a take that starts its picture
    // after this has no silent head. Sources started together wait here together.
    virtual void waitUntilFlowing() { }
    // Returns when no more blocks will be delivered. Any thread, also two at once or again after a stop.
    virtual void stop() = 0;
    // The human name of the source in use (empty before start).
    virtual QString sourceDescription() const = 0;
};
