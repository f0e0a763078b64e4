#pragma once

#include "plans/OverlayFrameRenderer.h"

#include <memory>

class FestrinCompositor;
class FestrinInstruction;

// The overlay export's per-frame renderer: one FestrinCompositor draws every frame from one instruction
// whose settings come from the export's request. The screen is track 1, the camera 2 and the phone 3 when
// the export has them.
class FestrinCompositorRenderer : public OverlayFrameRenderer {
public:
    explicit FestrinCompositorRenderer(const Setup& setup);
    ~FestrinCompositorRenderer() override;

    std::optional<ErrorInfo> render(const Frame& frame, PixelBuffer& output) override;
    // The studio look without a phone overlay draws straight into the encoder's planes.
    bool drawsPlanar() const override;
    std::optional<ErrorInfo> renderPlanar(const Frame& frame, const PlanarCanvas& output) override;
    // The compositor keeps only caches and the last screen frame, and an export's frames always carry one.
    bool drawsFramesIndependently() const override { return true; }
    const FestrinInstruction& instruction() const { return *instruction_; }

    static OverlayRendererFactory factory();

private:
    std::shared_ptr<const FestrinInstruction> instruction_;
    std::unique_ptr<FestrinCompositor> compositor_;
};
