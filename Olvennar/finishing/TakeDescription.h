#pragma once

#include "plans/ZoomTimeline.h"
#include "takedata/ClipSegment.h"
#include "takedata/LayoutMode.h"
#include "takedata/StudioLook.h"
#include "takedata/ZoomMode.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>
#include <vector>

class HeldSidecars;

// The JSON sidecars a screen take leaves for outside editing tools: the take description ("take.json",
// schema "studio-take/v1") with its look object, and the zoom plan ("zoom.json"). Their keys, value types
// and spellings are what those tools read; they never change.
namespace TakeDescription {

inline constexpr const char* schema = "studio-take/v1";
QString note();

// The look settings in force when the take stopped.
struct Look {
    ScreenLayout layout = ScreenLayout::studio;
    FaceLayout face = FaceLayout::tallLeft;
    StudioBackground background = StudioBackground::blushMesh;
    bool grade = false;
    ZoomMode zoomMode = ZoomMode::smart;
    double zoom = 1.9;
    bool fourK = false;
    bool ownCursor = false;
    bool clickHighlight = false;
    bool focusWindow = false;
    LayoutMode layoutMode = LayoutMode::dynamic;
};
// The look's own lower-case words ("blush", "clicks", "tall-left"), not the settings' raw texts.
QJsonObject lookObject(const Look& look);

struct Fields {
    QString screenName;
    double duration = 0;
    std::vector<ClipSegment> cameraSegments;
    QJsonObject look;
    QDateTime recordedAt;
    std::optional<QString> faceName;
    std::optional<QString> phoneName;
    std::optional<QString> previewName;
};
QJsonObject object(const Fields& fields);

// {"mode": raw text, "zooms": [{start, fullFrom, fullTo, end, scale, x, y, reason}]}.
QJsonObject zoomObject(const ZoomTimeline& zoom, ZoomMode mode);

// Pretty-printed with sorted keys through a hidden sibling; a failure is logged and gives false.
bool write(const QString& path, const QJsonObject& object);
// The same, holding the file in `refused` when it cannot be written, for a later attempt.
bool write(const QString& path, const QJsonObject& object, HeldSidecars& refused);

} // namespace TakeDescription
