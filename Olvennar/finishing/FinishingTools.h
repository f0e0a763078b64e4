#pragma once

#include "finishing/FinishOutcome.h"
#include "plans/MixdownRequest.h"
#include "platform/system/ErrorInfo.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

#include <qcorotask.h>

// The media work of the save and finish jobs, behind one seam: the controller's jobs decide order, waits,
// rows and retries; these do the file work off the GUI thread and resume the awaiting job on it.
class FinishingTools {
public:
    // What a tail trim cut: the seconds removed and the duration left.
    struct TrimResult {
        double trimmed = 0;
        double duration = 0;
    };
    // How a render ended: its failure, or what the finished movie left out of the raw.
    struct RenderResult {
        std::optional<ErrorInfo> failure;
        int damagedPictures = 0; // the picture before each one holds instead
    };
    // Called from the mixdown's video queue with a fraction 0...1.
    using Progress = std::function<void(double)>;

    virtual ~FinishingTools() = default;

    // Camera video plus the raw file's microphone into the face file; removes the camera movie on success.
    virtual QCoro::Task<std::optional<ErrorInfo>> faceMux(QString cameraPath, QString rawPath, QString facePath) = 0;
    // Cuts `seconds` off the file's end in place; nothing when nothing was cut.
    virtual QCoro::Task<std::optional<TrimResult>> tailTrim(QString path, double seconds) = 0;
    // The stop record beside the take; best effort.
    virtual void writeStopSidecar(const QString& path, const QString& stoppedBy, double trimmed, std::optional<double> duration) = 0;
    // The screen video copied into the finished movie.
    virtual QCoro::Task<RenderResult> composePassthrough(QString rawPath, QString finalPath, Progress progress) = 0;
    // Every frame rendered through the studio compositor. The plan is shared, never copied: a day's take's is
    // some 170 MB.
    virtual QCoro::Task<RenderResult> composeWithOverlays(std::shared_ptr<const Mixdown::Request> request, QString finalPath, Progress progress) = 0;
    // The finished movie read back for what it holds.
    virtual QCoro::Task<FinishOutcome::MovieLengths> measureFinal(QString finalPath) = 0;
};
