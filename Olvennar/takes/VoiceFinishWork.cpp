#include "takes/VoiceFinishWork.h"

#include "finishing/PendingNote.h"
#include "finishing/SaveJob.h"
#include "finishing/TailTrim.h"
#include "platform/media/MovieAsset.h"
#include "platform/system/WorkerPool.h"

#include <qcorofuture.h>

namespace {

QJsonObject factsObject(const VoiceSidecar::Facts& facts)
{
    QJsonObject json{{QStringLiteral("channel"), RecordingChannels::rawText(facts.channel)},
        {QStringLiteral("startedAt"), facts.startedAt.toUTC().toString(Qt::ISODateWithMs)}, {QStringLiteral("microphone"), facts.microphone},
        {QStringLiteral("byRemote"), facts.byRemote}, {QStringLiteral("tailTrimmedSeconds"), facts.tailTrimmedSeconds}, {QStringLiteral("audio"), facts.audioPath}};
    if (facts.script)
        json.insert(QStringLiteral("script"), PendingNote::scriptObject(*facts.script));
    if (facts.longFormFolder)
        json.insert(QStringLiteral("longFormFolder"), *facts.longFormFolder);
    return json;
}

VoiceSidecar::Facts factsFrom(const QJsonObject& json)
{
    VoiceSidecar::Facts facts;
    facts.script = PendingNote::script(json.value(QStringLiteral("script")));
    facts.channel = RecordingChannels::fromRawText(json.value(QStringLiteral("channel")).toString()).value_or(RecordingChannel::ai);
    facts.startedAt = QDateTime::fromString(json.value(QStringLiteral("startedAt")).toString(), Qt::ISODateWithMs);
    facts.microphone = json.value(QStringLiteral("microphone")).toString();
    facts.byRemote = json.value(QStringLiteral("byRemote")).toBool();
    facts.tailTrimmedSeconds = json.value(QStringLiteral("tailTrimmedSeconds")).toDouble();
    facts.audioPath = json.value(QStringLiteral("audio")).toString();
    if (json.value(QStringLiteral("longFormFolder")).isString())
        facts.longFormFolder = json.value(QStringLiteral("longFormFolder")).toString();
    return facts;
}

} // namespace

std::optional<FinishWork::Note> VoiceFinishWork::note() const
{
    return Note{PendingNote::pathFor(job_.sidecar),
        QJsonObject{{QStringLiteral("kind"), kind()}, {QStringLiteral("output"), job_.sidecar}, {QStringLiteral("relaunches"), job_.relaunches},
            {QStringLiteral("title"), job_.title}, {QStringLiteral("trimmed"), job_.trimmed}, {QStringLiteral("facts"), factsObject(job_.facts)}}};
}

std::optional<VoiceFinishWork::Job> VoiceFinishWork::fromNote(const QJsonObject& note)
{
    if (note.value(QStringLiteral("kind")).toString() != kind() || !note.value(QStringLiteral("output")).isString())
        return std::nullopt;
    const VoiceSidecar::Facts facts = factsFrom(note.value(QStringLiteral("facts")).toObject());
    if (facts.audioPath.isEmpty())
        return std::nullopt;
    return Job{note.value(QStringLiteral("title")).toString(), note.value(QStringLiteral("output")).toString(), facts,
        note.value(QStringLiteral("trimmed")).toBool(), note.value(QStringLiteral("relaunches")).toInt()};
}

QCoro::Task<FinishWork::Outcome> VoiceFinishWork::run(Run run)
{
    (void)run;
    // The cut, once, and the length after it; blocking, so on a worker.
    QFuture<Job> finishing = WorkerPool::takes().run([given = job_] {
        Job job = given;
        if (job.facts.byRemote && !job.trimmed) {
            if (const auto cut = TailTrim::trim(job.facts.audioPath, SaveJob::remoteTailSeconds))
                job.facts.tailTrimmedSeconds = cut->trimmed;
            job.trimmed = true;
            // Noted at once: a crash after the cut resumes without cutting again.
            PendingNote::write(*VoiceFinishWork(job).note());
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
