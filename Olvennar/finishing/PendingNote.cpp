#include "finishing/PendingNote.h"

#include "platform/system/AtomicFile.h"
#include "platform/system/Diagnostics.h"
#include "platform/system/JsonSidecar.h"
#include "platform/system/RegularFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

namespace PendingNote {

QString pathFor(const QString& output)
{
    const QFileInfo file(output);
    return file.absoluteDir().filePath(QLatin1Char('.') + file.completeBaseName() + QStringLiteral(".pending"));
}

QFileInfoList notesIn(const QDir& folder) { return folder.entryInfoList({QStringLiteral(".*.pending")}, QDir::Files | QDir::Hidden | QDir::System); }

namespace {

// The note `bytes` hold, as the next launch reads it.
std::optional<QJsonObject> parsed(const QByteArray& bytes, QString* refused)
{
    // Lists, escaped texts or tiny numbers within the byte bound would cost the parser gigabytes, which the
    // studio's own notes (their pointer track in long strings) never come near.
    if (const std::optional<QString> exceeded = noteBounds.exceededBy(bytes)) {
        if (refused)
            *refused = *exceeded;
        return std::nullopt;
    }
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    if (!document.isObject() || !document.object().value(QStringLiteral("kind")).isString())
        return std::nullopt;
    return document.object();
}

// Compared as written, so a value JSON cannot hold exactly reads back the same.
QByteArray written(const QJsonObject& content) { return JsonSidecar::encoded(content, JsonSidecar::Layout::compact); }

// Written, or left alone as it says this already: true either way.
bool put(const FinishWork::Note& note, const QByteArray& bytes, QString* failure)
{
    // Left alone when it says this already: an orderly end writes back every note it leaves, and a rewrite on
    // a full disk would fail for nothing. Compared as bytes, not parsed again, and a chunk at a time, read only
    // when the sizes agree: a long take's note is large, and the launch rewrites every note it resumes.
    if (RegularFile::holdsExactly(note.path, bytes))
        return true;
    // Only a note the next launch can read replaces one; a write that fails leaves the note there as it was.
    const std::optional<QString> why = bytes.size() <= largestNoteBytes && !noteBounds.exceededBy(bytes)
        ? AtomicFile::write(note.path, bytes, QStringLiteral("pending"))
        : std::optional(QStringLiteral("the note would not read back"));
    if (!why)
        return true;
    if (failure) {
        *failure = *why;
        return false;
    }
    const QString kind = note.content.value(QStringLiteral("kind")).toString();
    Diagnostics::log(QStringLiteral("could not note the ") + (kind == QLatin1String("render") ? QStringLiteral("render") : QStringLiteral("finish"))
        + QStringLiteral(" of ") + QFileInfo(note.content.value(QStringLiteral("output")).toString()).fileName() + QStringLiteral(" as pending: ")
        + *why);
    return false;
}

} // namespace

bool write(const FinishWork::Note& note, QString* failure) { return put(note, written(note.content), failure); }

std::optional<Written> writeKnown(const FinishWork::Note& note, QString* failure)
{
    const QByteArray bytes = written(note.content);
    if (!put(note, bytes, failure))
        return std::nullopt;
    return Written{QCryptographicHash::hash(bytes, QCryptographicHash::Sha256)};
}

bool stillHolds(const QString& path, const Written& written) { return RegularFile::digest(path) == written.digest; }

std::optional<QJsonObject> read(const QString& path, QString* refused)
{
    const auto file = RegularFile::read(path, largestNoteBytes);
    if (const auto* refusal = std::get_if<RegularFile::Refusal>(&file)) {
        if (refused && *refusal != RegularFile::Refusal::missing)
            *refused = RegularFile::refusalText(*refusal, largestNoteBytes);
        return std::nullopt;
    }
    return parsed(std::get<RegularFile::Contents>(file).bytes, refused);
}

void remove(const QString& path) { QFile::remove(path); }

Holder holder(const FinishWork::Note& note)
{
    if (!QFileInfo::exists(note.path))
        return Holder::none;
    // Whatever relaunch count either carries.
    const auto job = [](QJsonObject content) {
        content.remove(QStringLiteral("relaunches"));
        return written(content);
    };
    const std::optional<QJsonObject> there = read(note.path);
    return there && job(*there) == job(note.content) ? Holder::self : Holder::another;
}

QString besideNote(const QString& path, const QString& recordedIn, const QDir& folder)
{
    const QFileInfo named(path);
    const QString name = named.fileName();
    if (name.isEmpty())
        return path;
    // A take's own recording is beside its note or missing: a file of its name where the folder was may be
    // another take's, filmed since under the name a rename freed.
    if (QDir::cleanPath(named.absolutePath()) == QDir::cleanPath(QFileInfo(recordedIn).absoluteFilePath()))
        return folder.filePath(name);
    return !named.exists() && folder.exists(name) ? folder.filePath(name) : path;
}

QString shownText(const QJsonValue& value, qsizetype most) { return shownText(value.toString(), most); }

QString shownText(const QString& text, qsizetype most)
{
    QString shown = text.left(most);
    // Never half a character.
    if (text.size() > most && !shown.isEmpty() && shown.back().isHighSurrogate())
        shown.chop(1);
    for (QChar& c : shown) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char('?');
    }
    return text.size() > most ? shown + QStringLiteral("…") : shown;
}

QJsonObject scriptObject(const NextTake& script)
{
    return {{QStringLiteral("scriptID"), script.scriptID}, {QStringLiteral("batch"), script.batch}, {QStringLiteral("title"), script.title},
        {QStringLiteral("board"), script.board}, {QStringLiteral("writtenAtText"), script.writtenAtText},
        {QStringLiteral("writtenAt"), script.writtenAt.toUTC().toString(Qt::ISODateWithMs)}, {QStringLiteral("channel"), RecordingChannels::rawText(script.channel)},
        {QStringLiteral("shortsRoot"), script.shortsRoot}, {QStringLiteral("voiceTrack"), script.voiceTrack}};
}

std::optional<NextTake> script(const QJsonValue& value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject json = value.toObject();
    NextTake script;
    script.scriptID = json.value(QStringLiteral("scriptID")).toString();
    script.batch = json.value(QStringLiteral("batch")).toString();
    script.title = json.value(QStringLiteral("title")).toString();
    script.board = json.value(QStringLiteral("board")).toString();
    script.writtenAtText = json.value(QStringLiteral("writtenAtText")).toString();
    script.writtenAt = QDateTime::fromString(json.value(QStringLiteral("writtenAt")).toString(), Qt::ISODateWithMs);
    script.channel = RecordingChannels::fromRawText(json.value(QStringLiteral("channel")).toString()).value_or(RecordingChannel::ai);
    script.shortsRoot = json.value(QStringLiteral("shortsRoot")).toString();
    script.voiceTrack = json.value(QStringLiteral("voiceTrack")).toBool();
    return script;
}

} // namespace PendingNote
