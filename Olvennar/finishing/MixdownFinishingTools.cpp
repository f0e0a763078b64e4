#include "finishing/MixdownFinishingTools.h"

#include "finishing/FaceMux.h"
#include "finishing/TailTrim.h"
#include "platform/system/ProcessMemory.h"
#include "platform/system/WorkerPool.h"

#include <qcorofuture.h>

// Every awaited operation is made in a statement of its own and awaited by name: g++ 12 may destroy the
// temporaries of a full expression that holds a co_await twice.
namespace {

std::optional<ErrorInfo> infoOf(const std::optional<Mixdown::MixdownError>& failure)
{
    return failure ? std::optional<ErrorInfo>(failure->info()) : std::nullopt;
}

} // namespace

MixdownFinishingTools::MixdownFinishingTools(OverlayRendererFactory makeRenderer, Mixdown::Options options)
    : makeRenderer_(std::move(makeRenderer))
    , options_(options)
{
}

QCoro::Task<FinishingTools::FaceResult> MixdownFinishingTools::faceMux(QString cameraPath, QString rawPath, QString facePath, FaceMux::Own own)
{
    QFuture<FaceResult> muxed = WorkerPool::renders().run([cameraPath, rawPath, facePath, own] {
        std::shared_ptr<const HeldFile> face;
        const FaceMux::Outcome outcome = FaceMux::write(cameraPath, rawPath, facePath, false, own, &face);
        if (const auto* failure = std::get_if<FaceMux::Failure>(&outcome))
            return FaceResult{failure->info(), nullptr};
        if (const auto* error = std::get_if<MediaError>(&outcome))
            return FaceResult{error->info(), nullptr};
        return FaceResult{std::nullopt, std::move(face)};
    });
    const FaceResult outcome = co_await muxed;
    co_return outcome;
}

QCoro::Task<std::optional<FinishingTools::TrimResult>> MixdownFinishingTools::tailTrim(QString path, double seconds, std::shared_ptr<const HeldFile> own)
{
    QFuture<std::optional<TailTrim::Result>> trimmed =
        WorkerPool::renders().run([path, seconds, own] { return TailTrim::trim(path, seconds, own); });
    const std::optional<TailTrim::Result> cut = co_await trimmed;
    if (!cut)
        co_return std::nullopt;
    co_return TrimResult{cut->trimmed, cut->duration, cut->written};
}

void MixdownFinishingTools::writeStopSidecar(const QString& path, const QString& stoppedBy, double trimmed, std::optional<double> duration)
{
    TailTrim::writeSidecar(path, stoppedBy, trimmed, duration);
}

QCoro::Task<FinishingTools::RenderResult> MixdownFinishingTools::composePassthrough(QString rawPath, QString finalPath, Progress progress)
{
    const Mixdown::Options options = options_;
    QFuture<std::optional<Mixdown::MixdownError>> copied = WorkerPool::renders().run([rawPath, finalPath, progress, options] {
        return Mixdown::composePassthrough(rawPath, finalPath, progress, options);
    });
    const std::optional<Mixdown::MixdownError> failure = co_await copied;
    // An idle studio gives back what the render freed.
    ProcessMemory::returnFreedMemory();
    co_return RenderResult{infoOf(failure), 0};
}

QCoro::Task<FinishingTools::RenderResult> MixdownFinishingTools::composeWithOverlays(
    std::shared_ptr<const Mixdown::Request> request, QString finalPath, Progress progress)
{
    const Mixdown::Options options = options_;
    const OverlayRendererFactory makeRenderer = makeRenderer_;
    // The worker takes the plan over, never a copy of it: it holds it for as long as it renders, whatever lets
    // go of it here meanwhile.
    QFuture<RenderResult> rendered = WorkerPool::renders().run([request = std::move(request), finalPath, progress, makeRenderer, options] {
        Mixdown::LeftOut leftOut;
        const std::optional<Mixdown::MixdownError> failure =
            Mixdown::composeWithOverlays(*request, finalPath, progress, makeRenderer, options, &leftOut);
        return RenderResult{infoOf(failure), leftOut.damagedPictures};
    });
    const RenderResult result = co_await rendered;
    ProcessMemory::returnFreedMemory();
    co_return result;
}

QCoro::Task<FinishOutcome::MovieLengths> MixdownFinishingTools::measureFinal(QString finalPath)
{
    QFuture<FinishOutcome::MovieLengths> read = WorkerPool::renders().run([finalPath] { return FinishOutcome::measure(finalPath); });
    const FinishOutcome::MovieLengths lengths = co_await read;
    co_return lengths;
}
