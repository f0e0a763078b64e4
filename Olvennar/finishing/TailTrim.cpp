#include "finishing/TailTrim.h"

#include "platform/media/MovieAsset.h"
#include "platform/media/Remux.h"
#include "platform/system/AtomicFile.h"
#include "platform/system/JsonSidecar.h"
#include "platform/system/Diagnostics.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>

#include <cmath>

namespace TailTrim {

std::optional<Result> trim(const QString& path, double seconds, std::shared_ptr<const HeldFile> own)
{
    if (!(seconds > 0))
        return std::nullopt;
    const QString source = own ? own->throughDescriptor() : path;
    auto opened = MovieAsset::open(source);
    if (!std::holds_alternative<MovieAsset>(opened))
        return std::nullopt;
    const MovieAsset& asset = std::get<MovieAsset>(opened);
    const double duration = asset.duration().seconds();
    if (!std::isfinite(duration) || !(duration > seconds + 3.0))
        return std::nullopt;

    const QString name = QFileInfo(path).fileName();
    const QString extension = QFileInfo(path).suffix().toLower();
    // Only the two containers the studio writes are cut; anything else would come back in the wrong container.
    MovieFileType type = MovieFileType::quickTimeMovie;
    if (extension == QLatin1String("m4a")) {
        type = MovieFileType::appleM4A;
    } else if (extension != QLatin1String("mov")) {
        Diagnostics::log(QStringLiteral("tail trim: no export session for ") + name);
        return std::nullopt;
    }

    const MediaTime kept = MediaTime::fromSeconds(duration - seconds, 600);
    std::vector<Remux::Insert> inserts;
    for (const MovieTrack& track : asset.tracks()) {
        if (track.mediaType != MovieTrack::MediaType::other)
            inserts.push_back({source, track.index, MediaTime::zero(), kept, MediaTime::zero()});
    }
    // Cut into a hidden ".tailtrim-<UUID>" sibling, renamed over the file only once it is complete and only
    // while the name still names the file cut.
    const QString work = AtomicFile::hiddenSibling(path, QStringLiteral("tailtrim"));
    if (auto failure = Remux::write(work, inserts, {type, QStringLiteral("tailtrim")})) {
        Diagnostics::log(failure->info(), QStringLiteral("tail trim ") + name);
        return std::nullopt;
    }
    if (own && !own->isAt(path)) {
        QFile::remove(work);
        Diagnostics::log(QStringLiteral("tail trim: left ") + name + QStringLiteral(" as it is: it was deleted or replaced while it was cut"));
        return std::nullopt;
    }
    std::shared_ptr<const HeldFile> written = HeldFile::hold(work);
    if (auto failure = AtomicFile::replace(work, path)) {
        QFile::remove(work);
        Diagnostics::log(ErrorInfo {QStringLiteral("File"), 0, *failure}, QStringLiteral("tail trim ") + name);
        return std::nullopt;
    }
    Diagnostics::log(QString::asprintf("tail trim: %s %.1fs -> %.1fs (cut %.1fs)", qUtf8Printable(name), duration,
        duration - seconds, seconds));
    return Result {seconds, duration - seconds, std::move(written)};
}

void writeSidecar(const QString& path, const QString& stoppedBy, double trimmed, std::optional<double> duration)
{
    QJsonObject record;
    record.insert(QStringLiteral("stoppedBy"), stoppedBy);
    record.insert(QStringLiteral("tailTrimmedSeconds"), trimmed);
    record.insert(QStringLiteral("stoppedAt"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    if (duration)
        record.insert(QStringLiteral("durationSeconds"), *duration);
    if (auto failure = JsonSidecar::write(path, record, QStringLiteral("stop")))
        Diagnostics::log(ErrorInfo {QStringLiteral("File"), 0, *failure}, QStringLiteral("write ") + QFileInfo(path).fileName());
}

} // namespace TailTrim
