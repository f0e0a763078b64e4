#include "platform/media/SampleBufferPump.h"

#include "platform/media/ExportGate.h"
#include "platform/media/SampleSink.h"
#include "platform/media/SampleSource.h"
#include "platform/system/DispatchQueue.h"

#include <QPromise>

#include <chrono>
#include <thread>

std::shared_ptr<SampleBufferPump> SampleBufferPump::make(ExportGate& gate)
{
    return std::shared_ptr<SampleBufferPump>(new SampleBufferPump(gate));
}

QFuture<void> SampleBufferPump::run(SampleSink& input, SampleSource& output, DispatchQueue& queue,
    std::function<void(const MediaTime&)> onSample)
{
    auto promise = std::make_shared<QPromise<void>>();
    QFuture<void> future = promise->future();
    promise->start();
    auto self = shared_from_this();
    input.requestMediaDataWhenReady(queue, [self, promise, &input, &output, onSample = std::move(onSample)] {
        if (self->finished_)
            return;
        auto finish = [&] {
            self->finished_ = true;
            input.markAsFinished();
            // Whoever waits on the future may free the input, and this block with it, as soon as finish()
            // wakes it; finish() itself goes on touching the promise, so it must not die with the block.
            const auto keepAlive = promise;
            keepAlive->finish();
        };
        while (input.isReadyForMoreMediaData()) {
            while (self->gate_.isPaused())
                std::this_thread::sleep_for(std::chrono::duration<double>(self->gatePollSeconds_));
            if (self->gate_.isAbandoned()) {
                finish();
                return;
            }
            std::optional<MediaSample> sample = output.copyNextSample();
            if (!sample) {
                finish();
                return;
            }
            const MediaTime time = sample->presentationTime();
            if (!input.append(*sample)) {
                finish();
                return;
            }
            if (onSample)
                onSample(time);
        }
    });
    return future;
}
