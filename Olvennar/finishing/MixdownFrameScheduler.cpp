#include "finishing/MixdownFrameScheduler.h"

#include "finishing/MixdownBoundedQueue.h"
#include "platform/image/SerialRows.h"
#include "platform/media/ExportGate.h"
#include "platform/media/PixelBufferPool.h"
#include "platform/media/PlanarPictureConverter.h"
#include "platform/system/DispatchQueue.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <sched.h>
#include <thread>

namespace Mixdown {
namespace {

// Decoded pictures waiting per source, and rendered frames waiting for the encoder: enough to keep every
// stage busy, few enough that a 1080p export holds a bounded number of frames.
constexpr size_t decodedAhead = 4;
constexpr size_t renderedAhead = 3;
// How often the encoder's wait for a frame looks whether the studio quit.
constexpr std::chrono::milliseconds abandonLook {50};

void waitWhilePaused(const ExportGate& gate, const std::atomic<bool>& cancelled, double pollSeconds)
{
    while (gate.isPaused() && !cancelled)
        std::this_thread::sleep_for(std::chrono::duration<double>(pollSeconds));
}

} // namespace

// One renderer, the thread it draws on, and its converter when frames leave planar.
struct FrameScheduler::Worker {
    explicit Worker(OverlayFrameRenderer& drawing) : renderer(drawing), queue("mixdown.render") {}
    OverlayFrameRenderer& renderer;
    std::unique_ptr<PlanarPictureConverter> converter;
    DispatchQueue queue;
};

// A drawn frame's sample, or the renderer's error.
struct FrameScheduler::Drawn {
    std::optional<QString> error;
    MediaSample sample;
};

// A frame handed to a renderer, until it is drawn.
struct FrameScheduler::Pending {
    std::future<Drawn> done;
};

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
    // first one is held, so a stream that starts a little after 0 still has a picture at 0. Null at the end.
    const MediaSample* sampleAt(const MediaTime& time)
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
            return &*current;
        return next ? &*next : nullptr;
    }

    Source source;
    BoundedQueue<MediaSample> frames;
    std::unique_ptr<DispatchQueue> queue;
    std::optional<MediaSample> current;
    std::optional<MediaSample> next;
    bool primed = false;
};

FrameScheduler::FrameScheduler(Plan plan, Source screen, std::optional<Source> camera, std::optional<Source> phone,
    std::vector<OverlayFrameRenderer*> renderers, ExportGate& gate, double gatePollSeconds)
    : plan_(plan)
    , gate_(gate)
    , gatePollSeconds_(gatePollSeconds)
    , output_(std::make_unique<BoundedQueue<Pending>>(renderedAhead + renderers.size()))
{
    for (OverlayFrameRenderer* renderer : renderers) {
        if (!renderer)
            continue;
        workers_.push_back(std::make_unique<Worker>(*renderer));
        if (plan_.planarOutput)
            workers_.back()->converter = std::make_unique<PlanarPictureConverter>(plan_.renderSize.width(), plan_.renderSize.height());
    }
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
    pickQueue_.reset();
    // Frames already handed out are skipped, and their threads joined before the renderers can go.
    workers_.clear();
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
    pickQueue_ = std::make_unique<DispatchQueue>("com.quorrel.festrin.compositor");
    pickQueue_->async([this] { pickLoop(); });
}

int FrameScheduler::rendererCount(int cores) { return std::clamp((cores + 1) / 3, 1, 4); }

int FrameScheduler::availableCores()
{
    cpu_set_t cores;
    CPU_ZERO(&cores);
    if (sched_getaffinity(0, sizeof(cores), &cores) != 0)
        return static_cast<int>(std::max(std::thread::hardware_concurrency(), 1u));
    return std::max(CPU_COUNT(&cores), 1);
}

void FrameScheduler::pickLoop()
{
    const int64_t frames = frameCount(plan_.duration, plan_.frameRate);
    const MediaTime frameDuration(1, plan_.frameRate);
    // Planar frames leave their drawing buffer behind as soon as they are converted.
    const size_t drawing = plan_.planarOutput ? workers_.size() + 1 : renderedAhead + workers_.size() + 3;
    auto pool = PixelBufferPool::make(plan_.renderSize.width(), plan_.renderSize.height(), drawing);
    auto overlayAt = [](Feed* feed, const MediaTime& t) -> const MediaSample* {
        if (!feed || !feed->source.placement)
            return nullptr;
        const std::optional<MediaTime> sourceTime = feed->source.placement->sourceTime(t);
        return sourceTime ? feed->sampleAt(*sourceTime) : nullptr;
    };
    for (int64_t k = 0; k < frames && !cancelled_ && !failed_ && !workers_.empty(); ++k) {
        // A raised gate holds the renderers too, so no frame is drawn while a take is filming.
        waitWhilePaused(gate_, cancelled_, gatePollSeconds_);
        OverlayFrameRenderer::Frame frame;
        frame.index = k;
        frame.time = plan_.start + MediaTime(k, plan_.frameRate);
        if (const MediaSample* screen = screen_->sampleAt(frame.time)) {
            frame.screen = screen->pixels;
            frame.screenPlanes = screen->planar;
        }
        if (const MediaSample* camera = overlayAt(camera_.get(), frame.time)) {
            frame.camera = camera->pixels;
            frame.cameraPlanes = camera->planar;
        }
        if (const MediaSample* phone = overlayAt(phone_.get(), frame.time))
            frame.phone = phone->pixels;
        auto done = std::make_shared<std::promise<Drawn>>();
        Pending pending {done->get_future()};
        Worker& worker = *workers_[static_cast<size_t>(k) % workers_.size()];
        worker.queue.async([this, &worker, frame = std::move(frame), pool, frameDuration, done] {
            waitWhilePaused(gate_, cancelled_, gatePollSeconds_);
            done->set_value(cancelled_ || gate_.isAbandoned() ? Drawn {QStringLiteral("The export was cancelled."), {}}
                                                              : draw(worker, frame, *pool, frameDuration));
        });
        if (!output_->push(std::move(pending)))
            return;
    }
    output_->close();
}

FrameScheduler::Drawn FrameScheduler::draw(Worker& worker, const OverlayFrameRenderer::Frame& frame, PixelBufferPool& pool, MediaTime duration)
{
    // Side by side, each renderer keeps its rows to itself.
    std::optional<SerialRows> serial;
    if (workers_.size() > 1)
        serial.emplace();
    Drawn drawn;
    if (worker.converter && worker.renderer.drawsPlanar()) {
        // Straight into the encoder's planes.
        auto made = worker.converter->blank();
        if (auto* failure = std::get_if<MediaError>(&made))
            drawn.error = failure->description;
        else if (const std::optional<ErrorInfo> error = worker.renderer.renderPlanar(frame, std::get<0>(made)->canvas()))
            drawn.error = error->description;
        else
            drawn.sample = MediaSample::video(std::shared_ptr<const PlanarPicture>(std::get<0>(std::move(made))), frame.time, duration);
    } else if (std::shared_ptr<PixelBuffer> target = pool.take(); const std::optional<ErrorInfo> error = worker.renderer.render(frame, *target)) {
        drawn.error = error->description;
    } else if (!worker.converter) {
        drawn.sample = MediaSample::video(std::move(target), frame.time, duration);
    } else {
        auto converted = worker.converter->convert(*target);
        if (auto* failure = std::get_if<MediaError>(&converted))
            drawn.error = failure->description;
        else
            drawn.sample = MediaSample::video(std::get<0>(std::move(converted)), frame.time, duration);
    }
    if (drawn.error)
        failed_ = true;
    else
        ++rendered_;
    return drawn;
}

std::optional<MediaSample> FrameScheduler::copyNextSample()
{
    std::optional<Pending> next = output_->pop();
    if (!next)
        return std::nullopt;
    // Frames leave in order: this one waits for its renderer while the later ones are drawn. A studio that
    // quits does not wait for a drawing under way (the first one bakes the look, which takes seconds).
    while (next->done.wait_for(abandonLook) != std::future_status::ready) {
        if (gate_.isAbandoned()) {
            output_->cancel();
            return std::nullopt;
        }
    }
    Drawn drawn = next->done.get();
    if (drawn.error) {
        {
            std::lock_guard guard(lock_);
            failure_ = std::move(drawn.error);
        }
        output_->cancel();
        return std::nullopt;
    }
    return std::move(drawn.sample);
}

std::optional<QString> FrameScheduler::failure() const
{
    std::lock_guard guard(lock_);
    return failure_;
}

} // namespace Mixdown
