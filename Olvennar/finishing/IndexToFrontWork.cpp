#include "finishing/IndexToFrontWork.h"

#include "finishing/SaveJob.h"
#include "finishing/TailTrim.h"
#include "platform/media/MovieAsset.h"
#include "platform/media/Remux.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/WorkerPool.h"

#include <qcorofuture.h>

bool IndexToFrontWork::moveIndexToFront(const QString& path)
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

QCoro::Task<FinishWork::Outcome> IndexToFrontWork::run(Run run)
{
    (void)run;
    const Job job = job_;
    QFuture<void> finishing = WorkerPool::takes().run([job] {
        moveIndexToFront(job.movie);
        if (!job.byRemote)
            return;
        const std::optional<TailTrim::Result> trimmed = TailTrim::trim(job.movie, SaveJob::remoteTailSeconds);
        TailTrim::writeSidecar(job.stopSidecar, QStringLiteral("remote-button"), trimmed ? trimmed->trimmed : 0,
            trimmed ? std::optional<double>(trimmed->duration) : std::nullopt);
    });
    co_await finishing;
    co_return Outcome{std::nullopt, job.movie, {}};
}
