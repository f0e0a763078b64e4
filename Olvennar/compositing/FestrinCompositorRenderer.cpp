#include "compositing/FestrinCompositorRenderer.h"

#include "compositing/FestrinCompositor.h"
#include "compositing/FestrinInstruction.h"
#include "plans/MixdownRequest.h"

namespace {
constexpr int32_t screenTrack = 1;
constexpr int32_t cameraTrack = 2;
constexpr int32_t phoneTrack = 3;
} // namespace

FestrinCompositorRenderer::FestrinCompositorRenderer(const Setup& setup)
    : compositor_(std::make_unique<FestrinCompositor>())
{
    CompositorSettings settings = CompositorSettings::forExport(setup.request, QSizeF(setup.renderSize), screenTrack,
        setup.hasCamera ? cameraTrack : 0, setup.hasPhone ? phoneTrack : 0);
    // The whole take: frames are looked up by take time, whatever part of it is exported.
    instruction_ = std::make_shared<const FestrinInstruction>(FestrinInstruction::TimeRange{MediaTime::zero(), MediaTime::positiveInfinity()},
        std::make_shared<const CompositorSettings>(std::move(settings)));
}

FestrinCompositorRenderer::~FestrinCompositorRenderer() = default;

std::optional<ErrorInfo> FestrinCompositorRenderer::render(const Frame& frame, PixelBuffer& output)
{
    FestrinCompositor::Request request;
    request.instruction = instruction_;
    request.compositionTime = frame.time;
    request.output = &output;
    const CompositorSettings& settings = instruction_->settings();
    if (frame.screen)
        request.sourceFrames[screenTrack] = frame.screen;
    if (frame.camera && settings.cameraTrackID != 0)
        request.sourceFrames[cameraTrack] = frame.camera;
    if (frame.phone && settings.phoneTrackID != 0)
        request.sourceFrames[phoneTrack] = frame.phone;
    const std::optional<FestrinCompositor::CompositorError> error = compositor_->renderRequest(request);
    if (!error)
        return std::nullopt;
    return FestrinCompositor::info(*error);
}

OverlayRendererFactory FestrinCompositorRenderer::factory()
{
    return [](const Setup& setup) -> std::unique_ptr<OverlayFrameRenderer> { return std::make_unique<FestrinCompositorRenderer>(setup); };
}
