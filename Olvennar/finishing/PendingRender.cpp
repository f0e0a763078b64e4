#include "finishing/PendingRender.h"

#include "finishing/MixdownRequestNote.h"
#include "finishing/PendingNote.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <climits>

namespace PendingRender {

QString markerPath(const QString& finalURL) { return PendingNote::pathFor(finalURL); }

namespace {

FinishWork::Note noted(const Job& job, const QJsonObject& request)
{
    FinishWork::Note note = head(job);
    note.content.insert(QStringLiteral("request"), request);
    return note;
}

} // namespace

FinishWork::Note note(const Job& job) { return noted(job, MixdownRequestNote::encode(job.request)); }

FinishWork::Note head(const Job& job)
{
    return {markerPath(job.finalURL),
        QJsonObject{{QStringLiteral("kind"), kind}, {QStringLiteral("output"), job.finalURL}, {QStringLiteral("relaunches"), job.relaunches},
            {QStringLiteral("title"), job.title}, {QStringLiteral("summary"), job.summary}, {QStringLiteral("stopSidecar"), job.stopSidecar}}};
}

FinishWork::Note note(const Job& job, const Mixdown::Request& plan, const QString& reached)
{
    const QString folder = QFileInfo(job.finalURL).absolutePath();
    if (reached == folder)
        return noted(job, MixdownRequestNote::encode(plan));
    return noted(job, MixdownRequestNote::encode(plan, [&](const QString& movie) { return HeldFolder::moved(movie, reached, folder); }));
}

bool holdsPlan(const QJsonObject& note)
{
    return note.value(QStringLiteral("kind")).toString() == kind && note.value(QStringLiteral("output")).isString()
        && MixdownRequestNote::isRequest(note.value(QStringLiteral("request")).toObject());
}

std::optional<Job> fromNote(const QJsonObject& note, QString* cut)
{
    if (!holdsPlan(note))
        return std::nullopt;
    std::optional<MixdownRequestNote::Decoded> decoded = MixdownRequestNote::decode(note.value(QStringLiteral("request")).toObject());
    if (!decoded)
        return std::nullopt;
    const QString output = note.value(QStringLiteral("output")).toString();
    Mixdown::Request& request = decoded->request;
    const QDir folder = QFileInfo(output).absoluteDir();
    const QString recordedIn = QFileInfo(request.rawURL).absolutePath();
    request.rawURL = PendingNote::besideNote(request.rawURL, recordedIn, folder);
    for (std::optional<QString>* movie : {&request.cameraURL, &request.phoneURL}) {
        if (*movie)
            *movie = PendingNote::besideNote(**movie, recordedIn, folder);
    }
    // Only carried in the note: one longer than a path can be is kept as long as a path.
    QString stopSidecar = note.value(QStringLiteral("stopSidecar")).toString();
    if (QFile::encodeName(stopSidecar).size() >= PATH_MAX) {
        if (!decoded->cut)
            decoded->cut = QStringLiteral("a stop record path of %1 characters").arg(stopSidecar.size());
        stopSidecar.truncate(PATH_MAX);
    }
    if (cut && decoded->cut)
        *cut = *decoded->cut;
    return Job{PendingNote::shownText(note.value(QStringLiteral("title")), PendingNote::longestTitle),
        PendingNote::shownText(note.value(QStringLiteral("summary")), PendingNote::longestSummary), output, std::move(stopSidecar), std::move(request),
        note.value(QStringLiteral("relaunches")).toInt(), std::move(decoded->unwritten), nullptr};
}

void move(Mixdown::Request& request, const QString& from, const QString& to)
{
    request.rawURL = HeldFolder::moved(request.rawURL, from, to);
    for (std::optional<QString>* movie : {&request.cameraURL, &request.phoneURL}) {
        if (*movie)
            *movie = HeldFolder::moved(**movie, from, to);
    }
}

void move(Job& job, const QString& from, const QString& to)
{
    job.finalURL = HeldFolder::moved(job.finalURL, from, to);
    job.stopSidecar = HeldFolder::moved(job.stopSidecar, from, to);
    move(job.request, from, to);
}

bool write(const Job& job) { return PendingNote::write(note(job)); }

std::optional<Job> read(const QString& path)
{
    const std::optional<QJsonObject> found = PendingNote::read(path);
    return found ? fromNote(*found) : std::nullopt;
}

void remove(const QString& finalURL) { PendingNote::remove(markerPath(finalURL)); }

} // namespace PendingRender
