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
    CompositorSettings settings = CompositorSettings::forExport(setup.request, QSizeF(setup.renderSize), QSizeF(setup.screenSize), screenTrack,
        setup.hasCamera ? cameraTrack : 0, setup.hasPhone ? phoneTrack : 0);
    // The whole take: frames are looked up by take time, whatever part of it is exported.
    instruction_ = std::make_shared<const FestrinInstruction>(FestrinInstruction::TimeRange{MediaTime::zero(), MediaTime::positiveInfinity()},
        std::make_shared<const CompositorSettings>(std::move(settings)));
}

FestrinCompositorRenderer::~FestrinCompositorRenderer() = default;

namespace {

// The compositor's request for an export frame: the sources by track.
FestrinCompositor::Request requestFor(const std::shared_ptr<const FestrinInstruction>& instruction, const OverlayFrameRenderer::Frame& frame)
{
    FestrinCompositor::Request request;
    request.instruction = instruction;
    request.compositionTime = frame.time;
    const CompositorSettings& settings = instruction->settings();
    if (frame.screen)
        request.sourceFrames[screenTrack] = frame.screen;
    request.screenPlanes = frame.screenPlanes;
    if (frame.camera && settings.cameraTrackID != 0)
        request.sourceFrames[cameraTrack] = frame.camera;
    if (settings.cameraTrackID != 0)
        request.cameraPlanes = frame.cameraPlanes;
    if (frame.phone && settings.phoneTrackID != 0)
        request.sourceFrames[phoneTrack] = frame.phone;
    return request;
}

std::optional<ErrorInfo> errorOf(std::optional<FestrinCompositor::CompositorError> error)
{
    return error ? std::optional(FestrinCompositor::info(*error)) : std::nullopt;
}

} // namespace

std::optional<ErrorInfo> FestrinCompositorRenderer::render(const Frame& frame, PixelBuffer& output)
{
    FestrinCompositor::Request drawn = requestFor(instruction_, frame);
    drawn.output = &output;
    return errorOf(compositor_->renderRequest(drawn));
}

bool FestrinCompositorRenderer::drawsPlanar() const { return FestrinCompositor::drawsPlanar(instruction_->settings()); }

std::optional<ErrorInfo> FestrinCompositorRenderer::renderPlanar(const Frame& frame, const PlanarCanvas& output)
{
    FestrinCompositor::Request drawn = requestFor(instruction_, frame);
    drawn.planes = &output;
    return errorOf(compositor_->renderRequest(drawn));
}

OverlayRendererFactory FestrinCompositorRenderer::factory()
{
    return [](const Setup& setup) -> std::unique_ptr<OverlayFrameRenderer> { return std::make_unique<FestrinCompositorRenderer>(setup); };
}
