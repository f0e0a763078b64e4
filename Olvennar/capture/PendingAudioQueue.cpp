#include "capture/PendingAudioQueue.h"

#include "core/Diagnostics.h"

PendingAudioQueue::PendingAudioQueue(QString kindName, double capacitySeconds) : kindName_(std::move(kindName)), capacitySeconds_(capacitySeconds) {}

void PendingAudioQueue::push(MediaSample block)
{
    const double length = block.duration().isNumeric() ? block.duration().seconds() : 0;
    blocks_.push_back(std::move(block));
    heldSeconds_ += length;
    double dropped = 0;
    while (heldSeconds_ > capacitySeconds_ && !blocks_.empty()) {
        const double oldest = blocks_.front().duration().isNumeric() ? blocks_.front().duration().seconds() : 0;
        blocks_.pop_front();
        heldSeconds_ -= oldest;
        dropped += oldest;
    }
    if (dropped > 0) {
        droppedSeconds_ += dropped;
        Diagnostics::log(QStringLiteral("dropped %1s of %2 audio: the writer was not ready").arg(dropped, 0, 'f', 3).arg(kindName_));
    }
}

void PendingAudioQueue::drain(const std::function<bool(const MediaSample&)>& append)
{
    while (!blocks_.empty()) {
        if (!append(blocks_.front()))
            return;
        const double length = blocks_.front().duration().isNumeric() ? blocks_.front().duration().seconds() : 0;
        blocks_.pop_front();
        heldSeconds_ -= length;
    }
    heldSeconds_ = 0;
}
