#include "finishing/MixdownFrameScheduler.h"

#include "finishing/MixdownBoundedQueue.h"
#include "platform/media/PixelBufferPool.h"
#include "platform/system/DispatchQueue.h"
#include "takedata/ExportGate.h"

#include <chrono>
#include <thread>

namespace Mixdown {
namespace {

// Decoded pictures waiting per source, and rendered frames waiting for the encoder: enough to keep every
// stage busy, few enough that a 1080p export holds a bounded number of frames.
constexpr size_t decodedAhead = 4;
constexpr size_t renderedAhead = 3;

} // namespace

// One source: a decoding thread filling a short queue, and the render thread's forward-only cursor over it.
struct FrameScheduler::Feed {
    Feed(std::string label, Source from) : source(from), frames(decodedAhead), queue(std::make_unique<DispatchQueue>(std::move(label))) {}

    void start()
    {
        queue->async([this] {
            while (std::optional<MediaSample> sample = source.output->copyNextSample()) {
                if (!frames.push(std::move(*sample)))
                    return;
            }
            frames.close();
        });
    }

    // The picture showing at `time`: the last one that starts at or before it. Before the first picture the
    // first one is held, so a stream that starts a little after 0 still has a picture at 0.
    std::shared_ptr<const PixelBuffer> frameAt(const MediaTime& time)
    {
        if (!primed) {
            next = frames.pop();
            primed = true;
        }
        while (next && next->presentationTime() <= time) {
            current = std::move(next);
            next = frames.pop();
        }
        if (current)
            return current->pixels;
        return next ? next->pixels : nullptr;
    }

    Source source;
    BoundedQueue<MediaSample> frames;
    std::unique_ptr<DispatchQueue> queue;
    std::optional<MediaSample> current;
    std::optional<MediaSample> next;
    bool primed = false;
};

FrameScheduler::FrameScheduler(Plan plan, Source screen, std::optional<Source> camera, std::optional<Source> phone,
    OverlayFrameRenderer& renderer, ExportGate& gate, double gatePollSeconds)
    : plan_(plan)
    , renderer_(renderer)
    , gate_(gate)
    , gatePollSeconds_(gatePollSeconds)
    , output_(std::make_unique<BoundedQueue<MediaSample>>(renderedAhead))
{
    screen_ = std::make_unique<Feed>("mixdown.screen", screen);
    if (camera)
        camera_ = std::make_unique<Feed>("mixdown.camera", *camera);
    if (phone)
        phone_ = std::make_unique<Feed>("mixdown.phone", *phone);
}

FrameScheduler::~FrameScheduler()
{
    cancelled_ = true;
    output_->cancel();
    for (Feed* feed : {screen_.get(), camera_.get(), phone_.get()}) {
        if (feed)
            feed->frames.cancel();
    }
    renderQueue_.reset();
    screen_.reset();
    camera_.reset();
    phone_.reset();
}

int64_t FrameScheduler::frameCount(const MediaTime& duration, int frameRate)
{
    if (!duration.isNumeric() || duration <= MediaTime::zero() || frameRate <= 0)
        return 0;
    // ceil(duration × rate), exactly.
    const auto ticks = duration.valueIn(frameRate);
    if (!ticks)
        return 0;
    int64_t count = *ticks;
    while (MediaTime(count, frameRate) < duration)
        ++count;
    while (count > 0 && MediaTime(count - 1, frameRate) >= duration)
        --count;
    return count;
}

void FrameScheduler::start()
{
    for (Feed* feed : {screen_.get(), camera_.get(), phone_.get()}) {
        if (feed)
            feed->start();
    }
    // The renderer's state lives on this one thread for the whole export.
    renderQueue_ = std::make_unique<DispatchQueue>("com.quorrel.festrin.compositor");
    renderQueue_->async([this] { renderLoop(); });
}

void FrameScheduler::renderLoop()
{
    const int64_t frames = frameCount(plan_.duration, plan_.frameRate);
    const MediaTime frameDuration(1, plan_.frameRate);
    auto pool = PixelBufferPool::make(plan_.renderSize.width(), plan_.renderSize.height(), renderedAhead + 3);
    auto overlayAt = [](Feed* feed, const MediaTime& t) -> std::shared_ptr<const PixelBuffer> {
        if (!feed || !feed->source.placement)
            return nullptr;
        const std::optional<MediaTime> sourceTime = feed->source.placement->sourceTime(t);
        return sourceTime ? feed->frameAt(*sourceTime) : nullptr;
    };
    for (int64_t k = 0; k < frames && !cancelled_; ++k) {
        // A raised gate holds the renderer too, so no frame is drawn while a take is filming.
        while (gate_.isPaused() && !cancelled_)
            std::this_thread::sleep_for(std::chrono::duration<double>(gatePollSeconds_));
        OverlayFrameRenderer::Frame frame;
        frame.index = k;
        frame.time = plan_.start + MediaTime(k, plan_.frameRate);
        frame.screen = screen_->frameAt(frame.time);
        frame.camera = overlayAt(camera_.get(), frame.time);
        frame.phone = overlayAt(phone_.get(), frame.time);
        std::shared_ptr<PixelBuffer> target = pool->take();
        if (std::optional<ErrorInfo> error = renderer_.render(frame, *target)) {
            std::lock_guard guard(lock_);
            failure_ = error->description;
            break;
        }
        ++rendered_;
        if (!output_->push(MediaSample::video(std::move(target), frame.time, frameDuration)))
            return;
    }
    output_->close();
}

std::optional<MediaSample> FrameScheduler::copyNextSample() { return output_->pop(); }

std::optional<QString> FrameScheduler::failure() const
{
    std::lock_guard guard(lock_);
    return failure_;
}

} // namespace Mixdown
