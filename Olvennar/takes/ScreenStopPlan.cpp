#include "takes/ScreenStopPlan.h"

#include "capture/ClickTracker.h"
#include "takedata/ClockText.h"
#include "takedata/FocusPath.h"
#include "platform/system/Diagnostics.h"
#include "plans/LayoutSignals.h"
#include "finishing/TakeDescription.h"
#include "plans/ZoomActivity.h"
#include "platform/system/JsonSidecar.h"
#include "platform/x11/ScreenFrameRate.h"

#include <QFileInfo>
#include <QStringList>
#include <QUuid>

#include <algorithm>
#include <cstdio>

namespace {

QString yesNo(bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); }

// Replaced whole or not at all; a failed write is logged, the file held for a later attempt, and the stop goes on.
template <typename Json>
void writeSidecar(const QString& path, const std::optional<Json>& json, const QString& purpose, HeldSidecars& refused,
    JsonSidecar::Layout layout = JsonSidecar::Layout::indented)
{
    const auto error = json ? JsonSidecar::write(path, *json, purpose, layout) : std::optional<QString>(QStringLiteral("a value could not be encoded"));
    if (!error)
        return;
    Diagnostics::log(QStringLiteral("stop: could not write ") + QFileInfo(path).fileName() + QStringLiteral(": ") + *error);
    if (json)
        refused.hold(path, JsonSidecar::encoded(*json, layout), purpose);
}

std::vector<double> keysOf(const PointerLog& log) { return log.keys.value_or(std::vector<double>{}); }

} // namespace

ZoomTimeline ScreenStopPlan::zoom(const StoppedScreenTake& take, const TakeLook& look)
{
    const ZoomActivity activity{take.clicks, keysOf(take.log), PointerPath::fromSamples(take.log.samples), take.log.marks()};
    return ZoomTimeline::build(look.zoomMode, activity, look.zoomAmount);
}

Mixdown::Request ScreenStopPlan::mixdownRequest(const StoppedScreenTake& take, const TakeLook& look, const ZoomTimeline& zoom)
{
    Mixdown::Request request;
    request.rawURL = take.rawURL;
    request.cameraURL = take.cameraURL;
    request.phoneURL = take.phoneURL;
    static_cast<OverlayPanels&>(request) = take.panels;
    request.cameraSegments = take.cameraSegments;
    request.phoneSegments = take.phoneSegments;
    request.clicks = take.clicks;
    request.showClickHighlight = look.clickHighlight;
    request.frameRate = ScreenFrameRate::perSecond;
    request.layout = look.screenLayout;
    request.faceLayout = look.faceLayout;
    request.cameraGrade = look.cameraGrade;
    request.background = look.studioBackground;
    request.zoom = zoom;
    request.layoutTimeline = LayoutTimeline::fixed();
    if (look.frameFocusedWindow && take.log.windows) {
        const FocusPath path(*take.log.windows);
        // A path that only ever shows the whole screen frames nothing.
        const bool framesSomething = std::any_of(path.keys.begin(), path.keys.end(), [](const FocusPath::Key& key) { return key.rect != QRectF(0, 0, 1, 1); });
        if (framesSomething)
            request.focus = path;
    }
    if (look.screenLayout == ScreenLayout::studio)
        request.outputSize = look.export4K && take.renderSize.width() >= 2560 ? QSizeF(3840, 2160) : QSizeF(1920, 1080);
    if (take.takeDrawsOwnCursor) {
        std::optional<PointerPath> path = PointerPath::fromSamples(take.log.samples);
        if (!path)
            path = PointerPath::fromClicks(take.clicks);
        if (path) {
            path->shapeKeys = take.log.shapeKeys();
            request.pointer = path;
        }
    }
    return request;
}

bool ScreenStopPlan::movesLayout(const TakeLook& look, bool hasCamera)
{
    return look.layoutMode == LayoutMode::dynamic && look.screenLayout == ScreenLayout::studio
        && look.studioBackground != StudioBackground::darkRoom && hasCamera;
}

LayoutTimeline ScreenStopPlan::layoutTimeline(double duration, const StoppedScreenTake& take, const ZoomTimeline& zoom, const LayoutSignals& signals)
{
    return LayoutTimeline::build(duration, take.clicks, keysOf(take.log), PointerPath::fromSamples(take.log.samples), zoom, signals, take.cameraSegments);
}

void ScreenStopPlan::writeInputSidecars(const TakeFolder& folder, const StoppedScreenTake& take, HeldSidecars& refused)
{
    if (!take.clicks.empty())
        writeSidecar(folder.file(QStringLiteral("clicks"), QStringLiteral(".json")), ClickTracker::json(take.clicks), QStringLiteral("clicks"), refused);
    writeSidecar(folder.file(QStringLiteral("cursor"), QStringLiteral(".json")), take.log.json(), QStringLiteral("cursor"), refused,
        JsonSidecar::Layout::compact);
}

void ScreenStopPlan::saveZoomSidecar(const ZoomTimeline& zoom, ZoomMode mode, const QString& path, HeldSidecars& refused)
{
    TakeDescription::write(path, TakeDescription::zoomObject(zoom, mode), refused);
}

void ScreenStopPlan::writeLayoutSidecar(const QString& path, const LayoutTimeline& timeline, LayoutMode mode, double duration, HeldSidecars& refused)
{
    writeSidecar(path, std::optional(timeline.sidecar(mode, duration)), QStringLiteral("layout"), refused);
}

QJsonObject ScreenStopPlan::lookObject(const TakeLook& look, bool takeDrawsOwnCursor)
{
    TakeDescription::Look described;
    described.layout = look.screenLayout;
    described.face = look.faceLayout;
    described.background = look.studioBackground;
    described.grade = look.cameraGrade;
    described.zoomMode = look.zoomMode;
    described.zoom = look.zoomAmount;
    described.fourK = look.export4K;
    described.ownCursor = takeDrawsOwnCursor;
    described.clickHighlight = look.clickHighlight;
    described.focusWindow = look.frameFocusedWindow;
    described.layoutMode = look.layoutMode;
    return TakeDescription::lookObject(described);
}

QString ScreenStopPlan::describe(const std::vector<ClipSegment>& segments)
{
    if (segments.empty())
        return QStringLiteral("none");
    QStringList parts;
    for (const ClipSegment& segment : segments) {
        // The C library's rounding (QString::asprintf rounds its own way).
        char text[64];
        std::snprintf(text, sizeof text, "%.1f-%.1f", segment.start, segment.end);
        parts << QString::fromLatin1(text);
    }
    return parts.join(QLatin1Char(','));
}

QString ScreenStopPlan::title(const QString& folderName, const QString& suffix)
{
    bool numbered = false;
    const int number = suffix.isEmpty() ? 1 : suffix.mid(1).toInt(&numbered);
    const int takeNumber = suffix.isEmpty() || numbered ? number : 1;
    return folderName + QStringLiteral(" · take ") + QString::number(takeNumber);
}

QString ScreenStopPlan::summary(const QString& folderName, const StoppedScreenTake& take, const TakeLook& look, const Mixdown::Request& request)
{
    const int moves = std::max(0, static_cast<int>(request.layoutTimeline.stops.size()) - 1);
    return QStringLiteral("finished ") + folderName + QStringLiteral(" — camera:") + yesNo(take.cameraURL.has_value()) + QLatin1Char(' ')
        + QStringLiteral("phone:") + yesNo(take.phoneURL.has_value()) + QStringLiteral(" phoneSegments:") + describe(take.phoneSegments)
        + QLatin1Char(' ') + QStringLiteral("clicks:") + QString::number(take.clicks.size()) + QStringLiteral(" pointer:")
        + QString::number(take.log.samples.size()) + QLatin1Char(' ') + QStringLiteral("layout:") + StudioLook::rawText(look.screenLayout)
        + QLatin1Char('/') + StudioLook::rawText(look.faceLayout) + QLatin1Char('/') + StudioLook::rawText(look.studioBackground)
        + QLatin1Char(' ') + QStringLiteral("ownCursor:") + yesNo(take.takeDrawsOwnCursor) + QStringLiteral(" zoom:")
        + ZoomModes::rawText(look.zoomMode) + QLatin1Char('=') + QString::number(request.zoom.segments.size()) + QLatin1Char(' ')
        + QStringLiteral("layoutMode:") + LayoutModes::rawText(look.layoutMode) + QLatin1Char('=') + QString::number(moves)
        + QStringLiteral(" moves ") + QStringLiteral("keys:") + QString::number(keysOf(take.log).size()) + QStringLiteral(" marks:")
        + QString::number(take.log.marks().size());
}

SaveJobHandover ScreenStopPlan::saveJob(const TakeFolder& folder, const StoppedScreenTake& take, const TakeLook& look,
    Mixdown::Request request, double duration, bool byRemote)
{
    const QString folderName = QFileInfo(folder.path).fileName();
    SaveJobHandover job;
    job.id = QUuid::createUuid();
    job.title = title(folderName, folder.suffix);
    job.faceURL = take.cameraURL ? std::optional<QString>(folder.file(QStringLiteral("face"), QStringLiteral(".mov"))) : std::nullopt;
    job.takeJSON = folder.file(QStringLiteral("take"), QStringLiteral(".json"));
    job.previewURL = folder.file(QStringLiteral("final"), QStringLiteral(".mov"));
    job.duration = duration;
    job.cameraSegments = take.cameraSegments;
    job.look = lookObject(look, take.takeDrawsOwnCursor);
    job.stopSidecar = folder.file(QStringLiteral("stop"), QStringLiteral(".json"));
    job.byRemote = byRemote;
    job.summary = summary(folderName, take, look, request);
    job.request = std::move(request);
    return job;
}

std::optional<QString> ScreenStopPlan::lostFramesNotice(int64_t written, int64_t lost)
{
    const int64_t expected = written + lost;
    if (expected <= 0 || lost * 20 <= expected)
        return std::nullopt;
    const int64_t percent = std::max<int64_t>(6, (lost * 100 + expected / 2) / expected);
    return QStringLiteral("The computer could not keep up: this take lost %1 % of its frames (%2 of %3), so its picture stutters. It was saved all the same.")
        .arg(percent)
        .arg(lost)
        .arg(expected);
}

std::optional<ScreenRecorder::RecorderError> ScreenStopPlan::endingFailure(const std::optional<ScreenRecorder::RecorderError>& failure,
    const ScreenRecorder::StopResult& stopped)
{
    if (failure)
        return failure;
    if (stopped.url)
        return stopped.error;
    return std::nullopt;
}

QString ScreenStopPlan::failureNotice(const ScreenRecorder::RecorderError& error, std::optional<double> keptSeconds, const QString& rawName)
{
    using Kind = ScreenRecorder::RecorderError::Kind;
    if (error.kind() == Kind::diskFull)
        return keptSeconds ? error.errorDescription() : ScreenRecorder::RecorderError::writerFailed(QStringLiteral("the disk is full.")).errorDescription();
    if (error.kind() == Kind::movieLost)
        return error.errorDescription();
    QString why;
    switch (error.kind()) {
    case Kind::sourceStopped:
        why = error.detail();
        break;
    case Kind::writerFailed:
        why = QStringLiteral("the screen movie could not be written (") + error.detail() + QLatin1Char(')');
        break;
    case Kind::captureFailed:
        why = QStringLiteral("the capture failed (") + error.detail() + QLatin1Char(')');
        break;
    case Kind::screenPermissionStale:
        why = QStringLiteral("the X display refused screen access");
        break;
    case Kind::diskFull:
    case Kind::movieLost:
        break;
    }
    while (why.endsWith(QLatin1Char('.')))
        why.chop(1);
    const QString stopped = QStringLiteral("Recording stopped: ") + why + QStringLiteral(". ");
    if (!keptSeconds)
        return stopped + QStringLiteral("Not one picture had been recorded, so no take was saved.");
    return stopped + QStringLiteral("Saved up to ") + ClockText::format(*keptSeconds, ClockText::Form::paddedMinutes) + QStringLiteral(" in ") + rawName
        + QLatin1Char('.');
}
