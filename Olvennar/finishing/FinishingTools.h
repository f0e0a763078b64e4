#pragma once

#include "finishing/FaceMux.h"
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
    // What a tail trim cut: the seconds removed and the duration left, and the file as cut, held from before
    // it took the name.
    struct TrimResult {
        double trimmed = 0;
        double duration = 0;
        std::shared_ptr<const HeldFile> written = {};
    };
    // How a face mux ended: its failure, else the face file as written, held from before it took its name.
    struct FaceResult {
        std::optional<ErrorInfo> failure;
        std::shared_ptr<const HeldFile> face = {};
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
    // Reads, replaces and removes only the take's `own` movies (FaceMux::write).
    virtual QCoro::Task<FaceResult> faceMux(QString cameraPath, QString rawPath, QString facePath, FaceMux::Own own) = 0;
    // Cuts `seconds` off the file's end in place; nothing when nothing was cut. With `own`, cuts that file and
    // puts the cut only where the name still names it (TailTrim::trim).
    virtual QCoro::Task<std::optional<TrimResult>> tailTrim(QString path, double seconds, std::shared_ptr<const HeldFile> own) = 0;
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
