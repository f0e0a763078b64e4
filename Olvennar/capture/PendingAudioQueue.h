#pragma once

#include "platform/media/MediaSample.h"

#include <QString>

#include <deque>
#include <functional>

// Holds sound blocks (already on take time) that arrived while their writer input could not take them,
// up to a fixed length of sound. Past that the oldest blocks go, and every drop is logged with its length.
// Used on one queue only.
class PendingAudioQueue {
public:
    PendingAudioQueue(QString kindName, double capacitySeconds = 2.0);

    bool isEmpty() const { return blocks_.empty(); }
    double heldSeconds() const { return static_cast<double>(heldNanoseconds_) / 1e9; }
    void push(MediaSample block);
    // Appends held blocks in order while `append` accepts them; stops at the first refusal and keeps it.
    void drain(const std::function<bool(const MediaSample&)>& append);
    double droppedSeconds() const { return static_cast<double>(droppedNanoseconds_) / 1e9; }

private:
    QString kindName_;
    // Whole nanoseconds, so equal blocks add up exactly to the capacity.
    int64_t capacityNanoseconds_;
    std::deque<MediaSample> blocks_;
    int64_t heldNanoseconds_ = 0;
    int64_t droppedNanoseconds_ = 0;
};
