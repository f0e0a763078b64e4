#include "shortexport/ShortTake.h"

#include "finishing/FinishOutcome.h"
#include "platform/system/Diagnostics.h"
#include "platform/media/MovieAsset.h"
#include "platform/system/JsonSidecar.h"
#include "platform/system/WorkerPool.h"
#include "shortexport/ShortExport.h"
#include "shorts/ShortFramingSidecar.h"

#include <QDir>

#include <qcorofuture.h>

#include <cmath>

namespace ShortTake {
namespace {

double durationSeconds(const QString& rawURL)
{
    auto opened = MovieAsset::open(rawURL);
    if (!std::holds_alternative<MovieAsset>(opened))
        return 0;
    const double seconds = std::get<MovieAsset>(opened).duration().seconds();
    return std::isfinite(seconds) && seconds > 0 ? seconds : 0;
}

// What of the take a short whose picture or sound half stopped early holds: its picture against the take,
// and its sound against its picture.
std::optional<QString> heldNote(const QString& shortURL, double takeSeconds)
{
    const QString raw = QStringLiteral("raw.mov");
    // Read once for both.
    const FinishOutcome::MovieLengths held = FinishOutcome::measure(shortURL);
    if (held.pictureSeconds <= 0)
        return std::nullopt;
    const QString note = FinishOutcome::joined(FinishOutcome::shortNote(held.pictureSeconds, takeSeconds, raw),
        FinishOutcome::shortSoundNote(held, takeSeconds, raw));
    return note.isEmpty() ? std::nullopt : std::optional<QString>(note);
}

void writeSidecar(const QString& path, const QJsonObject& json)
{
    if (auto failure = JsonSidecar::write(path, json, QStringLiteral("crop")))
        Diagnostics::log(ErrorInfo {QStringLiteral("File"), 0, *failure}, QStringLiteral("write crop.json"));
}

} // namespace

double effectiveTailTrim(double tailTrim, double rawDuration) { return tailTrim + 3 < rawDuration ? tailTrim : 0.0; }

Outcome finishNow(const QString& folder, const QString& rawURL, const Settings& settings, const ShortExport::Options& options)
{
    const auto measured = ShortExport::frameSize(rawURL);
    if (const auto* failure = std::get_if<ErrorInfo>(&measured))
        return *failure;
    return finishMeasured(folder, rawURL, std::get<QSizeF>(measured), settings, options);
}

Outcome finishMeasured(const QString& folder, const QString& rawURL, QSizeF feed, const Settings& settings, const ShortExport::Options& options)
{
    const QRectF crop = ShortFraming::cropRect(feed, settings.filePosition);
    const double rawDuration = durationSeconds(rawURL);
    const double trim = effectiveTailTrim(settings.tailTrim, rawDuration);
    const double duration = rawDuration - trim;

    QJsonObject json = ShortFraming::sidecar(feed, crop, settings.filePosition, settings.previewPosition, settings.fileMirrored,
        settings.previewMirrored, settings.rotation, settings.camera, duration, settings.script, settings.framing, settings.channel,
        settings.recordedAt.isValid() ? settings.recordedAt : QDateTime::currentDateTimeUtc());
    if (trim > 0) {
        json.insert(QStringLiteral("tailTrimmedSeconds"), trim);
        json.insert(QStringLiteral("rawDurationSeconds"), rawDuration);
        json.insert(QStringLiteral("stoppedBy"), QStringLiteral("remote-button"));
    }
    const QDir dir(folder);
    writeSidecar(dir.filePath(QStringLiteral("crop.json")), json);

    ShortExport::Request request {rawURL, crop, QSizeF(1080, 1920), 30, std::nullopt};
    if (trim > 0)
        request.timeRange = ShortExport::Request::TimeRange {MediaTime::zero(), MediaTime::fromSeconds(duration, 600)};
    const QString shortURL = dir.filePath(QStringLiteral("short.mov"));
    const auto exported = ShortExport::exportShort(request, shortURL, options);
    if (const auto* failure = std::get_if<ErrorInfo>(&exported))
        return *failure;
    return Result {shortURL, crop, feed, duration, heldNote(shortURL, duration)};
}

QCoro::Task<Outcome> finish(QString folder, QString rawURL, Settings settings, ShortExport::Options options)
{
    // Awaited by name: g++ 12 may destroy the temporaries of a full expression holding a co_await twice.
    QFuture<Outcome> finished = WorkerPool::renders().run([folder, rawURL, settings, options] { return finishNow(folder, rawURL, settings, options); });
    Outcome outcome = co_await finished;
    co_return outcome;
}

} // namespace ShortTake
