#include "takes/TakeFiles.h"

#include "platform/system/Diagnostics.h"
#include "platform/system/NumberedCopies.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace {

const QStringList movieWords{QStringLiteral("raw"), QStringLiteral("camera"), QStringLiteral("iphone"), QStringLiteral("final"),
    QStringLiteral("face"), QStringLiteral("preview"), QStringLiteral("short")};
// The device recorders never overwrite: beside an existing file they write a numbered copy, still this take's.
const QStringList deviceMovieWords{QStringLiteral("camera"), QStringLiteral("iphone")};
const QStringList sidecarWords{QStringLiteral("clicks"), QStringLiteral("cursor"), QStringLiteral("take"), QStringLiteral("crop")};

// Every file name a take with this suffix may leave: its movies and all of its sidecars.
QStringList takeFileNames(const QString& suffix)
{
    QStringList names;
    for (const QString& word : movieWords)
        names << word + suffix + QStringLiteral(".mov");
    for (const QString& word : sidecarWords + QStringList{QStringLiteral("zoom"), QStringLiteral("layout"), QStringLiteral("stop")})
        names << word + suffix + QStringLiteral(".json");
    return names;
}

} // namespace

TakeFolder TakeFiles::followMovie(const TakeFolder& folder, const QString& movie)
{
    const TakeFolder now = folder.holding(movie);
    if (now.path != folder.path)
        Diagnostics::log(QStringLiteral("take folder moved while recording: ") + QFileInfo(folder.path).fileName() + QStringLiteral(" -> ") + now.path
            + QStringLiteral("; the take is saved there"));
    return now;
}

TakeFolder TakeFiles::followHeld(const TakeFolder& folder)
{
    const std::optional<QString> now = folder.held ? folder.held->now(folder.path) : std::nullopt;
    if (!now || QDir::cleanPath(*now) == QDir::cleanPath(folder.path))
        return folder;
    Diagnostics::log(QStringLiteral("take folder moved while the take stopped: ") + QFileInfo(folder.path).fileName() + QStringLiteral(" -> ") + *now
        + QStringLiteral("; the take is saved there"));
    return {*now, folder.suffix, folder.created, true, folder.held};
}

void TakeFiles::deleteTakeFiles(const QString& folder, const QString& suffix)
{
    const QDir dir(folder);
    for (const QString& word : deviceMovieWords) {
        for (const QString& copy : NumberedCopies::existing(dir.filePath(word + suffix + QStringLiteral(".mov"))))
            QFile::remove(dir.filePath(copy));
    }
    for (const QString& word : movieWords)
        QFile::remove(dir.filePath(word + suffix + QStringLiteral(".mov")));
    for (const QString& word : sidecarWords)
        QFile::remove(dir.filePath(word + suffix + QStringLiteral(".json")));
}

bool TakeFiles::removeFolderIfOnlyLeftovers(const QString& folder, const QString& suffix)
{
    QDir dir(folder);
    // Only a listing that worked may send a folder away; an unreadable one is kept.
    if (!dir.exists() || !QFileInfo(folder).isReadable())
        return false;
    const QFileInfoList entries = dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    const QStringList ours = takeFileNames(suffix);
    QStringList leftovers;
    for (const QFileInfo& entry : entries) {
        const bool junk = entry.fileName() == QLatin1String(".DS_Store");
        const bool emptyOfThisTake = entry.isFile() && !entry.isSymLink() && entry.size() == 0 && ours.contains(entry.fileName());
        if (!junk && !emptyOfThisTake)
            return false;
        leftovers << entry.fileName();
    }
    for (const QString& name : leftovers)
        QFile::remove(dir.filePath(name));
    // Never recursive: a folder that gained anything meanwhile stays.
    return QDir().rmdir(folder);
}

void TakeFiles::removeEmptyTakeFolder(const TakeFolder& folder)
{
    if (folder.created && removeFolderIfOnlyLeftovers(folder.path, folder.suffix))
        Diagnostics::log(QStringLiteral("discarded empty folder ") + QFileInfo(folder.path).fileName());
}

void TakeFiles::discardTake(const std::optional<TakeFolder>& folder)
{
    if (folder) {
        deleteTakeFiles(folder->path, folder->suffix);
        if (folder->created)
            removeFolderIfOnlyLeftovers(folder->path, folder->suffix);
    }
    Diagnostics::log(folder ? QStringLiteral("discarded take in ") + QFileInfo(folder->path).fileName() : QStringLiteral("discarded take"));
}
