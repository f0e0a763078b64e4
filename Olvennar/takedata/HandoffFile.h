#pragma once

#include "platform/system/RegularFile.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>
#include <variant>

// Reading a small file that another program drops for the studio (the two handoff records, a handed-off
// script), as RegularFile reads it: a FIFO, a device or a huge file in its place cannot hang or swamp the
// caller. Blocking disk reads: call off the GUI thread where a slow disk matters.
namespace HandoffFile {

using Contents = RegularFile::Contents;
using Refusal = RegularFile::Refusal;
using RegularFile::read;

struct Record {
    QJsonObject object;
    QDateTime modified;
};
// The file as one JSON object. Nothing for a missing file (silently) and for anything else that is not
// a readable object of at most maximumBytes, with "handoff: ignoring <path>, <why>" in `complaint`.
std::optional<Record> readObject(const QString& path, qint64 maximumBytes, QString* complaint);

// When a record was written: its "written_at" text as the file had it ("" when absent) and the moment it
// names, else the file's modification time.
struct Written {
    QString text;
    QDateTime at;
};
// Nothing when the record has no date at all or is `staleAfterSeconds` old or more at `now`.
std::optional<Written> freshWritten(const Record& record, const QDateTime& now, qint64 staleAfterSeconds);

// A key's value as text: a string unchanged, a number (a JSON boolean counts as 1 or 0) as its shortest
// decimal text, anything else or a missing key "".
QString keyText(const QJsonObject& object, const char* key);

// An internet date-time: yyyy-MM-ddTHH:mm:ss, optional fractional seconds, and a zone "Z" or ±hh:mm, all
// required. Invalid for anything else (a missing zone, a space for the "T", a leap second).
QDateTime parseInternetDate(const QString& text);

// The path as a person reads it in a log line: control characters shown as "?", at most 300 characters.
QString printable(const QString& path);
// "handoff: ignoring <path>" followed by the reason (", not a regular file" and the like).
QString ignoring(const QString& path, const QString& reason);

} // namespace HandoffFile
