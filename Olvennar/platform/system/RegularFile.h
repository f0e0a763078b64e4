#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>
#include <variant>

// Reading a file that sits where a person or another program may have put anything in its place (a resume
// note, a take description, a handoff record): only a regular file is read, reached through symbolic links
// or not, and at most a bound of it. A device, a FIFO or a socket is never read, so none can hang the caller
// or feed it without end; the opening never waits, and the kind is checked on the opened file, so nothing
// swapped in between is read either. Blocking disk reads: call off the GUI thread where a slow disk matters.
namespace RegularFile {

struct Contents {
    QByteArray bytes;
    QDateTime modified; // UTC; invalid when the file system gave none
};

enum class Refusal { missing, notRegularFile, tooLarge, unreadable };

// The whole file when it holds at most `maximumBytes`; never reads more than one byte past the bound.
std::variant<Contents, Refusal> read(const QString& path, qint64 maximumBytes);
// Whether the regular file at `path` holds exactly `bytes`, compared a chunk at a time as it is read: a large
// file is never held a second time beside what it is compared with. False for anything that is not a regular
// file, or cannot be read.
bool holdsExactly(const QString& path, const QByteArray& bytes);
// The SHA-256 of the regular file at `path`, read a chunk at a time; nothing for anything that is not a regular
// file, or cannot be read. What tells a large file is still as it was written without holding it.
std::optional<QByteArray> digest(const QString& path);
// "not a regular file", "larger than 64 MiB" and the like.
QString refusalText(Refusal refusal, qint64 maximumBytes);
// A bound as a refusal says it: "64 MiB" (whole MiB, rounded down), or "4096 bytes" below one.
QString sizeText(qint64 bytes);

// "raw.mov is not a regular file" when something other than a regular file is at `path` (a folder, a device, a
// FIFO, a socket, also behind a symbolic link), asked without opening it: what a movie is checked for before a
// library opens it by name, which would wait on a FIFO for good or read a device without end. Nothing for a
// regular or missing file.
std::optional<QString> otherThanRegular(const QString& path);

} // namespace RegularFile
