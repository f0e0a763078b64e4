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
    double heldSeconds() const { return heldSeconds_; }
    void push(MediaSample block);
    // Appends held blocks in order while `append` accepts them; stops at the first refusal and keeps it.
    void drain(const std::function<bool(const MediaSample&)>& append);
    double droppedSeconds() const { return droppedSeconds_; }

private:
    QString kindName_;
    double capacitySeconds_;
    std::deque<MediaSample> blocks_;
    double heldSeconds_ = 0;
    double droppedSeconds_ = 0;
};
