#include "takes/JustMeTake.h"

#include "finishing/SaveJob.h"
#include "finishing/TailTrim.h"
#include "platform/media/MovieAsset.h"
#include "platform/media/Remux.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/WorkerPool.h"

#include <QFileInfo>

#include <qcorofuture.h>

bool JustMeTake::moveIndexToFront(const QString& path)
{
    auto opened = MovieAsset::open(path);
    if (const MediaError* error = std::get_if<MediaError>(&opened)) {
        Diagnostics::log(error->info(), QStringLiteral("index to front"));
        return false;
    }
    std::vector<Remux::Insert> inserts;
    for (const MovieTrack& track : std::get<MovieAsset>(opened).tracks())
        inserts.push_back({path, track.index, MediaTime::zero(), MediaTime::invalid(), MediaTime::zero()});
    if (const auto error = Remux::write(path, inserts, {MovieFileType::quickTimeMovie, QStringLiteral("faststart")})) {
        Diagnostics::log(error->info(), QStringLiteral("index to front"));
        return false;
    }
    return true;
}

QCoro::Task<TakeEnd> JustMeTake::finish(QString file, TakeFolder folder, bool byRemote)
{
    const QString sidecar = folder.file(QStringLiteral("stop"), QStringLiteral(".json"));
    QFuture<void> finishing = WorkerPool::takes().run([file, sidecar, byRemote] {
        moveIndexToFront(file);
        if (!byRemote)
            return;
        const std::optional<TailTrim::Result> trimmed = TailTrim::trim(file, SaveJob::remoteTailSeconds);
        TailTrim::writeSidecar(sidecar, QStringLiteral("remote-button"), trimmed ? trimmed->trimmed : 0,
            trimmed ? std::optional<double>(trimmed->duration) : std::nullopt);
    });
    co_await finishing;
    co_return TakeEnd{.file = file};
}
