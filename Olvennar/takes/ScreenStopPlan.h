#pragma once

#include "takedata/Click.h"
#include "capture/PointerLog.h"
#include "capture/ScreenRecorder.h"
#include "takedata/ClipSegment.h"
#include "plans/LayoutTimeline.h"
#include "plans/MixdownRequest.h"
#include "plans/OverlayPanels.h"
#include "plans/ZoomTimeline.h"
#include "finishing/HeldSidecars.h"
#include "finishing/SaveJobHandover.h"
#include "takes/TakeFolder.h"
#include "takes/TakeLook.h"

#include <QJsonObject>
#include <QSizeF>
#include <QString>

#include <optional>
#include <vector>

struct LayoutSignals;

// What a screen take's stop gathered from its recorders and trackers once they all stopped.
struct StoppedScreenTake {
    QString rawURL;
    std::optional<QString> cameraURL;
    std::optional<QString> phoneURL;
    QSizeF renderSize;
    OverlayPanels panels;
    std::vector<ClipSegment> cameraSegments;
    std::vector<ClipSegment> phoneSegments;
    std::vector<Click> clicks;
    PointerLog log;
    // The ownCursor setting as it was when the take started.
    bool takeDrawsOwnCursor = false;
};

// The plans, sidecars and hand-over a screen take's stop makes from what it gathered and the look then.
namespace ScreenStopPlan {

ZoomTimeline zoom(const StoppedScreenTake& take, const TakeLook& look);
// The finished movie's request with the fixed layout; the moving one is added once the movie is measured.
Mixdown::Request mixdownRequest(const StoppedScreenTake& take, const TakeLook& look, const ZoomTimeline& zoom);
// The layout moves only in the dynamic studio look over a background that is not the dark room, with a camera.
bool movesLayout(const TakeLook& look, bool hasCamera);
LayoutTimeline layoutTimeline(double duration, const StoppedScreenTake& take, const ZoomTimeline& zoom, const LayoutSignals& signals);

// The sidecars below: a file that cannot be written is logged and held in `refused` for the take's save and
// render to write again, and the stop goes on.
// clicks.json (when there were clicks) and cursor.json.
void writeInputSidecars(const TakeFolder& folder, const StoppedScreenTake& take, HeldSidecars& refused);
// {"mode", "zooms": [{start, fullFrom, fullTo, end, scale, x, y, reason}]} pretty-printed with sorted keys
// through a hidden sibling.
void saveZoomSidecar(const ZoomTimeline& zoom, ZoomMode mode, const QString& path, HeldSidecars& refused);
void writeLayoutSidecar(const QString& path, const LayoutTimeline& timeline, LayoutMode mode, double duration, HeldSidecars& refused);

// The take description's "look" object, in its own lower-case words.
QJsonObject lookObject(const TakeLook& look, bool takeDrawsOwnCursor);
// "none", else "start-end" per span with one decimal, joined by ",".
QString describe(const std::vector<ClipSegment>& segments);
// "<folder> · take N": a folder's first take is 1, "-2" is 2, a suffix that is no number counts as 1.
QString title(const QString& folderName, const QString& suffix);
// The log line of a finished take: what it had and how it will be finished.
QString summary(const QString& folderName, const StoppedScreenTake& take, const TakeLook& look, const Mixdown::Request& request);
// What the studio says after a take that lost more than 5 % of its frames (dropped behind the writer or
// missed by the grabber); nothing for a take that kept up.
std::optional<QString> lostFramesNotice(int64_t written, int64_t lost);
// The save job of the stopped take, with its files named in the take's folder.
SaveJobHandover saveJob(const TakeFolder& folder, const StoppedScreenTake& take, const TakeLook& look, Mixdown::Request request,
    double duration, bool byRemote);
// The failure a take's end is finished by: the one that ended it during the take, else the stop's own when
// the recorder ended with an error but kept a movie (the disk filling as the take stopped, say), so what the
// movie holds is probed and saved as a failure-ended take's is. Nothing for a take stopped whole or a stop
// that kept no movie.
std::optional<ScreenRecorder::RecorderError> endingFailure(const std::optional<ScreenRecorder::RecorderError>& failure,
    const ScreenRecorder::StopResult& stopped);
// The status line after a recorder failure ended a take: that recording stopped, why, and what was kept:
// `keptSeconds` of the take saved in `rawName`, or nothing when not one picture was.
QString failureNotice(const ScreenRecorder::RecorderError& error, std::optional<double> keptSeconds, const QString& rawName);

} // namespace ScreenStopPlan
