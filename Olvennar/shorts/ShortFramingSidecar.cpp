#include "shorts/ShortFramingSidecar.h"

#include <QJsonArray>

#include <cmath>

namespace ShortFraming {
namespace {

// Truncated toward zero; a non-finite value is 0.
qint64 whole(double value) { return std::isfinite(value) ? static_cast<qint64>(value) : 0; }

QJsonObject rectangle(const QRectF& rect)
{
    return QJsonObject {{QStringLiteral("x"), whole(rect.x())}, {QStringLiteral("y"), whole(rect.y())},
        {QStringLiteral("width"), whole(rect.width())}, {QStringLiteral("height"), whole(rect.height())}};
}

QJsonObject framingObject(const MeasuredFraming& framing)
{
    return QJsonObject {
        {QStringLiteral("eyeLine"), framing.eyeLine},
        {QStringLiteral("faceHeight"), framing.faceHeight},
        {QStringLiteral("framesAnalyzed"), framing.framesAnalyzed},
        {QStringLiteral("framesWithFace"), framing.framesWithFace},
        {QStringLiteral("target"), QJsonObject {{QStringLiteral("eyeLine"), 0.4}, {QStringLiteral("faceHeight"), 29.0 / 96.0}}},
        {QStringLiteral("note"),
            QStringLiteral("measured live by the framing guide against the centred reference crop; vertical_cut.py re-crops "
                           "raw.mov independently and does not read this")},
    };
}

} // namespace

QJsonObject sidecar(const QSizeF& feed, const QRectF& crop, const Position& position, const Position& previewPosition,
    bool fileMirrored, bool previewMirrored, double rotation, const QString& camera, double duration,
    const std::optional<NextTake>& script, const std::optional<MeasuredFraming>& framing, RecordingChannel channel,
    const QDateTime& recordedAt)
{
    QJsonObject cropObject = rectangle(crop);
    cropObject.insert(QStringLiteral("origin"), QStringLiteral("top-left, pixels of raw.mov"));
    cropObject.insert(QStringLiteral("fixed"), true);

    QJsonArray zones;
    for (const SafeZone& zone : safeZones()) {
        QJsonObject object = rectangle(zone.rect);
        object.insert(QStringLiteral("name"), zone.name);
        zones.append(object);
    }

    QJsonObject json {
        {QStringLiteral("mode"), QStringLiteral("short")},
        {QStringLiteral("recordedAt"), recordedAt.toUTC().toString(Qt::ISODate)},
        {QStringLiteral("camera"), camera},
        {QStringLiteral("feed"),
            QJsonObject {{QStringLiteral("width"), whole(feed.width())}, {QStringLiteral("height"), whole(feed.height())},
                {QStringLiteral("portrait"), feed.width() < feed.height()}, {QStringLiteral("rotationDegrees"), rotation}}},
        {QStringLiteral("crop"), cropObject},
        {QStringLiteral("position"),
            QJsonObject {{QStringLiteral("x"), position.x}, {QStringLiteral("y"), position.y},
                {QStringLiteral("meaning"), QStringLiteral("fraction of the crop's travel in raw.mov; 0.5 = centred")}}},
        {QStringLiteral("previewPosition"), QJsonObject {{QStringLiteral("x"), previewPosition.x}, {QStringLiteral("y"), previewPosition.y}}},
        {QStringLiteral("mirrored"), fileMirrored},
        {QStringLiteral("previewMirrored"), previewMirrored},
        {QStringLiteral("output"),
            QJsonObject {{QStringLiteral("file"), QStringLiteral("short.mov")}, {QStringLiteral("width"), 1080},
                {QStringLiteral("height"), 1920}, {QStringLiteral("fps"), 30}, {QStringLiteral("codec"), QStringLiteral("h264")},
                {QStringLiteral("scaling"), QStringLiteral("Lanczos")}}},
        {QStringLiteral("durationSeconds"), duration},
        {QStringLiteral("safeZones"), zones},
    };
    if (script) {
        json.insert(QStringLiteral("script_id"), script->scriptID);
        json.insert(QStringLiteral("batch"), script->batch);
        json.insert(QStringLiteral("title"), script->title);
        json.insert(QStringLiteral("script_written_at"), script->writtenAtText);
    }
    if (channel != RecordingChannel::ai)
        json.insert(QStringLiteral("channel"), RecordingChannels::rawText(channel));
    if (framing)
        json.insert(QStringLiteral("framing"), framingObject(*framing));
    return json;
}

} // namespace ShortFraming
