#include "takes/VoiceFinishWork.h"

#include "finishing/SaveJob.h"
#include "finishing/TailTrim.h"
#include "platform/media/MovieAsset.h"
#include "platform/system/WorkerPool.h"

#include <qcorofuture.h>

QCoro::Task<FinishWork::Outcome> VoiceFinishWork::run(Run run)
{
    (void)run;
    // The cut and the length after it; blocking, so on a worker.
    QFuture<Job> finishing = WorkerPool::takes().run([given = job_] {
        Job job = given;
        if (job.facts.byRemote) {
            if (const auto cut = TailTrim::trim(job.facts.audioPath, SaveJob::remoteTailSeconds))
                job.facts.tailTrimmedSeconds = cut->trimmed;
        }
        const auto asset = MovieAsset::open(job.facts.audioPath);
        if (const auto* movie = std::get_if<MovieAsset>(&asset))
            job.facts.durationSeconds = movie->duration().seconds();
        return job;
    });
    job_ = co_await finishing;
    VoiceSidecar::write(job_.sidecar, job_.facts);
    co_return Outcome{std::nullopt, job_.facts.audioPath, {}};
}
