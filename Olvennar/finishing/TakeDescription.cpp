#include "finishing/TakeDescription.h"

#include "finishing/HeldSidecars.h"
#include "platform/system/JsonSidecar.h"
#include "platform/system/Diagnostics.h"

#include <QFileInfo>
#include <QJsonArray>

namespace TakeDescription {

namespace {

QString text(ScreenLayout layout) { return layout == ScreenLayout::classic ? QStringLiteral("classic") : QStringLiteral("studio"); }
QString text(FaceLayout face) { return face == FaceLayout::bottomRight ? QStringLiteral("bottom-right") : QStringLiteral("tall-left"); }
QString text(LayoutMode mode) { return mode == LayoutMode::fixed ? QStringLiteral("fixed") : QStringLiteral("dynamic"); }

QString text(StudioBackground background)
{
    switch (background) {
    case StudioBackground::linen: return QStringLiteral("linen");
    case StudioBackground::blushMesh: return QStringLiteral("blush");
    case StudioBackground::clay: return QStringLiteral("clay");
    case StudioBackground::sunlitStudio: return QStringLiteral("sunlit");
    case StudioBackground::dotPaper: return QStringLiteral("dots");
    case StudioBackground::silkWaves: return QStringLiteral("silk");
    case StudioBackground::darkRoom: return QStringLiteral("dark");
    }
    return QStringLiteral("blush");
}

QString text(ZoomMode mode)
{
    switch (mode) {
    case ZoomMode::smart: return QStringLiteral("smart");
    case ZoomMode::manual: return QStringLiteral("manual");
    case ZoomMode::off: return QStringLiteral("off");
    case ZoomMode::everyClick: return QStringLiteral("clicks");
    }
    return QStringLiteral("smart");
}

} // namespace

QString note()
{
    return QStringLiteral("screen = screen video + mic; face = camera video + the same mic (track 1 of screen). "
                          "The edit decides the layout: VIDEO/scripts/longform/layout_pass");
}

QJsonObject lookObject(const Look& look)
{
    return QJsonObject{
        {QStringLiteral("layout"), text(look.layout)},
        {QStringLiteral("face"), text(look.face)},
        {QStringLiteral("bg"), text(look.background)},
        {QStringLiteral("grade"), look.grade},
        {QStringLiteral("zoom_mode"), text(look.zoomMode)},
        {QStringLiteral("zoom"), look.zoom},
        {QStringLiteral("four_k"), look.fourK},
        {QStringLiteral("own_cursor"), look.ownCursor},
        {QStringLiteral("click_highlight"), look.clickHighlight},
        {QStringLiteral("focus_window"), look.focusWindow},
        {QStringLiteral("wide"), 1.0},
        {QStringLiteral("layout_mode"), text(look.layoutMode)},
    };
}

QJsonObject object(const Fields& fields)
{
    QJsonArray segments;
    for (const ClipSegment& segment : fields.cameraSegments)
        segments.append(QJsonArray{segment.start, segment.end});
    QJsonObject take{
        {QStringLiteral("schema"), QString::fromLatin1(schema)},
        {QStringLiteral("screen"), fields.screenName},
        {QStringLiteral("duration"), fields.duration},
        {QStringLiteral("camera_segments"), segments},
        {QStringLiteral("look"), fields.look},
        // Internet date-time in UTC to whole seconds: 2026-12-05T14:39:25Z.
        {QStringLiteral("recorded_at"), fields.recordedAt.toUTC().toString(Qt::ISODate)},
        {QStringLiteral("note"), note()},
    };
    if (fields.faceName)
        take.insert(QStringLiteral("face"), *fields.faceName);
    if (fields.phoneName)
        take.insert(QStringLiteral("phone"), *fields.phoneName);
    if (fields.previewName)
        take.insert(QStringLiteral("preview"), *fields.previewName);
    return take;
}

QJsonObject zoomObject(const ZoomTimeline& zoom, ZoomMode mode)
{
    QJsonArray zooms;
    for (const ZoomTimeline::Segment& segment : zoom.segments) {
        const ZoomTimeline::Key first = segment.keys.empty() ? ZoomTimeline::Key{0, QPointF(0.5, 0.5), 1.0} : segment.keys.front();
        zooms.append(QJsonObject{
            {QStringLiteral("start"), segment.start},
            {QStringLiteral("fullFrom"), segment.rampInEnd},
            {QStringLiteral("fullTo"), segment.rampOutStart},
            {QStringLiteral("end"), segment.end},
            {QStringLiteral("scale"), first.scale},
            {QStringLiteral("x"), first.center.x()},
            {QStringLiteral("y"), first.center.y()},
            {QStringLiteral("reason"), segment.reason},
        });
    }
    return QJsonObject{{QStringLiteral("mode"), ZoomModes::rawText(mode)}, {QStringLiteral("zooms"), zooms}};
}

bool write(const QString& path, const QJsonObject& object)
{
    const QString name = QFileInfo(path).fileName();
    if (const auto failure = JsonSidecar::write(path, object, QFileInfo(path).completeBaseName())) {
        Diagnostics::log(ErrorInfo{QStringLiteral("Olvennar.TakeDescription"), 1, *failure}, QStringLiteral("write ") + name);
        return false;
    }
    return true;
}

bool write(const QString& path, const QJsonObject& object, HeldSidecars& refused)
{
    if (write(path, object))
        return true;
    refused.hold(path, JsonSidecar::encoded(object), QFileInfo(path).completeBaseName());
    return false;
}

} // namespace TakeDescription
