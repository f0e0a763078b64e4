#include "shortexport/ShortVideoRun.h"

#include "platform/media/ExportGate.h"
#include "platform/media/MovieWriterInput.h"
#include "platform/media/PixelBufferPool.h"
#include "platform/media/SampleSource.h"
#include "shorts/CropRenderer.h"
#include "shorts/ShortPacer.h"

#include <QPromise>

#include <chrono>
#include <deque>
#include <thread>

namespace ShortExport {
namespace {

// One call's loop state; touched only on the video queue.
struct VideoRun {
    VideoRun(MovieWriterInput& in, SampleSource& out, CropRenderer& render, const MediaTime& from, const MediaTime& to, int rate)
        : input(in)
        , output(out)
        , renderer(render)
        , start(from)
        , fps(rate)
        , pacer(from.seconds(), to.seconds(), rate)
        , pool(PixelBufferPool::make(render.cutSize().width(), render.cutSize().height(), 4))
    {
    }

    // The next sample that carries a picture, or nothing at the end.
    std::optional<MediaSample> readPicture()
    {
        for (;;) {
            std::optional<MediaSample> sample = output.copyNextSample();
            if (!sample || sample->pixels)
                return sample;
        }
    }

    static std::optional<ShortPacer::Timing> timingOf(const std::optional<MediaSample>& sample)
    {
        if (!sample)
            return std::nullopt;
        const MediaTime duration = sample->duration();
        return ShortPacer::Timing {sample->presentationTime().seconds(), duration.isNumeric() ? duration.seconds() : 0.0};
    }

    // Advances the pacer to its next output frame; false when the output is complete.
    bool advance()
    {
        for (;;) {
            const ShortPacer::Decision decision = pacer.next();
            if (decision == ShortPacer::Decision::end)
                return false;
            if (decision == ShortPacer::Decision::showHeld)
                return true;
            std::optional<MediaSample> sample = readPicture();
            pacer.frameRead(timingOf(sample));
            if (sample)
                frames.push_back({readCount++, std::move(*sample)});
            while (frames.size() > 1 && frames.front().first < pacer.heldFrame())
                frames.pop_front();
        }
    }

    // Renders and appends the held frame as output frame n; the failure when it cannot.
    std::optional<QString> writeHeld()
    {
        const PixelBuffer& raw = *frames.front().second.pixels;
        std::shared_ptr<PixelBuffer> picture = pool->take();
        if (!renderer.render(raw, *picture))
            return QStringLiteral("a raw picture of %1x%2 does not hold the crop").arg(raw.width()).arg(raw.height());
        const MediaTime time = start + MediaTime(pacer.framesWritten(), fps);
        if (!input.append(MediaSample::video(std::move(picture), time, MediaTime(1, fps))))
            return QStringLiteral("the video frame at %1 s was refused").arg(time.seconds(), 0, 'f', 3);
        pacer.frameShown();
        return std::nullopt;
    }

    MovieWriterInput& input;
    SampleSource& output;
    CropRenderer& renderer;
    MediaTime start;
    int fps;
    ShortPacer pacer;
    std::shared_ptr<PixelBufferPool> pool; // output pictures
    std::deque<std::pair<int64_t, MediaSample>> frames; // the held frame first, then at most the upcoming one
    int64_t readCount = 0;
    bool done = false;
};

} // namespace

QFuture<VideoOutcome> runVideo(MovieWriterInput& input, SampleSource& output, CropRenderer& renderer, const MediaTime& start,
    const MediaTime& end, int fps, DispatchQueue& queue, ExportGate& gate, double gatePollSeconds)
{
    auto run = std::make_shared<VideoRun>(input, output, renderer, start, end, fps);
    auto promise = std::make_shared<QPromise<VideoOutcome>>();
    QFuture<VideoOutcome> future = promise->future();
    promise->start();
    input.requestMediaDataWhenReady(queue, [run, promise, &gate, gatePollSeconds] {
        if (run->done)
            return;
        auto finish = [&](std::optional<QString> failure) {
            run->done = true;
            run->input.markAsFinished();
            run->frames.clear();
            // The waiter may free the input, and this block with it, once the future completes.
            const auto keepAlive = promise;
            keepAlive->addResult(VideoOutcome {run->pacer.framesWritten(), std::move(failure)});
            keepAlive->finish();
        };
        while (run->input.isReadyForMoreMediaData()) {
            while (gate.isPaused())
                std::this_thread::sleep_for(std::chrono::duration<double>(gatePollSeconds));
            if (gate.isAbandoned() || !run->advance()) {
                finish(std::nullopt);
                return;
            }
            if (std::optional<QString> failure = run->writeHeld()) {
                finish(std::move(failure));
                return;
            }
        }
    });
    return future;
}

} // namespace ShortExport
