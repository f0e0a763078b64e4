#pragma once

#include "finishing/MixdownOverlayPlacement.h"
#include "plans/OverlayFrameRenderer.h"
#include "platform/media/MovieReader.h"
#include "platform/media/SampleSource.h"

#include <QSize>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class DispatchQueue;
class PixelBufferPool;
class ExportGate;

namespace Mixdown {

template <typename T> class BoundedQueue;

// Our own frame clock for an overlay export: one output frame every 1/frameRate s from the session start,
// pipelined decode → render → encode. Each source decodes ahead on its own thread into a short queue; one
// thread picks, for every output time, the frame each source shows then and hands the frame to a renderer;
// the writer's video pump pulls the rendered frames through copyNextSample(), in order, and encodes them on
// its queue. With several renderers, frame k goes to renderer k mod n, each drawing on its own thread, so
// whole frames are drawn side by side while each renderer still sees its frames in order on one thread (its
// rows then stay on that thread too).
// Short queues keep memory flat whatever the take's length.
//
// Threading: start() once; copyNextSample() from one consumer thread. The destructor stops and joins every
// thread, also mid-export.
class FrameScheduler : public SampleSource {
public:
    struct Source {
        MovieReaderOutput* output = nullptr; // decoded pictures: BGRA, or for the screen and camera also planes
        std::optional<OverlayPlacement> placement; // overlays only; the screen shows throughout
    };
    struct Plan {
        MediaTime start = MediaTime::zero();
        MediaTime duration = MediaTime::zero();
        int frameRate = 30;
        QSize renderSize;
        // Frames leave as PlanarPictures (what a software encoder takes) instead of BGRA: drawn straight into
        // the planes by a renderer that drawsPlanar(), else converted on the drawing threads. The encoder's
        // thread only encodes, and waiting frames take 3/8 of the memory.
        bool planarOutput = false;
    };

    // `renderers`: at least one, borrowed for the scheduler's lifetime.
    FrameScheduler(Plan plan, Source screen, std::optional<Source> camera, std::optional<Source> phone,
        std::vector<OverlayFrameRenderer*> renderers, ExportGate& gate, double gatePollSeconds);
    ~FrameScheduler() override;

    void start();
    std::optional<MediaSample> copyNextSample() override;
    // The renderer's error, once one frame failed.
    std::optional<QString> failure() const;
    int64_t framesRendered() const { return rendered_.load(); }

    // Output frames of a span at a frame rate: every frame time start + k/rate that falls inside it.
    static int64_t frameCount(const MediaTime& duration, int frameRate);
    // How many renderers draw side by side on `cores` cores: one per three cores (at most four), enough that
    // drawing and converting keep ahead of the encoder, which takes most cores; each renderer keeps its own
    // baked layers (some 30 MB at 1080p).
    static int rendererCount(int cores);
    // The cores this process may run on.
    static int availableCores();

private:
    struct Feed;
    struct Worker;
    struct Drawn;
    struct Pending;
    void pickLoop();
    Drawn draw(Worker& worker, const OverlayFrameRenderer::Frame& frame, PixelBufferPool& pool, MediaTime duration);

    Plan plan_;
    std::vector<std::unique_ptr<Worker>> workers_;
    ExportGate& gate_;
    double gatePollSeconds_;
    std::unique_ptr<Feed> screen_;
    std::unique_ptr<Feed> camera_;
    std::unique_ptr<Feed> phone_;
    std::unique_ptr<BoundedQueue<Pending>> output_;
    std::unique_ptr<DispatchQueue> pickQueue_;
    std::atomic<bool> cancelled_ {false};
    std::atomic<bool> failed_ {false}; // a renderer failed: no more frames are handed out
    std::atomic<int64_t> rendered_ {0};
    mutable std::mutex lock_;
    std::optional<QString> failure_;
};

} // namespace Mixdown
