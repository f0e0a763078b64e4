#include "finishing/MixdownRequestNote.h"

#include "capture/DeviceVideoRecorder.h"
#include "capture/PointerTracker.h"
#include "finishing/PendingNote.h"
#include "finishing/PointerPathNote.h"
#include "finishing/SaveJob.h"

#include <QFile>
#include <QJsonArray>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <utility>
#include <variant>

namespace MixdownRequestNote {

namespace {

// The bounds of what a studio writes: take times within a day, sides the compositor draws, frame rates a
// screen is filmed at, zooms the look offers with room to spare.
constexpr double longestTakeSeconds = 24.0 * 3600.0;
using Mixdown::largestSide;
constexpr double smallestOutputSide = 16;
constexpr int highestFrameRate = 240;
constexpr double largestZoom = 16;
// Whole numbers a JSON double holds exactly.
constexpr double largestWhole = 9007199254740992.0;

// Reads a note's values the way a studio writes them. The first value that is not is named for the row and
// read as its fallback, so the request stays one the renderer could be handed.
class Reader {
public:
    struct Range {
        double low;
        double high;
    };

    // The most entries a list may hold (what a take of the note's own length holds), how a refusal names them
    // ("zooms"), and how many the lists bounded together with it held before it.
    struct Most {
        qsizetype entries;
        const char* named;
        qsizetype before = 0;
    };

    explicit Reader(double recordedSeconds)
        : most(mostEntries(recordedSeconds))
        , take_(recordedSeconds > 0 ? QStringLiteral("a %1 s take").arg(recordedSeconds, 0, 'g', 6) : QStringLiteral("a take of unknown length"))
    {
    }

    std::optional<QString> unwritten;
    std::optional<QString> cut;
    MostEntries most;

    // A number within `range`; a missing one (or a null, which is how JSON keeps a NaN) is `fallback`, and a
    // required one (no fallback) that is missing is named.
    double number(const QJsonValue& v, const char* what, Range range, std::optional<double> fallback = 0.0)
    {
        if (v.isUndefined() || v.isNull())
            return fallback ? *fallback : refused(what, QStringLiteral(" that is missing"), 0.0);
        if (!v.isDouble())
            return refused(what, QStringLiteral(" that is not a number"), fallback.value_or(0.0));
        const double value = v.toDouble();
        if (!(value >= range.low && value <= range.high))
            return refused(what, QStringLiteral(" of ") + QString::number(value, 'g', 15), fallback.value_or(0.0));
        return value;
    }
    double time(const QJsonValue& v, const char* what) { return number(v, what, {-longestTakeSeconds, longestTakeSeconds}); }
    double coordinate(const QJsonValue& v, const char* what) { return number(v, what, {-largestSide, largestSide}); }
    // A whole number within `range`.
    double whole(const QJsonValue& v, const char* what, Range range, std::optional<double> fallback)
    {
        const double value = number(v, what, range, fallback);
        return value == std::floor(value) ? value : refused(what, QStringLiteral(" of ") + QString::number(value, 'g', 15), fallback.value_or(0.0));
    }
    // One of the cases a studio knows, stored by its numeric value.
    template <typename Enum, size_t count>
    Enum choice(const QJsonValue& v, const char* what, const std::array<Enum, count>& cases, Enum fallback)
    {
        const double value = whole(v, what, {INT_MIN, INT_MAX}, static_cast<int>(fallback));
        for (Enum each : cases) {
            if (static_cast<int>(each) == value)
                return each;
        }
        return refused(what, QStringLiteral(" of ") + QString::number(value, 'g', 15), fallback);
    }
    bool flag(const QJsonValue& v, const char* what, bool fallback)
    {
        if (v.isUndefined() || v.isNull())
            return fallback;
        return v.isBool() ? v.toBool() : refused(what, QStringLiteral(" that is not true or false"), fallback);
    }
    QString text(const QJsonValue& v, const char* what)
    {
        if (v.isUndefined() || v.isNull())
            return {};
        return v.isString() ? v.toString() : refused(what, QStringLiteral(" that is not text"), QString());
    }
    // A reason or summary, cut as a note's title is past its own bound or past what is left of the plan's.
    QString shortText(const QJsonValue& v, const char* what)
    {
        const QString whole = text(v, what);
        const qsizetype most = std::min(PendingNote::longestPlanText, planTextLeft_);
        planTextLeft_ -= std::min(whole.size(), most);
        if (whole.size() <= most)
            return whole;
        if (!cut)
            cut = QLatin1String(what) + QStringLiteral(" of %1 characters").arg(whole.size());
        return PendingNote::shownText(whole, most);
    }
    // A movie's path. One longer than a path can be names no movie: it is named, and kept no longer than a
    // path, as what it is no longer matters.
    void path(QString& path, const char* what)
    {
        if (QFile::encodeName(path).size() < PATH_MAX)
            return;
        refuse(QLatin1String(what) + QStringLiteral(" path of %1 characters").arg(path.size()));
        path.truncate(PATH_MAX);
    }
    // A list of at most `most` entries, none read past it.
    QJsonArray list(const QJsonValue& v, const char* what, Most most)
    {
        const QJsonArray entries = list(v, what);
        if (most.before + entries.size() > most.entries)
            return refused(QStringLiteral("%1 %2 for %3").arg(most.before + entries.size()).arg(QLatin1String(most.named), take_), QJsonArray());
        return entries;
    }
    // A list of `size` items, any length when 0.
    QJsonArray list(const QJsonValue& v, const char* what, qsizetype size = 0)
    {
        if (v.isUndefined() || v.isNull())
            return {};
        if (!v.isArray() || (size > 0 && v.toArray().size() != size))
            return refused(what, size > 0 ? QStringLiteral(" that is not %1 numbers").arg(size) : QStringLiteral(" that is not a list"), QJsonArray());
        return v.toArray();
    }
    QJsonObject object(const QJsonValue& v, const char* what)
    {
        if (v.isUndefined() || v.isNull())
            return {};
        return v.isObject() ? v.toObject() : refused(what, QStringLiteral(" that is not a group of values"), QJsonObject());
    }
    // A list's entry the studio writes as `size` numbers: nothing else is one, a null neither.
    QJsonArray entry(const QJsonValue& v, const char* what, qsizetype size)
    {
        return v.isArray() ? list(v, what, size) : refused(what, QStringLiteral(" that is not %1 numbers").arg(size), QJsonArray());
    }
    // A list's entry the studio writes as a group of values, each of `members` always in it (a null among them is
    // how JSON keeps a NaN).
    QJsonObject entry(const QJsonValue& v, const char* what, std::initializer_list<const char*> members)
    {
        if (!v.isObject())
            return refused(what, QStringLiteral(" that is not a group of values"), QJsonObject());
        QJsonObject json = v.toObject();
        for (const char* member : members) {
            if (!json.contains(QLatin1String(member)))
                return refused(what, QStringLiteral(" without its ") + QLatin1String(member), QJsonObject());
        }
        return json;
    }
    void refuse(const QString& sentence)
    {
        ++refusals;
        if (!unwritten)
            unwritten = sentence;
    }
    // Every value refused so far, the first one named in `unwritten`.
    int refusals = 0;

private:
    qsizetype planTextLeft_ = PendingNote::mostPlanText;
    QString take_;

    template <typename Value>
    Value refused(const char* what, const QString& how, Value fallback)
    {
        return refused(QLatin1String(what) + how, fallback);
    }
    template <typename Value>
    Value refused(const QString& sentence, Value fallback)
    {
        refuse(sentence);
        return fallback;
    }
};

QJsonArray rect(const QRectF& r) { return {r.x(), r.y(), r.width(), r.height()}; }
QRectF rect(Reader& read, const QJsonValue& v, const char* what)
{
    const QJsonArray a = read.list(v, what, 4);
    if (a.size() != 4)
        return QRectF();
    // Braces: the values are read, and the first one no studio writes named, in order.
    const QRectF r{read.coordinate(a[0], what), read.coordinate(a[1], what), read.coordinate(a[2], what), read.coordinate(a[3], what)};
    if (r.width() < 0 || r.height() < 0)
        read.refuse(QLatin1String(what) + QStringLiteral(" of negative size"));
    return r;
}

template <typename Item, typename Encode>
QJsonArray array(const std::vector<Item>& items, Encode encode)
{
    QJsonArray out;
    for (const Item& item : items)
        out.append(encode(item));
    return out;
}

// A list's entries, as many as `most` allows. None is read past the first one no studio writes: the render
// fails with it, and a list of anything but entries must not cost what a list of entries would.
template <typename Item, typename Decode>
std::vector<Item> items(Reader& read, const QJsonValue& value, const char* what, Reader::Most most, Decode decode)
{
    const QJsonArray entries = read.list(value, what, most);
    const int refused = read.refusals;
    std::vector<Item> out;
    out.reserve(static_cast<size_t>(entries.size()));
    for (const QJsonValue& each : entries) {
        Item item = decode(each);
        if (read.refusals != refused)
            break;
        out.push_back(std::move(item));
    }
    return out;
}

QJsonArray segments(const std::vector<ClipSegment>& list) { return array(list, [](const ClipSegment& s) { return QJsonArray{s.start, s.end}; }); }
std::vector<ClipSegment> segments(Reader& read, const QJsonValue& v, const char* what, Reader::Most most)
{
    return items<ClipSegment>(read, v, what, most, [&](const QJsonValue& each) {
        const QJsonArray span = read.entry(each, what, 2);
        return span.size() == 2 ? ClipSegment{read.time(span[0], what), read.time(span[1], what)} : ClipSegment{};
    });
}

QJsonObject time(const MediaTime& t) { return {{QStringLiteral("value"), static_cast<double>(t.value())}, {QStringLiteral("timescale"), t.timescale()}}; }
// A time of the export range: a whole count of `timescale` parts of a second, at least `lowest` of them.
MediaTime time(Reader& read, const QJsonValue& v, const char* what, double lowest)
{
    const QJsonObject t = read.object(v, what);
    const double timescale = read.whole(t.value(QStringLiteral("timescale")), "an export timescale", {1, INT_MAX}, std::nullopt);
    const double value = read.whole(t.value(QStringLiteral("value")), what, {lowest, largestWhole}, std::nullopt);
    return timescale >= 1 ? MediaTime(static_cast<int64_t>(value), static_cast<int32_t>(timescale)) : MediaTime::zero();
}

QJsonObject zoom(const ZoomTimeline& zoom)
{
    return {{QStringLiteral("maxScale"), zoom.maxScale}, {QStringLiteral("segments"), array(zoom.segments, [](const ZoomTimeline::Segment& s) {
        return QJsonObject{{QStringLiteral("start"), s.start}, {QStringLiteral("rampInEnd"), s.rampInEnd}, {QStringLiteral("rampOutStart"), s.rampOutStart},
            {QStringLiteral("end"), s.end}, {QStringLiteral("reason"), s.reason}, {QStringLiteral("keys"), array(s.keys, [](const ZoomTimeline::Key& k) {
                return QJsonArray{k.time, k.center.x(), k.center.y(), k.scale};
            })}};
    })}};
}

QJsonObject layout(const LayoutTimeline& timeline)
{
    return {{QStringLiteral("summary"), timeline.summary}, {QStringLiteral("stops"), array(timeline.stops, [](const LayoutTimeline::Stop& s) {
        return QJsonObject{{QStringLiteral("state"), static_cast<int>(s.state)}, {QStringLiteral("start"), s.start}, {QStringLiteral("ramp"), s.ramp},
            {QStringLiteral("reason"), s.reason}, {QStringLiteral("priority"), s.priority}};
    })}};
}

QJsonObject pointer(const PointerPath& path)
{
    QJsonObject json = PointerPathNote::encode(path);
    json.insert(QStringLiteral("start"), path.start);
    json.insert(QStringLiteral("shapes"), array(path.shapeKeys, [](const PointerPath::ShapeKey& k) { return QJsonArray{k.time, static_cast<int>(k.shape)}; }));
    return json;
}

void optionalPath(QJsonObject& json, const QString& key, const std::optional<QString>& path, const MovieNames& named)
{
    if (path)
        json.insert(key, named ? named(*path) : *path);
}

ZoomTimeline zoom(Reader& read, const QJsonValue& v)
{
    const QJsonObject json = read.object(v, "a zoom plan");
    ZoomTimeline zoom;
    zoom.maxScale = read.number(json.value(QStringLiteral("maxScale")), "a largest zoom", {0.01, largestZoom}, 1.0);
    // Every zoom's keys together: each comes of a click, a mark or a burst of activity.
    qsizetype keys = 0;
    zoom.segments = items<ZoomTimeline::Segment>(read, json.value(QStringLiteral("segments")), "a zoom", {read.most.perFrame, "zooms"}, [&](const QJsonValue& each) {
        const QJsonObject s = read.entry(each, "a zoom", {"start", "rampInEnd", "rampOutStart", "end", "keys", "reason"});
        const auto key = [&](const QJsonValue& k) {
            const QJsonArray a = read.entry(k, "a zoom key", 4);
            return a.size() == 4 ? ZoomTimeline::Key{read.time(a[0], "a zoom time"), QPointF{read.coordinate(a[1], "a zoom position"), read.coordinate(a[2], "a zoom position")},
                                       read.number(a[3], "a zoom scale", {0.01, largestZoom}, 1.0)}
                                 : ZoomTimeline::Key{};
        };
        return ZoomTimeline::Segment{read.time(s.value(QStringLiteral("start")), "a zoom time"), read.time(s.value(QStringLiteral("rampInEnd")), "a zoom time"),
            read.time(s.value(QStringLiteral("rampOutStart")), "a zoom time"), read.time(s.value(QStringLiteral("end")), "a zoom time"),
            [&] {
                std::vector<ZoomTimeline::Key> held = items<ZoomTimeline::Key>(read, s.value(QStringLiteral("keys")), "a zoom key", {read.most.perFrame, "zoom keys", keys}, key);
                keys += static_cast<qsizetype>(held.size());
                return held;
            }(), read.shortText(s.value(QStringLiteral("reason")), "a zoom reason")};
    });
    return zoom;
}

LayoutTimeline layout(Reader& read, const QJsonValue& v)
{
    const QJsonObject json = read.object(v, "a layout plan");
    LayoutTimeline timeline;
    timeline.summary = read.shortText(json.value(QStringLiteral("summary")), "a layout summary");
    timeline.stops = items<LayoutTimeline::Stop>(read, json.value(QStringLiteral("stops")), "a layout stop", {read.most.perFrame, "layout stops"}, [&](const QJsonValue& each) {
        const QJsonObject s = read.entry(each, "a layout stop", {"state", "start", "ramp", "reason", "priority"});
        return LayoutTimeline::Stop{read.choice(s.value(QStringLiteral("state")), "a layout state", StudioLook::layoutStates, LayoutState::screen),
            read.time(s.value(QStringLiteral("start")), "a layout time"), read.number(s.value(QStringLiteral("ramp")), "a layout ramp", {0, longestTakeSeconds}),
            read.shortText(s.value(QStringLiteral("reason")), "a layout reason"),
            static_cast<int>(read.whole(s.value(QStringLiteral("priority")), "a layout priority", {-1000, 1000}, 0))};
    });
    return timeline;
}

std::vector<double> positions(Reader& read, const QJsonValue& v)
{
    return items<double>(read, v, "a pointer path", {read.most.positions, "pointer positions"}, [&](const QJsonValue& each) { return read.coordinate(each, "a pointer position"); });
}

PointerPath pointer(Reader& read, const QJsonValue& v)
{
    const QJsonObject json = read.object(v, "a pointer path");
    PointerPath path;
    path.start = read.time(json.value(QStringLiteral("start")), "a pointer start");
    const bool arrays = json.contains(QStringLiteral("xs")) || json.contains(QStringLiteral("ys"));
    if (!arrays || json.contains(QStringLiteral("track")) || json.contains(QStringLiteral("count"))) {
        if (arrays)
            read.refuse(QStringLiteral("a pointer path kept both as a track and as lists"));
        const double count = read.whole(json.value(QStringLiteral("count")), "a pointer path length", {0, static_cast<double>(PointerPath::largestCount)}, std::nullopt);
        std::variant<PointerPathNote::Positions, QString> track = PointerPathNote::decode(static_cast<size_t>(count), read.list(json.value(QStringLiteral("track")), "a pointer track"));
        if (auto* kept = std::get_if<PointerPathNote::Positions>(&track)) {
            path.xs = std::move(kept->xs);
            path.ys = std::move(kept->ys);
        } else {
            read.refuse(std::get<QString>(track));
        }
    } else { // as notes kept it before the track
        path.xs = positions(read, json.value(QStringLiteral("xs")));
        path.ys = positions(read, json.value(QStringLiteral("ys")));
        if (path.xs.size() != path.ys.size())
            read.refuse(QStringLiteral("a pointer path of %1 x and %2 y positions").arg(path.xs.size()).arg(path.ys.size()));
    }
    static constexpr std::array<CursorShape, 4> shapes{CursorShape::other, CursorShape::arrow, CursorShape::iBeam, CursorShape::hand};
    path.shapeKeys = items<PointerPath::ShapeKey>(read, json.value(QStringLiteral("shapes")), "a cursor shape", {read.most.shapes, "cursor shapes"}, [&](const QJsonValue& k) {
        const QJsonArray a = read.entry(k, "a cursor shape", 2);
        return a.size() == 2 ? PointerPath::ShapeKey{read.time(a[0], "a cursor shape time"), read.choice(a[1], "a cursor shape", shapes, CursorShape::arrow)}
                             : PointerPath::ShapeKey{};
    });
    return path;
}

// A range a studio exports holds at least one picture of the take: it starts before the take's recorded end
// (when the note knows it) and holds a frame's time or more of it. Anything less makes a final with no picture.
void checkExportRange(Reader& read, const Mixdown::Request& r)
{
    if (!r.exportRange)
        return;
    const auto seconds = [](double value) { return QString::number(value, 'g', 6) + QStringLiteral(" s"); };
    const double start = r.exportRange->start.seconds();
    const double length = r.exportRange->duration.seconds();
    const bool knownLength = r.recordedSeconds > 0;
    if (knownLength && start >= r.recordedSeconds) {
        read.refuse(QStringLiteral("an export start at ") + seconds(start) + QStringLiteral(", past the end of the ") + seconds(r.recordedSeconds)
            + QStringLiteral(" take"));
        return;
    }
    const double held = knownLength ? std::min(length, r.recordedSeconds - start) : length;
    if (held < 1.0 / r.frameRate)
        read.refuse(QStringLiteral("an export range of ") + seconds(held) + QStringLiteral(" of the take, less than one frame"));
}

std::optional<QString> optionalPath(Reader& read, const QJsonObject& json, const QString& key, const char* what)
{
    return json.contains(key) ? std::optional(read.text(json.value(key), what)) : std::nullopt;
}

} // namespace

MostEntries mostEntries(double recordedSeconds)
{
    // A take reaches a little past its recorded length: the stop may have cut the tail of a take stopped from
    // afar after what it planned. Unknown, it is as long as a take can be.
    const double reach = (recordedSeconds > 0 ? std::min(recordedSeconds, longestTakeSeconds) : longestTakeSeconds) + SaveJob::remoteTailSeconds;
    const auto every = [reach](double seconds) { return static_cast<qsizetype>(std::ceil(reach / seconds)) + 2; };
    const double tick = static_cast<double>(PointerTracker::periodNanoseconds) / 1e9;
    return MostEntries{every(1.0 / ScreenFrameRate::perSecond), every(DeviceVideoRecorder::spanGapSeconds), every(FocusPath::minimumDwell),
        every(tick * PointerTracker::shapeEvery), every(1.0 / PointerPath::rate) - static_cast<qsizetype>(PointerPath::earliestSampleTime * PointerPath::rate)};
}

QJsonObject encode(const Mixdown::Request& r, const MovieNames& named)
{
    QJsonObject json{{QStringLiteral("rawURL"), named ? named(r.rawURL) : r.rawURL}, {QStringLiteral("bubbleRect"), rect(r.bubbleRect)},
        {QStringLiteral("bubbleCornerRadius"), r.bubbleCornerRadius}, {QStringLiteral("bubbleShape"), static_cast<int>(r.bubbleShape)},
        {QStringLiteral("bubbleTilt"), r.bubbleTilt}, {QStringLiteral("phoneRect"), rect(r.phoneRect)}, {QStringLiteral("phoneCornerRadius"), r.phoneCornerRadius},
        {QStringLiteral("phoneShowsFrame"), r.phoneShowsFrame}, {QStringLiteral("cameraSegments"), segments(r.cameraSegments)},
        {QStringLiteral("phoneSegments"), segments(r.phoneSegments)}, {QStringLiteral("zoom"), zoom(r.zoom)},
        {QStringLiteral("clicks"), array(r.clicks, [](const Click& c) { return QJsonArray{c.time, c.x, c.y}; })},
        {QStringLiteral("showClickHighlight"), r.showClickHighlight}, {QStringLiteral("frameRate"), r.frameRate},
        {QStringLiteral("layout"), static_cast<int>(r.layout)}, {QStringLiteral("faceLayout"), static_cast<int>(r.faceLayout)},
        {QStringLiteral("cameraGrade"), r.cameraGrade}, {QStringLiteral("background"), static_cast<int>(r.background)},
        {QStringLiteral("layoutTimeline"), layout(r.layoutTimeline)}, {QStringLiteral("recordedSeconds"), r.recordedSeconds}};
    optionalPath(json, QStringLiteral("cameraURL"), r.cameraURL, named);
    optionalPath(json, QStringLiteral("phoneURL"), r.phoneURL, named);
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

bool isRequest(const QJsonObject& json) { return json.value(QStringLiteral("rawURL")).isString(); }

std::optional<Decoded> decode(const QJsonObject& json)
{
    if (!isRequest(json))
        return std::nullopt;
    // Lists are weighed against the take's own length before they are read; one the note gives wrongly is
    // named where it is read, and weighs as a take of unknown length.
    const QJsonValue recorded = json.value(QStringLiteral("recordedSeconds"));
    Reader read(recorded.isDouble() && recorded.toDouble() >= 0 && recorded.toDouble() <= longestTakeSeconds ? recorded.toDouble() : 0);
    Mixdown::Request r;
    r.rawURL = json.value(QStringLiteral("rawURL")).toString();
    r.cameraURL = optionalPath(read, json, QStringLiteral("cameraURL"), "a camera movie");
    r.phoneURL = optionalPath(read, json, QStringLiteral("phoneURL"), "a phone movie");
    // Longer than a path can be: no movie is there, and the path would swamp the row and the log.
    read.path(r.rawURL, "a raw movie");
    for (auto& [path, what] : {std::pair{&r.cameraURL, "a camera movie"}, std::pair{&r.phoneURL, "a phone movie"}}) {
        if (*path)
            read.path(**path, what);
    }
    r.bubbleRect = rect(read, json.value(QStringLiteral("bubbleRect")), "a camera bubble");
    r.bubbleCornerRadius = read.number(json.value(QStringLiteral("bubbleCornerRadius")), "a bubble corner radius", {0, largestSide});
    r.bubbleShape = read.choice(json.value(QStringLiteral("bubbleShape")), "a bubble shape", BubbleShapes::allCases, r.bubbleShape);
    r.bubbleTilt = read.number(json.value(QStringLiteral("bubbleTilt")), "a bubble tilt", {-360, 360});
    r.phoneRect = rect(read, json.value(QStringLiteral("phoneRect")), "a phone panel");
    r.phoneCornerRadius = read.number(json.value(QStringLiteral("phoneCornerRadius")), "a phone corner radius", {0, largestSide});
    r.phoneShowsFrame = read.flag(json.value(QStringLiteral("phoneShowsFrame")), "a phone frame", true);
    r.cameraSegments = segments(read, json.value(QStringLiteral("cameraSegments")), "a camera span", {read.most.spans, "camera spans"});
    r.phoneSegments = segments(read, json.value(QStringLiteral("phoneSegments")), "a phone span", {read.most.spans, "phone spans"});
    r.zoom = zoom(read, json.value(QStringLiteral("zoom")));
    r.clicks = items<Click>(read, json.value(QStringLiteral("clicks")), "a click", {read.most.perFrame, "clicks"}, [&](const QJsonValue& c) {
        const QJsonArray a = read.entry(c, "a click", 3);
        return a.size() == 3 ? Click{read.time(a[0], "a click time"), read.coordinate(a[1], "a click position"), read.coordinate(a[2], "a click position")} : Click{};
    });
    r.showClickHighlight = read.flag(json.value(QStringLiteral("showClickHighlight")), "a click highlight", false);
    r.frameRate = static_cast<int>(read.whole(json.value(QStringLiteral("frameRate")), "a frame rate", {1, highestFrameRate}, r.frameRate));
    r.layout = read.choice(json.value(QStringLiteral("layout")), "a screen layout", StudioLook::screenLayouts, r.layout);
    r.faceLayout = read.choice(json.value(QStringLiteral("faceLayout")), "a face layout", StudioLook::faceLayouts, r.faceLayout);
    r.cameraGrade = read.flag(json.value(QStringLiteral("cameraGrade")), "a camera grade", false);
    r.background = read.choice(json.value(QStringLiteral("background")), "a background", StudioLook::backgrounds, r.background);
    if (json.contains(QStringLiteral("focus"))) {
        r.focus = FocusPath();
        r.focus->keys = items<FocusPath::Key>(read, json.value(QStringLiteral("focus")), "a window focus", {read.most.windows, "window focuses"}, [&](const QJsonValue& each) {
            const QJsonObject k = read.entry(each, "a window focus", {"time", "rect"});
            return FocusPath::Key{read.time(k.value(QStringLiteral("time")), "a window focus time"), rect(read, k.value(QStringLiteral("rect")), "a window focus")};
        });
    }
    r.layoutTimeline = layout(read, json.value(QStringLiteral("layoutTimeline")));
    if (json.contains(QStringLiteral("outputSize"))) {
        const QJsonArray size = read.list(json.value(QStringLiteral("outputSize")), "an output size", 2);
        if (size.size() == 2) {
            const Reader::Range sides{smallestOutputSide, largestSide};
            r.outputSize = QSizeF{read.number(size[0], "an output width", sides, std::nullopt), read.number(size[1], "an output height", sides, std::nullopt)};
        }
    }
    if (json.contains(QStringLiteral("pointer")))
        r.pointer = pointer(read, json.value(QStringLiteral("pointer")));
    if (json.contains(QStringLiteral("exportRange"))) {
        const QJsonObject range = read.object(json.value(QStringLiteral("exportRange")), "an export range");
        r.exportRange = Mixdown::Request::TimeRange{
            time(read, range.value(QStringLiteral("start")), "an export start", 0), time(read, range.value(QStringLiteral("duration")), "an export length", 1)};
    }
    r.recordedSeconds = read.number(json.value(QStringLiteral("recordedSeconds")), "a recorded length", {0, longestTakeSeconds});
    checkExportRange(read, r);
    return Decoded{std::move(r), std::move(read.unwritten), std::move(read.cut)};
}

} // namespace MixdownRequestNote
