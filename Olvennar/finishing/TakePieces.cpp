#include "finishing/TakePieces.h"

#include "platform/system/Diagnostics.h"
#include "platform/system/NumberedCopies.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace TakePieces {

namespace {

QStringList named(const QStringList& words, const QString& suffix, const QString& extension)
{
    QStringList names;
    for (const QString& word : words)
        names << word + suffix + extension;
    return names;
}

ErrorInfo fileError(int code, const QString& sentence) { return ErrorInfo{QStringLiteral("Olvennar.TakePieces"), code, sentence}; }

} // namespace

QStringList rawPieceNames(const QString& suffix)
{
    return named({QStringLiteral("raw"), QStringLiteral("face"), QStringLiteral("camera"), QStringLiteral("iphone")}, suffix, QStringLiteral(".mov"))
        + named({QStringLiteral("clicks"), QStringLiteral("cursor"), QStringLiteral("zoom"), QStringLiteral("layout"), QStringLiteral("take"),
                    QStringLiteral("stop")},
            suffix, QStringLiteral(".json"));
}

QStringList pieceNames(const QString& finalPath)
{
    const QFileInfo final(finalPath);
    const QString stem = final.completeBaseName();
    if (!stem.startsWith(QLatin1String("final")))
        return {};
    // Every piece carries the final's own suffix, so a file of the same name in Raw/ can only be an
    // earlier copy of this take's piece; another take's pieces never share a name with these.
    const QString suffix = stem.mid(5);
    const QDir folder = final.absoluteDir();
    QStringList names = rawPieceNames(suffix);
    // A device recorder that found its name taken wrote a numbered copy beside it; that copy is this take's piece.
    for (const QString& word : {QStringLiteral("camera"), QStringLiteral("iphone")})
        names += NumberedCopies::existing(folder.filePath(word + suffix + QStringLiteral(".mov")));
    return names;
}

void moveTakePiecesToRaw(const QString& finalPath, const std::function<bool(const QString& name)>& own)
{
    const QFileInfo final(finalPath);
    const QStringList names = pieceNames(finalPath);
    if (names.isEmpty())
        return;
    const QDir folder = final.absoluteDir();
    const QString rawFolder = folder.filePath(QStringLiteral("Raw"));
    int moved = 0;
    QStringList others;
    for (const QString& name : names) {
        const QString source = folder.filePath(name);
        if (!QFileInfo::exists(source))
            continue;
        if (own && !own(name)) {
            others << name;
            continue;
        }
        const QString context = QStringLiteral("move ") + name + QStringLiteral(" to Raw");
        if (!QDir().mkpath(rawFolder)) {
            Diagnostics::log(fileError(EEXIST, QStringLiteral("Could not create the folder ") + rawFolder + QStringLiteral(".")), context);
            continue;
        }
        // rename(2) swaps the new piece over an old one in one step: the old copy is never lost on its own.
        const QString target = QDir(rawFolder).filePath(name);
        if (std::rename(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) != 0) {
            const int code = errno;
            Diagnostics::log(fileError(code, QStringLiteral("Could not move ") + name + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(code))), context);
            continue;
        }
        ++moved;
    }
    if (!others.isEmpty())
        Diagnostics::log(QStringLiteral("tidy: left ") + others.join(QStringLiteral(", ")) + QStringLiteral(" where they are: not the take's own"));
    Diagnostics::log(QStringLiteral("tidy: moved ") + QString::number(moved) + QStringLiteral(" take piece(s) to Raw/ beside ") + final.fileName());
}

} // namespace TakePieces
