#pragma once

#include "platform/system/ErrorInfo.h"
#include "takedata/RecordingChannel.h"
#include "takes/HandoffPlaces.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class Settings;

// Where takes land: numbered long-form project folders ("video <N>") per channel, dated short folders, and
// the take suffix that keeps a later take in a folder from overwriting an earlier one. Every answer is read
// fresh from the disk; an unreadable folder counts as empty.
//
// The channel projects live under one root, `brainRoot`: the path stored under "projectsRoot" ("~"
// allowed), by default "~/Olvennar Projects". The `ai` channel uses the recordings root instead.
namespace ProjectFolder {
inline constexpr const char* brainRootKey = "projectsRoot";
inline constexpr const char* defaultBrainRoot = "~/Olvennar Projects";

// A folder created for a take, or the file system's error.
struct Creation {
    QString path;
    std::optional<ErrorInfo> error;
    bool ok() const { return !error.has_value(); }
};

QString brainRoot(const Settings& settings);
std::optional<QString> channelRoot(const Settings& settings, RecordingChannel channel);
QString recordingsRoot(const Settings& settings, RecordingChannel channel);
QString shortsRoot(const Settings& settings, RecordingChannel channel);
// Every channel's recordings root and shorts root, each folder once, in channel order: where takes land.
QStringList takeRoots(const Settings& settings);
// A handoff's own shorts folder, accepted only when its real path lies strictly inside the channel's project tree.
QString shortsRoot(const Settings& settings, RecordingChannel channel, const QString& requested);
// The folders a handoff may lead into, read from the settings now.
HandoffPlaces handoffPlaces(const Settings& settings);

// N of "video N" ("Video12", "video 12 final"); none for "video", "videos", "video x".
std::optional<qint64> number(const QString& folderName);
qint64 highestUsedNumber(const Settings& settings, RecordingChannel channel);
QString nextProjectURL(const Settings& settings, RecordingChannel channel);
// Creates the next "video N"; a leaf that already exists (another take got there first) is never reused:
// the next number is tried instead.
Creation createNextProject(const Settings& settings, RecordingChannel channel);
// Project folders, highest number first.
QStringList existingProjects(const Settings& settings, RecordingChannel channel);

// "yyyy-MM-dd[-script]-short-" in local time.
QString shortDayPrefix(const QDateTime& date, const QString& script = {});
// Empty root: the recordings root's "Shorts".
QString nextShortURL(const Settings& settings, const QDateTime& date, const QString& script = {}, const QString& root = {});
Creation createNextShort(const Settings& settings, const QString& script = {}, const QString& root = {},
    const QDateTime& now = QDateTime::currentDateTime());
// The newest "short.mov" in the recordings root's short folders.
std::optional<QString> latestShortTake(const Settings& settings);

// Equal paths count as inside; "/a/bc" is not inside "/a/b".
bool isInside(const QString& path, const QString& folder);

// "" for the first take in a folder, else "-N" with the first N >= 2 that no take file uses, looking at
// every take base word in the folder and in its "Raw" subfolder, at the hidden notes of jobs still
// pending there (".final-2.pending" takes "-2"), and at `underWay`, the names of takes there whose jobs
// run without a note (a save: "final-2.mov" takes "-2").
QString nextTakeSuffix(const QString& folder, const QStringList& underWay = {});
// The take base words whose files carry the suffix.
const QStringList& takeBaseWords();

// Creates parent/(makeName(n)) with a plain mkdir for n = first, first + 1, ... until one did not exist yet
// (intermediate folders of parent are made first). Gives up after a bounded number of attempts.
Creation createFreshFolder(const QString& parent, const std::function<QString(qint64)>& makeName, qint64 first);
}
