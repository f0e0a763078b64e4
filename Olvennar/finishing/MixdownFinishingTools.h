#pragma once

#include "finishing/FinishingTools.h"
#include "finishing/Mixdown.h"
#include "plans/OverlayFrameRenderer.h"

// The finishing tools over the real face mux, tail trim and mixdown. Each blocking call runs on the
// renders pool, below a take's threads, while the awaiting job waits on the GUI thread.
class MixdownFinishingTools final : public FinishingTools {
public:
    // The factory draws every frame of an overlay export (the studio compositor in the app).
    explicit MixdownFinishingTools(OverlayRendererFactory makeRenderer, Mixdown::Options options = {});

    QCoro::Task<FaceResult> faceMux(QString cameraPath, QString rawPath, QString facePath, FaceMux::Own own) override;
    QCoro::Task<std::optional<TrimResult>> tailTrim(QString path, double seconds, std::shared_ptr<const HeldFile> own) override;
    void writeStopSidecar(const QString& path, const QString& stoppedBy, double trimmed, std::optional<double> duration) override;
    QCoro::Task<RenderResult> composePassthrough(QString rawPath, QString finalPath, Progress progress) override;
    QCoro::Task<RenderResult> composeWithOverlays(std::shared_ptr<const Mixdown::Request> request, QString finalPath, Progress progress) override;
    QCoro::Task<FinishOutcome::MovieLengths> measureFinal(QString finalPath) override;

private:
    OverlayRendererFactory makeRenderer_;
    Mixdown::Options options_;
};
