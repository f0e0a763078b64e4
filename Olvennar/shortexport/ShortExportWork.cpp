#include "shortexport/ShortExportWork.h"

#include "finishing/PendingNote.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <climits>

namespace {

QJsonObject position(const ShortFraming::Position& p) { return {{QStringLiteral("x"), p.x}, {QStringLiteral("y"), p.y}}; }
ShortFraming::Position position(const QJsonValue& v)
{
    ShortFraming::Position p;
    p.x = v[QStringLiteral("x")].toDouble(p.x);
    p.y = v[QStringLiteral("y")].toDouble(p.y);
    return p;
}

QJsonObject settingsObject(const ShortTake::Settings& s)
{
    QJsonObject json{{QStringLiteral("filePosition"), position(s.filePosition)}, {QStringLiteral("previewPosition"), position(s.previewPosition)},
        {QStringLiteral("fileMirrored"), s.fileMirrored}, {QStringLiteral("previewMirrored"), s.previewMirrored}, {QStringLiteral("rotation"), s.rotation},
        {QStringLiteral("camera"), s.camera}, {QStringLiteral("channel"), RecordingChannels::rawText(s.channel)}, {QStringLiteral("tailTrim"), s.tailTrim},
        {QStringLiteral("recordedAt"), s.recordedAt.toUTC().toString(Qt::ISODateWithMs)}};
    if (s.script)
        json.insert(QStringLiteral("script"), PendingNote::scriptObject(*s.script));
    if (s.framing)
        json.insert(QStringLiteral("framing"), QJsonObject{{QStringLiteral("eyeLine"), s.framing->eyeLine}, {QStringLiteral("faceHeight"), s.framing->faceHeight},
            {QStringLiteral("framesAnalyzed"), s.framing->framesAnalyzed}, {QStringLiteral("framesWithFace"), s.framing->framesWithFace}});
    return json;
}

ShortTake::Settings settingsFrom(const QJsonObject& json)
{
    ShortTake::Settings s;
    s.filePosition = position(json.value(QStringLiteral("filePosition")));
    s.previewPosition = position(json.value(QStringLiteral("previewPosition")));
    s.fileMirrored = json.value(QStringLiteral("fileMirrored")).toBool();
    s.previewMirrored = json.value(QStringLiteral("previewMirrored")).toBool();
    s.rotation = json.value(QStringLiteral("rotation")).toDouble();
    s.camera = json.value(QStringLiteral("camera")).toString();
    s.channel = RecordingChannels::fromRawText(json.value(QStringLiteral("channel")).toString()).value_or(RecordingChannel::ai);
    s.tailTrim = json.value(QStringLiteral("tailTrim")).toDouble();
    s.recordedAt = QDateTime::fromString(json.value(QStringLiteral("recordedAt")).toString(), Qt::ISODateWithMs);
    s.script = PendingNote::script(json.value(QStringLiteral("script")));
    if (const QJsonValue framing = json.value(QStringLiteral("framing")); framing.isObject())
        s.framing = ShortFraming::MeasuredFraming{framing[QStringLiteral("eyeLine")].toDouble(), framing[QStringLiteral("faceHeight")].toDouble(),
            framing[QStringLiteral("framesAnalyzed")].toInt(), framing[QStringLiteral("framesWithFace")].toInt()};
    return s;
}

} // namespace

ShortExportWork::ShortExportWork(Job job)
    : job_(std::move(job))
{
    if (!job_.settings.recordedAt.isValid())
        job_.settings.recordedAt = QDateTime::currentDateTimeUtc();
}

QString ShortExportWork::shortURL() const { return QDir(job_.folder).filePath(QStringLiteral("short.mov")); }

std::optional<FinishWork::Note> ShortExportWork::note() const
{
    return Note{PendingNote::pathFor(shortURL()),
        QJsonObject{{QStringLiteral("kind"), kind()}, {QStringLiteral("output"), shortURL()}, {QStringLiteral("relaunches"), job_.relaunches},
            {QStringLiteral("title"), job_.title}, {QStringLiteral("folder"), job_.folder}, {QStringLiteral("raw"), job_.rawURL},
            {QStringLiteral("settings"), settingsObject(job_.settings)}}};
}

std::optional<ShortExportWork::Job> ShortExportWork::fromNote(const QJsonObject& note)
{
    if (note.value(QStringLiteral("kind")).toString() != kind() || !note.value(QStringLiteral("output")).isString()
        || !note.value(QStringLiteral("raw")).isString())
        return std::nullopt;
    // The note is a file in the user's folder: the short and its sidecar are made in the folder of the short it
    // names (the note's own, as the launch finds it), from the raw of its name there, whatever folder it names.
    const QFileInfo output(note.value(QStringLiteral("output")).toString());
    const QDir folder = output.absoluteDir();
    const QString rawName = QFileInfo(note.value(QStringLiteral("raw")).toString()).fileName();
    // Longer than a file name can be: no raw of that name is there, and its path would swamp the log.
    if (QFile::encodeName(rawName).size() > NAME_MAX)
        return std::nullopt;
    return Job{PendingNote::shownText(note.value(QStringLiteral("title")), PendingNote::longestTitle), folder.path(), folder.filePath(rawName),
        settingsFrom(note.value(QStringLiteral("settings")).toObject()), note.value(QStringLiteral("relaunches")).toInt()};
}

QCoro::Task<FinishWork::Outcome> ShortExportWork::run(Run run)
{
    (void)run;
    // Awaited by name: g++ 12 may destroy the temporaries of a full expression holding a co_await twice.
    QCoro::Task<ShortTake::Outcome> finishing = ShortTake::finish(job_.folder, job_.rawURL, job_.settings);
    const ShortTake::Outcome outcome = co_await std::move(finishing);
    if (const ErrorInfo* error = std::get_if<ErrorInfo>(&outcome))
        co_return Outcome{*error, {}, {}};
    result_ = std::get<ShortTake::Result>(outcome);
    co_return Outcome{std::nullopt, result_->shortURL, result_->note.value_or(QString())};
}
