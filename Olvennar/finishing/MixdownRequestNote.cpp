#include "finishing/MixdownRequestNote.h"

#include <QJsonArray>

namespace MixdownRequestNote {

namespace {

QJsonArray rect(const QRectF& r) { return {r.x(), r.y(), r.width(), r.height()}; }
QRectF rect(const QJsonValue& v)
{
    const QJsonArray a = v.toArray();
    return a.size() == 4 ? QRectF(a[0].toDouble(), a[1].toDouble(), a[2].toDouble(), a[3].toDouble()) : QRectF();
}

template <typename Item, typename Encode>
QJsonArray array(const std::vector<Item>& items, Encode encode)
{
    QJsonArray out;
    for (const Item& item : items)
        out.append(encode(item));
    return out;
}

template <typename Item, typename Decode>
std::vector<Item> items(const QJsonValue& value, Decode decode)
{
    std::vector<Item> out;
    for (const QJsonValue& each : value.toArray())
        out.push_back(decode(each));
    return out;
}

QJsonArray numbers(const std::vector<double>& values) { return array(values, [](double v) { return QJsonValue(v); }); }
std::vector<double> numbers(const QJsonValue& v) { return items<double>(v, [](const QJsonValue& each) { return each.toDouble(); }); }

QJsonArray segments(const std::vector<ClipSegment>& list) { return array(list, [](const ClipSegment& s) { return QJsonArray{s.start, s.end}; }); }
std::vector<ClipSegment> segments(const QJsonValue& v)
{
    return items<ClipSegment>(v, [](const QJsonValue& each) { return ClipSegment{each[0].toDouble(), each[1].toDouble()}; });
}

template <typename Enum>
Enum enumFrom(const QJsonValue& v, Enum fallback) { return static_cast<Enum>(v.toInt(static_cast<int>(fallback))); }

QJsonObject time(const MediaTime& t) { return {{QStringLiteral("value"), static_cast<double>(t.value())}, {QStringLiteral("timescale"), t.timescale()}}; }
MediaTime time(const QJsonValue& v) { return MediaTime(static_cast<int64_t>(v[QStringLiteral("value")].toDouble()), v[QStringLiteral("timescale")].toInt()); }

QJsonObject zoom(const ZoomTimeline& zoom)
{
    return {{QStringLiteral("maxScale"), zoom.maxScale}, {QStringLiteral("segments"), array(zoom.segments, [](const ZoomTimeline::Segment& s) {
        return QJsonObject{{QStringLiteral("start"), s.start}, {QStringLiteral("rampInEnd"), s.rampInEnd}, {QStringLiteral("rampOutStart"), s.rampOutStart},
            {QStringLiteral("end"), s.end}, {QStringLiteral("reason"), s.reason}, {QStringLiteral("keys"), array(s.keys, [](const ZoomTimeline::Key& k) {
                return QJsonArray{k.time, k.center.x(), k.center.y(), k.scale};
            })}};
    })}};
}
ZoomTimeline zoom(const QJsonValue& v)
{
    ZoomTimeline zoom;
    zoom.maxScale = v[QStringLiteral("maxScale")].toDouble(1.0);
    zoom.segments = items<ZoomTimeline::Segment>(v[QStringLiteral("segments")], [](const QJsonValue& s) {
        return ZoomTimeline::Segment{s[QStringLiteral("start")].toDouble(), s[QStringLiteral("rampInEnd")].toDouble(), s[QStringLiteral("rampOutStart")].toDouble(),
            s[QStringLiteral("end")].toDouble(), items<ZoomTimeline::Key>(s[QStringLiteral("keys")], [](const QJsonValue& k) {
                return ZoomTimeline::Key{k[0].toDouble(), QPointF(k[1].toDouble(), k[2].toDouble()), k[3].toDouble()};
            }), s[QStringLiteral("reason")].toString()};
    });
    return zoom;
}

QJsonObject layout(const LayoutTimeline& timeline)
{
    return {{QStringLiteral("summary"), timeline.summary}, {QStringLiteral("stops"), array(timeline.stops, [](const LayoutTimeline::Stop& s) {
        return QJsonObject{{QStringLiteral("state"), static_cast<int>(s.state)}, {QStringLiteral("start"), s.start}, {QStringLiteral("ramp"), s.ramp},
            {QStringLiteral("reason"), s.reason}, {QStringLiteral("priority"), s.priority}};
    })}};
}
LayoutTimeline layout(const QJsonValue& v)
{
    LayoutTimeline timeline;
    timeline.summary = v[QStringLiteral("summary")].toString();
    timeline.stops = items<LayoutTimeline::Stop>(v[QStringLiteral("stops")], [](const QJsonValue& s) {
        return LayoutTimeline::Stop{enumFrom(s[QStringLiteral("state")], LayoutState::screen), s[QStringLiteral("start")].toDouble(), s[QStringLiteral("ramp")].toDouble(),
            s[QStringLiteral("reason")].toString(), s[QStringLiteral("priority")].toInt()};
    });
    return timeline;
}

QJsonObject pointer(const PointerPath& path)
{
    return {{QStringLiteral("start"), path.start}, {QStringLiteral("xs"), numbers(path.xs)}, {QStringLiteral("ys"), numbers(path.ys)},
        {QStringLiteral("shapes"), array(path.shapeKeys, [](const PointerPath::ShapeKey& k) { return QJsonArray{k.time, static_cast<int>(k.shape)}; })}};
}
PointerPath pointer(const QJsonValue& v)
{
    PointerPath path;
    path.start = v[QStringLiteral("start")].toDouble();
    path.xs = numbers(v[QStringLiteral("xs")]);
    path.ys = numbers(v[QStringLiteral("ys")]);
    path.shapeKeys = items<PointerPath::ShapeKey>(v[QStringLiteral("shapes")], [](const QJsonValue& k) {
        return PointerPath::ShapeKey{k[0].toDouble(), enumFrom(k[1], CursorShape::arrow)};
    });
    return path;
}

void optionalPath(QJsonObject& json, const QString& key, const std::optional<QString>& path)
{
    if (path)
        json.insert(key, *path);
}
std::optional<QString> optionalPath(const QJsonObject& json, const QString& key)
{
    return json.contains(key) ? std::optional(json.value(key).toString()) : std::nullopt;
}

} // namespace

QJsonObject encode(const Mixdown::Request& r)
{
    QJsonObject json{{QStringLiteral("rawURL"), r.rawURL}, {QStringLiteral("bubbleRect"), rect(r.bubbleRect)},
        {QStringLiteral("bubbleCornerRadius"), r.bubbleCornerRadius}, {QStringLiteral("bubbleShape"), static_cast<int>(r.bubbleShape)},
        {QStringLiteral("bubbleTilt"), r.bubbleTilt}, {QStringLiteral("phoneRect"), rect(r.phoneRect)}, {QStringLiteral("phoneCornerRadius"), r.phoneCornerRadius},
        {QStringLiteral("phoneShowsFrame"), r.phoneShowsFrame}, {QStringLiteral("cameraSegments"), segments(r.cameraSegments)},
        {QStringLiteral("phoneSegments"), segments(r.phoneSegments)}, {QStringLiteral("zoom"), zoom(r.zoom)},
        {QStringLiteral("clicks"), array(r.clicks, [](const Click& c) { return QJsonArray{c.time, c.x, c.y}; })},
        {QStringLiteral("showClickHighlight"), r.showClickHighlight}, {QStringLiteral("frameRate"), r.frameRate},
        {QStringLiteral("layout"), static_cast<int>(r.layout)}, {QStringLiteral("faceLayout"), static_cast<int>(r.faceLayout)},
        {QStringLiteral("cameraGrade"), r.cameraGrade}, {QStringLiteral("background"), static_cast<int>(r.background)},
        {QStringLiteral("layoutTimeline"), layout(r.layoutTimeline)}, {QStringLiteral("recordedSeconds"), r.recordedSeconds}};
    optionalPath(json, QStringLiteral("cameraURL"), r.cameraURL);
    optionalPath(json, QStringLiteral("phoneURL"), r.phoneURL);
    if (r.focus)
        json.insert(QStringLiteral("focus"), array(r.focus->keys, [](const FocusPath::Key& k) { return QJsonObject{{QStringLiteral("time"), k.time}, {QStringLiteral("rect"), rect(k.rect)}}; }));
    if (r.outputSize)
        json.insert(QStringLiteral("outputSize"), QJsonArray{r.outputSize->width(), r.outputSize->height()});
    if (r.pointer)
        json.insert(QStringLiteral("pointer"), pointer(*r.pointer));
    if (r.exportRange)
        json.insert(QStringLiteral("exportRange"), QJsonObject{{QStringLiteral("start"), time(r.exportRange->start)}, {QStringLiteral("duration"), time(r.exportRange->duration)}});
    return json;
}

std::optional<Mixdown::Request> decode(const QJsonObject& json)
{
    if (!json.value(QStringLiteral("rawURL")).isString())
        return std::nullopt;
    Mixdown::Request r;
    r.rawURL = json.value(QStringLiteral("rawURL")).toString();
    r.cameraURL = optionalPath(json, QStringLiteral("cameraURL"));
    r.phoneURL = optionalPath(json, QStringLiteral("phoneURL"));
    r.bubbleRect = rect(json.value(QStringLiteral("bubbleRect")));
    r.bubbleCornerRadius = json.value(QStringLiteral("bubbleCornerRadius")).toDouble();
    r.bubbleShape = enumFrom(json.value(QStringLiteral("bubbleShape")), r.bubbleShape);
    r.bubbleTilt = json.value(QStringLiteral("bubbleTilt")).toDouble();
    r.phoneRect = rect(json.value(QStringLiteral("phoneRect")));
    r.phoneCornerRadius = json.value(QStringLiteral("phoneCornerRadius")).toDouble();
    r.phoneShowsFrame = json.value(QStringLiteral("phoneShowsFrame")).toBool(true);
    r.cameraSegments = segments(json.value(QStringLiteral("cameraSegments")));
    r.phoneSegments = segments(json.value(QStringLiteral("phoneSegments")));
    r.zoom = zoom(json.value(QStringLiteral("zoom")));
    r.clicks = items<Click>(json.value(QStringLiteral("clicks")), [](const QJsonValue& c) { return Click{c[0].toDouble(), c[1].toDouble(), c[2].toDouble()}; });
    r.showClickHighlight = json.value(QStringLiteral("showClickHighlight")).toBool();
    r.frameRate = json.value(QStringLiteral("frameRate")).toInt(r.frameRate);
    r.layout = enumFrom(json.value(QStringLiteral("layout")), r.layout);
    r.faceLayout = enumFrom(json.value(QStringLiteral("faceLayout")), r.faceLayout);
    r.cameraGrade = json.value(QStringLiteral("cameraGrade")).toBool();
    r.background = enumFrom(json.value(QStringLiteral("background")), r.background);
    if (json.contains(QStringLiteral("focus"))) {
        r.focus = FocusPath();
        r.focus->keys = items<FocusPath::Key>(json.value(QStringLiteral("focus")), [](const QJsonValue& k) {
            return FocusPath::Key{k[QStringLiteral("time")].toDouble(), rect(k[QStringLiteral("rect")])};
        });
    }
    r.layoutTimeline = layout(json.value(QStringLiteral("layoutTimeline")));
    if (const QJsonArray size = json.value(QStringLiteral("outputSize")).toArray(); size.size() == 2)
        r.outputSize = QSizeF(size[0].toDouble(), size[1].toDouble());
    if (json.contains(QStringLiteral("pointer")))
        r.pointer = pointer(json.value(QStringLiteral("pointer")));
    if (json.contains(QStringLiteral("exportRange"))) {
        const QJsonValue range = json.value(QStringLiteral("exportRange"));
        r.exportRange = Mixdown::Request::TimeRange{time(range[QStringLiteral("start")]), time(range[QStringLiteral("duration")])};
    }
    r.recordedSeconds = json.value(QStringLiteral("recordedSeconds")).toDouble();
    return r;
}

} // namespace MixdownRequestNote
