#pragma once

#include "plans/LayoutTimeline.h"
#include "plans/OverlayPanels.h"
#include "plans/ZoomTimeline.h"
#include "platform/system/ErrorInfo.h"
#include "platform/system/MediaTime.h"
#include "platform/x11/ScreenFrameRate.h"
#include "takedata/Click.h"
#include "takedata/ClipSegment.h"
#include "takedata/FocusPath.h"
#include "takedata/PointerPath.h"
#include "takedata/StudioLook.h"

#include <QSizeF>
#include <QString>

#include <optional>
#include <vector>

namespace Mixdown {

// The largest side a render draws, masks or encodes: no frame needs more, and a corrupt rectangle or note
// must not allocate gigabytes.
inline constexpr double largestSide = 16384;

// Everything the finished movie of one screen take needs: built by the take's stop, carried by the save job,
// handed over by the finish job. Rectangles are in render space (origin bottom-left); the panels are those
// the take measured.
struct Request : OverlayPanels {
    struct TimeRange {
        MediaTime start;
        MediaTime duration;
    };

    QString rawURL;
    std::optional<QString> cameraURL;
    std::optional<QString> phoneURL;
    std::vector<ClipSegment> cameraSegments;
    std::vector<ClipSegment> phoneSegments;
    ZoomTimeline zoom;
    std::vector<Click> clicks;
    bool showClickHighlight = false;
    int frameRate = ScreenFrameRate::perSecond;
    ScreenLayout layout = ScreenLayout::classic;
    FaceLayout faceLayout = FaceLayout::tallLeft;
    bool cameraGrade = false;
    StudioBackground background = StudioBackground::blushMesh;
    std::optional<FocusPath> focus;
    LayoutTimeline layoutTimeline;
    std::optional<QSizeF> outputSize;
    std::optional<PointerPath> pointer;
    std::optional<TimeRange> exportRange;
    // The take's length as its stop measured it (0: unknown): a shorter final says what it kept.
    double recordedSeconds = 0;

    // Nothing is drawn: the screen video can be copied as it is. Output size, focus, face layout,
    // background, grade and layout plan play no part.
    bool isPassthrough() const
    {
        return !cameraURL && !phoneURL && zoom.segments.empty() && !(!clicks.empty() && showClickHighlight)
            && layout == ScreenLayout::classic && !pointer && !exportRange;
    }
};

// The failures of writing a finished movie.
struct MixdownError {
    enum class Kind { readerRefused, writerRefused, failed, noVideoTrack };
    Kind kind = Kind::failed;
    QString detail;

    QString description() const
    {
        switch (kind) {
        case Kind::readerRefused: return QStringLiteral("Could not read the raw recording: ") + detail;
        case Kind::writerRefused: return QStringLiteral("Could not write the finished file: ") + detail;
        case Kind::failed: return QStringLiteral("Mixdown failed: ") + detail;
        case Kind::noVideoTrack: return QStringLiteral("The raw recording has no video track.");
        }
        return {};
    }
    ErrorInfo info() const { return {QStringLiteral("Olvennar.Mixdown.MixdownError"), static_cast<int>(kind), description()}; }
};

} // namespace Mixdown
