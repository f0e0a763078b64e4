#include "capture/PendingAudioQueue.h"

#include "platform/system/Diagnostics.h"

#include <cmath>

namespace {
int64_t lengthOf(const MediaSample& block)
{
    const auto duration = block.duration().valueIn(1'000'000'000);
    return duration && *duration > 0 ? *duration : 0;
}
}

PendingAudioQueue::PendingAudioQueue(QString kindName, double capacitySeconds)
    : kindName_(std::move(kindName)), capacityNanoseconds_(std::llround(capacitySeconds * 1e9))
{
}

void PendingAudioQueue::push(MediaSample block)
{
    heldNanoseconds_ += lengthOf(block);
    blocks_.push_back(std::move(block));
    int64_t dropped = 0;
    while (heldNanoseconds_ > capacityNanoseconds_ && !blocks_.empty()) {
        const int64_t oldest = lengthOf(blocks_.front());
        blocks_.pop_front();
        heldNanoseconds_ -= oldest;
        dropped += oldest;
    }
    if (dropped > 0) {
        droppedNanoseconds_ += dropped;
        Diagnostics::log(QStringLiteral("dropped %1s of %2 audio: the writer was not ready").arg(static_cast<double>(dropped) / 1e9, 0, 'f', 3).arg(kindName_));
    }
}

void PendingAudioQueue::drain(const std::function<bool(const MediaSample&)>& append)
{
    while (!blocks_.empty()) {
        if (!append(blocks_.front()))
            return;
        heldNanoseconds_ -= lengthOf(blocks_.front());
        blocks_.pop_front();
    }
}
