#pragma once

#include "platform/media/MediaSample.h"

// Where a recorder hands its microphone blocks for voice follow. Called on the recorder's microphone
// queue; implementations must not block.
class SpeechAudioSink {
public:
    virtual ~SpeechAudioSink() = default;
    virtual void feed(const MediaSample& block) = 0;
};
