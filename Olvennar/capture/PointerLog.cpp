#include "capture/PointerLog.h"

#include "capture/CursorShapes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {

bool allFinite(const std::vector<double>& values)
{
    for (double v : values) {
        if (!std::isfinite(v))
            return false;
    }
    return true;
}

bool allFinite(const PointerLog::Records& records)
{
    for (const auto& record : records) {
        if (!allFinite(record))
            return false;
    }
    return true;
}

QJsonArray toJson(const std::vector<double>& values)
{
    QJsonArray array;
    for (double v : values)
        array.append(v);
    return array;
}

QJsonArray toJson(const PointerLog::Records& records)
{
    QJsonArray array;
    for (const auto& record : records)
        array.append(toJson(record));
    return array;
}

std::optional<std::vector<double>> numbers(const QJsonValue& value)
{
    if (!value.isArray())
        return std::nullopt;
    std::vector<double> out;
    for (const QJsonValue& item : value.toArray()) {
        if (!item.isDouble())
            return std::nullopt;
        out.push_back(item.toDouble());
    }
    return out;
}

std::optional<PointerLog::Records> records(const QJsonValue& value)
{
    if (!value.isArray())
        return std::nullopt;
    PointerLog::Records out;
    for (const QJsonValue& item : value.toArray()) {
        auto record = numbers(item);
        if (!record)
            return std::nullopt;
        out.push_back(std::move(*record));
    }
    return out;
}

// A missing or null optional list is absent; one of the wrong type makes the whole log unreadable.
template <typename T>
bool readOptional(const QJsonObject& object, const QString& key, std::optional<T> (*read)(const QJsonValue&),
    std::optional<T>& target)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return true;
    target = read(value);
    return target.has_value();
}

} // namespace

double PointerLog::rounded(double value, int places)
{
    const double scale = std::pow(10.0, places);
    return std::round(value * scale) / scale;
}

std::optional<QByteArray> PointerLog::encoded() const
{
    const std::optional<QJsonObject> object = json();
    return object ? std::optional(QJsonDocument(*object).toJson(QJsonDocument::Compact)) : std::nullopt;
}

std::optional<QJsonObject> PointerLog::json() const
{
    if (!allFinite(samples) || !allFinite(shapes) || (keys && !allFinite(*keys)) || (zoomMarks && !allFinite(*zoomMarks))
        || (windows && !allFinite(*windows)))
        return std::nullopt;
    QJsonObject object;
    object.insert(QStringLiteral("version"), version);
    object.insert(QStringLiteral("space"), space);
    object.insert(QStringLiteral("clickSpace"), clickSpace);
    object.insert(QStringLiteral("systemCursorInCapture"), systemCursorInCapture);
    object.insert(QStringLiteral("samples"), toJson(samples));
    object.insert(QStringLiteral("shapes"), toJson(shapes));
    if (keys)
        object.insert(QStringLiteral("keys"), toJson(*keys));
    if (zoomMarks)
        object.insert(QStringLiteral("zoomMarks"), toJson(*zoomMarks));
    if (windows)
        object.insert(QStringLiteral("windows"), toJson(*windows));
    return object;
}

std::optional<PointerLog> PointerLog::decoded(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();

    const QJsonValue version = object.value(QStringLiteral("version"));
    const QJsonValue space = object.value(QStringLiteral("space"));
    const QJsonValue clickSpace = object.value(QStringLiteral("clickSpace"));
    const QJsonValue cursorShown = object.value(QStringLiteral("systemCursorInCapture"));
    if (!version.isDouble() || version.toDouble() != std::trunc(version.toDouble()) || std::abs(version.toDouble()) > 1e9
        || !space.isString() || !clickSpace.isString() || !cursorShown.isBool())
        return std::nullopt;
    auto samples = records(object.value(QStringLiteral("samples")));
    auto shapes = records(object.value(QStringLiteral("shapes")));
    if (!samples || !shapes)
        return std::nullopt;

    PointerLog log;
    log.version = static_cast<int>(version.toDouble());
    log.space = space.toString();
    log.clickSpace = clickSpace.toString();
    log.systemCursorInCapture = cursorShown.toBool();
    log.samples = std::move(*samples);
    log.shapes = std::move(*shapes);
    if (!readOptional(object, QStringLiteral("keys"), numbers, log.keys)
        || !readOptional(object, QStringLiteral("zoomMarks"), records, log.zoomMarks)
        || !readOptional(object, QStringLiteral("windows"), records, log.windows))
        return std::nullopt;
    return log;
}

std::vector<ZoomMark> PointerLog::marks() const
{
    std::vector<ZoomMark> out;
    if (!zoomMarks)
        return out;
    for (const auto& entry : *zoomMarks) {
        if (entry.size() < 4)
            continue;
        out.push_back({entry[0], entry[1] > 0.5, entry[2], entry[3]});
    }
    return out;
}

std::vector<PointerPath::ShapeKey> PointerLog::shapeKeys() const
{
    std::vector<PointerPath::ShapeKey> out;
    for (const auto& entry : shapes) {
        if (entry.size() < 4)
            continue;
        std::optional<CursorShape> shape;
        if (entry.size() >= 5)
            shape = CursorShapes::fromRawValue(entry[4]);
        out.push_back({entry[0], shape ? *shape : CursorShapes::fromHotSpot(entry[1], entry[2])});
    }
    return out;
}
