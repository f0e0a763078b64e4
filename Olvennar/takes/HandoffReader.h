#pragma once

#include "platform/system/ErrorInfo.h"
#include "takedata/NextRecording.h"
#include "takedata/NextTake.h"
#include "takes/HandoffPlaces.h"

#include <QDateTime>
#include <QString>

#include <optional>

// The disk work of the handoff watcher, done off the main thread so a slow disk cannot freeze the window:
// one poll's reading of both records, and the folder and script a long-form win needs. Pure functions of
// their arguments; the complaints are log lines for the caller.
namespace HandoffReader {

inline constexpr qint64 maximumScriptBytes = 4 * 1024 * 1024;

struct Request {
    QString takePath; // ".next_take.json" in the recordings root's "Shorts"
    QString recordingPath; // ".next_recording.json" in the recordings root
    QDateTime now;
    HandoffPlaces places;
};

struct Reading {
    std::optional<NextTake> take;
    QString takeComplaint;
    std::optional<NextRecording> recording;
    QString recordingComplaint;
};

Reading read(const Request& request);
std::optional<NextTake> readTake(const QString& path, const QDateTime& now, const HandoffPlaces& places, QString* complaint);
// A record whose video folder lies outside the studio's folders is refused; the one given back carries
// the folder's real path.
std::optional<NextRecording> readRecording(const QString& path, const QDateTime& now, const HandoffPlaces& places, QString* complaint);

// What applying a long-form win found on the disk.
struct Preparation {
    std::optional<ErrorInfo> folderError; // the video folder could not be made
    QString scriptPath; // resolved; empty when the record names no script
    std::optional<QString> scriptText; // nothing when the script is not readable
};

// Makes the video folder (and missing parents) and reads the script: "~" is the home folder, a path not
// beginning with "/" lies in the video folder. A script is read only when it is a regular UTF-8 file of
// at most 4 MiB inside the home folder or the studio's folders.
Preparation prepare(const NextRecording& record, const HandoffPlaces& places);

} // namespace HandoffReader
