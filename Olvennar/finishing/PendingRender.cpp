#include "finishing/PendingRender.h"

#include "platform/system/Diagnostics.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace PendingRender {

namespace {

// Bumped whenever the layout below changes: an older file is then ignored rather than misread.
constexpr quint32 magic = 0x4f4c5652; // "OLVR"
constexpr quint32 version = 1;

// One stream helper per value type, read and written by the same function so the two never drift apart.
template <typename Enum>
void enumValue(QDataStream& stream, Enum& value, bool reading)
{
    qint32 raw = static_cast<qint32>(value);
    if (reading)
        stream >> raw, value = static_cast<Enum>(raw);
    else
        stream << raw;
}

template <typename Value>
void plain(QDataStream& stream, Value& value, bool reading)
{
    if (reading)
        stream >> value;
    else
        stream << value;
}

template <typename Item, typename Each>
void list(QDataStream& stream, std::vector<Item>& items, bool reading, Each each)
{
    quint32 count = static_cast<quint32>(items.size());
    plain(stream, count, reading);
    if (reading) {
        // A damaged count never asks for more than the file could hold.
        if (stream.status() != QDataStream::Ok || count > (1u << 24)) {
            stream.setStatus(QDataStream::ReadCorruptData);
            return;
        }
        items.assign(count, Item{});
    }
    for (Item& item : items)
        each(stream, item, reading);
}

template <typename Value, typename Each>
void optional(QDataStream& stream, std::optional<Value>& value, bool reading, Each each)
{
    bool present = value.has_value();
    plain(stream, present, reading);
    if (reading)
        value = present ? std::optional<Value>(Value{}) : std::nullopt;
    if (present)
        each(stream, *value, reading);
}

void mediaTime(QDataStream& stream, MediaTime& time, bool reading)
{
    qint64 value = time.value();
    qint32 timescale = time.timescale();
    plain(stream, value, reading);
    plain(stream, timescale, reading);
    if (reading)
        time = MediaTime(value, timescale);
}

void segments(QDataStream& stream, std::vector<ClipSegment>& items, bool reading)
{
    list(stream, items, reading, [](QDataStream& s, ClipSegment& segment, bool r) {
        plain(s, segment.start, r);
        plain(s, segment.end, r);
    });
}

void zoom(QDataStream& stream, ZoomTimeline& timeline, bool reading)
{
    plain(stream, timeline.maxScale, reading);
    list(stream, timeline.segments, reading, [](QDataStream& s, ZoomTimeline::Segment& segment, bool r) {
        plain(s, segment.start, r);
        plain(s, segment.rampInEnd, r);
        plain(s, segment.rampOutStart, r);
        plain(s, segment.end, r);
        plain(s, segment.reason, r);
        list(s, segment.keys, r, [](QDataStream& k, ZoomTimeline::Key& key, bool kr) {
            plain(k, key.time, kr);
            plain(k, key.center, kr);
            plain(k, key.scale, kr);
        });
    });
}

void layout(QDataStream& stream, LayoutTimeline& timeline, bool reading)
{
    plain(stream, timeline.summary, reading);
    list(stream, timeline.stops, reading, [](QDataStream& s, LayoutTimeline::Stop& stop, bool r) {
        enumValue(s, stop.state, r);
        plain(s, stop.start, r);
        plain(s, stop.ramp, r);
        plain(s, stop.reason, r);
        plain(s, stop.priority, r);
    });
}

void pointer(QDataStream& stream, PointerPath& path, bool reading)
{
    plain(stream, path.start, reading);
    list(stream, path.xs, reading, [](QDataStream& s, double& x, bool r) { plain(s, x, r); });
    list(stream, path.ys, reading, [](QDataStream& s, double& y, bool r) { plain(s, y, r); });
    list(stream, path.shapeKeys, reading, [](QDataStream& s, PointerPath::ShapeKey& key, bool r) {
        plain(s, key.time, r);
        enumValue(s, key.shape, r);
    });
}

void request(QDataStream& stream, Mixdown::Request& request, bool reading)
{
    plain(stream, request.rawURL, reading);
    optional(stream, request.cameraURL, reading, plain<QString>);
    optional(stream, request.phoneURL, reading, plain<QString>);
    plain(stream, request.bubbleRect, reading);
    plain(stream, request.bubbleCornerRadius, reading);
    enumValue(stream, request.bubbleShape, reading);
    plain(stream, request.bubbleTilt, reading);
    plain(stream, request.phoneRect, reading);
    plain(stream, request.phoneCornerRadius, reading);
    plain(stream, request.phoneShowsFrame, reading);
    segments(stream, request.cameraSegments, reading);
    segments(stream, request.phoneSegments, reading);
    zoom(stream, request.zoom, reading);
    list(stream, request.clicks, reading, [](QDataStream& s, Click& click, bool r) {
        plain(s, click.time, r);
        plain(s, click.x, r);
        plain(s, click.y, r);
    });
    plain(stream, request.showClickHighlight, reading);
    plain(stream, request.frameRate, reading);
    enumValue(stream, request.layout, reading);
    enumValue(stream, request.faceLayout, reading);
    plain(stream, request.cameraGrade, reading);
    enumValue(stream, request.background, reading);
    optional(stream, request.focus, reading, [](QDataStream& s, FocusPath& focus, bool r) {
        list(s, focus.keys, r, [](QDataStream& k, FocusPath::Key& key, bool kr) {
            plain(k, key.time, kr);
            plain(k, key.rect, kr);
        });
    });
    layout(stream, request.layoutTimeline, reading);
    optional(stream, request.outputSize, reading, plain<QSizeF>);
    optional(stream, request.pointer, reading, pointer);
    optional(stream, request.exportRange, reading, [](QDataStream& s, Mixdown::Request::TimeRange& range, bool r) {
        mediaTime(s, range.start, r);
        mediaTime(s, range.duration, r);
    });
    plain(stream, request.recordedSeconds, reading);
}

void job(QDataStream& stream, Job& job, bool reading)
{
    plain(stream, job.title, reading);
    plain(stream, job.summary, reading);
    plain(stream, job.finalURL, reading);
    plain(stream, job.stopSidecar, reading);
    plain(stream, job.relaunches, reading);
    request(stream, job.request, reading);
}

} // namespace

QString markerPath(const QString& finalURL)
{
    const QFileInfo final(finalURL);
    return final.absoluteDir().filePath(QLatin1Char('.') + final.completeBaseName() + QStringLiteral(".pending"));
}

std::optional<Job> read(const QString& path);

bool write(const Job& pending)
{
    QSaveFile file(markerPath(pending.finalURL));
    if (file.open(QIODevice::WriteOnly)) {
        QDataStream stream(&file);
        stream.setVersion(QDataStream::Qt_6_0);
        stream << magic << version;
        Job copy = pending;
        job(stream, copy, false);
        // Read back: on a full disk the commit may report success over an empty file.
        if (stream.status() == QDataStream::Ok && file.commit() && read(file.fileName()))
            return true;
    }
    // A note that could not be written whole is no note.
    QFile::remove(markerPath(pending.finalURL));
    Diagnostics::log(QStringLiteral("could not note the render of ") + QFileInfo(pending.finalURL).fileName() + QStringLiteral(" as pending: ")
        + file.errorString());
    return false;
}

std::optional<Job> read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QDataStream stream(&file);
    stream.setVersion(QDataStream::Qt_6_0);
    quint32 fileMagic = 0;
    quint32 fileVersion = 0;
    stream >> fileMagic >> fileVersion;
    if (fileMagic != magic || fileVersion != version)
        return std::nullopt;
    Job pending;
    job(stream, pending, true);
    if (stream.status() != QDataStream::Ok)
        return std::nullopt;
    return pending;
}

void remove(const QString& finalURL) { QFile::remove(markerPath(finalURL)); }

} // namespace PendingRender
